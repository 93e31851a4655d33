// File-name masks of a folder walk: "*" stands for any run of characters,
// "?" for one character, everything else for itself. A mask is matched
// against a name (never a path), character by character, so "?" takes a
// double-byte character whole and a second byte never matches on its own.
//
//   *.txt   ->  notes.txt, .txt          not: notes.txt.bak
//   ?.c     ->  a.c, 表.c (one character) not: ab.c
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/lead_bytes.h"

namespace vx {

// How the names of the file system are spelled: which bytes make one
// character, and whether letter case tells names apart.
struct NameRules {
  // Windows: ASCII letters match either case, characters are those of the
  // ANSI code page. POSIX: case counts, characters are UTF-8 sequences
  // (a byte that begins none stands alone).
  static NameRules Windows(const LeadBytes& lead) { return {true, false, lead}; }
  static NameRules Posix() { return {false, true, LeadBytes()}; }

  bool fold_case = false;
  bool utf8 = false;
  LeadBytes lead;
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

// The masks of a walk. A file is taken when it matches an include mask (or
// there are none) and no exclude mask; a folder is entered when it matches
// no folder mask.
struct NameMasks {
  std::vector<NameMask> include, exclude, exclude_folder;

  bool TakesFile(std::string_view name) const;
  bool EntersFolder(std::string_view name) const;
  bool empty() const { return include.empty() && exclude.empty() && exclude_folder.empty(); }
};

// The folders of version-control systems, left alone unless asked for: a
// replace meant for the sources must not rewrite a repository's own files.
inline constexpr const char* kVersionControlFolders[] = {".git", ".svn", ".hg", ".bzr"};

}  // namespace vx
