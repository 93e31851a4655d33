#include "engine/scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx {

AlternativeScanner::AlternativeScanner(std::string alternative, const LeadBytes& lead)
    : alternative_(std::move(alternative)), lead_(lead) {}

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
  std::size_t i = p;
  while (i > b && lead_.IsLead(static_cast<unsigned char>(text[i - 1]))) --i;
  // Position i is a boundary: either b itself, or the byte before it is
  // outside the set and so ends a character whichever way the walk met it.
  // From there the lead-set bytes pair up.
  return (p - i) % 2 == 0;
}

std::size_t AlternativeScanner::FindAll(const char* text, std::size_t size, std::size_t start, std::size_t* found,
                                        std::size_t max) const {
  const std::size_t m = alternative_.size();
  if (m == 0 || max == 0) return 0;
  std::size_t n = 0;
  std::size_t b = start;     // a known boundary: the walk back never passes it
  std::size_t from = start;  // where the next match may start
  // Takes a candidate p >= from where the whole alternative occurs; true
  // when `found` is full.
  const auto take = [&](std::size_t p) {
    if (!IsBoundary(text, b, p)) {
      b = p + 1;  // p is the second byte of a character, so p + 1 begins one
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

std::size_t FindNextMatch(std::string_view text, std::string_view alternative, const LeadBytes& lead,
                          std::size_t* scan_end) {
  const AlternativeScanner scanner{std::string(alternative), lead};
  const std::size_t n = scanner.Find(text.data(), text.size(), 0);
  if (scan_end) *scan_end = n < text.size() ? n + alternative.size() : text.size();
  return n;
}

}  // namespace vx
