#include "engine/scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx {

bool CanMatch(std::string_view alternative, const TextWalk& walk) {
  if (alternative.empty()) return false;
  if (walk.unit() == 1) return true;
  if (alternative.size() % 2) return false;
  const unsigned first = walk.Unit16(alternative.data(), 0);
  return first < 0xDC00 || first >= 0xE000;
}

AlternativeScanner::AlternativeScanner(std::string alternative, const TextWalk& walk, bool any_form)
    : alternative_(std::move(alternative)), walk_(walk), can_match_(CanMatch(alternative_, walk_)) {
  if (!any_form || walk_.unit() != 1 || !can_match_) return;
  const Cp932Forms& forms = Cp932Forms::Get();
  bool any = false;
  for (std::size_t i = 0; i < alternative_.size();) {
    const std::size_t length = walk_.CharLength(alternative_, i);
    const std::uint16_t group =
        length == 2 ? forms.GroupOf(static_cast<unsigned char>(alternative_[i]),
                                    static_cast<unsigned char>(alternative_[i + 1]))
                    : 0;
    if (group == 0 && !pieces_.empty() && pieces_.back().group == 0) {
      pieces_.back().length += length;
    } else {
      pieces_.push_back({i, length, group});
    }
    any = any || group != 0;
    i += length;
  }
  if (!any) {
    pieces_.clear();
    return;
  }
  if (pieces_[0].group == 0) {
    first_byte_[static_cast<unsigned char>(alternative_[0])] = true;
  } else {
    for (const std::uint16_t code : forms.Members(pieces_[0].group)) first_byte_[code >> 8] = true;
  }
}

bool AlternativeScanner::MatchesAt(const char* text, std::size_t p) const {
  const Cp932Forms& forms = Cp932Forms::Get();
  for (const Piece& piece : pieces_) {
    const char* at = text + p + piece.offset;
    if (piece.group == 0) {
      if (std::memcmp(at, alternative_.data() + piece.offset, piece.length) != 0) return false;
    } else if (forms.GroupOf(static_cast<unsigned char>(at[0]), static_cast<unsigned char>(at[1])) !=
               piece.group) {
      return false;
    }
  }
  return true;
}

std::size_t AlternativeScanner::FindAllForms(const char* text, std::size_t size, std::size_t start,
                                             std::size_t* found, std::size_t max) const {
  const std::size_t m = alternative_.size();
  std::size_t n = 0;
  std::size_t b = start;  // a known boundary
  for (std::size_t p = start; n < max && p < size && size - p >= m;) {
    if (!first_byte_[static_cast<unsigned char>(text[p])] || !MatchesAt(text, p)) {
      ++p;
      continue;
    }
    if (!IsBoundary(text, b, p)) {
      b = ++p;  // p is the second byte of a character, so p + 1 begins one
      continue;
    }
    found[n++] = p;
    b = p = p + m;
  }
  return n;
}

// The first position in [from, end) where the whole alternative occurs.
const char* AlternativeScanner::Candidate(const char* from, const char* end) const {
  const std::size_t m = alternative_.size();
  const char* const needle = alternative_.data();
  if (end - from < static_cast<std::ptrdiff_t>(m)) return nullptr;
  if (m == 1) return static_cast<const char*>(std::memchr(from, needle[0], static_cast<std::size_t>(end - from)));
  const char* const stop = end - m + 1;  // candidates lie before this
  const char* p = from;
  while (p < stop) {
    p = static_cast<const char*>(std::memchr(p, needle[0], static_cast<std::size_t>(stop - p)));
    if (!p) return nullptr;
    if (std::memcmp(p + 1, needle + 1, m - 1) == 0) return p;
    ++p;
  }
  return nullptr;
}

bool AlternativeScanner::IsBoundary(const char* text, std::size_t b, std::size_t p) const {
  if (walk_.unit() == 2) return (p - b) % 2 == 0;
  const LeadBytes& lead = walk_.lead();
  std::size_t i = p;
  while (i > b && lead.IsLead(static_cast<unsigned char>(text[i - 1]))) --i;
  // Position i is a boundary: either b itself, or the byte before it is
  // outside the set and so ends a character whichever way the walk met it.
  // From there the lead-set bytes pair up.
  return (p - i) % 2 == 0;
}

std::size_t AlternativeScanner::FindAll(const char* text, std::size_t size, std::size_t start, std::size_t* found,
                                        std::size_t max) const {
  const std::size_t m = alternative_.size();
  if (!can_match_ || max == 0) return 0;
  if (!pieces_.empty()) return FindAllForms(text, size, start, found, max);
  std::size_t n = 0;
  std::size_t b = start;     // a known boundary: the walk back never passes it
  std::size_t from = start;  // where the next match may start
  // Takes a candidate p >= from where the whole alternative occurs; true
  // when `found` is full.
  const auto take = [&](std::size_t p) {
    if (!IsBoundary(text, b, p)) {
      b = p + 1;  // p is the second byte of a character (or unit), so p + 1 begins one
      return false;
    }
    found[n++] = p;
    b = from = p + m;
    return n == max;
  };
#if defined(__SSE2__)
  // Sixteen candidates at a time: those whose first and last bytes both
  // fit, then the bytes in between.
  const char* const needle = alternative_.data();
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i last = _mm_set1_epi8(needle[m - 1]);
  while (from < size && size - from >= m + 15) {
    const std::size_t q = from;
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + q));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + q + m - 1));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(lo, first), _mm_cmpeq_epi8(hi, last))));
    while (mask) {
      const std::size_t p = q + static_cast<std::size_t>(__builtin_ctz(mask));
      mask &= mask - 1;
      if (p < from || (m > 2 && std::memcmp(text + p + 1, needle + 1, m - 2) != 0)) continue;
      if (take(p)) return n;
    }
    from = std::max(from, q + 16);  // every position of the block has been seen
  }
#endif
  while (from < size && size - from >= m) {
    const char* hit = Candidate(text + from, text + size);
    if (!hit) break;
    const std::size_t p = static_cast<std::size_t>(hit - text);
    if (take(p)) return n;
    from = std::max(from, p + 1);
  }
  return n;
}

std::size_t AlternativeScanner::Find(const char* text, std::size_t size, std::size_t start) const {
  std::size_t p = 0;
  return FindAll(text, size, start, &p, 1) ? p : size;
}

std::size_t FindNextMatch(std::string_view text, std::string_view alternative, const TextWalk& walk,
                          std::size_t* scan_end, bool any_form) {
  const AlternativeScanner scanner{std::string(alternative), walk, any_form};
  const std::size_t n = scanner.Find(text.data(), text.size(), 0);
  if (scan_end) *scan_end = n < text.size() ? n + alternative.size() : text.size();
  return n;
}

}  // namespace vx
