#include "engine/regex_match.h"

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include <bit>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <tuple>

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

// A text as 16-bit units and the way back from a unit to the offset of its
// first byte. UTF-16: two bytes a unit. A byte code page: one unit per
// character, of one or two bytes; a bit per unit says which, and the offset
// of every 64th unit is kept, so any unit's offset is a count away.
class Units16 {
 public:
  Units16(const char* text, std::size_t size, CodePage code_page) {
    // At most a unit per byte (UTF-16: per two); the pages never reached
    // are never touched.
    if (code_page == CodePage::kUtf16Le || code_page == CodePage::kUtf16Be) {
      utf16_ = true;
      units_.reset(new std::uint16_t[size / 2 + 1]);
      const bool big = code_page == CodePage::kUtf16Be;
      size_ = size / 2;
      const auto* p = reinterpret_cast<const unsigned char*>(text);
      for (std::size_t u = 0; u < size_; ++u)
        units_[u] = static_cast<std::uint16_t>(big ? (p[2 * u] << 8 | p[2 * u + 1]) : (p[2 * u + 1] << 8 | p[2 * u]));
      return;
    }
    units_.reset(new std::uint16_t[size + 1]);
    const CodePageUnits& table = CodePageUnits::For(code_page);
    const LeadBytes& lead = table.lead();
    const auto* const begin = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* p = begin;
    const unsigned char* const end = begin + size;
    std::uint16_t* const out = units_.get();
    std::size_t u = 0;
    starts_.reserve(size / 64 + 2);
    doubles_.reserve(size / 64 + 2);
    while (p < end) {
      // A block of 64 units: its first byte, and which of them took two.
      starts_.push_back(static_cast<std::size_t>(p - begin));
      std::uint64_t doubles = 0;
      // Without branches on the bytes: Japanese text mixes one- and
      // two-byte characters too evenly for a guess to pay.
      for (unsigned k = 0; k < 64 && p < end; ++k, ++u) {
        const unsigned b = *p;
        const unsigned next = p + 1 < end ? p[1] : 0u;
        const unsigned two = lead.IsLead(static_cast<unsigned char>(b)) & (p + 1 < end);
        const unsigned code = b << (8 * two) | (next & (0u - two));
        const std::uint16_t unit = table.Code(code);
        doubles |= std::uint64_t{two} << k;
        p += 1 + two;
        // A byte or code with no character: a lone low surrogate, which no
        // expression matches any part of.
        out[u] = unit ? unit : static_cast<std::uint16_t>(0xDC00 | b);
      }
      doubles_.push_back(doubles);
    }
    size_ = u;
    if (size_ % 64 == 0) {
      starts_.push_back(size);
      doubles_.push_back(0);
    }
  }

  const std::uint16_t* data() const { return units_.get(); }
  std::size_t size() const { return size_; }
  std::size_t Byte(std::size_t u) const {
    if (utf16_) return 2 * u;
    const std::uint64_t below = (std::uint64_t{1} << (u % 64)) - 1;
    return starts_[u / 64] + u % 64 + static_cast<std::size_t>(std::popcount(doubles_[u / 64] & below));
  }

 private:
  bool utf16_ = false;
  std::unique_ptr<std::uint16_t[]> units_;
  std::size_t size_ = 0;
  std::vector<std::size_t> starts_;
  std::vector<std::uint64_t> doubles_;
};

// What a pass holds while it matches, freed on every way out.
template <int W>
struct MatchState {
  using L = Lib<W>;
  explicit MatchState(const typename L::Code* code)
      : data(L::NewData(code)), context(L::NewContext()), stack(L::NewStack()) {
    if (context) L::Limit(context, stack);
  }
  ~MatchState() {
    if (data) L::Free(data);
    if (context) L::Free(context);
    if (stack) L::Free(stack);
  }
  typename L::Data* data;
  typename L::Context* context;
  typename L::Stack* stack;
};

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
  std::shared_ptr<const Expression> made;
  if (width == 8) {
    pcre2_compile_context_8* context = pcre2_compile_context_create_8(nullptr);
    if (context) pcre2_set_newline_8(context, PCRE2_NEWLINE_ANYCRLF);
    pcre2_code_8* compiled = context ? pcre2_compile_8(reinterpret_cast<PCRE2_SPTR8>(pattern.data()),
                                                      pattern.size(), options, &code, &offset, context)
                                     : nullptr;
    if (context) pcre2_compile_context_free_8(context);
    if (compiled) {
      pcre2_jit_compile_8(compiled, PCRE2_JIT_COMPLETE);  // without the JIT it is interpreted
      std::uint32_t groups = 0;
      pcre2_pattern_info_8(compiled, PCRE2_INFO_CAPTURECOUNT, &groups);
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
      pcre2_jit_compile_16(compiled, PCRE2_JIT_COMPLETE);
      std::uint32_t groups = 0;
      pcre2_pattern_info_16(compiled, PCRE2_INFO_CAPTURECOUNT, &groups);
      made.reset(new Expression(16, compiled, groups));
    } else if (error) {
      std::string before;
      AppendUtf8(std::u16string_view(units).substr(0, offset), &before, false);
      *error = {CharsIn(before, before.size()), context ? ErrorText(code) : "no memory"};
    }
  }
  if (!made) return nullptr;
  const std::lock_guard<std::mutex> lock(mutex);
  if (cache.size() >= 256) cache.clear();  // the holders keep theirs
  return cache.emplace(std::move(key), made).first->second;
}

ExpressionPass::ExpressionPass(std::shared_ptr<const Expression> expression,
                               std::vector<ReplacementPiece> replacement, CodePage code_page)
    : expression_(std::move(expression)), replacement_(std::move(replacement)), code_page_(code_page) {}

ExpressionPass::~ExpressionPass() = default;

PassResult ExpressionPass::Run(const char* text, std::size_t size, ByteSink* out, std::int64_t* count) {
  return expression_->width() == 8 ? RunUnits<8>(text, size, out, count) : RunUnits<16>(text, size, out, count);
}

template <int W>
PassResult ExpressionPass::RunUnits(const char* text, std::size_t size, ByteSink* out, std::int64_t* count) {
  using L = Lib<W>;
  using Unit = typename L::Unit;
  const auto* code = static_cast<const typename L::Code*>(expression_->code_);
  MatchState<W> state(code);
  if (!state.data || !state.context) throw std::bad_alloc();

  // The units matched on, and each unit's byte in `text`.
  const Unit* units;
  std::size_t length;
  std::optional<Units16> wide;
  if constexpr (W == 8) {
    units = reinterpret_cast<const Unit*>(text);
    length = size;
  } else {
    wide.emplace(text, size, code_page_);
    units = wide->data();
    length = wide->size();
  }
  const auto byte = [&](std::size_t u) -> std::size_t {
    if constexpr (W == 8) {
      return u;
    } else {
      return wide->Byte(u);
    }
  };

  constexpr std::uint32_t kNotEmptyHere = PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
  std::size_t start = 0, emitted = 0;  // units
  std::uint32_t flags = 0;
  for (;;) {
    const int rc = L::Match(code, units, length, start, flags, state.data, state.context);
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (flags == 0 || start >= length) break;
      // No other match where the empty one was: on by a character (a whole
      // CR LF, which the line end is).
      std::size_t next = start + 1;
      if (units[start] == '\r' && next < length && units[next] == '\n') ++next;
      while (next < length && L::Continues(units, next)) ++next;
      start = next;
      flags = 0;
      continue;
    }
    if (rc < 0) return PassResult::kTooComplex;
    const PCRE2_SIZE* ov = L::Ovector(state.data);
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
  const std::size_t from = byte(emitted);
  out->Put(text + from, size - from);
  return PassResult::kDone;
}

}  // namespace vx
