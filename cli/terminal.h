// What the command-line tool needs from the platform besides files: its
// arguments, the terminal's encoding, and the two output streams.
// terminal_posix.cpp (the locale's encoding) and terminal_win32.cpp (the
// wide command line, the console, the console's code pages); what is shown
// is converted by platform/encoding.h's verbs for showing.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/encoding.h"

namespace vx::cli {

class Terminal {
 public:
  Terminal(int argc, char** argv);

  // The arguments after the program's name, as the file functions take
  // paths: POSIX, the bytes given (the terminal's encoding); Windows, the
  // UTF-16 command line as UTF-8.
  const std::vector<std::string>& args() const { return args_; }
  // Whether argument `index` is exactly what was given. Windows: false for
  // one holding an unpaired surrogate, which no UTF-8 text can stand for;
  // args() then holds it with U+FFFD in that place, for showing only.
  bool exact(std::size_t index) const { return index >= inexact_.size() || !inexact_[index]; }

  // Argument `index` of args() without its first `skip` bytes (an option
  // name glued to its value), converted to `code_page`: kUtf8, kCp932 and
  // kAnsi (Windows' ANSI code page, 932 elsewhere) exactly; kNone, the bytes
  // as given (Windows: in the ANSI code page, as the window's texts are).
  // False if it cannot be represented there.
  bool TextArg(std::size_t index, std::size_t skip, CodePage code_page, std::string* text) const;

  // The code page of the log's own texts beside the paths (the `log` of
  // the Format functions of engine/batch.h): Windows, UTF-8 as its paths
  // are; POSIX, code page 932, beside paths that are the terminal's bytes.
  static const CodePage kLogCodePage;

  // Writes a text of the log formatted in kLogCodePage, code page 932 text
  // (the program's own literals), a path as it came from args() or a folder
  // listing (also a message made of such paths and ASCII), or a file's text
  // in `code_page` (kNone: bytes as they are), converted to the terminal's
  // encoding. With `raw`, the log's bytes in code page 932 and a file's text
  // unchanged (on Windows without CR before LF).
  void WriteLog(std::FILE* stream, const std::string& text) const;
  void WriteCp932(std::FILE* stream, const std::string& text) const;
  void WritePath(std::FILE* stream, const std::string& path) const;
  void WriteText(std::FILE* stream, const std::string& text, CodePage code_page) const;
  bool raw = false;
  // The encoding of a stream that goes to no terminal (a file, a pipe):
  // kUtf8 or kCp932; none, as today: Windows, the console's output code
  // page (the ANSI one without a console); POSIX, the terminal's encoding.
  // A character that has no form there is written as '?'.
  std::optional<CodePage> redirected;

  // Whether the stream goes to a terminal (the progress line is shown only then).
  static bool IsTerminal(std::FILE* stream);
  // The folder of the running executable, without a trailing separator.
  static std::string ProgramDirectory();

 private:
  // `from`: the code page `text` is in; kNone, the terminal's own encoding
  // (POSIX) or the ANSI code page (Windows).
  void Write(std::FILE* stream, const std::string& text, CodePage from) const;

  std::vector<std::string> args_;
  std::vector<bool> inexact_;
};

}  // namespace vx::cli
