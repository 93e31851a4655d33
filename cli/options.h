// The command line of vextrane-cli: one table of options, read by
// getopt_long and printed by --help.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/terminal.h"
#include "engine/expression.h"

namespace vx::cli {

// Where an option's value stands: argument `index` of Terminal::args(), from
// byte `skip` on (after an option name glued to it, as in "--search=TEXT"
// or "-sTEXT"). The texts are converted from there, not from argv's bytes.
struct ArgRef {
  std::size_t index = 0;
  std::size_t skip = 0;
};

// A path named on the command line. Not `exact`: the argument held an
// unpaired surrogate, so no file can have that name; `path` shows it.
struct PathArg {
  std::string path;
  bool exact = true;
};

struct Options {
  std::optional<ArgRef> search, replace;
  MatchOptions match;  // -E, -i, -w, --fold: for the typed pair and every pair of the list
  bool all_pairs = false;
  std::optional<std::string> list;
  bool backup = true;
  bool dry_run = false;
  bool diff = false;
  bool restore = false;
  bool keep_times = false;
  std::optional<CodePage> code_page;  // forced on every file; none: each file's own (auto)
  bool raw = false;
  std::optional<CodePage> output_encoding;  // of redirected output: kUtf8 or kCp932; none: the console's
  unsigned jobs = 0;  // set to the default by ParseOptions
  std::vector<std::string> include, exclude, exclude_folder;
  bool version_control = false;
  bool help = false;
  bool version = false;
  std::vector<PathArg> paths;
};

class UsageError {
 public:
  explicit UsageError(std::string message) : message(std::move(message)) {}
  std::string message;
};

// Reads the terminal's arguments; throws UsageError for bad usage, also for
// an option value that is not exactly what was given (an unpaired
// surrogate in it).
Options ParseOptions(const Terminal& terminal);

// The --help text, with one line or more per option of the table.
std::string HelpText();

}  // namespace vx::cli
