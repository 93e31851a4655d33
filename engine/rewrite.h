// The file rewrite pass: one target file, one or more (search, replacement)
// pairs in their typed form, every alternative of every pair applied in turn.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/digest.h"
#include "engine/expression.h"
#include "platform/encoding.h"

namespace vx {

// What became of one file. The batch run adds the kinds that it decides
// itself, before a file is read.
enum class RewriteStatus {
  kDone,              // rewritten (a dry run: counted); the count says how often
  kOpenFailed,        // cannot be opened or read
  kNoMemory,          // no working buffers
  kNotText,           // holds a byte 0x00 (UTF-16: a unit 0, or an odd length)
  kUnrepresentable,   // a replacement has no exact form in the file's encoding: the file was left alone
  kWriteFailed,       // the new content could not be stored; old content (and old backup) kept
  kBackupFailed,      // the backup asked for could not be made: the file was left alone
  kAlreadyRewritten,  // batch: the same file, reached again in this run, is rewritten once
  kBackupOfThisRun,   // batch: the backup this run made of another listed file
  kCancelled,         // stopped before anything was stored: untouched, no backup
  kRestored,          // restore: the backup took the file's name
  kNoBackup,          // restore: there is no backup to put back
  kTooComplex,        // an expression's match ran past the engine's limits: the file was left alone
  kChangedSincePreview,  // the file no longer holds what the preview read: left alone
  kChangedSinceRun,      // restore: the file or its backup changed since the run: both left alone
};

// Whether a file's line in the log reports a failure (as against a count,
// or a file the run rightly left alone).
bool IsError(RewriteStatus status);

struct RewriteOutcome {
  RewriteStatus status = RewriteStatus::kDone;
  std::int64_t count = 0;  // replacements, for kDone
  // The backup this call made (a dry run: would have made); empty if none.
  std::string backup;
  // Set only when the old content could not stay under the target's name,
  // nor go back to it after a failure: the name it is kept under.
  std::string kept_at;
  // The encoding the file was found in (for kDone).
  Encoding encoding = Encoding::kCodePage;
  // With RewriteOptions::digests, for kDone: the content read (the backup's,
  // when one was made) and the content written (a dry run: that would be).
  ContentDigest read, written;

  bool done() const { return status == RewriteStatus::kDone; }
};

struct ReplacePair {
  std::string search;   // typed form: escapes and "\|" alternatives undecoded
  std::string replace;  // typed form
};

class ByteSink;

// How the files of a run are taken: each in the encoding found in it, or
// every one in one code page (no detection), as the command-line tool can
// force. The typed texts are put into each file's encoding.
struct FileReading {
  CodePage texts = CodePage::kAnsi;  // the code page the typed texts are in
  bool detect = true;                // false: every file in `texts`
};

struct RewriteOptions {
  bool dry_run = false;       // count only: write nothing, make no backup
  // The old file becomes the backup, path + ".bak" (RewriteFile).
  bool make_backup = false;
  bool durable = false;       // force the new content to disk before it takes the name
  std::size_t buffer_bytes = 0;  // size of the working buffers; 0: the default (tests use tiny ones)
  // Looked at between chunks and once more before the new content is
  // stored: when set, the file is left as it was (kCancelled).
  const std::atomic<bool>* cancel = nullptr;
  // The rewritten file gets the modification time the file had before.
  bool keep_times = false;
  // A dry run hands this the whole content a run would write, piece by piece.
  ByteSink* preview = nullptr;
  // How the search texts match (checked first with CheckPatterns).
  MatchOptions match;
  // Take the digests of the content read and written (RewriteOutcome).
  bool digests = false;
  // The file must still hold this content (a preview's digest of it), or
  // it is left alone (kChangedSincePreview). Takes the digests.
  const ContentDigest* unchanged_since = nullptr;
};

// What a backup's name is: the whole name of its file plus this.
inline constexpr char kBackupSuffix[] = ".bak";

// Use: RewriteOptions options;
//      options.make_backup = true;
//      RewriteOutcome o = RewriteFile(path, {{"old", "new"}}, FileReading{}, options);
//
// Rewrites `path` in place. Applies pairs[0], then pairs[1], ...; within a
// pair each alternative of the search text in turn, each seeing the text the
// earlier ones produced. Results, counts and bytes are those of reading and
// rewriting the file once per alternative, but the file is read once and
// written once, in a stream through small buffers (no file is too large). A
// symbolic link is followed: the file it points to is rewritten and the link
// stays.
//
// The file's encoding is found as it is read (EncodingDetector); the texts
// are decoded and put into it, "\n" as LF alone in a file whose line ends
// are all LF. Bytes other than the matches are copied as they are. The
// first piece of the file decides what it is taken for; when the rest
// proves that wrong, the file is read once more (nothing was stored). A
// search alternative with no exact form in the file's encoding finds
// nothing; a replacement with none leaves the file alone (kUnrepresentable).
//
// The new content goes to a temporary file beside the target and takes the
// target's name only when complete, so every failure leaves the target as it
// was. Without a backup the target keeps who it is (attributes, owner,
// access rights); a read-only target is then refused (kWriteFailed). With
// options.make_backup, the old file becomes path + ".bak", replacing an old
// backup only once the new content is in place; when the backup cannot be
// made (an old one that is read-only, a folder or held open) the file is
// left alone (kBackupFailed).
RewriteOutcome RewriteFile(const std::string& path, const std::vector<ReplacePair>& pairs,
                           const FileReading& reading, const RewriteOptions& options = {});

// What a run left of a file it rewrote with a backup: the file as written
// and the backup as made.
struct RestoreCheck {
  ContentDigest file, backup;
};

// Use: RewriteOutcome o = RestoreFromBackup(path);  // kRestored, kNoBackup, ...
//
// Puts `path` back as it was before the rewrite that made its backup (the
// file a link points to, plus ".bak", as RewriteFile names it), so that the
// file holds its new or its old content at every moment. kNoBackup when
// there is none (or it is no file); kWriteFailed when the content cannot
// be stored (a read-only file, one held open), the file unchanged;
// kCancelled when options.cancel is set before.
//  - Without `check`: the backup, which is the old file itself, takes the
//    file's name in one rename, with its own attributes and times, and is
//    no backup afterwards.
//  - With `check` (the undo of the run just done): the file and the backup
//    must still be what the run left (else kChangedSinceRun, both left
//    alone). The backup's content is written beside the file and takes its
//    name as a rewrite stores its content, so the file keeps who it is; it
//    gets the backup's modification time, and the backup stays.
RewriteOutcome RestoreFromBackup(const std::string& path, const RewriteOptions& options = {},
                                 const RestoreCheck* check = nullptr);

}  // namespace vx
