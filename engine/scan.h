// The match scanner. A match starts only on a character boundary, the
// boundaries being those of the character walk from the segment start (the
// start of the text, or the first byte after the previous match): a byte of
// the lead-byte set and the byte after it form one character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/lead_bytes.h"

namespace vx {

// Finds the occurrences of one alternative quickly: a vector compare of the
// first and last bytes at sixteen positions at once (memchr where there is
// no SSE2) finds the candidates, and the run of lead-set bytes right before
// a candidate tells whether it lies on a boundary (it does exactly when the
// run, counted back to a byte outside the set or to a known boundary, is
// even). Each candidate costs at most a walk back to the previous one.
class AlternativeScanner {
 public:
  AlternativeScanner(std::string alternative, const LeadBytes& lead);

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

  std::string alternative_;
  LeadBytes lead_;
};

// The scanner's contract on a whole segment: the number of bytes from the
// segment start to the next match, or text.size() when there is none.
// *scan_end (if given) is the first byte after the match, or text.size().
std::size_t FindNextMatch(std::string_view text, std::string_view alternative, const LeadBytes& lead,
                          std::size_t* scan_end = nullptr);

}  // namespace vx
