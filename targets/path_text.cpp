#include "targets/path_text.h"

#include "platform/file.h"

namespace vx {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsNetworkPath(std::string_view path) { return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]); }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// "X:" at the start of a path. The colon is never the second byte of a
// double-byte character (those begin at 0x40).
bool HasDriveLetter(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const char letter = UpperAscii(path[0]);
  return letter >= 'A' && letter <= 'Z';
}

}  // namespace

std::size_t FindNextBackslash(std::string_view path, std::size_t from) {
  return path.find('\\', from);
}

std::size_t FindLastBackslash(std::string_view path) { return path.rfind('\\'); }

bool EndsWithBackslash(std::string_view path) {
  return !path.empty() && FindLastBackslash(path) == path.size() - 1;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!EndsWithBackslash(folder)) joined += '\\';
  joined += name;
  return joined;
}

std::string FolderOf(std::string_view path) {
  const std::size_t slash = FindLastBackslash(path);
  if (slash == std::string_view::npos) return std::string();
  const bool drive_root = slash == 2 && path[1] == ':';
  return std::string(path.substr(0, drive_root ? slash + 1 : slash));
}

std::string ResolvePath(std::string_view folder, std::string_view path) {
  if (folder.empty() || path.empty() || IsNetworkPath(path)) return std::string(path);
  if (HasDriveLetter(path)) {
    if (path.size() > 2 && IsSeparator(path[2])) return std::string(path);
    if (!HasDriveLetter(folder) || UpperAscii(folder[0]) != UpperAscii(path[0])) return std::string(path);
    return path.size() == 2 ? std::string(folder) : JoinPath(folder, path.substr(2));
  }
  if (IsSeparator(path[0])) {
    // The root of the folder: its drive, or \\server\share of a network folder.
    std::size_t root = 2;
    if (IsNetworkPath(folder)) {
      const std::size_t server_end = FindNextBackslash(folder, 2);
      root = server_end == std::string_view::npos ? folder.size() : FindNextBackslash(folder, server_end + 1);
      if (root == std::string_view::npos) root = folder.size();
    }
    return std::string(folder.substr(0, root)) + std::string(path);
  }
  return JoinPath(folder, path);
}

std::string FoldPathKey(std::string_view path) { return platform::NameKey(path); }

bool HasTempSuffix(std::string_view name) {
  const std::string_view suffix = platform::kTempSuffix;
  if (name.size() <= suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = name[name.size() - suffix.size() + i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
  }
  return true;
}

std::vector<std::string> SplitMultiSelection(const char* buffer, std::size_t size) {
  std::vector<std::string> paths;
  // The zero-terminated string at `at`, or an empty one at or past the end.
  auto next = [&](std::size_t at) {
    if (at >= size) return std::string_view();
    std::size_t end = at;
    while (end < size && buffer[end] != '\0') ++end;
    return std::string_view(buffer + at, end - at);
  };
  const std::string_view first = next(0);
  if (first.empty()) return paths;
  std::size_t at = first.size() + 1;
  std::string_view name = next(at);
  if (name.empty()) {
    paths.emplace_back(first);  // one file: its full path
    return paths;
  }
  for (; !name.empty(); name = next(at)) {
    paths.push_back(JoinPath(first, name));
    at += name.size() + 1;
  }
  return paths;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  const std::size_t n = line.size();
  auto blank = [&](std::size_t i) { return line[i] == ' ' || line[i] == '\t'; };
  std::size_t i = 0;

  // Argument 0: no escapes; quotes only group.
  if (n == 0) return args;
  {
    std::string program;
    bool quoted = false;
    while (i < n && (quoted || !blank(i))) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else {
        program += line[i];
      }
      ++i;
    }
    args.push_back(std::move(program));
  }

  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !blank(i))) {
      if (line[i] == '\\') {
        std::size_t run = 0;
        while (i + run < n && line[i + run] == '\\') ++run;
        if (i + run < n && line[i + run] == '"') {
          arg.append(run / 2, '\\');
          i += run;
          if (run % 2 == 1) {  // an escaped quote
            arg += '"';
            ++i;
          }
        } else {
          arg.append(run, '\\');
          i += run;
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace vx
