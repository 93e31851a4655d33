// What the command-line tool needs from the platform besides files: its
// arguments, the terminal's encoding, and the two output streams.
// terminal_posix.cpp (iconv, nl_langinfo) and terminal_win32.cpp (console
// code pages, the wide command line).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/lead_bytes.h"

namespace vx::cli {

// The code page the target files are in, for the texts given on the command
// line and the lead-byte rule. kAnsi: Windows' ANSI code page, whatever it is.
enum class CodePage { kCp932, kUtf8, kNone, kAnsi };

class Terminal {
 public:
  Terminal(int argc, char** argv);

  // The arguments after the program's name, as the file functions take paths.
  const std::vector<std::string>& args() const { return args_; }

  // Argument `index` of args() without its first `skip` bytes (an option
  // name glued to its value), converted from the terminal's encoding to
  // `code_page` (kNone: unchanged). False if it cannot be represented there.
  bool TextArg(std::size_t index, std::size_t skip, CodePage code_page, std::string* text) const;

  // Writes code page 932 text (the log's own texts) or a path as it came
  // from args() or a folder listing, converted to the terminal's encoding;
  // with `raw`, the bytes unchanged (on Windows without CR before LF).
  void WriteCp932(std::FILE* stream, const std::string& text) const;
  void WritePath(std::FILE* stream, const std::string& path) const;
  // Writes a file's text, in `code_page` (kNone: bytes as they are),
  // converted to the terminal's encoding; with `raw`, unchanged.
  void WriteText(std::FILE* stream, const std::string& text, CodePage code_page) const;
  bool raw = false;

  // Whether the stream goes to a terminal (the progress line is shown only then).
  static bool IsTerminal(std::FILE* stream);
  // The folder of the running executable, without a trailing separator.
  static std::string ProgramDirectory();
  // The code page the file texts are in by default: Windows' ANSI code
  // page; elsewhere 932.
  static CodePage DefaultCodePage();
  // The lead bytes of a code page (none for UTF-8 and for kNone).
  static LeadBytes LeadBytesOf(CodePage code_page);

 private:
  // `from`: the code page `text` is in; kNone, the terminal's own encoding.
  void Write(std::FILE* stream, const std::string& text, CodePage from) const;

  std::vector<std::string> args_;
};

}  // namespace vx::cli
