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
  bool make_backup = false;
};

// Asked for file `index`, from 0 upward, right before that file is processed
// (so the caller can re-read its controls then). Returns false once `index`
// is past the last file; the number of files is thus asked anew every time.
using BatchSource = std::function<bool(std::size_t index, BatchFile* file)>;

// The rewrite pass the run calls; RewriteFile unless a test puts in another.
using RewriteFunction = std::function<std::int64_t(const std::string& path, const std::vector<ReplacePair>& pairs,
                                                   int* make_backup, const FileReading& reading,
                                                   const RewriteOptions& options)>;

struct BatchEntry {
  std::string path;
  std::int64_t result = 0;  // a count (0 or more) or a kRewrite... code
};

struct BatchReport {
  std::vector<BatchEntry> entries;  // one per file, in the order processed
  std::int64_t total = 0;           // the sum of the counts

  bool AnyFailed() const;
};

struct BatchSettings {
  FileReading reading;
  RewriteOptions options;
  RewriteFunction rewrite;  // empty: RewriteFile
};

// Runs every file the source gives. A negative result is the file's line and
// the run goes on. A file is backed up at most once per run, also when the
// source names it twice (under two spellings, for instance).
BatchReport ProcessBatch(const BatchSource& source, const BatchSettings& settings);

// Called as each file of ProcessFiles is done, with the number done so far
// and that file's path; calls do not overlap.
using BatchProgress = std::function<void(std::size_t done, const std::string& path)>;

// Runs a list of files known in full, up to `jobs` files at a time (on as
// many threads). The report is the one ProcessBatch gives for the same
// list: entries in list order, a file backed up at most once. Paths that
// name the same file are processed one after another, in list order, by the
// same thread. Time is spent mostly in the file system's calls, which go
// faster side by side even on one core.
BatchReport ProcessFiles(std::vector<BatchFile> files, const BatchSettings& settings, unsigned jobs,
                         const BatchProgress& progress = {});

// Pairs from two index-aligned lists (the window's drop-down lists, or the
// replace list file's texts split in two): pair k is search[k] with
// replace[k]; a search text without a partner gets an empty replacement.
std::vector<ReplacePair> PairsFromLists(const std::vector<std::string>& search,
                                        const std::vector<std::string>& replace);

// The texts of the log, in code page 932, line breaks as single LF bytes.
inline constexpr char kLogSeparator[] = "  ";
// The text after a file's path and the separator: its count, or why it was skipped.
std::string FormatResultText(std::int64_t result);
// The head the log gets in front of the file lines, with the run's total.
std::string FormatLogHead(std::int64_t total);
// One file's line: path, separator, result text.
std::string FormatLogLine(const BatchEntry& entry);
// The whole log, as the result box shows it.
std::string FormatBatchLog(const BatchReport& report);

}  // namespace vx
