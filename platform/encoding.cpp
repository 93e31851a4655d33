// The portable part of the encodings: the walks, the names, and finding a
// file's encoding.
#include "platform/encoding.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VX_X86 1
#endif

namespace vx {

CodePage CodePageOf(Encoding encoding, CodePage run) {
  switch (encoding) {
    case Encoding::kCodePage: return run;
    case Encoding::kUtf8:
    case Encoding::kUtf8Bom: return CodePage::kUtf8;
    case Encoding::kUtf16Le: return CodePage::kUtf16Le;
    case Encoding::kUtf16Be: return CodePage::kUtf16Be;
  }
  return run;
}

std::size_t MarkLength(Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf8Bom: return 3;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: return 2;
    default: return 0;
  }
}

std::string_view LogName(Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf8: return "（UTF-8）";
    case Encoding::kUtf8Bom: return "（UTF-8 BOM付き）";
    case Encoding::kUtf16Le: return "（UTF-16LE）";
    case Encoding::kUtf16Be: return "（UTF-16BE）";
    default: return {};
  }
}

Cp932Forms::Cp932Forms() {
  // Every double-byte code, one lead byte's row at a time (a row with codes
  // the code page leaves unassigned goes code by code), decoded to UTF-16.
  std::array<std::uint16_t, 65536> first{};  // UTF-16 unit -> the first code that decodes to it
  std::array<std::uint16_t, 65536> group_of_unit{};
  const LeadBytes lead = LeadBytes::Cp932();
  std::string row, units;
  std::vector<std::uint16_t> codes;
  for (unsigned l = 0x81; l <= 0xFC; ++l) {
    if (!lead.IsLead(static_cast<unsigned char>(l))) continue;
    row.clear();
    codes.clear();
    for (unsigned t = 0x40; t <= 0xFC; ++t) {
      if (t == 0x7F) continue;
      row += static_cast<char>(l);
      row += static_cast<char>(t);
      codes.push_back(static_cast<std::uint16_t>(l << 8 | t));
    }
    const auto take = [&](std::uint16_t code, unsigned unit) {
      if (first[unit] == 0) {
        first[unit] = code;
        return;
      }
      std::uint16_t& group = group_of_unit[unit];
      if (group == 0) {
        group = static_cast<std::uint16_t>(members_.size());
        members_.push_back({first[unit]});
        group_[first[unit]] = group;
      }
      group_[code] = group;
      members_[group].push_back(code);
    };
    const auto unit_at = [&](std::size_t k) {
      return static_cast<unsigned>(static_cast<unsigned char>(units[2 * k]) |
                                   static_cast<unsigned char>(units[2 * k + 1]) << 8);
    };
    if (ConvertText(row, CodePage::kCp932, CodePage::kUtf16Le, &units) && units.size() == 2 * codes.size()) {
      for (std::size_t k = 0; k < codes.size(); ++k) take(codes[k], unit_at(k));
      continue;
    }
    for (std::size_t k = 0; k < codes.size(); ++k) {
      if (ConvertText(row.substr(2 * k, 2), CodePage::kCp932, CodePage::kUtf16Le, &units) && units.size() == 2)
        take(codes[k], unit_at(0));
    }
  }
}

CodePageUnits::CodePageUnits(CodePage code_page) : lead_(WalkOf(code_page).lead()) {
  if (code_page == CodePage::kNone) {
    for (unsigned b = 1; b < 256; ++b) units_[b] = static_cast<std::uint16_t>(b);
    return;
  }
  std::string units;
  const auto unit_of = [&](std::string_view code) -> std::uint16_t {
    if (!ConvertText(code, code_page, CodePage::kUtf16Le, &units) || units.size() != 2) return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(units[0]) | static_cast<unsigned char>(units[1]) << 8);
  };
  for (unsigned b = 1; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (!lead_.IsLead(static_cast<unsigned char>(b))) units_[b] = unit_of(std::string_view(&c, 1));
  }
  for (unsigned l = 1; l < 256; ++l) {
    if (!lead_.IsLead(static_cast<unsigned char>(l))) continue;
    for (unsigned t = 1; t < 256; ++t) {
      const char code[2] = {static_cast<char>(l), static_cast<char>(t)};
      units_[l << 8 | t] = unit_of(std::string_view(code, 2));
    }
  }
}

const CodePageUnits& CodePageUnits::For(CodePage code_page) {
  // Each read on first use and kept for the process (kAnsi: whatever the
  // ANSI code page is).
  switch (code_page) {
    case CodePage::kCp932: {
      static const CodePageUnits* const cp932 = new CodePageUnits(CodePage::kCp932);
      return *cp932;
    }
    case CodePage::kAnsi: {
      static const CodePageUnits* const ansi = new CodePageUnits(CodePage::kAnsi);
      return *ansi;
    }
    default: {
      static const CodePageUnits* const bytes = new CodePageUnits(CodePage::kNone);
      return *bytes;
    }
  }
}

const Cp932Forms& Cp932Forms::Get() {
  static const Cp932Forms* const forms = new Cp932Forms();  // read once, kept for the process
  return *forms;
}

std::size_t TextWalk::CharLength(std::string_view text, std::size_t i) const {
  if (unit_ == 1) return vx::CharLength(text, i, lead_);
  if (i + 2 > text.size()) return text.size() - i;
  const unsigned u = Unit16(text.data(), i);
  if (u >= 0xD800 && u < 0xDC00 && i + 4 <= text.size()) {
    const unsigned next = Unit16(text.data(), i + 2);
    if (next >= 0xDC00 && next < 0xE000) return 4;
  }
  return 2;
}

TextWalk WalkOf(CodePage code_page) {
  switch (code_page) {
    case CodePage::kCp932: return LeadBytes::Cp932();
    case CodePage::kAnsi: return AnsiLeadBytes();
    case CodePage::kUtf16Le: return TextWalk::Utf16(false);
    case CodePage::kUtf16Be: return TextWalk::Utf16(true);
    case CodePage::kUtf8:
    case CodePage::kNone: break;
  }
  return TextWalk();
}

// ---------------------------------------------------------------------------
// Strict UTF-8.

namespace {

// Whether [p, p + n) is whole, valid UTF-8: every sequence complete, no
// overlong form, no surrogate, nothing above U+10FFFF.
bool PlainUtf8(const unsigned char* p, std::size_t n) {
  const auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
  std::size_t i = 0;
  while (i < n) {
    const unsigned c = p[i];
    if (c < 0x80) {
      ++i;
    } else if (c < 0xC2) {
      return false;
    } else if (c < 0xE0) {
      if (i + 1 >= n || !cont(p[i + 1])) return false;
      i += 2;
    } else if (c < 0xF0) {
      if (i + 2 >= n || !cont(p[i + 1]) || !cont(p[i + 2])) return false;
      if ((c == 0xE0 && p[i + 1] < 0xA0) || (c == 0xED && p[i + 1] >= 0xA0)) return false;
      i += 3;
    } else if (c < 0xF5) {
      if (i + 3 >= n || !cont(p[i + 1]) || !cont(p[i + 2]) || !cont(p[i + 3])) return false;
      if ((c == 0xF0 && p[i + 1] < 0x90) || (c == 0xF4 && p[i + 1] >= 0x90)) return false;
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

// The length a sequence starting with `lead` must have (1 for a byte that
// starts none: the plain check refuses it).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xC0 && lead < 0xE0) return 2;
  return 1;
}

// After the vector kernels' whole blocks: the rest, plainly, from the first
// lead byte among the last three bytes the blocks took (a sequence they may
// have left open; one started earlier is complete there).
bool PlainRest(const unsigned char* p, std::size_t n, std::size_t done) {
  std::size_t from = done;
  for (std::size_t k = 3; k >= 1; --k) {
    if (done >= k && p[done - k] >= 0xC0) {
      from = done - k;
      break;
    }
  }
  return PlainUtf8(p + from, n - from);
}

#ifdef VX_X86
// The vector kernels check 16 or 32 bytes at a time by table lookups on the
// high and low halves of each byte and the one before it, which together
// tell every error of a two-byte window; a further check that the second,
// third and fourth bytes of the longer sequences are continuation bytes
// covers the rest. Bit meanings, per window (previous byte, this byte):
//   0x01 too short: a lead byte or ASCII followed by a lead byte or ASCII
//   0x02 too long: ASCII followed by a continuation byte
//   0x04 overlong 3-byte (E0 80-9F)      0x10 surrogate (ED A0-BF)
//   0x08 above U+10FFFF (F4 90-BF, F5-FF) 0x20 overlong 2-byte (C0, C1)
//   0x40 overlong 4-byte (F0 80-8F), or F5-FF before 80-8F
//   0x80 two continuation bytes (right only as a sequence's third or fourth)
#define VX_UTF8_TABLES                                                                                      \
  X(0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x80, 0x80, 0x80, 0x80, 0x21, 0x01, 0x15, 0x49)         \
  Y(0xE7, 0xA3, 0x83, 0x83, 0x8B, 0xCB, 0xCB, 0xCB, 0xCB, 0xCB, 0xCB, 0xCB, 0xCB, 0xDB, 0xCB, 0xCB)         \
  Z(0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xE6, 0xAE, 0xBA, 0xBA, 0x01, 0x01, 0x01, 0x01)

__attribute__((target("ssse3"))) bool Ssse3Utf8(const unsigned char* p, std::size_t n) {
#define X(...) const __m128i first_high = _mm_setr_epi8(__VA_ARGS__);
#define Y(...) const __m128i first_low = _mm_setr_epi8(__VA_ARGS__);
#define Z(...) const __m128i second_high = _mm_setr_epi8(__VA_ARGS__);
  VX_UTF8_TABLES
#undef X
#undef Y
#undef Z
  const __m128i nibble = _mm_set1_epi8(0x0F);
  __m128i prev = _mm_setzero_si128(), error = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i prev1 = _mm_alignr_epi8(in, prev, 15);
    const __m128i a = _mm_shuffle_epi8(first_high, _mm_and_si128(_mm_srli_epi16(prev1, 4), nibble));
    const __m128i b = _mm_shuffle_epi8(first_low, _mm_and_si128(prev1, nibble));
    const __m128i c = _mm_shuffle_epi8(second_high, _mm_and_si128(_mm_srli_epi16(in, 4), nibble));
    const __m128i special = _mm_and_si128(_mm_and_si128(a, b), c);
    const __m128i third = _mm_subs_epu8(_mm_alignr_epi8(in, prev, 14), _mm_set1_epi8(0x60));
    const __m128i fourth = _mm_subs_epu8(_mm_alignr_epi8(in, prev, 13), _mm_set1_epi8(0x70));
    const __m128i must_continue = _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(char(0x80)));
    error = _mm_or_si128(error, _mm_xor_si128(must_continue, special));
    prev = in;
  }
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) != 0xFFFF) return false;
  return PlainRest(p, n, i);
}

__attribute__((target("avx2"))) bool Avx2Utf8(const unsigned char* p, std::size_t n) {
#define X(...) const __m256i first_high = _mm256_setr_epi8(__VA_ARGS__, __VA_ARGS__);
#define Y(...) const __m256i first_low = _mm256_setr_epi8(__VA_ARGS__, __VA_ARGS__);
#define Z(...) const __m256i second_high = _mm256_setr_epi8(__VA_ARGS__, __VA_ARGS__);
  VX_UTF8_TABLES
#undef X
#undef Y
#undef Z
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  __m256i prev = _mm256_setzero_si256(), error = _mm256_setzero_si256();
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i before = _mm256_permute2x128_si256(prev, in, 0x21);  // bytes 16-47 of prev:in
    const __m256i prev1 = _mm256_alignr_epi8(in, before, 15);
    const __m256i a = _mm256_shuffle_epi8(first_high, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble));
    const __m256i b = _mm256_shuffle_epi8(first_low, _mm256_and_si256(prev1, nibble));
    const __m256i c = _mm256_shuffle_epi8(second_high, _mm256_and_si256(_mm256_srli_epi16(in, 4), nibble));
    const __m256i special = _mm256_and_si256(_mm256_and_si256(a, b), c);
    const __m256i third = _mm256_subs_epu8(_mm256_alignr_epi8(in, before, 14), _mm256_set1_epi8(0x60));
    const __m256i fourth = _mm256_subs_epu8(_mm256_alignr_epi8(in, before, 13), _mm256_set1_epi8(0x70));
    const __m256i must_continue =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    error = _mm256_or_si256(error, _mm256_xor_si256(must_continue, special));
    prev = in;
  }
  if (!_mm256_testz_si256(error, error)) return false;
  return PlainRest(p, n, i);
}
#undef VX_UTF8_TABLES
#endif

// Whether any byte is above 0x7F.
bool AnyHigh(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080u) return true;
  }
  for (; i < n; ++i) {
    if (p[i] & 0x80) return true;
  }
  return false;
}

}  // namespace

using Utf8Check = EncodingDetector::Utf8Check;

bool Utf8Check::Available(Kernel kernel) {
#ifdef VX_X86
  if (kernel == Kernel::kSsse3) return __builtin_cpu_supports("ssse3");
  if (kernel == Kernel::kAvx2) return __builtin_cpu_supports("avx2");
#else
  if (kernel == Kernel::kSsse3 || kernel == Kernel::kAvx2) return false;
#endif
  return true;
}

Utf8Check::Utf8Check(Kernel kernel) : check_(PlainUtf8) {
#ifdef VX_X86
  if ((kernel == Kernel::kBest || kernel == Kernel::kAvx2) && Available(Kernel::kAvx2)) {
    check_ = Avx2Utf8;
  } else if ((kernel == Kernel::kBest || kernel == Kernel::kSsse3) && Available(Kernel::kSsse3)) {
    check_ = Ssse3Utf8;
  }
#else
  (void)kernel;
#endif
}

bool Utf8Check::Take(const char* data, std::size_t n) {
  if (!valid_) return false;
  auto p = reinterpret_cast<const unsigned char*>(data);
  if (open_size_) {
    while (open_size_ < open_need_ && n) {
      open_[open_size_++] = *p++;
      --n;
    }
    if (open_size_ < open_need_) return true;
    open_size_ = 0;
    if (!PlainUtf8(open_, open_need_)) return valid_ = false;
  }
  if (!high_ && !AnyHigh(p, n)) return true;
  high_ = true;
  // Keep back a sequence the end of the piece cuts.
  std::size_t end = n;
  for (std::size_t k = 1; k <= 3 && k <= n; ++k) {
    const unsigned char c = p[n - k];
    if ((c & 0xC0) != 0x80) {
      if (c >= 0xC0 && SequenceLength(c) > k) end = n - k;
      break;
    }
  }
  if (!check_(p, end)) return valid_ = false;
  open_size_ = n - end;
  std::memcpy(open_, p + end, open_size_);
  open_need_ = open_size_ ? SequenceLength(open_[0]) : 0;
  return true;
}

bool Utf8Check::Finish() {
  if (open_size_) valid_ = false;
  return valid_;
}

// ---------------------------------------------------------------------------
// The detector.

EncodingDetector::EncodingDetector(bool find_encoding) : find_encoding_(find_encoding) {}

Encoding EncodingDetector::encoding() const {
  if (mark_ != Encoding::kCodePage) return mark_;
  return find_encoding_ && utf8_.valid() && utf8_.high() ? Encoding::kUtf8 : Encoding::kCodePage;
}

bool EncodingDetector::encoding_settled() const {
  return !find_encoding_ || mark_ != Encoding::kCodePage || !utf8_.valid() || finished_;
}

void EncodingDetector::Take(const char* data, std::size_t n) {
  if (!started_ && n) {
    started_ = true;
    if (find_encoding_) {
      const std::string_view head(data, n);
      if (head.substr(0, 3) == "\xEF\xBB\xBF") {
        mark_ = Encoding::kUtf8Bom;
      } else if (head.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4)) {
        not_text_ = true;  // UTF-32LE
      } else if (head.substr(0, 2) == "\xFF\xFE") {
        mark_ = Encoding::kUtf16Le;
      } else if (head.substr(0, 2) == "\xFE\xFF") {
        mark_ = Encoding::kUtf16Be;
      }
    }
  }
  if (not_text_ || n == 0) return;
  if (mark_ == Encoding::kUtf16Le || mark_ == Encoding::kUtf16Be) {
    TakeUnits(data, n);
  } else {
    TakeBytes(data, n);
  }
}

void EncodingDetector::TakeBytes(const char* data, std::size_t n) {
  if (std::memchr(data, 0, n)) {
    not_text_ = true;
    return;
  }
  if (find_encoding_ && mark_ == Encoding::kCodePage && utf8_.valid()) utf8_.Take(data, n);
  if (crlf_) return;
  const char* const end = data + n;
  if (data[0] == '\n') {
    if (last_unit_ == '\r') {
      crlf_ = true;
      return;
    }
    lf_ = true;
  }
  if (!lf_) {
    if (const auto* lf = static_cast<const char*>(std::memchr(data, '\n', n))) {
      if (lf[-1] == '\r') {
        crlf_ = true;
        return;
      }
      lf_ = true;
    }
  }
  // Line ends seen, none of them CR LF so far: only a CR LF can change that.
  if (lf_) {
    for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\r', end - p))); ++p) {
      if (p + 1 < end && p[1] == '\n') {
        crlf_ = true;
        return;
      }
    }
  }
  last_unit_ = static_cast<unsigned char>(end[-1]);
}

void EncodingDetector::TakeUnits(const char* data, std::size_t n) {
  const bool big = mark_ == Encoding::kUtf16Be;
  std::size_t i = 0;
  auto take = [&](unsigned char first, unsigned char second) {
    const unsigned unit = big ? (first << 8 | second) : (second << 8 | first);
    if (unit == 0) {
      not_text_ = true;
    } else if (unit == '\n') {
      (last_unit_ == '\r' ? crlf_ : lf_) = true;
    }
    last_unit_ = unit;
  };
  if (odd_byte_ >= 0) {
    take(static_cast<unsigned char>(odd_byte_), static_cast<unsigned char>(data[0]));
    odd_byte_ = -1;
    i = 1;
  }
  for (; i + 2 <= n && !not_text_; i += 2) take(static_cast<unsigned char>(data[i]), static_cast<unsigned char>(data[i + 1]));
  if (i < n) odd_byte_ = static_cast<unsigned char>(data[i]);
}

void EncodingDetector::Finish() {
  if (finished_) return;
  finished_ = true;
  if (odd_byte_ >= 0) not_text_ = true;  // UTF-16 of an odd length
  if (find_encoding_ && mark_ == Encoding::kCodePage) utf8_.Finish();
}

}  // namespace vx
