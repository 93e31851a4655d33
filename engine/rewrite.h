// The file rewrite pass: one target file, one or more (search, replacement)
// pairs in their typed form, every alternative of every pair applied in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/encoding.h"

namespace vx {

// Results of RewriteFile: a count of replacements (0 or more) or one of these.
inline constexpr std::int64_t kRewriteOpenFailed = -1;   // cannot be opened for reading
inline constexpr std::int64_t kRewriteNoMemory = -2;     // too large to hold
inline constexpr std::int64_t kRewriteNotText = -3;      // holds a byte 0x00
inline constexpr std::int64_t kRewriteWriteFailed = -4;  // new content could not be stored; old content kept
inline constexpr std::int64_t kRewriteUnrepresentable = -5;  // a replacement has no exact form in the file's encoding

struct ReplacePair {
  std::string search;   // typed form: escapes and "\|" alternatives undecoded
  std::string replace;  // typed form
};

// How the files of a run are taken: each in the encoding found in it, or
// every one in one code page (no detection), as the command-line tool can
// force. The typed texts are put into each file's encoding.
struct FileReading {
  CodePage texts = CodePage::kAnsi;  // the code page the typed texts are in
  bool detect = true;                // false: every file in `texts`
};

struct RewriteOptions {
  bool dry_run = false;       // count only: write nothing, make no backup, leave *make_backup
  bool durable = false;       // force the new content to disk before it takes the name
  std::size_t buffer_bytes = 0;  // size of the working buffers; 0: the default (tests use tiny ones)
};

// What a backup's name is: the whole name of its file plus this.
inline constexpr char kBackupSuffix[] = ".bak";

// Rewrites `path` in place. Applies pairs[0], then pairs[1], ...; within a
// pair each alternative of the search text in turn, each seeing the text the
// earlier ones produced. Results, counts and bytes are those of reading and
// rewriting the file once per alternative, but the file is read once and
// written once, in a stream through small buffers (no file is too large). If
// *make_backup (may be null) is nonzero when the new content is stored, the
// old file becomes path + ".bak" (an old one is deleted first; if the
// rename fails the rewrite goes on without a backup) and *make_backup is
// set to 0.
//
// The new content goes to a temporary file beside the target and takes the
// target's name only when complete, so every failure leaves the target as it
// was: kRewriteOpenFailed (cannot be opened or read), kRewriteNotText (a byte
// 0x00; checked before anything is stored), kRewriteWriteFailed (the new
// content could not be written or take the name), kRewriteNoMemory (no
// working buffers). Without a backup the new file keeps the target's
// attributes; a read-only target is then refused (kRewriteWriteFailed).
std::int64_t RewriteFile(const std::string& path, const std::vector<ReplacePair>& pairs,
                         int* make_backup, const FileReading& reading, const RewriteOptions& options = {},
                         Encoding* found = nullptr);

}  // namespace vx
