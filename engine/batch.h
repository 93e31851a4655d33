// The batch run: RewriteFile over a list of files, one result per file, and
// the result log the user is shown at the end. Shared by the main window and
// the command-line tool; reading the window's controls and showing the log
// belong to the callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "engine/rewrite.h"

namespace vx {

// One file of a run as the caller sees it just before the file is processed.
struct BatchFile {
  std::string path;
  // Applied in one RewriteFile call: the single pair of the two text fields,
  // or every pair of the replace list. An empty list leaves the file alone.
  std::vector<ReplacePair> pairs;
  bool make_backup = false;  // RewriteOptions::make_backup for this file
  // Known when a preview read the file: it is rewritten only while it still
  // holds what the preview read (else kChangedSincePreview).
  ContentDigest previewed;
};

// Asked for file `index`, from 0 upward, right before that file is processed
// (so the caller can re-read its controls then). Returns false once `index`
// is past the last file; the number of files is thus asked anew every time.
using BatchSource = std::function<bool(std::size_t index, BatchFile* file)>;

// The rewrite pass the run calls; RewriteFile unless a test puts in another.
using RewriteFunction = std::function<RewriteOutcome(const std::string& path, const std::vector<ReplacePair>& pairs,
                                                     const FileReading& reading, const RewriteOptions& options)>;

struct BatchEntry {
  std::string path;
  RewriteOutcome outcome;
};

struct BatchReport {
  std::vector<BatchEntry> entries;  // one per file, in list order
  std::int64_t total = 0;           // the sum of the counts

  // Files a cancel kept the run from (kCancelled): they have no line.
  std::size_t NotDone() const;
  // Files whose line reports a failure.
  std::size_t ErrorCount() const;
  bool AnyFailed() const { return ErrorCount() != 0; }
};

struct BatchSettings {
  FileReading reading;  // the window's: texts in the ANSI code page, every file's encoding found
  // options.cancel also stops the run between files: the files not begun
  // are left alone and reported as not done.
  RewriteOptions options;
  RewriteFunction rewrite;  // empty: RewriteFile
};

// Runs every file the source gives. A failure is the file's line and the run
// goes on. A file is rewritten once per run: the same file reached again
// (under another spelling, through a link) gets kAlreadyRewritten, and the
// backup the run made of a listed file, listed itself, gets kBackupOfThisRun.
BatchReport ProcessBatch(const BatchSource& source, const BatchSettings& settings);

// What a caller of ProcessFiles hears as the run goes. Calls never overlap.
struct BatchWatch {
  std::function<void(const std::string& path)> started;                      // a file is begun
  std::function<void(std::size_t done, const BatchEntry& entry)> finished;  // and done (done: how many so far)
};

// Runs a list of files known in full, up to `jobs` files at a time (on as
// many threads). The report is the one ProcessBatch gives for the same
// list: entries in list order, each file rewritten once. Paths that name the
// same file, and a file with the listed file that its backup replaces, are
// processed one after another, in list order, by the same thread. Time is
// spent mostly in the file system's calls, which go faster side by side
// even on one core.
BatchReport ProcessFiles(std::vector<BatchFile> files, const BatchSettings& settings, unsigned jobs,
                         const BatchWatch& watch = {});

// What an undo of a run puts back: every file the run rewrote (not a dry
// run) with a backup, with what the run left of it (taken with
// RewriteOptions::digests).
struct UndoFile {
  std::string path;
  RestoreCheck check;
};
std::vector<UndoFile> UndoRecord(const BatchReport& report);

// Puts the files of an undo record back from their backups, as ProcessFiles
// runs files (settings.options.cancel, `watch`): each restored only where it
// and its backup are still what the run left (RestoreFromBackup with the
// check), else kChangedSinceRun; the backups stay.
BatchReport UndoFiles(const std::vector<UndoFile>& files, const BatchSettings& settings, unsigned jobs,
                      const BatchWatch& watch = {});

// The number of files a run does at a time unless told otherwise (the
// window's runs and vextrane-cli without -j): 4, or one per processor if
// there are more.
unsigned DefaultJobCount();

// Pairs from two index-aligned lists (the window's drop-down lists, or the
// replace list file's texts split in two): pair k is search[k] with
// replace[k]; a search text without a partner gets an empty replacement.
std::vector<ReplacePair> PairsFromLists(const std::vector<std::string>& search,
                                        const std::vector<std::string>& replace);

// The texts of the log, line breaks as single LF bytes. The log's own texts
// are in code page `log` (code page 932 unless told: the UTF-8 of the
// Windows programs, whose paths are UTF-8); paths go in as they are held.
inline constexpr char kLogSeparator[] = "  ";
// The text after a file's path and the separator: its count, or why it was
// skipped (empty for a file not done).
std::string FormatResultText(const RewriteOutcome& outcome, CodePage log = CodePage::kCp932);
// The head the log gets in front of the file lines, with the run's total.
std::string FormatLogHead(std::int64_t total, CodePage log = CodePage::kCp932);
// One file's line: path, separator, result text.
std::string FormatLogLine(const BatchEntry& entry, CodePage log = CodePage::kCp932);
// The line after the others when a cancel kept files from the run.
std::string FormatCancelLine(std::size_t not_done, CodePage log = CodePage::kCp932);
// The whole log, as the result box shows it: the head, a line per file done,
// and the cancel line if files were not done.
std::string FormatBatchLog(const BatchReport& report, CodePage log = CodePage::kCp932);

}  // namespace vx
