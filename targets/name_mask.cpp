#include "targets/name_mask.h"

#include <algorithm>

namespace vx {

namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

NameMask::NameMask(std::string_view pattern, const NameRules& rules) : pattern_(pattern), rules_(rules) {
  for (std::size_t i = 0; i < pattern.size();) {
    const std::size_t length = CharLength(pattern, i);
    Token token;
    if (length == 1 && pattern[i] == '*') {
      token.kind = Token::kStar;
      // "**" means what "*" means; one star is cheaper to match.
      if (!tokens_.empty() && tokens_.back().kind == Token::kStar) {
        ++i;
        continue;
      }
    } else if (length == 1 && pattern[i] == '?') {
      token.kind = Token::kOne;
    } else {
      token.length = static_cast<unsigned char>(length);
      std::copy_n(pattern.data() + i, length, token.bytes);
      if (length == 1 && rules_.fold_case) token.bytes[0] = FoldAscii(token.bytes[0]);
    }
    tokens_.push_back(token);
    i += length;
  }
}

std::size_t NameMask::CharLength(std::string_view text, std::size_t at) const {
  const auto c = static_cast<unsigned char>(text[at]);
  const std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
  if (length == 1 || at + length > text.size()) return 1;
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + k]))) return 1;
  }
  return length;
}

bool NameMask::SameChar(const Token& token, std::string_view name, std::size_t at, std::size_t length) const {
  if (token.length != length) return false;
  if (length == 1) return token.bytes[0] == (rules_.fold_case ? FoldAscii(name[at]) : name[at]);
  return std::equal(token.bytes, token.bytes + length, name.data() + at);
}

bool NameMask::Matches(std::string_view name) const {
  // Left to right; on a mismatch after a star, the star takes one more
  // character and the rest is tried again. Only the last star is ever
  // revisited: what an earlier one took cannot matter once a later star matched.
  std::size_t t = 0, at = 0;
  std::size_t star = tokens_.size(), star_at = 0;
  while (at < name.size()) {
    if (t < tokens_.size()) {
      const Token& token = tokens_[t];
      if (token.kind == Token::kStar) {
        star = t++;
        star_at = at;
        continue;
      }
      const std::size_t length = CharLength(name, at);
      if (token.kind == Token::kOne || SameChar(token, name, at, length)) {
        ++t;
        at += length;
        continue;
      }
    }
    if (star == tokens_.size()) return false;
    star_at += CharLength(name, star_at);
    at = star_at;
    t = star + 1;
  }
  while (t < tokens_.size() && tokens_[t].kind == Token::kStar) ++t;
  return t == tokens_.size();
}

}  // namespace vx
