// The command line of vextrane-cli: one table of options, read by
// getopt_long and printed by --help.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/terminal.h"

namespace vx::cli {

// Where an option's value stands: argument `index` of Terminal::args(), from
// byte `skip` on (after an option name glued to it, as in "--search=TEXT"
// or "-sTEXT"). The texts are converted from there, not from argv's bytes.
struct ArgRef {
  std::size_t index = 0;
  std::size_t skip = 0;
};

struct Options {
  std::optional<ArgRef> search, replace;
  bool all_pairs = false;
  std::optional<std::string> list;
  bool backup = true;
  bool dry_run = false;
  bool diff = false;
  bool restore = false;
  bool keep_times = false;
  CodePage code_page = Terminal::DefaultCodePage();
  bool raw = false;
  unsigned jobs = 0;  // set to the default by ParseOptions
  std::vector<std::string> include, exclude, exclude_folder;
  bool version_control = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;
};

class UsageError {
 public:
  explicit UsageError(std::string message) : message(std::move(message)) {}
  std::string message;
};

// Reads argv[1..argc) (the same arguments as Terminal::args()); throws
// UsageError for bad usage.
Options ParseOptions(int argc, char** argv);

// The --help text, with one line or more per option of the table.
std::string HelpText();

}  // namespace vx::cli
