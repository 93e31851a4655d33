// Matching beyond the plain literal texts: regular expressions, letter case
// ignored, whole words only, and width and kana taken as one. A run's
// options apply to every pair of the run; with none set, the texts are
// matched by the literal scanner exactly as they always were.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/encoding.h"

namespace vx {

struct ReplacePair;

struct MatchOptions {
  bool regex = false;        // the search text is a regular expression, the replacement a template
  bool ignore_case = false;  // letters of every cased script match in either case
  bool word = false;         // a match stands between non-word characters
  bool fold = false;         // full-width and half-width, hiragana and katakana are one

  // None set: today's literal texts, byte for byte.
  bool plain() const { return !regex && !ignore_case && !word && !fold; }
  bool operator==(const MatchOptions&) const = default;
};

// Why the texts of a run cannot be used as given: an expression that does
// not compile, or a replacement naming a group the expression lacks.
struct PatternError {
  std::size_t pair = 0;         // the index of the pair at fault
  bool in_replacement = false;  // the fault is in the replacement, not the search text
  std::size_t offset = 0;       // where, in characters from the start of that text
  std::string reason;           // the engine's reason (ASCII)
};

// Checks the texts of a run once, before any file is touched. Typed texts
// are in code page `typed`. Always empty for plain options.
std::optional<PatternError> CheckPatterns(const std::vector<ReplacePair>& pairs, CodePage typed,
                                          const MatchOptions& options);

// What the user is told about a pattern error, in code page `log`:
// "正規表現が正しくありません。" with the reason and the position on a line
// of their own (no final line break).
std::string FormatPatternError(const PatternError& error, CodePage log = CodePage::kCp932);

}  // namespace vx
