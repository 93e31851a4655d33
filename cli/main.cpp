// vextrane-cli: one batch run over the files and folders named on the
// command line, with the result log on stdout.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/target_files.h"
#include "cli/terminal.h"
#include "engine/batch.h"
#include "platform/file.h"
#include "replacelist/list_file.h"

namespace vx::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileErrors = 1;
constexpr int kExitUsage = 2;

constexpr char kVersion[] = "1.10";

constexpr char kHelp[] =
    "Usage: vextrane-cli [OPTION]... PATH...\n"
    "Replaces text in every file named, and in every file below every folder\n"
    "named (depth first), and prints the result log.\n"
    "\n"
    "  -s, --search TEXT      the text to search for (default: empty)\n"
    "  -r, --replace TEXT     the replacement text (default: empty)\n"
    "                         Both take the escapes \\n (CR LF), \\t and \\\\;\n"
    "                         \\| separates alternatives of the search text.\n"
    "  -a, --all-pairs        apply every pair of the replace list, in order\n"
    "  -l, --list FILE        the replace list for --all-pairs\n"
    "                         (default: list.dat beside this program)\n"
    "      --no-backup        make no .bak files (default: each file rewritten\n"
    "                         is first kept as its name plus .bak)\n"
    "  -n, --dry-run          count what a run would replace; change nothing\n"
    "  -j, --jobs N           rewrite up to N files at a time (default: 4, or the\n"
    "                         number of processors if more); the log is the same\n"
    "      --codepage CP      the files' code page: 932, utf-8 or none; the\n"
    "                         texts given here are converted to it, and 932\n"
    "                         keeps matches from starting inside a double-byte\n"
    "                         character (default: the ANSI code page on\n"
    "                         Windows, 932 elsewhere)\n"
    "      --raw              convert nothing: the texts are taken as the bytes\n"
    "                         given, and the log is printed in code page 932\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Exit status: 0 if every file got a count, 1 if any file got an error\n"
    "line, 2 for bad usage or a replace list that cannot be read.\n";

// Where an option's value stands: argument `index`, from byte `skip` on
// (after an option name glued to it, as in "--search=TEXT" or "-sTEXT").
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
  CodePage code_page = Terminal::DefaultCodePage();
  bool raw = false;
  unsigned jobs = DefaultJobCount();
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;
};

class UsageError {
 public:
  explicit UsageError(std::string message) : message(std::move(message)) {}
  std::string message;
};

CodePage ParseCodePage(const std::string& value) {
  if (value == "932" || value == "cp932" || value == "shift_jis" || value == "sjis") return CodePage::kCp932;
  if (value == "utf-8" || value == "utf8" || value == "UTF-8" || value == "65001") return CodePage::kUtf8;
  if (value == "none") return CodePage::kNone;
  throw UsageError("unknown code page '" + value + "' (use 932, utf-8 or none)");
}

unsigned ParseJobs(const std::string& value) {
  char* end = nullptr;
  const unsigned long n = std::strtoul(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || n < 1 || n > 256 || value[0] == '-') {
    throw UsageError("--jobs takes a number from 1 to 256, not '" + value + "'");
  }
  return static_cast<unsigned>(n);
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      o.paths.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    // The value of an option: glued on ("--list=FILE", "-lFILE") or the next argument.
    auto value_of = [&](std::size_t glued_at, const std::string& name) {
      if (glued_at < arg.size()) return ArgRef{i, glued_at};
      if (i + 1 >= args.size()) throw UsageError("option '" + name + "' needs a value");
      return ArgRef{++i, 0};
    };
    auto text_of = [&](const ArgRef& ref) { return args[ref.index].substr(ref.skip); };
    if (arg[1] == '-') {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(0, eq);
      const bool glued = eq != std::string::npos;
      auto value = [&]() { return value_of(glued ? eq + 1 : arg.size(), name); };
      auto flag = [&]() {
        if (glued) throw UsageError("option '" + name + "' takes no value");
      };
      if (name == "--search") {
        o.search = value();
      } else if (name == "--replace") {
        o.replace = value();
      } else if (name == "--list") {
        o.list = text_of(value());
      } else if (name == "--jobs") {
        o.jobs = ParseJobs(text_of(value()));
      } else if (name == "--codepage") {
        o.code_page = ParseCodePage(text_of(value()));
      } else if (name == "--all-pairs") {
        flag(), o.all_pairs = true;
      } else if (name == "--no-backup") {
        flag(), o.backup = false;
      } else if (name == "--dry-run") {
        flag(), o.dry_run = true;
      } else if (name == "--raw") {
        flag(), o.raw = true;
      } else if (name == "--help") {
        flag(), o.help = true;
      } else if (name == "--version") {
        flag(), o.version = true;
      } else {
        throw UsageError("unknown option '" + name + "'");
      }
      continue;
    }
    // A cluster of short options: "-an", "-sTEXT", "-n -s TEXT".
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const char c = arg[k];
      const std::string name = std::string("-") + c;
      if (c == 's') {
        o.search = value_of(k + 1, name);
        break;
      }
      if (c == 'r') {
        o.replace = value_of(k + 1, name);
        break;
      }
      if (c == 'l') {
        o.list = text_of(value_of(k + 1, name));
        break;
      }
      if (c == 'j') {
        o.jobs = ParseJobs(text_of(value_of(k + 1, name)));
        break;
      }
      if (c == 'a') {
        o.all_pairs = true;
      } else if (c == 'n') {
        o.dry_run = true;
      } else if (c == 'h') {
        o.help = true;
      } else {
        throw UsageError("unknown option '" + name + "'");
      }
    }
  }
  if (o.help || o.version) return o;
  if (o.all_pairs && (o.search || o.replace)) {
    throw UsageError("--all-pairs takes its pairs from the replace list; it cannot be combined with -s or -r");
  }
  if (o.list && !o.all_pairs) throw UsageError("--list names the replace list for --all-pairs; add -a");
  if (o.paths.empty()) throw UsageError("no file or folder named");
  return o;
}

// The pairs of the replace list file, as the window's drop-down lists hold them.
bool ReadListPairs(const std::string& path, std::vector<ReplacePair>* pairs, std::string* problem) {
  platform::SysError error = platform::kOk;
  {
    // The reader takes a file it cannot open for an empty list; here that is an error.
    platform::File probe = platform::File::OpenReadExclusive(path, &error);
    if (!probe.IsOpen()) {
      *problem = "cannot open the replace list " + path + " (system error " + std::to_string(error) + ")";
      return false;
    }
  }
  ListColumns columns;
  if (const ListFileError failed = LoadReplaceListColumns(&columns, path)) {
    *problem = "cannot read the replace list " + failed.name + " (system error " + std::to_string(failed.code) + ")";
    return false;
  }
  *pairs = PairsFromLists(columns.search, columns.replace);
  return true;
}

// The progress line on stderr, overwritten file by file.
class Progress {
 public:
  Progress(const Terminal& terminal, bool shown) : terminal_(terminal), shown_(shown) {}
  void Show(std::size_t done, std::size_t count, const std::string& path) {
    if (!shown_) return;
    const std::string head = "\r[" + std::to_string(done) + "/" + std::to_string(count) + "] ";
    Clear();
    std::fputs(head.c_str(), stderr);
    terminal_.WritePath(stderr, path);
    width_ = head.size() + path.size();
    std::fflush(stderr);
  }
  void Clear() {
    if (!shown_ || width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
    width_ = 0;
  }

 private:
  const Terminal& terminal_;
  bool shown_;
  std::size_t width_ = 0;
};

int Run(int argc, char** argv) {
  Terminal terminal(argc, argv);
  const std::vector<std::string>& args = terminal.args();
  Options o;
  auto usage = [](const std::string& message) {
    std::fprintf(stderr, "vextrane-cli: %s\nTry 'vextrane-cli --help' for more information.\n", message.c_str());
    return kExitUsage;
  };
  try {
    o = ParseOptions(args);
  } catch (const UsageError& e) {
    return usage(e.message);
  }
  if (o.help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  if (o.version) {
    std::printf("vextrane-cli %s\n", kVersion);
    return kExitOk;
  }
  terminal.raw = o.raw;
  const CodePage text_code_page = o.raw ? CodePage::kNone : o.code_page;

  std::vector<ReplacePair> pairs;
  if (o.all_pairs) {
    std::string problem;
    const std::string list = o.list ? *o.list : JoinPath(Terminal::ProgramDirectory(), kReplaceListFile);
    if (!ReadListPairs(list, &pairs, &problem)) {
      std::fprintf(stderr, "vextrane-cli: %s\n", problem.c_str());
      return kExitUsage;
    }
  } else {
    ReplacePair pair;
    auto text = [&](const std::optional<ArgRef>& ref, std::string* out) {
      return !ref || terminal.TextArg(ref->index, ref->skip, text_code_page, out);
    };
    if (!text(o.search, &pair.search) || !text(o.replace, &pair.replace)) {
      return usage("a search or replacement text cannot be written in the files' code page (see --codepage, --raw)");
    }
    pairs.push_back(std::move(pair));
  }

  TargetFiles targets;
  targets.on_duplicate = [&](const std::string& path) {
    terminal.WritePath(stderr, path);
    terminal.WriteCp932(stderr, "は\nすでにリストに存在します。\n");
  };
  for (const std::string& path : o.paths) {
    if (targets.Add(path) == TargetFiles::Added::kNothing) {
      std::fputs("vextrane-cli: ", stderr);
      terminal.WritePath(stderr, path);
      std::fputs(": no such file or folder; skipped\n", stderr);
    }
  }

  const std::vector<std::string>& files = targets.files();
  Progress progress(terminal, Terminal::IsTerminal(stderr));
  BatchSettings settings;
  settings.lead = Terminal::LeadBytesOf(o.code_page);
  settings.options.dry_run = o.dry_run;
  std::vector<BatchFile> batch;
  batch.reserve(files.size());
  for (const std::string& path : files) batch.push_back(BatchFile{path, pairs, o.backup});
  BatchWatch watch;
  watch.finished = [&](std::size_t done, const BatchEntry& entry) { progress.Show(done, files.size(), entry.path); };
  const BatchReport report = ProcessFiles(std::move(batch), settings, o.jobs, watch);
  progress.Clear();

  if (o.raw) {
    terminal.WriteCp932(stdout, FormatBatchLog(report));
  } else {
    terminal.WriteCp932(stdout, FormatLogHead(report.total));
    for (const BatchEntry& entry : report.entries) {
      terminal.WritePath(stdout, entry.path);
      terminal.WriteCp932(stdout, kLogSeparator + FormatResultText(entry.outcome));
    }
  }
  std::fflush(stdout);
  return report.AnyFailed() ? kExitFileErrors : kExitOk;
}

}  // namespace
}  // namespace vx::cli

int main(int argc, char** argv) { return vx::cli::Run(argc, argv); }
