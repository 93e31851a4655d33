// Decoding of the typed search and replacement texts: the escapes "\\\\",
// "\\n", "\\t" and (search text only) "\\|", and the split of the decoded
// search text into its alternatives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/lead_bytes.h"

namespace vx {

// Separates two alternatives in a decoded search text.
inline constexpr char kAlternativeSeparator = '\x1A';
// Holds an escaped backslash while the other escapes are decoded.
inline constexpr char kEscapePlaceholder = '\x01';

struct DecodedTexts {
  std::string search;   // alternatives separated by kAlternativeSeparator
  std::string replace;
};

// Decodes one typed text. Typed texts end at their first zero byte, as the
// zero-terminated strings they stand for.
std::string DecodeText(std::string_view typed, bool is_search, const LeadBytes& lead);

// Decodes both texts of a pair.
DecodedTexts DecodeEscapes(std::string_view typed_search, std::string_view typed_replace,
                           const LeadBytes& lead);

// Cuts a decoded search text at every separator byte: k separators give
// k + 1 alternatives, empty ones included.
std::vector<std::string> SplitAlternatives(std::string_view decoded_search);

}  // namespace vx
