#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include "cli/terminal.h"

namespace vx::cli {

namespace {

// Text of a code page (kNone: bytes of no code page in particular) as the
// console takes it. Bytes that are no text of their code page show as the
// ANSI code page shows them.
std::wstring Widen(const std::string& text, CodePage from) {
  std::string units;
  if (ConvertText(text, from == CodePage::kNone ? CodePage::kAnsi : from, CodePage::kUtf16Le, &units))
    return std::wstring(reinterpret_cast<const wchar_t*>(units.data()), units.size() / sizeof(wchar_t));
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// Converts to `code_page`; false if a character has no form there.
bool Narrow(const std::wstring& wide, UINT code_page, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  BOOL lost = FALSE;
  BOOL* lost_flag = code_page == CP_UTF8 ? nullptr : &lost;  // UTF-8 takes no such flag
  const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    lost_flag);
  if (n <= 0) return false;
  text->resize(static_cast<std::size_t>(n));
  WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text->data(), n, nullptr, lost_flag);
  return !lost;
}

// The command line as the system holds it, in UTF-16, program name first.
std::vector<std::wstring> WideArgs() {
  std::vector<std::wstring> args;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

HANDLE HandleOf(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

}  // namespace

Terminal::Terminal(int argc, char** argv) {
  // Paths go to the ANSI file functions, so they are taken in the ANSI code
  // page, as the runtime's own argv has them.
  for (int i = 1; i < argc; ++i) args_.emplace_back(argv[i]);
}

bool Terminal::TextArg(std::size_t index, std::size_t skip, CodePage code_page, std::string* text) const {
  if (code_page == CodePage::kNone) {
    *text = args_.at(index).substr(skip);
    return true;
  }
  // The texts come from the command line's UTF-16 form, so a character the
  // ANSI code page lacks still reaches a UTF-8 target. The option name
  // glued in front is ASCII: one UTF-16 unit per byte.
  const std::vector<std::wstring> wide = WideArgs();
  if (index + 1 >= wide.size()) return false;
  const std::wstring arg = wide[index + 1].substr(skip);
  const std::string units(reinterpret_cast<const char*>(arg.data()), arg.size() * sizeof(wchar_t));
  return ConvertText(units, CodePage::kUtf16Le, code_page, text);
}

void Terminal::Write(std::FILE* stream, const std::string& text, CodePage from) const {
  std::fflush(stream);
  if (raw) {
    _setmode(_fileno(stream), _O_BINARY);  // the log's own LF line breaks, byte for byte
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  const std::wstring wide = Widen(text, from);
  DWORD mode = 0;
  HANDLE handle = HandleOf(stream);
  if (GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // Redirected: in the console's code page, or the ANSI one without a console.
  const UINT console = GetConsoleOutputCP();
  std::string out;
  Narrow(wide, console != 0 ? console : CP_ACP, &out);
  std::fwrite(out.data(), 1, out.size(), stream);
}

void Terminal::WriteCp932(std::FILE* stream, const std::string& text) const { Write(stream, text, CodePage::kCp932); }
// Paths are in the ANSI code page, as the file functions take them.
void Terminal::WritePath(std::FILE* stream, const std::string& path) const { Write(stream, path, CodePage::kAnsi); }
void Terminal::WriteText(std::FILE* stream, const std::string& text, CodePage code_page) const {
  Write(stream, text, code_page);
}

bool Terminal::IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

std::string Terminal::ProgramDirectory() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  const std::size_t cut = dir.find_last_of("\\/");
  return cut == std::string::npos ? "." : dir.substr(0, cut);
}


}  // namespace vx::cli
