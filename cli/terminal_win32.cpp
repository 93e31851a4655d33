#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <optional>

#include "cli/terminal.h"
#include "platform/wide.h"

namespace vx::cli {

namespace {

HANDLE HandleOf(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

// Where a stream goes: a console, or else the code page a text is written
// in there. Asked once per stream: a run writes a line or two per file,
// and each console question costs milliseconds under Wine.
struct StreamKind {
  bool console = false;
  UINT code_page = CP_ACP;
};

StreamKind KindOf(std::FILE* stream) {
  const auto ask = [stream] {
    StreamKind kind;
    DWORD mode = 0;
    kind.console = ::GetConsoleMode(HandleOf(stream), &mode) != 0;
    if (const UINT output = ::GetConsoleOutputCP(); output != 0) kind.code_page = output;
    return kind;
  };
  static std::optional<StreamKind> kinds[3];  // stdin, stdout, stderr
  const int fd = _fileno(stream);
  if (fd < 0 || fd >= 3) return ask();
  if (!kinds[fd]) kinds[fd] = ask();
  return *kinds[fd];
}

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
  if (raw) {
    // The log's own LF line breaks, byte for byte; paths in code page 932.
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
    const std::string bytes = from == CodePage::kUtf8 ? ConvertForShowing(text, from, CodePage::kCp932) : text;
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    return;
  }
  const std::wstring wide = WidenForShowing(text, from);
  const StreamKind kind = KindOf(stream);
  if (kind.console) {
    std::fflush(stream);  // what went through the runtime first
    DWORD written = 0;
    ::WriteConsoleW(HandleOf(stream), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // Redirected: in the encoding asked for, else the console's code page
  // (whichever it is), or the ANSI one without a console.
  UINT code_page = kind.code_page;
  if (redirected) code_page = *redirected == CodePage::kUtf8 ? CP_UTF8 : 932;
  const std::string out = NarrowForShowing(wide, code_page);
  std::fwrite(out.data(), 1, out.size(), stream);
}

void Terminal::WriteLog(std::FILE* stream, const std::string& text) const { Write(stream, text, kLogCodePage); }
void Terminal::WriteCp932(std::FILE* stream, const std::string& text) const { Write(stream, text, CodePage::kCp932); }
void Terminal::WritePath(std::FILE* stream, const std::string& path) const { Write(stream, path, CodePage::kUtf8); }
void Terminal::WriteText(std::FILE* stream, const std::string& text, CodePage code_page) const {
  // A file's bytes under --raw are not a path: as they are.
  Write(stream, text, raw ? CodePage::kNone : code_page);
}

bool Terminal::IsTerminal(std::FILE* stream) { return KindOf(stream).console; }

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
