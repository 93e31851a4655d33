#include "engine/pattern_text.h"
#include "platform/unicode.h"
#include <cstdio>
namespace vx {
std::string LiteralPattern(std::string_view text, bool) {
  std::u32string cs; std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool bad = false; char32_t c = unicode_detail::DecodeUtf8(text, &i, &bad);
    char buf[16]; std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(c)); out += buf;
  }
  return out;
}
std::string FoldPattern(std::string_view pattern) { return std::string(pattern); }
std::string WordPattern(std::string_view pattern) {
  const std::string w = "[_0-9\\x{FF10}-\\x{FF19}\\p{Latin}\\p{Greek}\\p{Cyrillic}]";
  return "(?<!" + w + ")(?:" + std::string(pattern) + ")(?!" + w + ")";
}
}  // namespace vx
