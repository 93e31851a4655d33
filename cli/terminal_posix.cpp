#include "cli/terminal.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>

namespace vx::cli {

namespace {

// The terminal's encoding as iconv names it. The plain C locale claims
// ASCII; terminals today send UTF-8 there, and UTF-8 is a superset of ASCII.
std::string TerminalEncoding() {
  std::setlocale(LC_CTYPE, "");
  std::string codeset = nl_langinfo(CODESET);
  if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII") return "UTF-8";
  return codeset;
}

const std::string& Encoding() {
  static const std::string encoding = TerminalEncoding();
  return encoding;
}

// How much of `text` (n bytes left) to skip where it cannot be converted
// from `from`: in UTF-8 the lead byte and the continuation bytes after it
// (one '?' for an emoji, as Windows writes it); else one byte.
std::size_t SkipLength(const char* text, std::size_t n, const char* from) {
  if (std::strcmp(from, "UTF-8") != 0) return 1;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  std::size_t i = 1;
  while (i < length && i < n && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// Converts `in`; with `lossy`, a character that cannot be converted becomes
// "?" and conversion goes on, otherwise it fails.
bool Convert(const std::string& in, const char* from, const char* to, bool lossy, std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (!lossy) return false;
    *out = in;
    return true;
  }
  std::string source = in;
  char* src = source.data();
  std::size_t src_left = source.size();
  char buffer[4096];
  bool ok = true;
  for (;;) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t rc = src_left == 0 ? iconv(cd, nullptr, nullptr, &dst, &dst_left)
                                         : iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buffer, dst - buffer);
    if (rc != static_cast<std::size_t>(-1)) {
      if (src_left == 0) break;
      continue;
    }
    if (errno == E2BIG) continue;
    if (!lossy) {
      ok = false;
      break;
    }
    out->push_back('?');  // EILSEQ or EINVAL: skip the character that stops it
    const std::size_t skip = SkipLength(src, src_left, from);
    src += skip;
    src_left -= skip;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

Terminal::Terminal(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) args_.emplace_back(argv[i]);
}

bool Terminal::TextArg(std::size_t index, std::size_t skip, CodePage code_page, std::string* text) const {
  const std::string arg = args_.at(index).substr(skip);
  switch (code_page) {
    case CodePage::kNone: *text = arg; return true;
    case CodePage::kUtf8: return Convert(arg, Encoding().c_str(), "UTF-8", false, text);
    case CodePage::kCp932:
    case CodePage::kAnsi: return Convert(arg, Encoding().c_str(), "CP932", false, text);
    default: return false;
  }
}

const CodePage Terminal::kLogCodePage = CodePage::kCp932;

void Terminal::Write(std::FILE* stream, const std::string& text, CodePage from) const {
  std::string converted;
  const std::string* out = &text;
  if (!raw) {
    const std::string& terminal = Encoding();
    const char* source = from == CodePage::kNone ? terminal.c_str() : from == CodePage::kUtf8 ? "UTF-8" : "CP932";
    const char* target = terminal.c_str();
    if (redirected && !IsTerminal(stream)) target = *redirected == CodePage::kUtf8 ? "UTF-8" : "CP932";
    // Bytes in the terminal's encoding (paths) go to it as they are.
    if (from != CodePage::kNone || std::strcmp(source, target) != 0) {
      Convert(text, source, target, true, &converted);
      out = &converted;
    }
  }
  std::fwrite(out->data(), 1, out->size(), stream);
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
