#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/pattern_text.h"
#include "platform/unicode.h"

namespace vx {
namespace {

// The expressions are compiled as the regex engine compiles them.
struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
using Code = std::unique_ptr<pcre2_code, CodeDeleter>;

Code Compile(const std::string& pattern, bool caseless, std::string* error = nullptr) {
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
  int code = 0;
  PCRE2_SIZE offset = 0;
  const uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE |
                           (caseless ? PCRE2_CASELESS : 0);
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                       options, &code, &offset, context);
  pcre2_compile_context_free(context);
  if (!compiled && error) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof message);
    *error = reinterpret_cast<const char*>(message) + (" at " + std::to_string(offset));
  }
  return Code(compiled);
}

struct Match {
  std::size_t start, end;
  std::vector<std::string> groups;  // group 0 the whole match
};

// Every match, left to right, none overlapping.
std::vector<Match> FindAll(const pcre2_code* code, const std::string& subject) {
  std::vector<Match> matches;
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  std::size_t at = 0;
  while (at <= subject.size()) {
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), at, 0,
                               data, nullptr);
    if (rc < 0) break;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    Match match{ovector[0], ovector[1], {}};
    for (int g = 0; g < rc; ++g) {
      match.groups.push_back(ovector[2 * g] == PCRE2_UNSET
                                 ? std::string()
                                 : subject.substr(ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g]));
    }
    matches.push_back(match);
    at = match.end;
    if (match.end == match.start) {  // past one character
      ++at;
      while (at < subject.size() && (static_cast<unsigned char>(subject[at]) & 0xC0) == 0x80) ++at;
    }
  }
  pcre2_match_data_free(data);
  return matches;
}

// The subject with each match put between ⟦ and ⟧.
std::string Marked(const std::string& subject, const std::vector<Match>& matches) {
  const std::string open = FromU8(u8"⟦"), close = FromU8(u8"⟧");
  std::string out;
  std::size_t at = 0;
  for (const Match& match : matches) {
    out += subject.substr(at, match.start - at) + open + subject.substr(match.start, match.end - match.start) + close;
    at = match.end;
  }
  return out + subject.substr(at);
}

enum Mode : unsigned {
  kLiteral = 0,
  kRegex = 1,      // the search text is an expression
  kCase = 2,       // caseless
  kWord = 4,       // the word rule
  kFold = 8,       // the fold
  kExtended = 16,  // the built expression read in extended mode, "(?x)" before it
};

std::string Build(const std::string& search, unsigned mode) {
  std::string pattern = (mode & kRegex) ? ((mode & kFold) ? FoldPattern(search) : search)
                                        : LiteralPattern(search, (mode & kFold) != 0);
  if (mode & kWord) pattern = WordPattern(pattern);
  if (mode & kExtended) pattern = "(?x)" + pattern;
  return pattern;
}

struct Row {
  const char* what;
  unsigned mode;
  std::string search;
  std::string subject;
  std::string marked;            // the subject with its matches marked
  int group = 0;                 // a group of the first match to check, 0 for none
  std::string group_text = {};
};

std::string U(std::u8string_view text) { return FromU8(text); }

const Row kRows[] = {
    // The word rule.
    {"ID among kana", kWord, "ID", U(u8"ユーザーIDを"), U(u8"ユーザー⟦ID⟧を")},
    {"ID in parentheses", kWord, "ID", "(ID)", U(u8"(⟦ID⟧)")},
    {"not in IDs", kWord, "ID", "IDs", "IDs"},
    {"not after _", kWord, "ID", "_ID", "_ID"},
    {"Latin, Greek, Cyrillic letters and full-width letters and digits are word characters", kWord, "ID",
     U(u8"IDé IDα IDж ID０ IDＡ ÉID ID"), U(u8"IDé IDα IDж ID０ IDＡ ÉID ⟦ID⟧")},
    {"kanji, CJK punctuation and symbols are not", kWord, "ID", U(u8"漢ID。ID・ⅠID"),
     U(u8"漢⟦ID⟧。⟦ID⟧・Ⅰ⟦ID⟧")},
    {"the engine backtracks to satisfy the rule", kRegex | kWord, "ab|abc", "abc", U(u8"⟦abc⟧")},
    {"a quantified expression", kRegex | kWord, "\\d+", U(u8"12a 34 ５６"), U(u8"12a ⟦34⟧ ⟦５６⟧")},
    {"caseless", kCase | kWord, "id", U(u8"ID Id ＩＤ idx"), U(u8"⟦ID⟧ ⟦Id⟧ ＩＤ idx")},
    {"an expression ending in an extended-mode comment", kRegex | kWord, "(?x) ID # the id", "IDs ID",
     U(u8"IDs ⟦ID⟧")},
    {"an expression ending inside \\Q", kRegex | kWord, "\\QI.D", "I.D IxD I.Ds", U(u8"⟦I.D⟧ IxD I.Ds")},
    {"options that open the pattern stay in front", kRegex | kWord, "(*UCP)(*LIMIT_MATCH=1000)ID", "ID IDs",
     U(u8"⟦ID⟧ IDs")},
    {"an option setting ends with the expression", kRegex | kWord, "(?i)id", "ID IDs", U(u8"⟦ID⟧ IDs")},
    {"a literal text in extended mode", kExtended, "a #b", "a #b ab", U(u8"⟦a #b⟧ ab")},
    {"a literal text is no syntax", kCase, U(u8"é.(x)"), U(u8"É.(X) é.xx"), U(u8"⟦É.(X)⟧ é.xx")},

    // The fold, literal texts.
    {"ﾃﾞｰﾀ finds all three", kFold, U(u8"ﾃﾞｰﾀ"), U(u8"ﾃﾞｰﾀ データ でーた ﾃｰﾀ テータ"),
     U(u8"⟦ﾃﾞｰﾀ⟧ ⟦データ⟧ ⟦でーた⟧ ﾃｰﾀ テータ")},
    {"データ finds all three", kFold, U(u8"データ"), U(u8"ﾃﾞｰﾀ データ でーた ﾃｰﾀ"),
     U(u8"⟦ﾃﾞｰﾀ⟧ ⟦データ⟧ ⟦でーた⟧ ﾃｰﾀ")},
    {"でーた finds all three", kFold, U(u8"でーた"), U(u8"ﾃﾞｰﾀ データ でーた"), U(u8"⟦ﾃﾞｰﾀ⟧ ⟦データ⟧ ⟦でーた⟧")},
    {"カ never splits ｶﾞ", kFold, U(u8"カ"), U(u8"ｶﾞ ｶ か カ ガ ｶﾟ"), U(u8"ｶﾞ ⟦ｶ⟧ ⟦か⟧ ⟦カ⟧ ガ ⟦ｶ⟧ﾟ")},
    {"ガ takes both characters of ｶﾞ", kFold, U(u8"ガ"), U(u8"ｶﾞ ｶ が ガ"), U(u8"⟦ｶﾞ⟧ ｶ ⟦が⟧ ⟦ガ⟧")},
    {"semi-voiced", kFold, U(u8"ﾊﾟ"), U(u8"パ ぱ ﾊﾟ ﾊ ﾊﾞ"), U(u8"⟦パ⟧ ⟦ぱ⟧ ⟦ﾊﾟ⟧ ﾊ ﾊﾞ")},
    {"vu: hiragana, katakana, half-width", kFold, U(u8"ゔ"), U(u8"ヴ ｳﾞ ｳ う"), U(u8"⟦ヴ⟧ ⟦ｳﾞ⟧ ｳ う")},
    {"a lone mark", kFold, U(u8"゛"), U(u8"ﾞ ｶﾞ ゛ ｱﾞ"), U(u8"⟦ﾞ⟧ ｶﾞ ⟦゛⟧ ｱ⟦ﾞ⟧")},
    {"width", kFold, "ab 1!~", U(u8"ａｂ　１！～ ab 1!~"), U(u8"⟦ａｂ　１！～⟧ ⟦ab 1!~⟧")},
    {"the signs", kFold, U(u8"￥¢"), U(u8"¥￠"), U(u8"⟦¥￠⟧")},
    {"small kana, iteration marks, the long vowel", kFold, U(u8"ゃゝー"), U(u8"ｬヽｰ"), U(u8"⟦ｬヽｰ⟧")},
    {"fold and case", kFold | kCase, U(u8"ａ"), "A", U(u8"⟦A⟧")},
    {"a folded literal in extended mode", kFold | kExtended, U(u8"ア イ#"), U(u8"ｱ　ｲ＃"), U(u8"⟦ｱ　ｲ＃⟧")},
    {"fold with the word rule", kFold | kWord, "ID", U(u8"ＩＤｓ ＩＤ"), U(u8"ＩＤｓ ⟦ＩＤ⟧")},

    // The fold, expressions.
    {"the same in an expression", kRegex | kFold, U(u8"データ"), U(u8"ﾃﾞｰﾀ でーた"), U(u8"⟦ﾃﾞｰﾀ⟧ ⟦でーた⟧")},
    {"a class", kRegex | kFold, U(u8"[か]"), U(u8"か カ ｶ ｶﾞ が"), U(u8"⟦か⟧ ⟦カ⟧ ⟦ｶ⟧ ｶﾞ が")},
    {"a class takes the two-character forms", kRegex | kFold, U(u8"[ガx]"), U(u8"ガがｶﾞｶｘ"),
     U(u8"⟦ガ⟧⟦が⟧⟦ｶﾞ⟧ｶ⟦ｘ⟧")},
    {"a negated class", kRegex | kFold, U(u8"[^か]"), U(u8"かカｶaが"), U(u8"かカｶ⟦a⟧⟦が⟧")},
    {"ranges as written", kRegex | kFold, "[a-c]", U(u8"ａb"), U(u8"ａ⟦b⟧")},
    {"a final hyphen stays literal", kRegex | kFold, "[a-]", U(u8"ａ－b-"), U(u8"⟦ａ⟧⟦－⟧b⟦-⟧")},
    {"a backreference as written", kRegex | kFold, "(a)\\1", U(u8"aａ aa ａａ"), U(u8"aａ ⟦aa⟧ ⟦ａａ⟧")},
    {"a quantifier takes the whole character", kRegex | kFold, U(u8"ア+"), U(u8"アｱあイ"), U(u8"⟦アｱあ⟧イ")},
    {"a quantifier after ｶﾞ takes the pair", kRegex | kFold, U(u8"ｶﾞ+"), U(u8"ガがｶﾞｶ"), U(u8"⟦ガがｶﾞ⟧ｶ")},
    {"a counted quantifier", kRegex | kFold, "x{2}", U(u8"xｘ"), U(u8"⟦xｘ⟧")},
    {"\\Q...\\E", kRegex | kFold, U(u8"\\Qア.\\E"), U(u8"あ． ア. アx"), U(u8"⟦あ．⟧ ⟦ア.⟧ アx")},
    {"an escaped punctuation mark", kRegex | kFold, "\\(", U(u8"（("), U(u8"⟦（⟧⟦(⟧")},
    {"extended mode: spaces ignored", kRegex | kFold, U(u8"(?x) ア イ # comment"), U(u8"アイ ｱｲ ア イ"),
     U(u8"⟦アイ⟧ ⟦ｱｲ⟧ ア イ")},
    {"extended mode: an escaped space", kRegex | kFold, U(u8"(?x)ア\\ イ"), U(u8"ア　イ"), U(u8"⟦ア　イ⟧")},
    {"extended mode ends with its group", kRegex | kFold, U(u8"(?x:ア )ア イ"), U(u8"アア　イ"),
     U(u8"⟦アア　イ⟧")},
    {"a code escape as written", kRegex | kFold, "\\x{30A2}", U(u8"ア ｱ"), U(u8"⟦ア⟧ ｱ")},
    {"a literal brace", kRegex | kFold, "a{b", U(u8"ａ｛ｂ"), U(u8"⟦ａ｛ｂ⟧")},
    {"inline caseless", kRegex | kFold, U(u8"(?i)ａ"), "A", U(u8"⟦A⟧")},
    {"a lookbehind", kRegex | kFold, U(u8"(?<=カ)x"), U(u8"ｶx カx ｶﾞx"), U(u8"ｶ⟦x⟧ カ⟦x⟧ ｶﾞx")},
    {"a lookbehind keeps one length", kRegex | kFold, U(u8"(?<=ガ)x"), U(u8"ｶﾞx がx"), U(u8"ｶﾞx が⟦x⟧")},
    {"groups keep their numbers", kRegex | kFold, U(u8"(ア)(イ)"), U(u8"ｱｲ"), U(u8"⟦ｱｲ⟧"), 2, U(u8"ｲ")},
    {"after a named group too", kRegex | kFold, U(u8"(?<k>カ)(?:x)(ガ)"), U(u8"かｘｶﾞ"), U(u8"⟦かｘｶﾞ⟧"), 2,
     U(u8"ｶﾞ")},
    {"fold and words in an expression", kRegex | kFold | kWord, U(u8"(?x)ア # c"), U(u8"ｱ ｱx"),
     U(u8"⟦ｱ⟧ ｱx")},
};

TEST(PatternText, Table) {
  for (const Row& row : kRows) {
    std::string error;
    if (row.mode & kRegex) {
      ASSERT_TRUE(Compile(row.search, false, &error)) << row.what << ": " << error;
    }
    const std::string pattern = Build(row.search, row.mode);
    const Code code = Compile(pattern, (row.mode & kCase) != 0, &error);
    ASSERT_TRUE(code) << row.what << ": " << pattern << ": " << error;
    const std::vector<Match> matches = FindAll(code.get(), row.subject);
    EXPECT_EQ(Marked(row.subject, matches), row.marked) << row.what << ": " << pattern;
    if (row.group != 0) {
      ASSERT_FALSE(matches.empty()) << row.what;
      ASSERT_GT(matches[0].groups.size(), static_cast<std::size_t>(row.group)) << row.what;
      EXPECT_EQ(matches[0].groups[row.group], row.group_text) << row.what;
    }
  }
}

// Expressions that compile stay compiling with the fold and the word rule,
// with the same groups.
TEST(PatternText, FoldAndWordKeepExpressionsValid) {
  const std::string patterns[] = {
      "[a-]", "[-a]", "[]a]", "[^]a]", "[!--]", "[a-z-]", "[\\Qa-\\E]", "[a\\Q]\\E]", "(?xx)[a - ]",
      U(u8"[ア-ン-]"), "(a)(?(1)b|c)", U(u8"(?(?=ア)ア|イ)"), U(u8"(?C'x)')ア"), U(u8"(?|(ア)|(イ))\\1"),
      U(u8"\\Qア"), U(u8"(?x)ア#c"), "a{,3}", "x{ 2 }", U(u8"(*positive_lookbehind:ア)x"),
      U(u8"(?<!ガ)x"), "[[:<:]]a", "\\cA", "\\o{101}", "\\101", "\\N{U+30A2}", U(u8"ｶﾞ{2}"),
      U(u8"(?i:ア)(?-i)a"), U(u8"(ア)\\g{-1}"), U(u8"[[:alpha:]ア]"), U(u8"(?<=[ガ])x"), U(u8"(?<![^ガ])x"),
      U(u8"(?P<n>ア)(?P=n)"), "(?'n'a)\\k'n'", "\\p{Katakana}a", U(u8"(?#ア)ア"), U(u8"(*MARK:ア)ア"),
      U(u8"(*pla:ア)."), "a\\Kb", "(?(DEFINE)(?<d>a))(?&d)", U(u8"(?xx)[ ア ]"), U(u8"(?^)(?x-x)ア #"),
  };
  for (const std::string& pattern : patterns) {
    std::string error;
    const Code original = Compile(pattern, false, &error);
    ASSERT_TRUE(original) << pattern << ": " << error;
    uint32_t groups = 0, names = 0;
    pcre2_pattern_info(original.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    pcre2_pattern_info(original.get(), PCRE2_INFO_NAMECOUNT, &names);
    for (const std::string& built : {FoldPattern(pattern), WordPattern(pattern), WordPattern(FoldPattern(pattern))}) {
      const Code code = Compile(built, false, &error);
      ASSERT_TRUE(code) << pattern << " -> " << built << ": " << error;
      uint32_t built_groups = 0, built_names = 0;
      pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &built_groups);
      pcre2_pattern_info(code.get(), PCRE2_INFO_NAMECOUNT, &built_names);
      EXPECT_EQ(built_groups, groups) << built;
      EXPECT_EQ(built_names, names) << built;
    }
  }
}

// What the fold leaves alone comes back as it was written.
TEST(PatternText, FoldLeavesTheRestAsWritten) {
  const std::string patterns[] = {
      U(u8"漢字\\d+"), U(u8"[ぁ-ん]"), "\\x{30A2}", U(u8"(?<名>漢)\\k<名>"), U(u8"(?#アイ)"),
      U(u8"(*MARK:ア)漢"), "\\p{Katakana}+", "[[:alpha:]]", U(u8"漢{2,3}"), "(.)\\1", U(u8"(?i)漢"),
      U(u8"(?x) 漢 # ア"), "\\10\\0\\cA",
  };
  for (const std::string& pattern : patterns) EXPECT_EQ(FoldPattern(pattern), pattern);
}

// Every kana and every width form finds its equivalents, both ways.
TEST(PatternText, EveryKanaAndWidthForm) {
  std::vector<std::pair<char32_t, char32_t>> pairs;
  for (char32_t c = 0x3041; c <= 0x3096; ++c) pairs.emplace_back(c, c + 0x60);
  pairs.emplace_back(0x309D, 0x30FD);
  pairs.emplace_back(0x309E, 0x30FE);
  for (char32_t c = 0x21; c <= 0x7E; ++c) pairs.emplace_back(c, c + 0xFEE0);
  pairs.emplace_back(0x20, 0x3000);
  const char32_t half_kana[] = {0xFF71, 0xFF76, 0xFF8A, 0xFF9C, 0xFF9D, 0xFF67, 0xFF6F, 0xFF70, 0xFF65};
  const char32_t full_kana[] = {0x30A2, 0x30AB, 0x30CF, 0x30EF, 0x30F3, 0x30A1, 0x30C3, 0x30FC, 0x30FB};
  for (std::size_t i = 0; i < std::size(half_kana); ++i) pairs.emplace_back(half_kana[i], full_kana[i]);
  for (const auto& [a, b] : pairs) {
    std::string text_a, text_b;
    unicode_detail::EncodeUtf8(a, &text_a);
    unicode_detail::EncodeUtf8(b, &text_b);
    for (const auto& [search, subject] : {std::pair(text_a, text_b), std::pair(text_b, text_a)}) {
      const Code code = Compile(LiteralPattern(search, true), false);
      ASSERT_TRUE(code) << std::hex << static_cast<unsigned>(a);
      const std::vector<Match> matches = FindAll(code.get(), subject);
      ASSERT_EQ(matches.size(), 1u) << std::hex << static_cast<unsigned>(a) << " " << static_cast<unsigned>(b);
      EXPECT_EQ(matches[0].end - matches[0].start, subject.size()) << std::hex << static_cast<unsigned>(a);
      // Without the fold, only the text itself.
      EXPECT_TRUE(FindAll(Compile(LiteralPattern(search, false), false).get(), subject).empty()) << std::hex << static_cast<unsigned>(a);
    }
  }
}

TEST(PatternText, InvalidUtf8FindsNothing) {
  const std::string text = "a\xFF" "b";
  const Code code = Compile(LiteralPattern(text, false), false);
  ASSERT_TRUE(code);
  EXPECT_TRUE(FindAll(code.get(), text).empty());
  EXPECT_TRUE(FindAll(code.get(), "ab").empty());
}

}  // namespace
}  // namespace vx
