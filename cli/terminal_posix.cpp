#include "cli/terminal.h"

#include <unistd.h>

namespace vx::cli {

Terminal::Terminal(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) args_.emplace_back(argv[i]);
}

bool Terminal::TextArg(std::size_t index, std::size_t skip, CodePage code_page, std::string* text) const {
  return ConvertFromLocale(std::string_view(args_.at(index)).substr(skip), code_page, text);
}

const CodePage Terminal::kLogCodePage = CodePage::kCp932;

void Terminal::Write(std::FILE* stream, const std::string& text, CodePage from) const {
  // kNone on either side is the terminal's own encoding, the locale's.
  if (raw) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  const CodePage to = redirected && !IsTerminal(stream) ? *redirected : CodePage::kNone;
  const std::string out = ConvertForShowing(text, from, to);
  std::fwrite(out.data(), 1, out.size(), stream);
}

void Terminal::WriteLog(std::FILE* stream, const std::string& text) const { Write(stream, text, kLogCodePage); }
void Terminal::WriteCp932(std::FILE* stream, const std::string& text) const { Write(stream, text, CodePage::kCp932); }
// Paths are in the file system's encoding, which is the terminal's here.
void Terminal::WritePath(std::FILE* stream, const std::string& path) const { Write(stream, path, CodePage::kNone); }
void Terminal::WriteText(std::FILE* stream, const std::string& text, CodePage code_page) const {
  Write(stream, text, code_page);
}

bool Terminal::IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

std::string Terminal::ProgramDirectory() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return ".";
  path.resize(static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}


}  // namespace vx::cli
