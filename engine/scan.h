// The match scanner. A match starts only on a character boundary, the
// boundaries being those of the file's walk (platform/encoding.h) from the
// segment start (the start of the text, or the first byte after the
// previous match): in a code page, a byte of the lead-byte set and the byte
// after it form one character; in UTF-16, every two-byte unit begins one,
// but for the low half of a surrogate pair.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"

namespace vx {

// Finds the occurrences of one alternative quickly: a vector compare of the
// first and last bytes at sixteen positions at once (memchr where there is
// no SSE2) finds the candidates, and the run of lead-set bytes right before
// a candidate tells whether it lies on a boundary (it does exactly when the
// run, counted back to a byte outside the set or to a known boundary, is
// even). Each candidate costs at most a walk back to the previous one. In
// UTF-16 a candidate is on a boundary when it lies an even number of bytes
// from a known one.
//
// With `any_form`, an alternative in code page 932 also matches where its
// characters that the code page writes in more than one way (Cp932Forms)
// stand in another of their forms; every form is two bytes, so a match is
// as long as the alternative. Such an alternative is looked for byte by
// byte: it is the rare one.
class AlternativeScanner {
 public:
  AlternativeScanner(std::string alternative, const TextWalk& walk, bool any_form = false);

  const std::string& alternative() const { return alternative_; }

  // The first match in text[start, size) that starts on a boundary and ends
  // within `size` bytes, where `start` is known to be a boundary. Returns its
  // position, or `size` when there is none. An empty alternative never matches.
  std::size_t Find(const char* text, std::size_t size, std::size_t start) const;
  // The same for successive matches: the first as Find, each further one
  // from the byte after the one before. Stores up to `max` positions in
  // `found` and returns how many it stored.
  std::size_t FindAll(const char* text, std::size_t size, std::size_t start, std::size_t* found,
                      std::size_t max) const;

  // Whether position p of text is a boundary, given a boundary b <= p with
  // no match in between.
  bool IsBoundary(const char* text, std::size_t b, std::size_t p) const;

 private:
  const char* Candidate(const char* from, const char* end) const;
  // Any form: whether the alternative stands at text[p, p + size()).
  bool MatchesAt(const char* text, std::size_t p) const;
  std::size_t FindAllForms(const char* text, std::size_t size, std::size_t start, std::size_t* found,
                           std::size_t max) const;

  std::string alternative_;
  TextWalk walk_;
  bool can_match_;
  // Any form: the alternative as runs of bytes that must stand as they are
  // and characters of a group (group 0: a run); empty when none of its
  // characters has other forms.
  struct Piece {
    std::size_t offset, length;
    std::uint16_t group;
  };
  std::vector<Piece> pieces_;
  std::array<bool, 256> first_byte_{};  // the bytes a match can begin with
};

// Whether an alternative can match at all: an empty one never does, nor in
// UTF-16 one of an odd length or one that begins with a low surrogate (no
// text converted exactly is such, and only such a one could start on the
// low half of a surrogate pair).
bool CanMatch(std::string_view alternative, const TextWalk& walk);

// The scanner's contract on a whole segment: the number of bytes from the
// segment start to the next match, or text.size() when there is none.
// *scan_end (if given) is the first byte after the match, or text.size().
std::size_t FindNextMatch(std::string_view text, std::string_view alternative, const TextWalk& walk,
                          std::size_t* scan_end = nullptr, bool any_form = false);

}  // namespace vx
