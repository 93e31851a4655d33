#include "replacelist/window_settings.h"

#include <array>
#include <utility>

#include "platform/encoding.h"
#include "platform/staged_file.h"

namespace vx {

using platform::File;
using platform::SysError;

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// More than any settings file holds; what lies beyond is not read.
constexpr std::size_t kMaxRead = 1 << 20;

// The flags, by their keys, in the order of the file.
std::array<std::pair<const char*, bool*>, 5> FlagsOf(WindowSettings& settings) {
  return {{{"regex", &settings.match.regex},
           {"ignore_case", &settings.match.ignore_case},
           {"word", &settings.match.word},
           {"fold", &settings.match.fold},
           {"keep_times", &settings.keep_times}}};
}

bool IsUtf8Text(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return false;
  std::string wide;
  return ConvertText(text, CodePage::kUtf8, CodePage::kUtf16Le, &wide);
}

// One "key=value" line (without its line end).
void ParseLine(std::string_view line, WindowSettings* settings) {
  if (line.empty() || line[0] == '#' || line[0] == ';') return;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
  for (const auto& [name, flag] : FlagsOf(*settings)) {
    if (key != name) continue;
    if (value == "0" || value == "1") *flag = value == "1";
    return;
  }
  std::string WindowSettings::*mask = key == "include"   ? &WindowSettings::include_mask
                                      : key == "exclude" ? &WindowSettings::exclude_mask
                                                         : nullptr;
  if (mask && IsUtf8Text(value)) settings->*mask = std::string(value);
}

std::string_view FirstLine(std::string_view text) { return text.substr(0, text.find_first_of("\r\n")); }

}  // namespace

WindowSettings ParseWindowSettings(std::string_view bytes) {
  WindowSettings settings;
  if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) bytes.remove_prefix(kUtf8Mark.size());
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ParseLine(line, &settings);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return settings;
}

std::string FormatWindowSettings(const WindowSettings& settings) {
  std::string text(kUtf8Mark);
  WindowSettings copy = settings;
  for (const auto& [name, flag] : FlagsOf(copy)) text += std::string(name) + "=" + (*flag ? "1" : "0") + "\r\n";
  text += "include=" + std::string(FirstLine(settings.include_mask)) + "\r\n";
  text += "exclude=" + std::string(FirstLine(settings.exclude_mask)) + "\r\n";
  return text;
}

SettingsRead LoadWindowSettings(WindowSettings* settings, const std::string& name) {
  *settings = WindowSettings{};
  SysError error = platform::kOk;
  File file = File::OpenReadShared(name, &error);
  if (!file.IsOpen()) {
    const bool missing = error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
    return missing ? SettingsRead::kMissing : SettingsRead::kUnreadable;
  }
  std::string bytes;
  char buffer[1 << 14];
  for (std::size_t got = 0; bytes.size() < kMaxRead; bytes.append(buffer, got)) {
    if (file.Read(buffer, sizeof buffer, &got) != platform::kOk) return SettingsRead::kUnreadable;
    if (got == 0) break;
  }
  *settings = ParseWindowSettings(bytes);
  return SettingsRead::kRead;
}

SysError SaveWindowSettings(const WindowSettings& settings, std::string* failed_name, const std::string& name) {
  // As list.dat: what writing into the file would refuse (read-only, a
  // folder in its place, held open) is refused before anything is written.
  platform::FileInfo info;
  *failed_name = name;
  if (SysError error = platform::CheckReplaceable(name, &info); error != platform::kOk) return error;
  platform::StagedFile staged(name);
  if (SysError error = staged.Create(); error != platform::kOk) return error;
  const std::string bytes = FormatWindowSettings(settings);
  SysError error = staged.file().Write(bytes.data(), bytes.size());
  if (error == platform::kOk) error = staged.Finish(/*durable=*/true);
  if (error == platform::kOk) error = staged.Commit();
  if (error != platform::kOk) *failed_name = platform::FullPath(name);
  return error;
}

}  // namespace vx
