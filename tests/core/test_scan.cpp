#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include "engine/regex_match.h"
#include "engine/replace_chain.h"
#include "engine/scan.h"
#include "platform/unicode.h"
#include "reference.h"

namespace vx {
namespace {

struct ScanRow {
  const char* what;
  std::string text;         // from the segment start
  std::string alternative;
  std::size_t expected;     // bytes to the match, text.size() when none
};

// Code page 932 bytes: ぁ 82 9F (second byte in the lead set), 亜 88 9F,
// 表 95 5C, ソ 83 5C, ア 83 41, イ 83 43, 檗 9F 82.
const ScanRow kCp932Rows[] = {
    {"found at the start", "abc", "a", 0},
    {"found in the middle", "xxabxx", "ab", 2},
    {"not found", "abc", "d", 3},
    {"empty text", "", "a", 0},
    {"empty alternative never matches", "abc", "", 3},
    {"alternative longer than text", "ab", "abc", 2},
    {"match at the very end", "xyab", "ab", 2},
    {"whole text", "ab", "ab", 0},
    {"after a character whose second byte is a lead byte", "\x82\x9F" "A", "A", 2},
    {"after 亜 (second byte 9F)", "\x88\x9F" "A", "A", 2},
    {"second byte of 表 is no backslash", "\x95\x5C", "\\", 2},
    {"second byte of ソ is no backslash, later one is", "\x83\x5C\\", "\\", 2},
    {"never across a character boundary", "\x83\x41\x83\x43", "\x41\x83", 4},
    {"second byte of ア is no A", "\x83\x41" "A", "A", 2},
    {"segment start is a boundary", "\x5C" "A", "\\", 0},
    {"segment start even on a would-be second byte", "\x9F\x82", "\x9F\x82", 0},
    {"ぁぁ: first ぁ", "\x82\x9F\x82\x9F", "\x82\x9F", 0},
    {"ぁぁ holds no 檗 across the characters", "\x82\x9F\x82\x9F", "\x9F\x82", 4},
    {"odd lead run: A is a second byte", "\x82\x82\x82" "A", "A", 4},
    {"even lead run: A begins a character", "\x82\x82" "A", "A", 2},
    {"lead run after an ASCII byte", "x\x82\x82\x82\x82" "A", "A", 5},
    {"lead run after a non-lead second byte", "\x95\x5C\x82\x82\x82" "A", "A", 6},
    {"first candidate inside, second on a boundary", "\x82\x41\x41", "\x41", 2},
    {"lead byte at the end of the text", "a\x82", "\x82", 1},
    {"multi-byte alternative after kanji", "\x95\x5C\x95\x5C" "abc", "bc", 5},
};

TEST(FindNextMatch, Cp932Table) {
  const LeadBytes lead = LeadBytes::Cp932();
  for (const ScanRow& row : kCp932Rows) {
    std::size_t end_fast = 99, end_ref = 99;
    const std::size_t fast = FindNextMatch(row.text, row.alternative, lead, &end_fast);
    const std::size_t ref = FindNextMatchReference(row.text, row.alternative, lead, &end_ref);
    EXPECT_EQ(fast, row.expected) << row.what;
    EXPECT_EQ(ref, row.expected) << row.what;
    const std::size_t expected_end =
        row.expected < row.text.size() ? row.expected + row.alternative.size() : row.text.size();
    EXPECT_EQ(end_fast, expected_end) << row.what;
    EXPECT_EQ(end_ref, expected_end) << row.what;
  }
}

// A search text typed as Unicode finds every code page 932 form of a
// character the code page writes more than once: ∵ 81 E6, 87 9A, FA 5B;
// ≒ 81 E0, 87 90; ￢ 81 CA, EE F9, FA 54; ⅰ EE EF, FA 40.
TEST(FindNextMatch, AnyFormOfACharacterWrittenTwice) {
  const LeadBytes lead = LeadBytes::Cp932();
  const ScanRow rows[] = {
      {"the NEC row 13 form", "a\x87\x9A", "\x81\xE6", 1},
      {"the IBM form", "ab\xFA\x5B", "\x81\xE6", 2},
      {"given in a rare form, finds the usual", "\x81\xE6", "\xFA\x5B", 0},
      {"three forms of ￢", "\xEE\xF9", "\x81\xCA", 0},
      {"ⅰ", "x\xFA\x40", "\xEE\xEF", 1},
      {"another character is no form", "\x81\xE0", "\x81\xE6", 2},
      {"with bytes around it", "\x82\xA0\x87\x90\x82\xA2", "\x82\xA0\x81\xE0\x82\xA2", 0},
      {"never a second byte", "\x82\x87\x9A", "\x87\x9A", 3},  // 82 87 is a character; 9A stands alone
      {"after a character whose second byte is a lead byte", "\x82\x81\x87\x9A", "\x81\xE6", 2},
  };
  for (const ScanRow& row : rows) {
    std::size_t end = 99;
    EXPECT_EQ(FindNextMatch(row.text, row.alternative, lead, &end, true), row.expected) << row.what;
    EXPECT_EQ(FindNextMatchReference(row.text, row.alternative, lead, nullptr, true), row.expected) << row.what;
    EXPECT_EQ(end, row.expected < row.text.size() ? row.expected + row.alternative.size() : row.text.size())
        << row.what;
  }
  // The table is what the conversion decodes alike, and no more.
  const Cp932Forms& forms = Cp932Forms::Get();
  EXPECT_EQ(forms.GroupOf(0x81, 0xE6), forms.GroupOf(0x87, 0x9A));
  EXPECT_EQ(forms.GroupOf(0x81, 0xE6), forms.GroupOf(0xFA, 0x5B));
  EXPECT_NE(forms.GroupOf(0x81, 0xE6), 0);
  EXPECT_EQ(forms.GroupOf(0x82, 0xA0), 0);  // あ has one form
  EXPECT_GT(forms.group_count(), 300u);     // the NEC-selected IBM kanji among them
  for (std::uint16_t g = 1; g <= forms.group_count(); ++g) {
    std::string first;
    for (const std::uint16_t code : forms.Members(g)) {
      const char bytes[] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
      std::string units;
      ASSERT_TRUE(ConvertText(std::string_view(bytes, 2), CodePage::kCp932, CodePage::kUtf16Le, &units));
      if (first.empty()) first = units;
      EXPECT_EQ(units, first) << std::hex << code;
    }
  }
  // Off: the bytes only, as with texts given as code page 932 bytes.
  EXPECT_EQ(FindNextMatch("\x87\x9A", "\x81\xE6", lead), 2u);
}

TEST(FindNextMatch, SingleByteCodePageMatchesEverywhere) {
  const LeadBytes none;
  const ScanRow rows[] = {
      {"second byte of 表", "\x95\x5C", "\\", 1},
      {"after ぁ", "\x82\x9F" "A", "A", 2},
      {"across characters", "\x83\x41\x83\x43", "\x41\x83", 1},
  };
  for (const ScanRow& row : rows) {
    EXPECT_EQ(FindNextMatch(row.text, row.alternative, none), row.expected) << row.what;
    EXPECT_EQ(FindNextMatchReference(row.text, row.alternative, none), row.expected) << row.what;
  }
}

TEST(FindNextMatch, Utf16MatchesOnUnits) {
  const TextWalk le = TextWalk::Utf16(false);
  const ScanRow rows[] = {
      {"on a unit", std::string("a\0b\0", 4), std::string("b\0", 2), 2},
      {"never across units", std::string("\0a\0a", 4), std::string("a\0", 2), 4},
      {"4141 is one unit", std::string("\x41\x41\x41\0", 4), std::string("\x41\x41", 2), 0},
      {"...and the second 41 begins none", std::string("\x41\x41\x41\0", 4), std::string("\x41\0", 2), 2},
      {"a pair as a whole", std::string("\x3D\xD8\x00\xDE", 4), std::string("\x3D\xD8\x00\xDE", 4), 0},
      {"no match begins with a low surrogate", std::string("\x3D\xD8\x00\xDE", 4), std::string("\x00\xDE", 2), 4},
      {"nor is one of an odd length", std::string("a\0b\0", 4), std::string("a", 1), 4},
  };
  for (const ScanRow& row : rows) {
    EXPECT_EQ(FindNextMatch(row.text, row.alternative, le), row.expected) << row.what;
    EXPECT_EQ(FindNextMatchReference(row.text, row.alternative, le), row.expected) << row.what;
  }
}

struct ReplaceRow {
  std::string text, alternative, replacement, expected;
  std::size_t count;
};

TEST(ReplaceAllReference, NonOverlappingLeftToRight) {
  const LeadBytes lead = LeadBytes::Cp932();
  const ReplaceRow rows[] = {
      {"aaa", "aa", "b", "ba", 1},
      {"aaaa", "aa", "b", "bb", 2},
      {"\x82\x9F\x82\x9F", "\x82\x9F", "x", "xx", 2},
      {"\x82\x9F" "A", "A", "B", "\x82\x9F" "B", 1},
      {"\x95\x5C\\", "\\", "/", "\x95\x5C/", 1},
      {"abc", "", "x", "abc", 0},
      {"", "a", "x", "", 0},
  };
  for (const ReplaceRow& row : rows) {
    std::string text = row.text;
    EXPECT_EQ(ReplaceAllReference(&text, row.alternative, row.replacement, lead), row.count) << row.text;
    EXPECT_EQ(text, row.expected) << row.text;
  }
}

// Text drawn mostly from bytes that make the boundary rule matter: lead
// bytes (which are also second bytes), 0x5C, 0x40-0x7E second bytes, ASCII.
std::string RandomSjis(std::mt19937& rng, std::size_t n) {
  // With ∵ and ￢ in their forms (81 E6, 87 9A, FA 5B; 81 CA, EE F9, FA 54).
  static const unsigned char kBytes[] = {0x81, 0x82, 0x83, 0x88, 0x95, 0x9F, 0xE0, 0xFC, 0x5C, 0x41, 0x40, 0x7E,
                                         0xA0, 0xDF, 0x9E, 0x61, 0x0D, 0x0A, 0x82, 0x9F, 0xE6, 0x87, 0x9A, 0xFA,
                                         0x5B, 0xCA, 0xEE, 0xF9, 0x54};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kBytes) - 1);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(kBytes[pick(rng)]);
  return s;
}

// UTF-16 units (either byte order), surrogates paired and lone among them,
// and units whose bytes look alike.
std::string RandomUtf16(std::mt19937& rng, std::size_t n) {
  static const char* const kUnits[] = {"\x41\x00", "\x00\x41", "\x41\x41", "\x42\x30", "\x3D\xD8",
                                       "\x00\xDE", "\xD8\x3D", "\xDE\x00", "\x0A\x00", "\x30\x42"};
  std::string s;
  while (s.size() < n) s.append(kUnits[rng() % std::size(kUnits)], 2);
  if (rng() % 8 == 0 && !s.empty()) s.pop_back();  // an odd byte at the end
  return s;
}

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::uniform_int_distribution<int> pick(1, 255);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(pick(rng));
  return s;
}

// The fast scanner against the plain character walk, on every segment of
// many random texts, with alternatives cut from the text itself (so that
// there are candidates on and off the boundaries) and random ones.
TEST(FindNextMatch, AgreesWithTheReferenceWalk) {
  std::mt19937 rng(20261207);
  const TextWalk walks[] = {LeadBytes::Cp932(), LeadBytes(), TextWalk::Utf16(false), TextWalk::Utf16(true)};
  for (int round = 0; round < 6000; ++round) {
    std::uniform_int_distribution<std::size_t> len(0, round % 50 == 0 ? 3000 : 80);
    const std::string text = round % 4 == 0   ? RandomBytes(rng, len(rng))
                             : round % 4 == 1 ? RandomUtf16(rng, len(rng))
                                              : RandomSjis(rng, len(rng));
    std::string alternative;
    std::uniform_int_distribution<std::size_t> alt_len(1, 20);
    if (!text.empty() && rng() % 3 != 0) {
      const std::size_t at = rng() % text.size();
      alternative = text.substr(at, alt_len(rng));
    } else {
      alternative = RandomSjis(rng, alt_len(rng) % 4);
    }
    for (const TextWalk& walk : walks) {
      std::string_view rest = text;
      for (;;) {
        std::size_t end_fast = 0, end_ref = 0;
        // Every form of a character written twice: code page 932 only.
        const bool any_form = walk.unit() == 1 && !walk.lead().empty() && round % 2 == 1;
        const std::size_t fast = FindNextMatch(rest, alternative, walk, &end_fast, any_form);
        const std::size_t ref = FindNextMatchReference(rest, alternative, walk, &end_ref, any_form);
        ASSERT_EQ(fast, ref) << "round " << round;
        ASSERT_EQ(end_fast, end_ref) << "round " << round;
        if (fast == rest.size()) break;
        rest.remove_prefix(end_fast);
      }
    }
  }
}

// The lead-run parity rule against the boundaries of the character walk, from
// the segment start and from any later boundary.
TEST(AlternativeScanner, ParityRuleGivesTheWalksBoundaries) {
  std::mt19937 rng(932);
  const LeadBytes lead = LeadBytes::Cp932();
  const AlternativeScanner scanner("x", lead);
  for (int round = 0; round < 2000; ++round) {
    const std::string text = RandomSjis(rng, rng() % 100);
    std::vector<bool> boundary(text.size() + 1, false);
    for (std::size_t p = 0; p <= text.size(); p += lead.IsLead(static_cast<unsigned char>(text[p])) ? 2 : 1) {
      boundary[p] = true;
      if (p == text.size()) break;
    }
    for (std::size_t b = 0; b < text.size(); ++b) {
      if (!boundary[b]) continue;
      for (std::size_t p = b; p < text.size(); ++p)
        ASSERT_EQ(scanner.IsBoundary(text.data(), b, p), static_cast<bool>(boundary[p])) << round << " " << b << " " << p;
    }
  }
}

// The regular-expression library as the engine links it, in every build: the
// 8-bit library on UTF-8 text, the 16-bit one on UTF-16, both JIT-compiled,
// with Unicode classes and CR LF as one line end.
using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

struct Pcre2Row {
  const char* what;
  const char* pattern;
  std::u8string text8;
  std::u16string text16;
  Spans spans8;   // bytes
  Spans spans16;  // code units
};

const Pcre2Row kPcre2Rows[] = {
    {"\\w is 表, $ is before CR LF", "\\w$", u8"a表\r\nb", u"a表\r\nb", {{1, 4}, {6, 7}}, {{1, 2}, {4, 5}}},
    {"^ is after CR LF, never between CR and LF", "^", u8"表\r\n\r\nx", u"表\r\n\r\nx", {{0, 0}, {5, 5}, {7, 7}},
     {{0, 0}, {3, 3}, {5, 5}}},
    {". is never a CR", ".+", u8"表x\r\nソ", u"表x\r\nソ", {{0, 4}, {6, 9}}, {{0, 2}, {4, 5}}},
};

constexpr uint32_t kPcre2Options = PCRE2_UTF | PCRE2_UCP | PCRE2_MULTILINE;

Spans AllMatches8(const char* pattern, const std::u8string& text) {
  pcre2_compile_context_8* context = pcre2_compile_context_create_8(nullptr);
  pcre2_set_newline_8(context, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code_8* code = pcre2_compile_8(reinterpret_cast<PCRE2_SPTR8>(pattern), PCRE2_ZERO_TERMINATED, kPcre2Options,
                                       &error, &offset, context);
  pcre2_compile_context_free_8(context);
  EXPECT_NE(code, nullptr) << pattern << ": error " << error << " at " << offset;
  if (!code) return {};
  EXPECT_EQ(pcre2_jit_compile_8(code, PCRE2_JIT_COMPLETE), 0) << pattern;
  std::size_t jit_size = 0;
  pcre2_pattern_info_8(code, PCRE2_INFO_JITSIZE, &jit_size);
  EXPECT_GT(jit_size, 0u) << pattern;
  pcre2_match_data_8* data = pcre2_match_data_create_from_pattern_8(code, nullptr);
  Spans spans;
  const auto* subject = reinterpret_cast<PCRE2_SPTR8>(text.data());
  for (PCRE2_SIZE start = 0; start <= text.size();) {
    if (pcre2_match_8(code, subject, text.size(), start, 0, data, nullptr) < 0) break;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_8(data);
    spans.emplace_back(ovector[0], ovector[1]);
    start = ovector[1];
    if (ovector[1] == ovector[0]) {  // an empty match: on by one character, CR LF being one
      start += text.compare(start, 2, u8"\r\n") == 0 ? 2 : 1;
      while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
    }
  }
  pcre2_match_data_free_8(data);
  pcre2_code_free_8(code);
  return spans;
}

Spans AllMatches16(const char* pattern, const std::u16string& text) {
  std::vector<PCRE2_UCHAR16> pattern16(pattern, pattern + std::char_traits<char>::length(pattern));
  std::vector<PCRE2_UCHAR16> subject(text.begin(), text.end());
  pcre2_compile_context_16* context = pcre2_compile_context_create_16(nullptr);
  pcre2_set_newline_16(context, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code_16* code = pcre2_compile_16(pattern16.data(), pattern16.size(), kPcre2Options, &error, &offset, context);
  pcre2_compile_context_free_16(context);
  EXPECT_NE(code, nullptr) << pattern << ": error " << error << " at " << offset;
  if (!code) return {};
  EXPECT_EQ(pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE), 0) << pattern;
  std::size_t jit_size = 0;
  pcre2_pattern_info_16(code, PCRE2_INFO_JITSIZE, &jit_size);
  EXPECT_GT(jit_size, 0u) << pattern;
  pcre2_match_data_16* data = pcre2_match_data_create_from_pattern_16(code, nullptr);
  Spans spans;
  for (PCRE2_SIZE start = 0; start <= subject.size();) {
    if (pcre2_match_16(code, subject.data(), subject.size(), start, 0, data, nullptr) < 0) break;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(data);
    spans.emplace_back(ovector[0], ovector[1]);
    start = ovector[1];
    if (ovector[1] == ovector[0]) {
      start += text.compare(start, 2, u"\r\n") == 0 ? 2 : 1;
      if (start < subject.size() && (subject[start] & 0xFC00) == 0xDC00) ++start;
    }
  }
  pcre2_match_data_free_16(data);
  pcre2_code_free_16(code);
  return spans;
}

TEST(Pcre2, JitMatchesUtf8AndUtf16) {
  uint32_t jit8 = 0, jit16 = 0;
  ASSERT_GE(pcre2_config_8(PCRE2_CONFIG_JIT, &jit8), 0);
  ASSERT_GE(pcre2_config_16(PCRE2_CONFIG_JIT, &jit16), 0);
  EXPECT_EQ(jit8, 1u);
  EXPECT_EQ(jit16, 1u);
  for (const Pcre2Row& row : kPcre2Rows) {
    EXPECT_EQ(AllMatches8(row.pattern, row.text8), row.spans8) << row.what;
    EXPECT_EQ(AllMatches16(row.pattern, row.text16), row.spans16) << row.what;
  }
}

// Random code page 932 text, of whole characters or of bytes that pair as
// they fall (lead bytes often in runs across the 64-byte blocks that the
// matcher decodes by and across the pieces it is given, bytes and pairs
// that are no character, a lead byte last); some texts nearly all such
// bytes, so that the matches lie blocks apart. Every match of `.`, or of a
// text of characters whose bytes are also second bytes (ASCII letter case
// ignored or not; a character of several forms in any of them), as a walk
// by lead bytes from the start finds them, comes out in brackets (its
// bytes as a group's), and every other byte as it was.
TEST(ExpressionPass, FindsTheCharactersThatAWalkFromTheStartFinds) {
  const CodePageUnits& table = CodePageUnits::For(CodePage::kCp932);
  struct Row {
    const char* pattern;
    bool ignore_case;
    std::u16string text;  // what it finds; empty: any character but a line end
  };
  // (表 is 95 5C; ＝ is 81 81, one form each; ∵ is 81 E6, 87 9A or FA 5B.)
  static const Row kRows[] = {{".", false, u""},
                              {"a", false, u"a"},
                              {"A", true, u"a"},
                              {"aA", true, u"aa"},
                              {"a@", false, u"a@"},
                              {"A@a", true, u"a@a"},
                              {"\\x{8868}a", false, u"\u8868a"},
                              {"\xE8\xA1\xA8\\x{FF1D}", false, u"\u8868\uFF1D"},
                              {"\\x{FF1D}\\x{2235}a", false, u"\uFF1D\u2235a"}};
  // Whole characters first, then bytes that pair as they fall.
  static const char* const kPieces[] = {"a",    "A",    "@",    "\r",   "\n",   "\x5C", "\x7F", "\x81\x81",
                                        "\x95\x5C", "\x81\xE6", "\x87\x9A", "\xFA\x5B", "\x80", "\x81", "\x82", "\x95",
                                        "\x9F", "\xA0", "\xDF", "\xE0", "\xFC", "\xFF"};
  constexpr std::size_t kWhole = 12;
  std::mt19937 rng(64);
  for (int round = 0; round < 3000; ++round) {
    const Row& row = kRows[round % std::size(kRows)];
    const auto expression = Expression::Get(row.pattern, row.ignore_case, 16);
    ASSERT_TRUE(expression);
    const bool sparse = round % 4 == 3, whole = round % 3 == 1;
    std::string text;
    for (std::size_t k = 0, n = rng() % (sparse ? 5000 : 300); k < n; ++k)
      text += sparse && rng() % 500 ? "\xFF" : kPieces[rng() % (whole ? kWhole : std::size(kPieces))];
    // The characters: their units and first bytes.
    std::u16string units;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0, n = 1; i < text.size(); i += n) {
      const auto b = static_cast<unsigned char>(text[i]);
      n = table.lead().IsLead(b) && i + 1 < text.size() ? 2 : 1;
      const std::uint16_t unit = table.Code(n == 2 ? b << 8 | static_cast<unsigned char>(text[i + 1]) : b);
      units += static_cast<char16_t>(row.ignore_case && unit >= 'A' && unit <= 'Z' ? unit | 0x20 : unit);
      starts.push_back(i);
    }
    starts.push_back(text.size());
    std::string expected;
    for (std::size_t c = 0; c < units.size();) {
      const std::size_t n = row.text.empty() ? 1 : row.text.size();
      if (row.text.empty() ? units[c] != 0 && units[c] != '\r' && units[c] != '\n'
                           : units.compare(c, n, row.text) == 0) {
        expected += "[" + text.substr(starts[c], starts[c + n] - starts[c]) + "]";
        c += n;
      } else {
        expected += text.substr(starts[c], starts[c + 1] - starts[c]);
        ++c;
      }
    }
    // Whole, or in pieces through a small window.
    StringSink out;
    std::int64_t count = 0;
    const std::size_t window = round % 2 ? 1 + rng() % 100 : SIZE_MAX;
    ExpressionPass pass(expression, {{"[", -1}, {"", 0}, {"]", -1}}, CodePage::kCp932, window);
    for (std::size_t at = 0, n = 0; at <= text.size(); at += n) {
      n = std::min<std::size_t>(text.size() - at, 1 + rng() % 70);
      const bool last = at + n == text.size();
      ASSERT_EQ(pass.Take(text.data() + at, n, last, &out, &count), PassResult::kDone);
      if (last) break;
    }
    ASSERT_EQ(out.text, expected) << "round " << round << ", " << row.pattern;
  }
}

}  // namespace
}  // namespace vx
