// The file rewrite pass: one target file, one or more (search, replacement)
// pairs in their typed form, every alternative of every pair applied in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/lead_bytes.h"

namespace vx {

// Results of RewriteFile: a count of replacements (0 or more) or one of these.
inline constexpr std::int64_t kRewriteOpenFailed = -1;   // cannot be opened for reading
inline constexpr std::int64_t kRewriteNoMemory = -2;     // too large to hold
inline constexpr std::int64_t kRewriteNotText = -3;      // holds a byte 0x00
inline constexpr std::int64_t kRewriteWriteFailed = -4;  // new content could not be stored; old content kept

struct ReplacePair {
  std::string search;   // typed form: escapes and "\|" alternatives undecoded
  std::string replace;  // typed form
};

struct RewriteOptions {
  bool dry_run = false;       // count only: write nothing, make no backup
  bool durable = false;       // force the new content to disk before it takes the name
};

// Rewrites `path` in place. Applies pairs[0], then pairs[1], ...; within a
// pair each alternative of the search text in turn, each seeing the text the
// earlier ones produced. Results, counts and bytes are those of reading and
// rewriting the file once per alternative, but the file is read once and
// written once. If *make_backup is nonzero when the new content is stored,
// the old file becomes path + ".bak" and *make_backup is set to 0.
std::int64_t RewriteFile(const std::string& path, const std::vector<ReplacePair>& pairs,
                         int* make_backup, const LeadBytes& lead, const RewriteOptions& options = {});

}  // namespace vx
