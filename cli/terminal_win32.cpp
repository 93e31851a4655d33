#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include "cli/terminal.h"
#include "platform/wide.h"

namespace vx::cli {

namespace {

// Text of a code page (kNone: the ANSI code page's bytes) as the console
// takes it. Bytes that are no text of their code page (a file's stray byte
// in a diff) show as the system shows them, each as its best guess.
std::wstring Shown(const std::string& text, CodePage from) {
  if (from == CodePage::kUtf8) return Widen(text);  // a stray byte as U+FFFD
  std::string units;
  if (ConvertText(text, from == CodePage::kNone ? CodePage::kAnsi : from, CodePage::kUtf16Le, &units))
    return std::wstring(reinterpret_cast<const wchar_t*>(units.data()), units.size() / sizeof(wchar_t));
  if (text.empty()) return std::wstring();
  const UINT code_page = from == CodePage::kCp932 ? 932 : CP_ACP;
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
}

// Appends `units` of UTF-16 in `code_page`, a character that has no form
// there as '?', never as a look-alike (no best fit); -1 if one had none.
int EncodeOrMark(UINT code_page, const wchar_t* wide, int units, std::string* out) {
  static constexpr char kMark[] = "?";
  BOOL used_mark = FALSE;
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  const char* mark = kMark;
  BOOL* used = &used_mark;
  int n = ::WideCharToMultiByte(code_page, flags, wide, units, nullptr, 0, mark, used);
  if (n <= 0) {
    // A code page that takes no flags and no mark (ISO-2022 and the like)
    // is written by the system's own rule.
    flags = 0;
    mark = nullptr;
    used = nullptr;
    n = ::WideCharToMultiByte(code_page, flags, wide, units, nullptr, 0, mark, used);
    if (n <= 0) return 0;
  }
  const std::size_t at = out->size();
  out->resize(at + static_cast<std::size_t>(n));
  ::WideCharToMultiByte(code_page, flags, wide, units, out->data() + at, n, mark, used);
  return used_mark ? -1 : n;
}

// UTF-16 text in a code page of the system.
std::string Encode(const std::wstring& wide, UINT code_page) {
  std::string out;
  if (wide.empty()) return out;
  if (code_page == CP_UTF8) return Narrow(wide);
  if (EncodeOrMark(code_page, wide.data(), static_cast<int>(wide.size()), &out) >= 0) return out;
  // Something had no form there: character by character, so that a
  // surrogate pair, which the system marks unit by unit, is one '?'.
  out.clear();
  for (std::size_t i = 0; i < wide.size();) {
    const bool pair = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] < 0xE000;
    const int units = pair ? 2 : 1;
    const std::size_t at = out.size();
    if (EncodeOrMark(code_page, wide.data() + i, units, &out) < 0) {
      out.resize(at);
      out += '?';
    }
    i += static_cast<std::size_t>(units);
  }
  return out;
}

HANDLE HandleOf(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

}  // namespace

const CodePage Terminal::kLogCodePage = CodePage::kUtf8;

Terminal::Terminal(int, char**) {
  // The runtime's argv went through the ANSI code page, where a name
  // outside it turns into a look-alike or a '?'; the command line's UTF-16
  // form holds every name as given. Should the system fail to split it,
  // no argument is taken rather than mangled ones.
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv) return;
  for (int i = 1; i < argc; ++i) {
    std::string arg;
    const bool exact = NarrowExact(argv[i], &arg);
    args_.push_back(exact ? std::move(arg) : Narrow(argv[i]));
    inexact_.push_back(!exact);
  }
  ::LocalFree(argv);
}

bool Terminal::TextArg(std::size_t index, std::size_t skip, CodePage code_page, std::string* text) const {
  // The bytes given are those of the ANSI code page, as the runtime's argv
  // would have them, but exactly: a character it lacks is refused.
  return ConvertText(args_.at(index).substr(skip), CodePage::kUtf8,
                     code_page == CodePage::kNone ? CodePage::kAnsi : code_page, text);
}

void Terminal::Write(std::FILE* stream, const std::string& text, CodePage from) const {
  std::fflush(stream);
  if (raw) {
    // The log's own LF line breaks, byte for byte; paths in code page 932.
    _setmode(_fileno(stream), _O_BINARY);
    const std::string bytes = from == CodePage::kUtf8 ? Encode(Widen(text), 932) : text;
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    return;
  }
  const std::wstring wide = Shown(text, from);
  DWORD mode = 0;
  const HANDLE handle = HandleOf(stream);
  if (::GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // Redirected: in the encoding asked for, else the console's code page, or
  // the ANSI one without a console.
  UINT code_page = ::GetConsoleOutputCP();
  if (redirected) code_page = *redirected == CodePage::kUtf8 ? CP_UTF8 : 932;
  const std::string out = Encode(wide, code_page != 0 ? code_page : CP_ACP);
  std::fwrite(out.data(), 1, out.size(), stream);
}

void Terminal::WriteLog(std::FILE* stream, const std::string& text) const { Write(stream, text, kLogCodePage); }
void Terminal::WriteCp932(std::FILE* stream, const std::string& text) const { Write(stream, text, CodePage::kCp932); }
void Terminal::WritePath(std::FILE* stream, const std::string& path) const { Write(stream, path, CodePage::kUtf8); }
void Terminal::WriteText(std::FILE* stream, const std::string& text, CodePage code_page) const {
  // A file's bytes under --raw are not a path: as they are.
  Write(stream, text, raw ? CodePage::kNone : code_page);
}

bool Terminal::IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(HandleOf(stream), &mode) != 0;
}

std::string Terminal::ProgramDirectory() {
  // The length is known only once it fits: the buffer grows until it does.
  std::wstring path(256, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::string dir = PlainPath(Narrow(path));
  const std::size_t cut = dir.find_last_of("\\/");
  return cut == std::string::npos ? "." : dir.substr(0, cut);
}

}  // namespace vx::cli
