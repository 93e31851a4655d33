// vextrane-cli: one batch run over the files and folders named on the
// command line, with the result log on stdout; or the preview of one
// (--diff), or the files put back from their backups (--restore).
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/canonical_path.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "engine/batch.h"
#include "engine/expression.h"
#include "engine/line_diff.h"
#include "engine/replace_chain.h"
#include "platform/file.h"
#include "replacelist/list_file.h"
#include "res/version.h"
#include "targets/path_text.h"
#include "targets/target_filter.h"
#include "targets/target_intake.h"
#include "targets/walk.h"

namespace vx::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileErrors = 1;
constexpr int kExitUsage = 2;

// What a backup's name looks like, as the platform compares names.
const NameMask& BackupName() {
  static const NameMask mask(std::string("*") + kBackupSuffix, PlatformNameRules());
  return mask;
}

// The filter of the folder walks, names spelled as the platform spells them.
TargetFilter FilterOf(const Options& o) {
  TargetFilter filter(PlatformNameRules());
  for (const std::string& glob : o.include) filter.Include(glob);
  for (const std::string& glob : o.exclude) filter.ExcludeFile(glob);
  for (const std::string& glob : o.exclude_folder) filter.ExcludeFolder(glob);
  filter.EnterVersionControl(o.version_control);
  // A backup is what a file is restored from, never a file to restore into.
  if (o.restore) filter.ExcludeFile(BackupName().pattern());
  return filter;
}

// The bytes of a file; false if it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes) {
  platform::SysError error = platform::kOk;
  platform::File file = platform::File::OpenReadExclusive(platform::FinalPath(path), &error);
  if (!file.IsOpen()) return false;
  bytes->clear();
  char buffer[1 << 16];
  for (std::size_t got = 0;; bytes->append(buffer, got)) {
    if (file.Read(buffer, sizeof buffer, &got) != platform::kOk) return false;
    if (got == 0) return true;
  }
}

// --diff: for each file the run would change, a unified diff from what it
// holds to what the run would write, the file's path in both header lines.
void PrintDiffs(const Terminal& terminal, const BatchReport& report, const std::vector<ReplacePair>& pairs,
                const BatchSettings& settings) {
  for (const BatchEntry& entry : report.entries) {
    if (!entry.outcome.done() || entry.outcome.count == 0) continue;
    StringSink preview;
    RewriteOptions options = settings.options;
    options.dry_run = true;
    options.preview = &preview;
    std::string before;
    const RewriteOutcome outcome = RewriteFile(entry.path, pairs, settings.reading, options);
    if (!outcome.done() || !ReadWholeFile(entry.path, &before)) continue;
    // A file not found to be in another encoding is in the code page the
    // texts were put into (the window's, or the one forced).
    const CodePage file_code_page = settings.reading.detect ? CodePage::kAnsi : settings.reading.texts;
    const CodePage code_page = LinesText(outcome.encoding, file_code_page, &before);
    LinesText(outcome.encoding, file_code_page, &preview.text);
    const std::string hunks = UnifiedDiffHunks(before, preview.text);
    if (hunks.empty()) continue;  // every match replaced by itself
    for (const char* head : {"--- ", "+++ "}) {
      std::fputs(head, stdout);
      terminal.WritePath(stdout, entry.path);
      std::fputs("\n", stdout);
    }
    terminal.WriteText(stdout, hunks, code_page);
  }
}

// The pairs of the replace list file, as the window's drop-down lists hold them.
// The pairs of the replace list, its texts held in `held`. A text with a
// byte that is no character in the list's encoding is refused: it would
// stand for a character the list does not hold.
bool ReadListPairs(const std::string& path, CodePage held, std::vector<ReplacePair>* pairs, std::string* problem) {
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
  std::vector<std::size_t> inexact;
  if (const ListFileError failed = LoadReplaceListColumns(&columns, path, held, &inexact)) {
    *problem = "cannot read the replace list " + failed.name + " (system error " + std::to_string(failed.code) + ")";
    return false;
  }
  if (!inexact.empty()) {
    *problem = "the replace list " + path + " holds bytes that are no text in its encoding (text " +
               std::to_string(inexact.front() + 1) + ")";
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

// The result log on stdout: the window's log, each path as it is held
// (the log's texts beside them in the code page the terminal writes from).
void PrintLog(const Terminal& terminal, const BatchReport& report) {
  const CodePage log = Terminal::kLogCodePage;
  if (terminal.raw) {
    terminal.WriteLog(stdout, FormatBatchLog(report, log));
    return;
  }
  terminal.WriteLog(stdout, FormatLogHead(report.total, log));
  for (const BatchEntry& entry : report.entries) {
    terminal.WritePath(stdout, entry.path);
    terminal.WriteLog(stdout, kLogSeparator + FormatResultText(entry.outcome, log));
  }
}

// An error line about a path named on the command line.
void PathError(const Terminal& terminal, const std::string& path, const char* what) {
  terminal.WritePath(stderr, "vextrane-cli: " + path + ": " + what + "\n");
}

// The files of the run, from the paths named; false if a path named none
// (a typo in a script must not pass for success; the other paths are
// still taken).
bool TakePaths(const Terminal& terminal, const Options& o, std::vector<std::string>* files) {
  TargetIntake intake(TargetIntake::Duplicates::kNameOrFile);
  const TargetFilter filter = FilterOf(o);
  TargetSink sink;
  sink.take = [files](const std::string& path) {
    files->push_back(path);
    return true;
  };
  sink.duplicate = [&](const std::string& path) {
    terminal.WritePath(stderr, path);
    terminal.WriteCp932(stderr, "は\nすでにリストに存在します。\n");
  };
  bool all_named = true;
  for (const PathArg& arg : o.paths) {
    if (!arg.exact) {
      // Never looked up: what it shows (U+FFFD) might name another file.
      PathError(terminal, arg.path, "holds an unpaired surrogate (half of a UTF-16 character), which no name can; skipped");
      all_named = false;
    } else if (o.restore && (BackupName().Matches(arg.path) || HasTempSuffix(arg.path))) {
      PathError(terminal, arg.path, "a backup or a temporary file, not a file to restore; name the file it belongs to");
      all_named = false;
    } else if (intake.Add(CanonicalPath(arg.path), filter, sink) == TargetIntake::Added::kNothing) {
      PathError(terminal, arg.path, "no such file or folder; skipped");
      all_named = false;
    }
  }
  return all_named;
}

int Run(int argc, char** argv) {
  Terminal terminal(argc, argv);
  Options o;
  auto usage = [&](const std::string& message) {
    // The message may quote an argument: written as a path is.
    terminal.WritePath(stderr, "vextrane-cli: " + message + "\nTry 'vextrane-cli --help' for more information.\n");
    return kExitUsage;
  };
  try {
    o = ParseOptions(terminal);
  } catch (const UsageError& e) {
    return usage(e.message);
  }
  if (o.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (o.version) {
    std::printf("vextrane-cli %s\n", VX_VERSION_SHOWN);
    return kExitOk;
  }
  terminal.raw = o.raw;
  terminal.redirected = o.output_encoding;
  // The code page the texts end up in: the forced one; else the window's
  // for --raw, or UTF-8, which holds every text a command line or a replace
  // list can give; each file's encoding comes from there.
  const CodePage typed_in = o.code_page ? *o.code_page : o.raw ? CodePage::kAnsi : CodePage::kUtf8;
  // The replace list's texts are held in the same code page; as bytes of
  // code page 932 where the texts are taken as bytes.
  const CodePage list_held =
      typed_in == CodePage::kNone || typed_in == CodePage::kAnsi ? CodePage::kCp932 : typed_in;
  const CodePage text_code_page = o.raw ? CodePage::kNone : typed_in;

  std::vector<ReplacePair> pairs;
  if (o.restore) {
    // A restore applies no pairs; one empty pair keeps every file in the run.
    pairs.emplace_back();
  } else if (o.all_pairs) {
    std::string problem;
    const std::string list = o.list ? *o.list : PlatformFolders().Join(Terminal::ProgramDirectory(), kReplaceListFile);
    if (!ReadListPairs(list, list_held, &pairs, &problem)) {
      terminal.WritePath(stderr, "vextrane-cli: " + problem + "\n");
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

  // A bad expression, or a group the replacement names and the expression
  // lacks, stops the run here: before any folder is walked or file touched.
  if (const std::optional<PatternError> error = CheckPatterns(pairs, typed_in, o.match)) {
    terminal.WriteLog(stderr, FormatPatternError(*error, Terminal::kLogCodePage) + "\n");
    return kExitUsage;
  }

  std::vector<std::string> files;
  const bool all_named = TakePaths(terminal, o, &files);

  Progress progress(terminal, Terminal::IsTerminal(stderr));
  BatchSettings settings;
  settings.reading = FileReading{typed_in, !o.code_page};
  settings.options.dry_run = o.dry_run;
  settings.options.keep_times = o.keep_times;
  settings.options.match = o.match;
  if (o.restore) {
    settings.rewrite = [](const std::string& path, const std::vector<ReplacePair>&, const FileReading&,
                          const RewriteOptions& options) { return RestoreFromBackup(path, options); };
  }
  std::vector<BatchFile> batch;
  batch.reserve(files.size());
  for (const std::string& path : files) batch.push_back(BatchFile{path, pairs, o.backup && !o.restore});
  BatchWatch watch;
  watch.finished = [&](std::size_t done, const BatchEntry& entry) { progress.Show(done, files.size(), entry.path); };
  const BatchReport report = ProcessFiles(std::move(batch), settings, o.jobs, watch);
  progress.Clear();

  if (o.diff) PrintDiffs(terminal, report, pairs, settings);
  PrintLog(terminal, report);
  std::fflush(stdout);
  return report.AnyFailed() || !all_named ? kExitFileErrors : kExitOk;
}

}  // namespace
}  // namespace vx::cli

int main(int argc, char** argv) { return vx::cli::Run(argc, argv); }
