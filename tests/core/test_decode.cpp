#include <gtest/gtest.h>

#include <random>

#include "engine/decode.h"
#include "engine/rewrite.h"
#include "reference.h"

namespace vx {
namespace {

struct DecodeRow {
  const char* what;
  std::string typed;
  std::string search;   // decoded as a search text
  std::string replace;  // decoded as a replacement text
};

// Byte strings are written with escapes so that every byte is visible.
const DecodeRow kCp932Rows[] = {
    {"plain text", "abc", "abc", "abc"},
    {"empty", "", "", ""},
    {"line break is CR LF", "a\\nb", "a\r\nb", "a\r\nb"},
    {"tab", "\\t", "\t", "\t"},
    {"escaped backslash", "\\\\", "\\", "\\"},
    {"two backslashes and n", "\\\\n", "\\n", "\\n"},
    {"three backslashes and n", "\\\\\\n", "\\\r\n", "\\\r\n"},
    {"three backslashes", "\\\\\\", "\\\\", "\\\\"},
    {"backslash at the end stays", "ab\\", "ab\\", "ab\\"},
    {"escaped backslash then bar", "\\\\|", "\\|", "\\|"},
    {"bar separates in search only", "a\\|b", "a\x1A" "b", "a\\|b"},
    {"no escape: x and r", "\\x\\r", "\\x\\r", "\\x\\r"},
    {"0x1A typed stays a byte", "a\x1A" "b", "a\x1A" "b", "a\x1A" "b"},
    {"0x01 typed becomes a backslash", "a\x01n", "a\\n", "a\\n"},
    {"hyo (95 5C) then n is not decoded", "\x95\x5Cn", "\x95\x5Cn", "\x95\x5Cn"},
    {"so (83 5C) then \\n", "\x83\x5C\\n", "\x83\x5C\r\n", "\x83\x5C\r\n"},
    {"hyo then escaped backslash", "\x95\x5C\\\\", "\x95\x5C\\", "\x95\x5C\\"},
    {"0x01 as a second byte is no placeholder", "\x81\x01", "\x81\x01", "\x81\x01"},
    {"lead byte at the very end", "a\x82", "a\x82", "a\x82"},
    {"lead byte at the end hides no escape", "\x82\\n", "\x82\\n", "\x82\\n"},
    {"escapes in a row", "\\t\\n\\\\\\|", "\t\r\n\\\x1A", "\t\r\n\\\\|"},
    {"typed text ends at a zero byte", std::string("ab\0\\n", 5), "ab", "ab"},
};

TEST(DecodeEscapes, Cp932Table) {
  const LeadBytes lead = LeadBytes::Cp932();
  for (const DecodeRow& row : kCp932Rows) {
    EXPECT_EQ(DecodeText(row.typed, true, lead), row.search) << row.what;
    EXPECT_EQ(DecodeText(row.typed, false, lead), row.replace) << row.what;
    const DecodedTexts both = DecodeEscapes(row.typed, row.typed, lead);
    EXPECT_EQ(both.search, row.search) << row.what;
    EXPECT_EQ(both.replace, row.replace) << row.what;
  }
}

TEST(DecodeEscapes, SingleByteCodePageDecodesAfterAnyByte) {
  const LeadBytes none;
  const DecodeRow rows[] = {
      {"95 5C n is an escape without lead bytes", "\x95\x5Cn", "\x95\r\n", "\x95\r\n"},
      {"0x01 after 0x81 becomes a backslash", "\x81\x01", "\x81\\", "\x81\\"},
      {"plain", "a\\tb", "a\tb", "a\tb"},
  };
  for (const DecodeRow& row : rows) {
    EXPECT_EQ(DecodeText(row.typed, true, none), row.search) << row.what;
    EXPECT_EQ(DecodeText(row.typed, false, none), row.replace) << row.what;
  }
}

TEST(DecodeEscapes, OutputNeverHoldsAZeroByte) {
  const LeadBytes lead = LeadBytes::Cp932();
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  for (const std::string& typed : {all, all + "\\", "\\" + all}) {
    EXPECT_EQ(DecodeText(typed, true, lead).find('\0'), std::string::npos);
    EXPECT_EQ(DecodeText(typed, false, lead).find('\0'), std::string::npos);
  }
}

// The five whole-text steps against a one-pass decoder, on random typed
// texts rich in backslashes, escape letters, lead bytes and 0x01.
TEST(DecodeEscapes, AgreesWithOnePassDecoding) {
  std::mt19937 rng(1);
  static const char kBytes[] = {'\\', '\\', 'n', 't', '|', '\x01', '\x1A', '\x82', '\x95', '\x9F', '\x5C', 'a', '\r'};
  const LeadBytes cp932 = LeadBytes::Cp932(), none;
  for (int round = 0; round < 20000; ++round) {
    std::string typed(rng() % 16, '\0');
    for (char& c : typed) c = kBytes[rng() % std::size(kBytes)];
    for (const LeadBytes* lead : {&cp932, &none}) {
      for (bool search : {true, false})
        ASSERT_EQ(DecodeText(typed, search, *lead), reference::Decode(typed, search, *lead))
            << ::testing::PrintToString(typed) << (search ? " search" : " replacement");
    }
  }
}

struct SplitRow {
  std::string typed_search;
  std::vector<std::string> alternatives;
};

TEST(SplitAlternatives, Table) {
  const LeadBytes lead = LeadBytes::Cp932();
  const SplitRow rows[] = {
      {"", {""}},
      {"abc", {"abc"}},
      {"a\\|", {"a", ""}},
      {"\\|b", {"", "b"}},
      {"a\\|\\|b", {"a", "", "b"}},
      {"\\|", {"", ""}},
      {"a\x1A" "b\\|c", {"a", "b", "c"}},
      {"\\\\|", {"\\|"}},
      {"\x95\x5C|x", {"\x95\x5C|x"}},
      {"\\n\\|\\t", {"\r\n", "\t"}},
  };
  for (const SplitRow& row : rows) {
    EXPECT_EQ(SplitAlternatives(DecodeText(row.typed_search, true, lead)), row.alternatives) << row.typed_search;
  }
}

// A run's texts are checked before any file is touched: the fault's pair,
// text and place (in characters), or none.
TEST(CheckPatterns, Table) {
  constexpr MatchOptions kRegex{.regex = true};
  struct Row {
    std::vector<ReplacePair> pairs;
    MatchOptions options;
    int pair;  // -1: no fault
    bool in_replacement = false;
    std::size_t offset = 0;
  };
  const Row rows[] = {
      {{{"a(", "x"}}, kRegex, 0, false, 2},
      {{{"ok", "x"}, {"[b", "x"}}, kRegex, 1, false, 2},
      {{{"\x82\xA0(", "x"}}, kRegex, 0, false, 2},  // あ( : one character before the fault
      {{{"(a)", "$2"}}, kRegex, 0, true, 0},
      {{{"(a)", "x${1}y\\2"}}, kRegex, 0, true, 6},
      {{{"(a)", "${name}"}}, kRegex, 0, true, 0},
      {{{"(a)", "x"}, {"(b)", "\\n\x82\xA0$2"}}, kRegex, 1, true, 3},  // \n あ: three characters before it
      {{{"(?<name>a)", "${name}$1$0$&$$\\$"}}, kRegex, -1},
      {{{"(a)", "$z ${ $"}}, kRegex, -1},  // literal dollars
      {{{"", "$9"}}, kRegex, -1},           // finds nothing: nothing to check
      {{{"a(", "$9"}}, MatchOptions{}, -1},  // plain texts are never expressions
      {{{"a(\\|[", "$9"}}, MatchOptions{.ignore_case = true, .word = true, .fold = true}, -1},
  };
  for (const Row& row : rows) {
    const std::optional<PatternError> error = CheckPatterns(row.pairs, CodePage::kAnsi, row.options);
    const std::string what = row.pairs.back().search + " -> " + row.pairs.back().replace;
    ASSERT_EQ(error.has_value(), row.pair >= 0) << what;
    if (!error) continue;
    EXPECT_EQ(error->pair, static_cast<std::size_t>(row.pair)) << what;
    EXPECT_EQ(error->in_replacement, row.in_replacement) << what;
    EXPECT_EQ(error->offset, row.offset) << what;
    EXPECT_FALSE(error->reason.empty()) << what;
    EXPECT_NE(FormatPatternError(*error).find("正規表現が正しくありません。\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace vx
