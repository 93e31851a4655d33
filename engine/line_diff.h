// A unified diff of two texts, line by line: what vextrane-cli --diff shows
// of a rewrite before it is made.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"

namespace vx {

// A file's text as its lines are compared and shown: without its byte-order
// mark, and UTF-16 as UTF-8 (its line breaks are then single bytes).
// Returns the code page the lines are in: `code_page` (the one the file's
// texts were put into) for a file in the run's own, kUtf8 for UTF-8 and
// UTF-16, kNone for UTF-16 with no UTF-8 form (its bytes left as they are).
CodePage LinesText(Encoding encoding, CodePage code_page, std::string* text);

// Use: out += UnifiedDiffHunks(old_bytes, new_bytes, 3);
//
// The hunks ("@@ -a,b +c,d @@" and their lines) of a unified diff that
// turns `before` into `after`, with `context` unchanged lines around each
// change; empty when the two are equal. Lines end at LF and keep their line
// break (a CR before it stays part of the line); a last line without one is
// followed by "\ No newline at end of file". The file header ("---",
// "+++") is the caller's. The changes are few where they can be: a shortest
// edit script, except that inputs with very many changes may get a longer
// one rather than take quadratic time.
std::string UnifiedDiffHunks(std::string_view before, std::string_view after, std::size_t context = 3);

}  // namespace vx

namespace vx {

// One line of a change as the preview window lists it: a line that goes
// (its number in `before`) or one that comes (its number in `after`),
// without its line break.
struct ChangedLine {
  bool added = false;
  std::size_t number = 0;  // from 1
  std::string text;
  bool operator==(const ChangedLine&) const = default;
};

// The changed lines of UnifiedDiffHunks(before, after, 0), each line that
// goes right above the line that takes its place: within a run of changes
// the k-th old line, then the k-th new line, then the old or new lines
// left over.
std::vector<ChangedLine> ChangedLines(std::string_view before, std::string_view after);

}  // namespace vx
