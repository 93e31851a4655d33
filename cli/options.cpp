#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/batch.h"

namespace vx::cli {

namespace {

// getopt_long hands back these for the long forms; the short forms come back
// as their letters. Kept apart, so that an error names the form typed.
enum Id : int {
  kSearch = 256,
  kReplace,
  kRegex,
  kIgnoreCase,
  kWord,
  kFold,
  kAllPairs,
  kList,
  kNoBackup,
  kKeepTimes,
  kDryRun,
  kDiff,
  kRestore,
  kInclude,
  kExclude,
  kExcludeFolder,
  kVersionControl,
  kJobs,
  kCodePage,
  kRaw,
  kOutputEncoding,
  kHelp,
  kVersion,
};

struct Row {
  Id id;
  const char* name;   // the long form, without "--"
  char letter;        // the short form, or 0
  const char* value;  // the value's name in the help; null for a flag
  const char* help;   // its lines in the help, '\n' between them
};

constexpr Row kRows[] = {
    {kSearch, "search", 's', "TEXT", "the text to search for (default: empty)"},
    {kReplace, "replace", 'r', "TEXT",
     "the replacement text (default: empty)\n"
     "Both take the escapes \\n (CR LF), \\t and \\\\;\n"
     "\\| separates alternatives of the search text."},
    {kRegex, "regex", 'E', nullptr,
     "the search text is a regular expression (Perl-like;\n"
     "^ and $ at every line, . never a line end; its\n"
     "escapes are the syntax's own, \\| does not apply),\n"
     "and the replacement may name its groups: $0 or $&\n"
     "(the match), $1..$99, ${n}, ${name}, \\1..\\9; $$ is $"},
    {kIgnoreCase, "ignore-case", 'i', nullptr,
     "letters match in either case (every script that has\n"
     "case, full-width letters too)"},
    {kWord, "word", 'w', nullptr,
     "a match counts only where the characters beside it\n"
     "are no letters or digits of a script written with\n"
     "spaces (kanji, kana and CJK punctuation are none:\n"
     "ID is found before a kana, not in IDs or _ID)"},
    {kFold, "fold", 0, nullptr,
     "full-width and half-width forms, and hiragana and\n"
     "katakana, are one (half-width voiced katakana too)\n"
     "-E, -i, -w and --fold apply to -s and to every pair\n"
     "of -a, and may be combined; a bad expression or a\n"
     "group the replacement names and the expression\n"
     "lacks is reported before any file is touched."},
    {kAllPairs, "all-pairs", 'a', nullptr, "apply every pair of the replace list, in order"},
    {kList, "list", 'l', "FILE",
     "the replace list for --all-pairs\n"
     "(default: list.dat beside this program)"},
    {kNoBackup, "no-backup", 0, nullptr,
     "make no .bak files (default: each file rewritten\n"
     "is first kept as its name plus .bak)"},
    {kKeepTimes, "keep-times", 0, nullptr, "give every rewritten file its old modification time"},
    {kDryRun, "dry-run", 'n', nullptr, "count what a run would replace; change nothing"},
    {kDiff, "diff", 0, nullptr,
     "print a unified diff of the lines each file would\n"
     "change, then the log; change nothing (implies -n)"},
    {kRestore, "restore", 0, nullptr,
     "put each file back from its .bak (the backup takes\n"
     "the file's name); takes no texts"},
    {kInclude, "include", 0, "GLOB",
     "in folders, take only files whose name matches\n"
     "GLOB (* any characters, ? one character; letter\n"
     "case ignored on Windows); may be repeated"},
    {kExclude, "exclude", 0, "GLOB", "in folders, leave out files whose name matches"},
    {kExcludeFolder, "exclude-dir", 0, "GLOB", "do not enter folders whose name matches"},
    {kVersionControl, "vcs", 0, nullptr,
     "enter .git, .svn, .hg and .bzr folders too\n"
     "(default: left alone)"},
    {kJobs, "jobs", 'j', "N",
     "rewrite up to N files at a time (default: 4, or the\n"
     "number of processors if more); the log is the same"},
    {kCodePage, "codepage", 0, "CP",
     "how the files are read (default: auto)\n"
     "auto: each file in the encoding found in it: a\n"
     "byte-order mark (UTF-8, UTF-16LE, UTF-16BE), else\n"
     "UTF-8 if the whole file is valid UTF-8 with a\n"
     "non-ASCII character, else the ANSI code page (932\n"
     "here); the texts given here are converted from\n"
     "the terminal's encoding to each file's, and a log\n"
     "line names any encoding but the ANSI code page\n"
     "932, utf-8 or none: every file in that code page,\n"
     "nothing detected; the texts are converted to it\n"
     "(932 keeps matches from starting inside a\n"
     "double-byte character; none converts nothing)"},
    {kRaw, "raw", 0, nullptr,
     "take the texts as the bytes given, in the ANSI\n"
     "code page (932) as the window does (with auto,\n"
     "converted to each file's encoding; with a code\n"
     "page, as they are), and print the log in code\n"
     "page 932\n"
     "A text with no exact form in a file's encoding is\n"
     "never approximated: a search text finds nothing,\n"
     "a replacement leaves the file as it is.\n"
     "In a file whose line ends are all LF, \\n is LF."},
    {kOutputEncoding, "output-encoding", 0, "ENC",
     "the encoding of the log and the messages when they\n"
     "go to a file or a pipe: utf-8 or cp932 (default:\n"
     "Windows, the console's code page, 932 on Japanese\n"
     "systems; elsewhere the terminal's encoding); a\n"
     "character that has none there is written as ?"},
    {kHelp, "help", 'h', nullptr, "show this help and exit"},
    {kVersion, "version", 0, nullptr, "show the version and exit"},
};

constexpr char kHelpHead[] =
    "Usage: vextrane-cli [OPTION]... PATH...\n"
    "       vextrane-cli --restore [OPTION]... PATH...\n"
    "Replaces text in every file named, and in every file below every folder\n"
    "named (depth first), and prints the result log. Files named here are\n"
    "taken whatever the masks say; folders .git, .svn, .hg and .bzr are left\n"
    "alone unless --vcs is given.\n"
    "\n";
constexpr char kHelpTail[] =
    "\n"
    "Exit status: 0 if every file got a count, 1 if any file got an error\n"
    "line or a path names nothing, 2 for bad usage, a bad expression or a\n"
    "replace list that cannot be read.\n";
constexpr std::size_t kHelpColumn = 25;

const Row* RowOf(int id_or_letter) {
  for (const Row& row : kRows) {
    if (row.id == id_or_letter || (row.letter != 0 && row.letter == id_or_letter)) return &row;
  }
  return nullptr;
}

std::optional<CodePage> ParseCodePage(const std::string& value) {
  if (value == "auto") return std::nullopt;
  if (value == "932" || value == "cp932" || value == "shift_jis" || value == "sjis") return CodePage::kCp932;
  if (value == "utf-8" || value == "utf8" || value == "UTF-8" || value == "65001") return CodePage::kUtf8;
  if (value == "none") return CodePage::kNone;
  throw UsageError("unknown code page '" + value + "' (use auto, 932, utf-8 or none)");
}

CodePage ParseOutputEncoding(const std::string& value) {
  if (value == "932" || value == "cp932" || value == "shift_jis" || value == "sjis") return CodePage::kCp932;
  if (value == "utf-8" || value == "utf8" || value == "UTF-8" || value == "65001") return CodePage::kUtf8;
  throw UsageError("unknown output encoding '" + value + "' (use utf-8 or cp932)");
}

unsigned ParseJobs(const std::string& value) {
  char* end = nullptr;
  const unsigned long n = std::strtoul(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || n < 1 || n > 256 || value[0] == '-') {
    throw UsageError("--jobs takes a number from 1 to 256, not '" + value + "'");
  }
  return static_cast<unsigned>(n);
}

// What getopt_long refused ('?' or ':'), in the words of this program.
// `current` is the argument it was reading when the option was long.
std::string Refusal(int code, const char* current) {
  if (const Row* row = optopt >= kSearch ? RowOf(optopt) : nullptr) {
    const std::string name = std::string("--") + row->name;
    return "option '" + name + (row->value ? "' needs a value" : "' takes no value");
  }
  if (optopt != 0) {
    const std::string name = std::string("-") + static_cast<char>(optopt);
    const Row* row = RowOf(optopt);
    return row && row->value && code == ':' ? "option '" + name + "' needs a value" : "unknown option '" + name + "'";
  }
  // A long form that is none of the table's, or the start of several.
  std::string typed = current ? current : "";
  typed = typed.substr(0, typed.find('='));
  std::string candidates;
  for (const Row& row : kRows) {
    if (typed.size() > 2 && std::strncmp(row.name, typed.c_str() + 2, typed.size() - 2) == 0) {
      candidates += std::string(candidates.empty() ? "" : ", ") + "--" + row.name;
    }
  }
  if (candidates.find(',') != std::string::npos) return "option '" + typed + "' is ambiguous (" + candidates + ")";
  return "unknown option '" + typed + "'";
}

}  // namespace

Options ParseOptions(const Terminal& terminal) {
  // getopt_long reads the arguments' own bytes (UTF-8 on Windows), in a
  // copy with the program's name in front.
  std::vector<std::string> words = {"vextrane-cli"};
  words.insert(words.end(), terminal.args().begin(), terminal.args().end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const int argc = static_cast<int>(argv.size());

  std::vector<option> longs;
  std::string shorts = ":";  // a missing value reads as ':', apart from an unknown option
  for (const Row& row : kRows) {
    longs.push_back({row.name, row.value ? required_argument : no_argument, nullptr, row.id});
    if (row.letter != 0) {
      shorts += row.letter;
      if (row.value) shorts += ':';
    }
  }
  longs.push_back({nullptr, 0, nullptr, 0});

  // getopt_long moves the paths behind the options; in a copy, so that argv
  // (and the terminal's arguments) keep their order.
  std::vector<char*> args = argv;
  args.push_back(nullptr);
  auto ref_of = [&](const char* value) {
    for (int k = 1; k < argc; ++k) {
      if (value >= argv[k] && value <= argv[k] + std::strlen(argv[k])) {
        return ArgRef{static_cast<std::size_t>(k - 1), static_cast<std::size_t>(value - argv[k])};
      }
    }
    return ArgRef{};
  };

  Options o;
  o.jobs = DefaultJobCount();  // the window's too
  opterr = 0;
  optind = 1;
  for (;;) {
    const int current = optind;
    const int code = getopt_long(argc, args.data(), shorts.c_str(), longs.data(), nullptr);
    if (code == -1) break;
    if (code == '?' || code == ':') {
      // A long option's argument is the one just passed; a short one may sit
      // inside a cluster, and optopt names it.
      const int at = optind > current ? optind - 1 : current;
      throw UsageError(Refusal(code, at < argc ? args[at] : nullptr));
    }
    const Row* row = RowOf(code);
    if (!row) throw UsageError("unknown option");
    const std::string value = optarg ? optarg : "";
    if (optarg && !terminal.exact(ref_of(optarg).index)) {
      const std::string form = code == row->id ? std::string("--") + row->name : std::string("-") + row->letter;
      throw UsageError("the value of '" + form +
                       "' holds an unpaired surrogate (half of a UTF-16 character), which no text or name can hold");
    }
    switch (row->id) {
      case kSearch: o.search = ref_of(optarg); break;
      case kReplace: o.replace = ref_of(optarg); break;
      case kRegex: o.match.regex = true; break;
      case kIgnoreCase: o.match.ignore_case = true; break;
      case kWord: o.match.word = true; break;
      case kFold: o.match.fold = true; break;
      case kAllPairs: o.all_pairs = true; break;
      case kList: o.list = value; break;
      case kNoBackup: o.backup = false; break;
      case kKeepTimes: o.keep_times = true; break;
      case kDryRun: o.dry_run = true; break;
      case kDiff: o.diff = true; break;
      case kRestore: o.restore = true; break;
      case kInclude: o.include.push_back(value); break;
      case kExclude: o.exclude.push_back(value); break;
      case kExcludeFolder: o.exclude_folder.push_back(value); break;
      case kVersionControl: o.version_control = true; break;
      case kJobs: o.jobs = ParseJobs(value); break;
      case kCodePage: o.code_page = ParseCodePage(value); break;
      case kRaw: o.raw = true; break;
      case kOutputEncoding: o.output_encoding = ParseOutputEncoding(value); break;
      case kHelp: o.help = true; break;
      case kVersion: o.version = true; break;
    }
  }
  for (int k = optind; k < argc; ++k) o.paths.push_back({args[k], terminal.exact(ref_of(args[k]).index)});

  if (o.help || o.version) return o;
  if (o.all_pairs && (o.search || o.replace)) {
    throw UsageError("--all-pairs takes its pairs from the replace list; it cannot be combined with -s or -r");
  }
  if (o.list && !o.all_pairs) throw UsageError("--list names the replace list for --all-pairs; add -a");
  if (o.restore && (o.search || o.replace || o.all_pairs || o.dry_run || o.diff || !o.backup || o.keep_times ||
                    !o.match.plain())) {
    throw UsageError(
        "--restore puts files back from their backups; it cannot be combined with -s, -r, -a, -E, -i, -w, "
        "--fold, -n, --diff, --no-backup or --keep-times");
  }
  if (o.raw && o.output_encoding) {
    throw UsageError("--raw prints the log in code page 932; it cannot be combined with --output-encoding");
  }
  if (o.diff) o.dry_run = true;
  if (o.paths.empty()) throw UsageError("no file or folder named");
  return o;
}

std::string HelpText() {
  std::string text = kHelpHead;
  for (const Row& row : kRows) {
    std::string head = "  ";
    head += row.letter ? std::string("-") + row.letter + ", " : std::string("    ");
    head += std::string("--") + row.name;
    if (row.value) head += std::string(" ") + row.value;
    head += head.size() < kHelpColumn ? std::string(kHelpColumn - head.size(), ' ')
                                      : "\n" + std::string(kHelpColumn, ' ');
    text += head;
    for (const char* at = row.help; *at;) {
      const char* end = std::strchr(at, '\n');
      if (!end) end = at + std::strlen(at);
      if (at != row.help) text += std::string(kHelpColumn, ' ');
      text.append(at, end);
      text += '\n';
      at = *end ? end + 1 : end;
    }
  }
  return text + kHelpTail;
}

}  // namespace vx::cli
