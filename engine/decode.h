// Decoding of the typed search and replacement texts: the escapes "\\\\",
// "\\n", "\\t" and (search text only) "\\|", the split of the decoded
// search text into its alternatives, and the texts put into a file's
// encoding.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expression.h"
#include "engine/regex_match.h"
#include "platform/encoding.h"

namespace vx {

// Separates two alternatives in a decoded search text.
inline constexpr char kAlternativeSeparator = '\x1A';
// Holds an escaped backslash while the other escapes are decoded.
inline constexpr char kEscapePlaceholder = '\x01';

struct DecodedTexts {
  std::string search;   // alternatives separated by kAlternativeSeparator
  std::string replace;
};

// What "\\n" stands for: a line break as CR LF, or as LF alone in a file
// whose line ends are all LF.
inline constexpr std::string_view kCrLf = "\r\n";
inline constexpr std::string_view kLf = "\n";

// Decodes one typed text. Typed texts end at their first zero byte, as the
// zero-terminated strings they stand for.
std::string DecodeText(std::string_view typed, bool is_search, const LeadBytes& lead,
                       std::string_view line_break = kCrLf);

// Decodes both texts of a pair.
DecodedTexts DecodeEscapes(std::string_view typed_search, std::string_view typed_replace,
                           const LeadBytes& lead, std::string_view line_break = kCrLf);

// Cuts a decoded search text at every separator byte: k separators give
// k + 1 alternatives, empty ones included.
std::vector<std::string> SplitAlternatives(std::string_view decoded_search);

struct ReplacePair;

// The texts of a run as one file needs them: every alternative of every
// pair, in order, with its pair's replacement, in the file's code page.
struct FileTexts {
  struct Alternative {
    std::string text;
    std::size_t pair;  // the index of its replacement
    // Typed as Unicode, found in code page 932 in every form of the
    // characters the code page writes in more than one way (Cp932Forms).
    bool any_form = false;
    // Set when the run's options are not plain: the alternative as an
    // expression (then `text` is unused), replaced by its pair's pieces.
    std::shared_ptr<const Expression> expression;
  };
  // Only those that can match: an empty alternative, or one with no exact
  // form in the file's code page, finds nothing.
  std::vector<Alternative> alternatives;
  std::vector<std::string> replacements;  // one per pair
  // One per pair, for alternatives that are expressions: the replacement's
  // bytes and groups in the file's code page.
  std::vector<std::vector<ReplacementPiece>> pieces;
  CodePage code_page = CodePage::kNone;  // the file's
  // A pair with something to find has a replacement with no exact form in
  // the file's code page: the file cannot be rewritten.
  bool unrepresentable = false;
};

// Decodes the typed pairs, typed in code page `typed` (by its walk), with
// `line_break` for "\\n", and converts every alternative and replacement to
// code page `file`. A search text typed as Unicode (UTF-8 or UTF-16) finds
// in a code page 932 file every form of a character that code page writes
// in more than one way; a replacement takes the system's own form.
// With options that are not plain, every alternative is an expression
// (CheckPatterns having found no fault in the texts).
FileTexts TextsFor(const std::vector<ReplacePair>& pairs, CodePage typed, CodePage file,
                   std::string_view line_break = kCrLf, const MatchOptions& options = {});

// TextsFor with options that are not plain.
FileTexts ExpressionTexts(const std::vector<ReplacePair>& pairs, CodePage typed, CodePage file,
                          std::string_view line_break, const MatchOptions& options);

// Whether any of the typed texts holds a line break ("\\n"): only then does
// it matter how a file's lines end.
bool UsesLineBreak(const std::vector<ReplacePair>& pairs, CodePage typed);

}  // namespace vx
