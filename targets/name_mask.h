// File-name masks of a folder walk: "*" stands for any run of characters,
// "?" for one character, everything else for itself. A mask is matched
// against a name (never a path), character by character (names are UTF-8),
// so "?" takes a multi-byte character whole.
//
//   *.txt   ->  notes.txt, .txt          not: notes.txt.bak
//   ?.c     ->  a.c, 表.c (one character) not: ab.c
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"

namespace vx {

// How the names of the file system are spelled: whether letter case tells
// names apart. Characters are UTF-8 sequences on both (a byte that begins
// none stands alone).
struct NameRules {
  // Windows: ASCII letters match either case. POSIX: case counts.
  static NameRules Windows() { return {true}; }
  static NameRules Posix() { return {false}; }

  bool fold_case = false;
};

class NameMask {
 public:
  NameMask(std::string_view pattern, const NameRules& rules);
  bool Matches(std::string_view name) const;
  const std::string& pattern() const { return pattern_; }

 private:
  // One character of the pattern, "*" or "?" or itself (letters folded).
  struct Token {
    enum Kind : unsigned char { kChar, kOne, kStar } kind = kChar;
    unsigned char length = 0;
    char bytes[4] = {};
  };
  std::size_t CharLength(std::string_view text, std::size_t at) const;
  bool SameChar(const Token& token, std::string_view name, std::size_t at, std::size_t length) const;

  std::string pattern_;
  std::vector<Token> tokens_;
  NameRules rules_;
};

}  // namespace vx
