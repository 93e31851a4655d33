#include "engine/regex_match.h"

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include <algorithm>
#include <bit>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/replace_chain.h"
#include "platform/unicode.h"

namespace vx {
namespace {

// The library's functions for one code-unit width.
template <int W>
struct Lib;

template <>
struct Lib<8> {
  using Unit = PCRE2_UCHAR8;
  using Code = pcre2_code_8;
  using Data = pcre2_match_data_8;
  using Context = pcre2_match_context_8;
  using Stack = pcre2_jit_stack_8;
  static Data* NewData(const Code* c) { return pcre2_match_data_create_from_pattern_8(c, nullptr); }
  static void Free(Data* d) { pcre2_match_data_free_8(d); }
  static Context* NewContext() { return pcre2_match_context_create_8(nullptr); }
  static void Free(Context* c) { pcre2_match_context_free_8(c); }
  static Stack* NewStack() { return pcre2_jit_stack_create_8(32 * 1024, kJitStackBytes, nullptr); }
  static void Free(Stack* s) { pcre2_jit_stack_free_8(s); }
  static void Limit(Context* c, Stack* s) {
    pcre2_set_match_limit_8(c, kMatchLimit);
    pcre2_set_heap_limit_8(c, kHeapLimitKiB);
    if (s) pcre2_jit_stack_assign_8(c, nullptr, s);
  }
  static int Match(const Code* c, const Unit* s, std::size_t n, std::size_t at, std::uint32_t o, Data* d,
                   Context* x) {
    return pcre2_match_8(c, s, n, at, o, d, x);
  }
  static PCRE2_SIZE* Ovector(Data* d) { return pcre2_get_ovector_pointer_8(d); }
  static PCRE2_SIZE StartChar(Data* d) { return pcre2_get_startchar_8(d); }
  // Whether unit u continues a character (so no match may start there).
  static bool Continues(const Unit* s, std::size_t i) { return (s[i] & 0xC0) == 0x80; }
};

template <>
struct Lib<16> {
  using Unit = PCRE2_UCHAR16;
  using Code = pcre2_code_16;
  using Data = pcre2_match_data_16;
  using Context = pcre2_match_context_16;
  using Stack = pcre2_jit_stack_16;
  static Data* NewData(const Code* c) { return pcre2_match_data_create_from_pattern_16(c, nullptr); }
  static void Free(Data* d) { pcre2_match_data_free_16(d); }
  static Context* NewContext() { return pcre2_match_context_create_16(nullptr); }
  static void Free(Context* c) { pcre2_match_context_free_16(c); }
  static Stack* NewStack() { return pcre2_jit_stack_create_16(32 * 1024, kJitStackBytes, nullptr); }
  static void Free(Stack* s) { pcre2_jit_stack_free_16(s); }
  static void Limit(Context* c, Stack* s) {
    pcre2_set_match_limit_16(c, kMatchLimit);
    pcre2_set_heap_limit_16(c, kHeapLimitKiB);
    if (s) pcre2_jit_stack_assign_16(c, nullptr, s);
  }
  static int Match(const Code* c, const Unit* s, std::size_t n, std::size_t at, std::uint32_t o, Data* d,
                   Context* x) {
    return pcre2_match_16(c, s, n, at, o, d, x);
  }
  static PCRE2_SIZE* Ovector(Data* d) { return pcre2_get_ovector_pointer_16(d); }
  static PCRE2_SIZE StartChar(Data* d) { return pcre2_get_startchar_16(d); }
  static bool Continues(const Unit* s, std::size_t i) {
    return s[i] >= 0xDC00 && s[i] <= 0xDFFF && i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF;
  }
};

constexpr std::uint32_t kCompileOptions =
    PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE | PCRE2_NEVER_BACKSLASH_C;

std::string ErrorText(int code) {
  PCRE2_UCHAR8 buffer[256];
  const int n = pcre2_get_error_message_8(code, buffer, sizeof buffer);
  return n > 0 ? std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n))
               : "error " + std::to_string(code);
}

// The characters of UTF-8 text[0, bytes).
std::size_t CharsIn(std::string_view text, std::size_t bytes) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < bytes && i < text.size(); ++i) n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return n;
}

// The bytes of a 64-byte block that are the second byte of a character,
// from which of them are lead bytes: a lead byte takes the byte after it,
// whatever that is, so in a run of lead bytes every other one is a trail.
// *carry: the block's first byte is a trail (in and out). As a parser finds
// the characters that a run of backslashes escapes, without a branch.
std::uint64_t Trails(std::uint64_t lead, std::uint64_t* carry) {
  constexpr std::uint64_t kEven = 0x5555555555555555;
  lead &= ~*carry;
  const std::uint64_t follows = lead << 1 | *carry;
  const std::uint64_t odd_starts = lead & ~kEven & ~follows;
  const std::uint64_t sum = odd_starts + lead;
  *carry = sum < lead;
  return (kEven ^ (sum << 1)) & follows;
}

// The lead bytes of a code page as up to two ranges, for a test of 16
// bytes at once; count 3: more than two (each byte is looked up).
struct LeadRanges {
  explicit LeadRanges(const LeadBytes& lead) {
    for (unsigned b = 0; b < 256; ++b) {
      if (!lead.IsLead(static_cast<unsigned char>(b)) || (b > 0 && lead.IsLead(static_cast<unsigned char>(b - 1))))
        continue;
      unsigned last = b;
      while (last < 255 && lead.IsLead(static_cast<unsigned char>(last + 1))) ++last;
      if (count < 2) {
        first[count] = static_cast<unsigned char>(b);
        span[count] = static_cast<unsigned char>(last - b);
      }
      ++count;
    }
  }
  int count = 0;
  unsigned char first[2] = {}, span[2] = {};
};

// Which of the n (at most 64) bytes at p are lead bytes, a bit each.
std::uint64_t LeadMask(const unsigned char* p, std::size_t n, const LeadBytes& lead, const LeadRanges& ranges) {
  if (ranges.count == 0) return 0;
#if defined(__SSE2__)
  if (n == 64 && ranges.count <= 2) {
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      __m128i in = _mm_setzero_si128();
      for (int r = 0; r < ranges.count; ++r) {
        // b - first <= span, without sign: max(b - first, span) == span.
        const __m128i span = _mm_set1_epi8(static_cast<char>(ranges.span[r]));
        const __m128i from = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(ranges.first[r])));
        in = _mm_or_si128(in, _mm_cmpeq_epi8(_mm_max_epu8(from, span), span));
      }
      mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(in))} << (16 * i);
    }
    return mask;
  }
#endif
  std::uint64_t mask = 0;
  for (std::size_t k = 0; k < n; ++k) mask |= std::uint64_t{lead.IsLead(p[k])} << k;
  return mask;
}

// A byte code page's codes (a byte, or lead << 8 | trail) as the matcher
// takes them: a code with no character is a lone low surrogate of its first
// byte, which no expression matches any part of. Made once per code page.
struct MatchCodes {
  std::unique_ptr<std::uint16_t[]> units;
  // Back: each character's code where it has one only (else 0).
  std::unique_ptr<std::uint16_t[]> code_of;
  // Whether a character of the page other than an ASCII letter has an ASCII
  // letter for its other case (the Kelvin sign, the long s).
  bool odd_case = false;
};

const MatchCodes& MatchCodesOf(const CodePageUnits& table) {
  static std::mutex mutex;
  static std::map<const CodePageUnits*, MatchCodes> made;
  const std::lock_guard<std::mutex> lock(mutex);
  MatchCodes& codes = made[&table];
  if (!codes.units) {
    codes.units.reset(new std::uint16_t[65536]);
    codes.code_of.reset(new std::uint16_t[65536]());
    std::vector<std::uint8_t> forms(65536);
    for (unsigned code = 0; code < 65536; ++code) {
      const std::uint16_t unit = table.Code(code);
      codes.units[code] = unit ? unit : static_cast<std::uint16_t>(0xDC00 | (code < 256 ? code : code >> 8));
      codes.odd_case = codes.odd_case || unit == 0x212A || unit == 0x017F;
      if (unit && forms[unit] < 2 && ++forms[unit] == 1) codes.code_of[unit] = static_cast<std::uint16_t>(code);
    }
    for (unsigned unit = 0; unit < 65536; ++unit)
      if (forms[unit] > 1) codes.code_of[unit] = 0;
  }
  return codes;
}

// Where `text` first occurs in s at or after `from` (the letter case of
// ASCII letters ignored or not); npos where it does not. The places whose first and last
// bytes fit are found 16 at a time, and only they are compared.
std::size_t FindBytes(std::string_view s, std::size_t from, std::string_view text, bool ignore_case) {
  const std::size_t m = text.size();
  if (m == 0 || from > s.size() || s.size() - from < m) return std::string_view::npos;
  const auto fold = [ignore_case](unsigned char c) -> unsigned char {
    return ignore_case && c >= 'A' && c <= 'Z' ? c | 0x20 : c;
  };
  const auto at = [&](std::size_t i) {
    for (std::size_t k = 0; k < m; ++k)
      if (fold(static_cast<unsigned char>(s[i + k])) != fold(static_cast<unsigned char>(text[k]))) return false;
    return true;
  };
  std::size_t i = from;
#if defined(__SSE2__)
  const auto letter = [&](unsigned char c) { return ignore_case && (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
  const auto head = static_cast<unsigned char>(text[0]), tail = static_cast<unsigned char>(text[m - 1]);
  // A letter's byte with 0x20 set is its small letter, whichever it was.
  const __m128i head_case = _mm_set1_epi8(letter(head) ? 0x20 : 0), tail_case = _mm_set1_epi8(letter(tail) ? 0x20 : 0);
  const __m128i heads = _mm_set1_epi8(static_cast<char>(letter(head) ? head | 0x20 : head));
  const __m128i tails = _mm_set1_epi8(static_cast<char>(letter(tail) ? tail | 0x20 : tail));
  for (; i + m - 1 + 16 <= s.size(); i += 16) {
    const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i)), head_case);
    const __m128i b =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i + m - 1)), tail_case);
    for (unsigned mask = static_cast<unsigned>(
             _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, heads), _mm_cmpeq_epi8(b, tails))));
         mask; mask &= mask - 1) {
      const std::size_t k = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (at(k)) return k;
    }
  }
#endif
  for (; i + m <= s.size(); ++i)
    if (at(i)) return i;
  return std::string_view::npos;
}

// The last character start at or before p in a byte code page's text,
// from a known start at or before it: the byte after one that is no lead
// byte starts a character, and from there lead bytes take a byte each.
std::size_t StartAtOrBefore(std::string_view s, std::size_t p, std::size_t known, const LeadBytes& lead) {
  std::size_t q = p;
  while (q > known && lead.IsLead(static_cast<unsigned char>(s[q - 1]))) --q;
  return (p - q) % 2 == 0 ? p : p - 1;
}

// The characters of a byte code page's text [0, p), p a character start.
std::size_t CharsBefore(std::string_view s, std::size_t p, const LeadBytes& lead) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < p; ++n) i += lead.IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
  return n;
}

// The characters that start at the `starts` bytes of a block, as units to
// *out on; `two`: those that take the byte after them too.
std::uint16_t* DecodeBlock(const unsigned char* p, std::uint64_t starts, std::uint64_t two,
                           const std::uint16_t* codes, std::uint16_t* out) {
  for (; starts; starts &= starts - 1) {
    const unsigned k = static_cast<unsigned>(std::countr_zero(starts));
    const unsigned b = p[k];
    // (Without a branch: which characters take two bytes is no pattern
    // that a guess could follow.)
    const unsigned second = (two >> k) & 1;
    *out++ = codes[b << (8 * second) | (p[k + second] & (0u - second))];
  }
  return out;
}

// A text as 16-bit units and the way back from a unit to the offset of its
// first byte. UTF-16: two bytes a unit. A byte code page: one unit per
// character, of one or two bytes; for every 64 bytes, the bytes that start
// a character and the number of units before them.
class Units16 {
 public:
  // Decodes `text` (from a character's first byte), in the buffers of the
  // last decode.
  void Decode(const char* text, std::size_t size, CodePage code_page) {
    hint_ = 0;
    utf16_ = false;
    if (code_page == CodePage::kUtf16Le || code_page == CodePage::kUtf16Be) {
      utf16_ = true;
      if (units_.size() < size / 2 + 1) units_.resize(size / 2 + 1);
      const bool big = code_page == CodePage::kUtf16Be;
      size_ = size / 2;
      const auto* p = reinterpret_cast<const unsigned char*>(text);
      for (std::size_t u = 0; u < size_; ++u)
        units_[u] = static_cast<std::uint16_t>(big ? (p[2 * u] << 8 | p[2 * u + 1]) : (p[2 * u + 1] << 8 | p[2 * u]));
      return;
    }
    // At most a unit per byte.
    if (units_.size() < size + 1) units_.resize(size + 1);
    const CodePageUnits& table = CodePageUnits::For(code_page);
    const std::uint16_t* const codes = MatchCodesOf(table).units.get();
    const LeadBytes& lead = table.lead();
    const LeadRanges ranges(lead);
    const auto* const p = reinterpret_cast<const unsigned char*>(text);
    const std::size_t blocks = (size + 63) / 64;
    starts_.resize(blocks + 1);
    units_before_.resize(blocks + 1);
    std::uint16_t* const out = units_.data();
    std::uint16_t* q = out;
    std::uint64_t carry = 0;
    for (std::size_t block = 0; block < blocks; ++block) {
      const std::size_t at = block * 64, n = std::min<std::size_t>(64, size - at);
      std::uint64_t leads = LeadMask(p + at, n, lead, ranges);
      if (at + n == size) leads &= ~(std::uint64_t{1} << (n - 1));  // a lead byte that ends the text is alone
      std::uint64_t next_carry = carry;
      const std::uint64_t trails = Trails(leads, &next_carry);
      const std::uint64_t valid = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
      starts_[block] = ~trails & valid;
      units_before_[block] = static_cast<std::size_t>(q - out);
      // The trail of the block's last byte is the next block's first byte.
      q = DecodeBlock(p + at, starts_[block], (trails >> 1) | (next_carry << 63), codes, q);
      carry = next_carry;
    }
    const std::size_t u = static_cast<std::size_t>(q - out);
    starts_[blocks] = 0;
    units_before_[blocks] = u;
    size_ = u;
    bytes_ = size;
  }

  const std::uint16_t* data() const { return units_.data(); }
  std::size_t size() const { return size_; }
  // The offset of unit u's first byte (u == size(): the text's end). Asked
  // mostly in order, so the block of the last answer is tried first.
  std::size_t Byte(std::size_t u) const {
    if (utf16_) return 2 * u;
    if (u >= size_) return bytes_;
    std::size_t block = hint_;
    if (block >= units_before_.size() || units_before_[block] > u) block = 0;
    while (block + 1 < units_before_.size() && units_before_[block + 1] <= u) {
      if (block + 8 < units_before_.size() && units_before_[block + 8] <= u) {
        // Far ahead: the last block that starts at or before u.
        block = static_cast<std::size_t>(
            std::upper_bound(units_before_.begin() + static_cast<std::ptrdiff_t>(block), units_before_.end(), u) -
            units_before_.begin() - 1);
        break;
      }
      ++block;
    }
    hint_ = block;
    std::uint64_t m = starts_[block];
    for (std::size_t n = u - units_before_[block]; n > 0; --n) m &= m - 1;
    return block * 64 + static_cast<std::size_t>(std::countr_zero(m));
  }

 private:
  bool utf16_ = false;
  std::vector<std::uint16_t> units_;
  std::size_t size_ = 0, bytes_ = 0;
  std::vector<std::uint64_t> starts_;
  std::vector<std::size_t> units_before_;
  mutable std::size_t hint_ = 0;
};

// What a pass holds while it matches, freed on every way out.
template <int W>
struct MatchState {
  using L = Lib<W>;
  explicit MatchState(const typename L::Code* code)
      : data(L::NewData(code)), probe(L::NewData(code)), context(L::NewContext()), stack(L::NewStack()) {
    if (context) L::Limit(context, stack);
  }
  ~MatchState() {
    if (data) L::Free(data);
    if (probe) L::Free(probe);
    if (context) L::Free(context);
    if (stack) L::Free(stack);
  }
  typename L::Data* data;
  typename L::Data* probe;  // a match tried besides the one in `data`
  typename L::Context* context;
  typename L::Stack* stack;
};

// The end of a part of a pattern from p[i] up to and past `close` (where,
// when `doubled`, a doubled `close` is one of its characters).
std::size_t PastClose(std::string_view p, std::size_t i, char close, bool doubled = false) {
  for (; i < p.size(); ++i) {
    if (p[i] != close) continue;
    if (!doubled || i + 1 >= p.size() || p[i + 1] != close) return i + 1;
    ++i;
  }
  return p.size();
}

// The end of the escape at p[i] (a backslash): its letter, the character
// that \c takes, a braced argument (\p{^L}), or a \Q...\E text.
std::size_t PastEscape(std::string_view p, std::size_t i) {
  if (i + 1 >= p.size()) return p.size();
  const char e = p[i + 1];
  if (e == 'Q') {
    const std::size_t end = p.find("\\E", i + 2);
    return end == std::string_view::npos ? p.size() : end + 2;
  }
  if (e == 'c') return std::min(p.size(), i + 3);
  if (i + 2 < p.size() && p[i + 2] == '{' && std::string_view("xopPNgk").find(e) != std::string_view::npos)
    return PastClose(p, i + 3, '}');
  return i + 2;
}

// The end of the class that opens at p[i] ('['): a ']' first is one of its
// characters, [:name:] a part of it.
std::size_t PastClass(std::string_view p, std::size_t i) {
  ++i;
  if (i < p.size() && p[i] == '^') ++i;
  if (i < p.size() && p[i] == ']') ++i;
  while (i < p.size() && p[i] != ']') {
    if (p[i] == '\\') {
      i = PastEscape(p, i);
    } else if (p[i] == '[' && i + 1 < p.size() && p[i + 1] == ':') {
      const std::size_t end = p.find(":]", i + 2);
      i = end == std::string_view::npos ? i + 1 : end + 2;
    } else {
      ++i;
    }
  }
  return std::min(p.size(), i + 1);
}

// Whether PCRE2 takes a pattern that compiled with `options` to match only
// at the start of a line for its leading .* alone (a pattern that starts
// with ^ does so rightly: no ^ falls between CR and LF).
bool DotStarAnchored(std::string_view pattern, std::uint32_t options) {
  const auto lines_only = [&](std::uint32_t extra) {
    pcre2_compile_context_8* context = pcre2_compile_context_create_8(nullptr);
    if (!context) throw std::bad_alloc();
    pcre2_set_newline_8(context, PCRE2_NEWLINE_ANYCRLF);
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code_8* compiled = pcre2_compile_8(reinterpret_cast<PCRE2_SPTR8>(pattern.data()), pattern.size(),
                                             options | extra, &code, &offset, context);
    pcre2_compile_context_free_8(context);
    std::uint32_t first = 0;
    if (compiled) pcre2_pattern_info_8(compiled, PCRE2_INFO_FIRSTCODETYPE, &first);
    pcre2_code_free_8(compiled);
    return first == 2;
  };
  return lines_only(0) && !lines_only(PCRE2_NO_DOTSTAR_ANCHOR);
}

// The characters that every match of `p` starts with, as far as its leading
// characters say so plainly: letters, digits, punctuation that stands for
// itself (or is escaped), characters beyond ASCII as they are or as \x{...},
// none of them quantified; none when the pattern has an alternative anywhere
// (it may start another way).
std::u32string LeadingText(std::string_view p) {
  constexpr std::string_view kRulesGroup = "(?(DEFINE)\\n)";  // never run (WithLineRules)
  if (p.starts_with(kRulesGroup)) p.remove_prefix(kRulesGroup.size());
  std::u32string text;
  if (p.find('|') != std::string_view::npos) return text;
  const auto plain = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           std::string_view(" _-=,:;/<>'\"!@%&~`").find(c) != std::string_view::npos;
  };
  for (std::size_t i = 0; i < p.size();) {
    std::size_t next = i + 1;
    char32_t c = static_cast<unsigned char>(p[i]);
    if (c == '\\' && p.substr(i).starts_with("\\x{")) {
      const std::size_t close = p.find('}', i);
      if (close == std::string_view::npos || close == i + 3 || close > i + 9) break;
      c = 0;
      for (std::size_t k = i + 3; k < close; ++k) {
        const char h = p[k];
        const int digit = h >= '0' && h <= '9'   ? h - '0'
                          : h >= 'A' && h <= 'F' ? h - 'A' + 10
                          : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                                 : -1;
        if (digit < 0) return text;
        c = c * 16 + static_cast<char32_t>(digit);
      }
      next = close + 1;
    } else if (c == '\\' && i + 1 < p.size() && static_cast<unsigned char>(p[i + 1]) < 0x80 && !plain(p[i + 1]) &&
               p[i + 1] > ' ') {
      c = static_cast<unsigned char>(p[i + 1]);  // an escaped punctuation character stands for itself
      next = i + 2;
    } else if (c >= 0x80) {
      bool bad = false;
      next = i;
      c = unicode_detail::DecodeUtf8(p, &next, &bad);
      if (bad) break;
    } else if (!plain(static_cast<char>(c))) {
      break;
    }
    if (next < p.size() && std::string_view("*+?{").find(p[next]) != std::string_view::npos) break;
    text += c;
    i = next;
  }
  return text;
}

}  // namespace

Expression::Expression(int width, void* code, std::uint32_t group_count)
    : width_(width), code_(code), group_count_(group_count) {}

Expression::~Expression() {
  if (width_ == 8)
    pcre2_code_free_8(static_cast<pcre2_code_8*>(code_));
  else
    pcre2_code_free_16(static_cast<pcre2_code_16*>(code_));
}

int Expression::GroupNumber(std::string_view name) const {
  if (width_ == 8) {
    const std::string zero(name);
    const int n = pcre2_substring_number_from_name_8(static_cast<const pcre2_code_8*>(code_),
                                                     reinterpret_cast<PCRE2_SPTR8>(zero.c_str()));
    return n > 0 ? n : -1;
  }
  std::u16string zero;
  if (!AppendUtf16(name, &zero, true)) return -1;
  const int n = pcre2_substring_number_from_name_16(static_cast<const pcre2_code_16*>(code_),
                                                    reinterpret_cast<PCRE2_SPTR16>(zero.c_str()));
  return n > 0 ? n : -1;
}

std::shared_ptr<const Expression> Expression::Get(std::string_view pattern, bool ignore_case, int width,
                                                  Error* error) {
  using Key = std::tuple<std::string, bool, int>;
  static std::mutex mutex;
  static std::map<Key, std::shared_ptr<const Expression>> cache;
  Key key{std::string(pattern), ignore_case, width};
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
  }
  const std::uint32_t options = kCompileOptions | (ignore_case ? PCRE2_CASELESS : 0u);
  int code = 0;
  PCRE2_SIZE offset = 0;
  std::uint32_t back = 0;  // characters
  std::shared_ptr<Expression> made;
  if (width == 8) {
    pcre2_compile_context_8* context = pcre2_compile_context_create_8(nullptr);
    if (context) pcre2_set_newline_8(context, PCRE2_NEWLINE_ANYCRLF);
    pcre2_code_8* compiled = context ? pcre2_compile_8(reinterpret_cast<PCRE2_SPTR8>(pattern.data()),
                                                      pattern.size(), options, &code, &offset, context)
                                     : nullptr;
    if (context) pcre2_compile_context_free_8(context);
    if (compiled) {
      // (Without the JIT it is interpreted.)
      pcre2_jit_compile_8(compiled, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
      std::uint32_t groups = 0;
      pcre2_pattern_info_8(compiled, PCRE2_INFO_CAPTURECOUNT, &groups);
      pcre2_pattern_info_8(compiled, PCRE2_INFO_MAXLOOKBEHIND, &back);
      made.reset(new Expression(8, compiled, groups));
    } else if (error) {
      *error = {CharsIn(pattern, offset), context ? ErrorText(code) : "no memory"};
    }
  } else {
    std::u16string units;
    if (!AppendUtf16(pattern, &units, true)) {
      if (error) *error = {CharsIn(pattern, units.size()), "the pattern is not valid UTF-8"};
      return nullptr;
    }
    pcre2_compile_context_16* context = pcre2_compile_context_create_16(nullptr);
    if (context) pcre2_set_newline_16(context, PCRE2_NEWLINE_ANYCRLF);
    pcre2_code_16* compiled = context ? pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(units.data()),
                                                        units.size(), options, &code, &offset, context)
                                      : nullptr;
    if (context) pcre2_compile_context_free_16(context);
    if (compiled) {
      pcre2_jit_compile_16(compiled, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
      std::uint32_t groups = 0;
      pcre2_pattern_info_16(compiled, PCRE2_INFO_CAPTURECOUNT, &groups);
      pcre2_pattern_info_16(compiled, PCRE2_INFO_MAXLOOKBEHIND, &back);
      made.reset(new Expression(16, compiled, groups));
    } else if (error) {
      std::string before;
      AppendUtf8(std::u16string_view(units).substr(0, offset), &before, false);
      *error = {CharsIn(before, before.size()), context ? ErrorText(code) : "no memory"};
    }
  }
  if (!made) return nullptr;
  made->lines_only_ = DotStarAnchored(pattern, options);
  // A lookbehind within a lookbehind moves back from where the outer one
  // moved to: as far back as all of them together.
  std::size_t lookbehinds = 0;
  for (std::size_t at = 0; (at = pattern.find("(?<", at)) != std::string_view::npos; ++at) ++lookbehinds;
  made->behind_ = (lookbehinds + 1) * std::size_t{back} + 2;
  made->leading_ = LeadingText(pattern);
  made->ignore_case_ = ignore_case;
  made->whole_text_ = pattern.find("(*") != std::string_view::npos || pattern.find("\\G") != std::string_view::npos ||
                      pattern.find("(?C") != std::string_view::npos;
  const std::lock_guard<std::mutex> lock(mutex);
  if (cache.size() >= 256) cache.clear();  // the holders keep theirs
  return cache.emplace(std::move(key), made).first->second;
}

std::string WithLineRules(std::string_view p) {
  constexpr std::string_view kNotInCrLf = "(?!(?<=\\r)\\n))";
  std::string out;
  // After the settings that only the start of a pattern may hold, (*UTF)...
  std::size_t i = 0;
  while (p.substr(i).starts_with("(*") && i + 2 < p.size() && p[i + 2] >= 'A' && p[i + 2] <= 'Z')
    i = PastClose(p, i + 2, ')');
  (out = p.substr(0, i)) += "(?(DEFINE)\\n)";
  while (i < p.size()) {
    std::size_t end = i + 1;
    const std::string_view at = p.substr(i);
    if (at.starts_with("\\Z")) {
      (out += "(?:\\Z") += kNotInCrLf;
      i += 2;
      continue;
    }
    if (p[i] == '^' || p[i] == '$') {
      ((out += "(?:") += p[i]) += kNotInCrLf;
      ++i;
      continue;
    }
    if (p[i] == '\\') {
      end = PastEscape(p, i);
    } else if (p[i] == '[') {
      end = PastClass(p, i);
    } else if (at.starts_with("(?#") ||
               (at.starts_with("(*") && at.size() > 2 && (at[2] == ':' || (at[2] >= 'A' && at[2] <= 'Z')))) {
      end = PastClose(p, i + 2, ')');  // a comment; a verb (its name is text)
    } else if (at.starts_with("(?C") && at.size() > 3 &&
               std::string_view("`'\"^%#${").find(at[3]) != std::string_view::npos) {
      // A callout's text, in its delimiters.
      end = PastClose(p, PastClose(p, i + 4, at[3] == '{' ? '}' : at[3], true), ')');
    } else if (at.starts_with("(?^")) {  // options reset, no anchor
      end = i + 3;
    }
    out.append(p, i, end - i);
    i = end;
  }
  return out;
}

struct ExpressionPass::State {
  std::optional<MatchState<8>> narrow;
  std::optional<MatchState<16>> wide;
  Units16 units;
};

ExpressionPass::ExpressionPass(std::shared_ptr<const Expression> expression,
                               std::vector<ReplacementPiece> replacement, CodePage code_page, std::size_t window)
    : expression_(std::move(expression)),
      replacement_(std::move(replacement)),
      code_page_(code_page),
      window_(expression_->whole_text_ ? SIZE_MAX : std::max<std::size_t>(window, 1)),
      state_(std::make_unique<State>()) {
  // Skipping to the leading text pays where decoding the text costs, in a
  // byte code page: as far as each of its characters has one form there,
  // letter case ignored only for ASCII and only where no other character
  // has an ASCII letter for its other case.
  if (expression_->width() != 16 || expression_->leading_.empty() || code_page_ == CodePage::kUtf16Le ||
      code_page_ == CodePage::kUtf16Be)
    return;
  const MatchCodes& codes = MatchCodesOf(CodePageUnits::For(code_page_));
  if (expression_->ignore_case_ && codes.odd_case) return;
  for (const char32_t c : expression_->leading_) {
    if (c < 0x80) {
      leading_bytes_ += static_cast<char>(c);
      continue;
    }
    // Beyond ASCII: a character of one form only, its case kept.
    const std::uint16_t code = c <= 0xFFFF && !expression_->ignore_case_ ? codes.code_of[c] : 0;
    if (code == 0) break;
    if (code > 0xFF) leading_bytes_ += static_cast<char>(code >> 8);
    leading_bytes_ += static_cast<char>(code & 0xFF);
  }
  skips_ = !leading_bytes_.empty();
  // With less to decode, a smaller window skips more of the text.
  if (skips_ && window_ != SIZE_MAX) window_ = std::max<std::size_t>(window_ / 4, 1);
}

ExpressionPass::~ExpressionPass() = default;

PassResult ExpressionPass::Take(const char* data, std::size_t n, bool last, ByteSink* out, std::int64_t* count) {
  if (too_complex_) return PassResult::kTooComplex;
  held_.append(data, n);
  if (!last && held_.size() < std::max(window_, wait_)) return PassResult::kDone;
  const PassResult result =
      expression_->width() == 8 ? MatchHeld<8>(last, out, count) : MatchHeld<16>(last, out, count);
  too_complex_ = result == PassResult::kTooComplex;
  return result;
}

namespace {

// Whether units are all whole characters (UTF-8; UTF-16: no lone
// surrogate; decoded from a byte code page: no surrogate at all).
template <int W>
bool ValidUnits(const typename Lib<W>::Unit* units, std::size_t n, CodePage code_page) {
  if constexpr (W == 8) {
    return IsUtf8(std::string_view(reinterpret_cast<const char*>(units), n));
  } else {
    const bool pairs = code_page == CodePage::kUtf16Le || code_page == CodePage::kUtf16Be;
    for (std::size_t i = 0; i < n; ++i) {
      if (units[i] < 0xD800 || units[i] > 0xDFFF) continue;
      if (!pairs || units[i] > 0xDBFF || i + 1 >= n || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      ++i;
    }
    return true;
  }
}

}  // namespace

// Where every match starts with a text of one form in a byte code page,
// the text up to its next place in the bytes held cannot hold a match start: it goes out undecoded, with only the
// characters before that place that a match may look at kept.
void ExpressionPass::SkipToLeadingText(bool last, ByteSink* out) {
  const std::string& text = leading_bytes_;
  const std::string_view held = held_;
  const std::size_t found = FindBytes(held, start_byte_, text, expression_->ignore_case_);
  // (Where it is not, a match may still start in the last bytes held.)
  const std::size_t tail = std::min(held.size(), text.size() - 1);
  const std::size_t limit = found != std::string_view::npos ? found
                            : last                           ? held.size()
                                                             : std::max(start_byte_, held.size() - tail);
  if (limit < start_byte_ + 16) return;  // not worth the while
  const LeadBytes& lead = CodePageUnits::For(code_page_).lead();
  const std::size_t cut = StartAtOrBefore(held, limit, start_byte_, lead);
  out->Put(held.data() + start_byte_, cut - start_byte_);
  const std::size_t behind = 2 * expression_->behind_;  // bytes: a character may take two
  const std::size_t keep = StartAtOrBefore(held, cut > behind ? cut - behind : 0, 0, lead);
  held_.erase(0, keep);
  held_from_start_ = held_from_start_ && keep == 0;
  start_byte_ = cut - keep;
  start_ = CharsBefore(held_, start_byte_, lead);
}

template <int W>
PassResult ExpressionPass::MatchHeld(bool last, ByteSink* out, std::int64_t* count) {
  using L = Lib<W>;
  using Unit = typename L::Unit;
  const auto* code = static_cast<const typename L::Code*>(expression_->code_);
  auto& state = [&]() -> MatchState<W>& {
    if constexpr (W == 8) {
      if (!state_->narrow) state_->narrow.emplace(code);
      return *state_->narrow;
    } else {
      if (!state_->wide) state_->wide.emplace(code);
      return *state_->wide;
    }
  }();
  if (!state.data || !state.probe || !state.context) throw std::bad_alloc();

  if constexpr (W == 16) {
    if (skips_ && flags_ == 0) {
      SkipToLeadingText(last, out);
      if (!last && held_.size() - start_byte_ < leading_bytes_.size()) return PassResult::kDone;
    }
  }
  // The held text as units, and each unit's byte in it.
  const char* const text = held_.data();
  const std::size_t size = held_.size();
  Units16& wide = state_->units;
  const Unit* units;
  std::size_t length;
  if constexpr (W == 8) {
    units = reinterpret_cast<const Unit*>(text);
    length = size;
  } else {
    wide.Decode(text, size, code_page_);
    units = wide.data();
    length = wide.size();
  }
  const auto byte = [&](std::size_t u) -> std::size_t {
    if constexpr (W == 8) {
      return u;
    } else {
      return wide.Byte(u);
    }
  };
  if (!last) {
    // The units held less a last character still waiting for its rest: a
    // lead byte, a first surrogate, the start of a UTF-8 sequence.
    std::size_t whole = length;
    if constexpr (W == 8) {
      std::size_t first = whole;  // the last character's first byte
      while (first > 0 && whole - first < 4 && (units[first - 1] & 0xC0) == 0x80) --first;
      if (first > 0 && units[first - 1] >= 0xC0) {
        const unsigned lead = units[first - 1];
        if (whole - (first - 1) < (lead >= 0xF0 ? 4u : lead >= 0xE0 ? 3u : 2u)) whole = first - 1;
      }
    } else {
      const bool pairs = code_page_ == CodePage::kUtf16Le || code_page_ == CodePage::kUtf16Be;
      if (whole > 0 && (pairs ? units[whole - 1] >= 0xD800 && units[whole - 1] <= 0xDBFF
                              : byte(whole - 1) + 1 == size &&
                                    CodePageUnits::For(code_page_).lead().IsLead(
                                        static_cast<unsigned char>(text[size - 1]))))
        --whole;
    }
    // Where units that are no character come, PCRE2 steps over them when a
    // search starts before them, but may start one among them or just
    // before them (an empty match): from there on the text is matched
    // whole, as one search.
    if (start_ < whole && !ValidUnits<W>(units + start_, whole - start_, code_page_)) {
      window_ = SIZE_MAX;
      return PassResult::kDone;
    }
    // Matched up to an ASCII character that is no line end and has a whole
    // character after it: so never up to part of a character, nor up to a
    // line end (^ after it depends on what follows).
    length = whole > 0 ? whole - 1 : 0;
    while (length > 0 && (units[length - 1] >= 0x80 || units[length - 1] == '\r' || units[length - 1] == '\n'))
      --length;
    if (length <= start_) {
      wait_ = 2 * size;  // none such yet
      return PassResult::kDone;
    }
  }

  constexpr std::uint32_t kNotEmptyHere = PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
  const std::uint32_t held_options = (last ? 0u : PCRE2_PARTIAL_HARD) | (held_from_start_ ? 0u : PCRE2_NOTBOL);
  std::size_t start = start_, emitted = start_;  // units
  std::uint32_t flags = flags_;
  bool partial = false;
  for (;;) {
    int rc = L::Match(code, units, length, start, flags | held_options, state.data, state.context);
    typename L::Data* found = state.data;
    if (expression_->lines_only_ && flags == 0 &&
        (rc >= 0 || rc == PCRE2_ERROR_NOMATCH || rc == PCRE2_ERROR_PARTIAL)) {
      // The LFs of CR LFs that the search went past untried, each in turn.
      const std::size_t before = rc == PCRE2_ERROR_NOMATCH ? length : L::Ovector(state.data)[0];
      for (std::size_t q = start + 1; q < before; ++q) {
        if (units[q] != '\n' || units[q - 1] != '\r') continue;
        const int at = L::Match(code, units, length, q, PCRE2_ANCHORED | held_options, state.probe, state.context);
        if (at == PCRE2_ERROR_NOMATCH || ((at >= 0 || at == PCRE2_ERROR_PARTIAL) && L::StartChar(state.probe) != q))
          continue;
        rc = at;
        found = state.probe;
        break;
      }
    }
    // An anchored try that reports a match (or the start of one) elsewhere
    // found none: PCRE2's JIT does so at a unit that is no character, which
    // no match but an empty one can start at.
    if ((rc >= 0 || rc == PCRE2_ERROR_PARTIAL) && (flags & PCRE2_ANCHORED) && found == state.data &&
        L::StartChar(found) != start)
      rc = PCRE2_ERROR_NOMATCH;
    if (rc == PCRE2_ERROR_PARTIAL) {
      // A match may start here that the bytes to come decide.
      start = L::Ovector(found)[0];
      partial = true;
      break;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (flags == 0) {
        if (!last) start = length;  // none starts before; here, the next bytes decide
        break;
      }
      if (start >= length) break;  // the next bytes decide (at the end: done)
      // No other match where the empty one was: on by a character. (Also
      // from a CR to its LF: a match may start there, only no empty one.)
      std::size_t next = start + 1;
      while (next < length && L::Continues(units, next)) ++next;
      if (!last && next >= length) break;  // (whether the next unit goes with it, the bytes to come say)
      start = next;
      flags = 0;
      continue;
    }
    if (rc < 0) return PassResult::kTooComplex;
    const PCRE2_SIZE* ov = L::Ovector(found);
    const std::size_t begin = ov[0], end = ov[1];
    // \K in a lookahead can set a start past the end: taken as no match.
    if (begin > end || begin < emitted) return PassResult::kTooComplex;
    if (begin == end && begin > 0 && begin < length && units[begin - 1] == '\r' && units[begin] == '\n') {
      start = begin;
      flags = kNotEmptyHere;
      continue;
    }
    const std::size_t from = byte(emitted), to = byte(begin);
    out->Put(text + from, to - from);
    for (const ReplacementPiece& piece : replacement_) {
      if (piece.group < 0) {
        out->Put(piece.bytes.data(), piece.bytes.size());
        continue;
      }
      const auto g = static_cast<std::size_t>(piece.group);
      if (g >= static_cast<std::size_t>(rc) || ov[2 * g] == PCRE2_UNSET) continue;  // took no part
      const std::size_t a = byte(ov[2 * g]), b = byte(ov[2 * g + 1]);
      if (a < b) out->Put(text + a, b - a);
    }
    ++*count;
    emitted = end;
    start = end;
    flags = begin == end ? kNotEmptyHere : 0;
  }
  if (last) {
    const std::size_t from = byte(emitted);
    out->Put(text + from, size - from);
    held_.clear();
    return PassResult::kDone;
  }
  // No match starts before `start`: the text up to it goes out, and what a
  // match from there may look back at stays.
  const std::size_t from = byte(emitted), to = byte(start);
  out->Put(text + from, to - from);
  const std::size_t behind = 2 * expression_->behind_;  // units: a character may take two
  const std::size_t keep = start > behind ? start - behind : 0, drop = byte(keep);
  held_.erase(0, drop);
  held_from_start_ = held_from_start_ && drop == 0;
  start_ = start - keep;
  start_byte_ = to - drop;
  flags_ = flags;
  // After a match that the bytes to come decide, the next try waits for
  // twice as many: a long one is tried a few times, not once a window.
  wait_ = partial ? 2 * held_.size() : 0;
  return PassResult::kDone;
}

}  // namespace vx
