#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <random>
#include <type_traits>

#include "engine/replace_chain.h"
#include "engine/rewrite.h"
#include "platform/unicode.h"
#include "platform/file.h"
#include "platform/file_fault.h"
#include "file_names.h"
#include "outcome.h"
#include "reference.h"
#include "regex_reference.h"
#include "temp_dir.h"

namespace vx {
namespace {

using platform::ClearFileFaults;
using platform::FileOp;
using platform::InjectFileFault;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

static_assert(std::is_same_v<decltype(RewriteOutcome::count), std::int64_t>, "counts are 64-bit");

class Rewrite : public ::testing::Test {
 protected:
  void TearDown() override { ClearFileFaults(); }
  std::int64_t Run(const std::string& content, const std::vector<ReplacePair>& pairs, bool backup = false,
                   RewriteOptions options = {}) {
    WriteBytes(target_, content);
    return RewriteTarget(pairs, backup, options);
  }
  // The target as it is; the outcome is kept in last_.
  std::int64_t RewriteTarget(const std::vector<ReplacePair>& pairs, bool backup, RewriteOptions options = {}) {
    options.make_backup = backup;
    last_ = RewriteFile(target_, pairs, reading_, options);
    return Code(last_);
  }
  // The folder holds exactly these names (no temporary file left over).
  void ExpectFolder(const std::string& names) { EXPECT_EQ(dir_.Listing(), names); }
  // Names in the folder that end in the temporary suffix.
  std::string TempLeftovers() const {
    std::string found;
    for (auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 6 && name.compare(name.size() - 6, 6, platform::kTempSuffix) == 0) found += name + ";";
    }
    return found;
  }

  TempDir dir_;
  const std::string target_ = dir_.Path("target.txt");
  const std::string bak_ = target_ + ".bak";
  const LeadBytes lead_ = LeadBytes::Cp932();
  FileReading reading_;  // texts in the ANSI code page (932) unless a row says, every file detected
  RewriteOutcome last_;
};

struct ContentRow {
  const char* what;
  std::string content;
  std::vector<ReplacePair> pairs;
  std::string expected;
  std::int64_t count;
  Encoding encoding = Encoding::kCodePage;
  CodePage typed = CodePage::kAnsi;  // what the texts are in (the window's: UTF-8)
  MatchOptions match = {};
};

constexpr MatchOptions kRegex{.regex = true};
constexpr MatchOptions kCase{.ignore_case = true};
constexpr MatchOptions kWord{.word = true};
constexpr MatchOptions kFold{.fold = true};
constexpr CodePage k932 = CodePage::kAnsi;
constexpr Encoding kSjis = Encoding::kCodePage;
constexpr Encoding kU8 = Encoding::kUtf8;

// ぁ 82 9F, 表 95 5C, の 82 CC, ノ 83 6D.
const ContentRow kContentRows[] = {
    {"empty file", "", {{"a", "b"}}, "", 0},
    {"plain replacement", "a cat sat", {{"at", "og"}}, "a cog sog", 2},
    {"line break at the end", "one\r\ntwo\r\n", {{"\\n", " "}}, "one two ", 2},
    {"whole-file match", "hello", {{"hello", "bye"}}, "bye", 1},
    {"overlapping candidates: three a", "aaa", {{"aa", "b"}}, "ba", 1},
    {"overlapping candidates: four a", "aaaa", {{"aa", "b"}}, "bb", 2},
    {"later alternative sees earlier replacements", "ab", {{"a\\|b", "b"}}, "bb", 3},
    {"alternative longer than the file", "ab", {{"abc", "x"}}, "ab", 0},
    {"empty search", "abc", {{"", "x"}}, "abc", 0},
    {"empty alternatives around", "abc", {{"\\|b\\|", "x"}}, "axc", 1},
    {"replacement escapes", "a b", {{" ", "\\t\\\\\\n"}}, "a\t\\\r\nb", 1},
    {"replacement bar stays", "a", {{"a", "\\|"}}, "\\|", 1},
    {"after ぁ (second byte in the lead set)", "\x82\x9F" "A", {{"A", "B"}}, "\x82\x9F" "B", 1},
    {"ぁぁ: both found", "\x82\x9F\x82\x9F", {{"\x82\x9F", "x"}}, "xx", 2},
    {"second byte of 表 is no backslash", "\x95\x5C", {{"\\\\", "/"}}, "\x95\x5C", 0},
    {"の to ノ", "\x82\xCC\x82\xA0\x82\xCC", {{"\x82\xCC", "\x83\x6D"}}, "\x83\x6D\x82\xA0\x83\x6D", 2},
    {"pairs in turn", "ab", {{"a", "b"}, {"b", "c"}}, "cc", 3},
    {"a pair undoes another", "abc", {{"b", "X"}, {"X", "b"}}, "abc", 2},
    {"alternative cascade with growth", "a", {{"a\\|b\\|bb", "bb"}}, "bbbb", 5},
    {"no pairs", "abc", {}, "abc", 0},
    // Each file in its own encoding; the typed texts are code page 932.
    // あ: 932 82 A0, UTF-8 E3 81 82, UTF-16 U+3042; い: 82 A2, E3 81 84, U+3044.
    {"UTF-8: あ to い", "x\xE3\x81\x82y", {{"\x82\xA0", "\x82\xA2"}}, "x\xE3\x81\x84y", 1, Encoding::kUtf8},
    {"UTF-8: ASCII after a character whose last byte is a 932 lead byte", "\xE3\x81\x82\\", {{"\\\\", "/"}},
     "\xE3\x81\x82/", 1, Encoding::kUtf8},
    {"UTF-8: an ASCII match gets a Japanese replacement in UTF-8", "\xE3\x81\x82" "a", {{"a", "\x82\xA2"}},
     "\xE3\x81\x82\xE3\x81\x84", 1, Encoding::kUtf8},
    {"UTF-8 with BOM: the mark stays, and is no text", "\xEF\xBB\xBF" "a\xEF\xBB\xBF", {{"a", "\x82\xA0"}},
     "\xEF\xBB\xBF\xE3\x81\x82\xEF\xBB\xBF", 1, Encoding::kUtf8Bom},
    {"UTF-16LE", std::string("\xFF\xFE\x42\x30" "a\0", 6), {{"\x82\xA0", "\x82\xA2\x82\xA2"}},
     std::string("\xFF\xFE\x44\x30\x44\x30" "a\0", 8), 1, Encoding::kUtf16Le},
    {"UTF-16BE", std::string("\xFE\xFF\x30\x42\0a", 6), {{"a", "b\\n"}},
     std::string("\xFE\xFF\x30\x42\0b\0\r\0\n", 10), 1, Encoding::kUtf16Be},
    {"UTF-16LE: a unit's second byte begins no match", std::string("\xFF\xFE\x41\x41\x41\0", 6), {{"AA", "x"}},
     std::string("\xFF\xFE\x41\x41\x41\0", 6), 0, Encoding::kUtf16Le},
    {"UTF-16LE: 4141 is a unit of its own", std::string("\xFF\xFE\x41\x41", 4), {{"\x82\xA0", "x"}},
     std::string("\xFF\xFE\x41\x41", 4), 0, Encoding::kUtf16Le},
    {"LF only: \\n is LF", "a\nb\n", {{"\\n", "\\n\\n"}}, "a\n\nb\n\n", 2},
    {"CR LF and LF: \\n is CR LF", "a\nb\r\n", {{"\\n", "|"}}, "a\nb|", 1},
    {"UTF-16LE, LF only", std::string("\xFF\xFE" "a\0\n\0", 6), {{"\\n", "\\t"}},
     std::string("\xFF\xFE" "a\0\t\0", 6), 1, Encoding::kUtf16Le},
    {"a search text with no form in UTF-8 finds nothing", "\xE3\x81\x82", {{"\x82\xA0\\|\x82", "x"}}, "x", 1,
     Encoding::kUtf8},
    {"a replacement with no form in UTF-8 leaves the file", "\xE3\x81\x82", {{"\x82\xA0", "\x82"}},
     "\xE3\x81\x82", kRewriteUnrepresentable},
    {"that is no matter when nothing can be found", "\xE3\x81\x82", {{"\x82", "\x82"}}, "\xE3\x81\x82", 0,
     Encoding::kUtf8},
    {"a Shift-JIS file takes the bytes as typed", "\x82\xA0", {{"\x82\xA0", "\x82"}}, "\x82", 1},
    // Read in small pieces, these files start like something they are not.
    {"ASCII at first, UTF-8 later", "a\\bcdefgh\xE3\x81\x82", {{"a\\|\\\\", "\x82\xA2"}},
     "\xE3\x81\x84\xE3\x81\x84" "bcdefgh\xE3\x81\x82", 2, Encoding::kUtf8},
    // (In code page 932, E3 81 and 82 61 are characters: the first a is a second byte.)
    {"UTF-8 at first, Shift-JIS later", "\xE3\x81\x82" "aaaaaa\x82\xA0", {{"a", "\x82\xA2"}},
     "\xE3\x81\x82" "a\x82\xA2\x82\xA2\x82\xA2\x82\xA2\x82\xA2\x82\xA0", 5},
    {"LF at first, CR LF later", "a\nbcdefgh\r\n", {{"\\n", "|"}}, "a\nbcdefgh|", 1},
    {"no line end at first, LF later", "abcdefgh\n", {{"\\n", "\\n|"}}, "abcdefgh\n|", 1},
    {"UTF-8 cut short at the end", "\xE3\x81\x82" "aaaaaa\xE3", {{"a", "b"}}, "\xE3\x81\x82" "abbbbb\xE3", 5},
    // Texts typed as Unicode. ∵ is 81 E6, 87 9A and FA 5B in code page 932; ∴ 81 88; ⅰ EE EF and FA 40.
    {"∵ typed as Unicode finds its three forms", "\x81\xE6 \x87\x9A \xFA\x5B\x82\xA0",
     {{FromU8(u8"∵"), FromU8(u8"∴")}}, "\x81\x88 \x81\x88 \x81\x88\x82\xA0", 3, Encoding::kCodePage,
     CodePage::kUtf8},
    {"∵ given as code page 932 bytes finds those bytes", "\x81\xE6 \x87\x9A \xFA\x5B", {{"\x81\xE6", "x"}},
     "x \x87\x9A \xFA\x5B", 1},
    {"a replacement takes the system's form", "a", {{"a", FromU8(u8"ⅰ")}}, "\xFA\x40", 1, Encoding::kCodePage,
     CodePage::kUtf8},
    {"a text code page 932 lacks finds nothing in Shift-JIS", "a\x82\xA0", {{FromU8(u8"😀\\|a"), "b"}}, "b\x82\xA0",
     1, Encoding::kCodePage, CodePage::kUtf8},
    {"nor can it be written there", "a\x82\xA0", {{"a", FromU8(u8"한")}}, "a\x82\xA0", kRewriteUnrepresentable,
     Encoding::kCodePage, CodePage::kUtf8},
    {"emoji and hangul into UTF-8", FromU8(u8"é😀\r\n"), {{FromU8(u8"😀\\n"), FromU8(u8"한\\t")}},
     FromU8(u8"é한\t"), 1, Encoding::kUtf8, CodePage::kUtf8},
    // Regular expressions: captures, the $ forms, line ends, each file's encoding.
    {"swap key=value", "key=value\r\nk2=v2", {{"(\\w+)=(\\w+)", "$2=$1"}}, "value=key\r\nv2=k2", 2, kSjis, k932,
     kRegex},
    {"dates", "2026/12/09 and 2025/1/2", {{"(\\d+)/(\\d+)/(\\d+)", "$1-${2}-\\3"}}, "2026-12-09 and 2025-1-2", 2,
     kSjis, k932, kRegex},
    {"$12 is group 12; ${1}2 is group 1 and a 2", "ab", {{"(a)(b)(?<x>)(){9}", "$12|${1}2|$&|${x}$$|\\$|$z|$"}},
     "|a2|ab|$|$|$z|$", 1, kSjis, k932, kRegex},
    {"a group that took no part gives nothing", "b", {{"(a)?b", "[$1]"}}, "[]", 1, kSjis, k932, kRegex},
    {"^ prefixes every line, none after the last line end", "a\r\nb\nc\r\n", {{"^", "> "}},
     "> a\r\n> b\n> c\r\n", 3, kSjis, k932, kRegex},
    {"$ before CR LF, never between CR and LF", "a\r\nb\r\n", {{"$", ";"}}, "a;\r\nb;\r\n;", 3, kSjis, k932,
     kRegex},
    {"empty matches, as Perl: x* around every character", "abc", {{"x*", "-"}}, "-a-b-c-", 4, kSjis, k932, kRegex},
    {"^ and $ never between the CR and the LF, also within a match; after a lone CR", "a\r\nb\rc",
     {{"\\r(?:^|$)", "|"}}, "a\r\nb|c", 1, kSjis, k932, kRegex},
    {"a match may start at the LF of a CR LF", "x\r\na", {{"\\Da", "<$0>"}}, "x\r<\na>", 1, kSjis, k932, kRegex},
    {"after an empty match before a CR, one may start at its LF", "a\r\nb", {{"x*|\\n", "-"}}, "-a-\r--b-", 5,
     kSjis, k932, kRegex},
    {"so may an expression that starts with .*", "a\r\nb\r\n", {{".*\\n", "|"}}, "a\r|b\r|", 2, kSjis, k932,
     kRegex},
    {"a lookahead's empty match never splits CR LF", "a\r\nb", {{"(?=\\n)", "|"}}, "a\r\nb", 0, kSjis, k932,
     kRegex},
    {". never takes a line end; \\n in the replacement is the file's", "ab\r\ncd", {{"b.*", "X\\n"}},
     "aX\r\n\r\ncd", 1, kSjis, k932, kRegex},
    {"the same template in an LF file: its \\n is LF there", "ab\ncd", {{"b.*", "X\\n"}}, "aX\n\ncd", 1, kSjis,
     k932, kRegex},
    {"and in UTF-16LE, each line break in the file's encoding", std::string("\xFF\xFE" "b\0\n\0", 6),
     {{"b.*", "X\\n"}}, std::string("\xFF\xFE" "X\0\n\0\n\0", 8), 1, Encoding::kUtf16Le, k932, kRegex},
    {"\\n in a search is LF; a pattern over lines", "a\r\nb", {{"a\\r\\nb", "ab"}}, "ab", 1, kSjis, k932, kRegex},
    {"LF file: \\n in the replacement is LF", "a\nb\n", {{"$", "\\n"}}, "a\n\nb\n\n\n", 3, kSjis, k932, kRegex},
    {"Shift-JIS: . is a whole 表, never its trail byte \\", "\x95\x5C\\", {{"\\\\", "/"}}, "\x95\x5C/", 1, kSjis, k932,
     kRegex},
    {"Shift-JIS: . next to ソ and 表 takes each whole", "\x83\x5C\x95\x5C", {{"^.", "<$0>"}}, "<\x83\x5C>\x95\x5C", 1,
     kSjis, k932, kRegex},
    {"Shift-JIS: a class of kana, the other bytes as they were", "\x82\xA0\x87\x9A\x82\xA2", {{"[\x82\xA0-\x82\xA2]+",
     "x"}}, "x\x87\x9Ax", 2, kSjis, k932, kRegex},
    {"Shift-JIS: ∵ typed as Unicode finds every form", "\x81\xE6\x87\x9A\xFA\x5B", {{FromU8(u8"∵{2}"), "x"}},
     "x\xFA\x5B", 1, kSjis, CodePage::kUtf8, kRegex},
    {"Shift-JIS: a group keeps its bytes", "a\x87\x9A" "b", {{"a(.)b", "[$1]"}}, "[\x87\x9A]", 1, kSjis, k932, kRegex},
    {"UTF-8: \\w takes kana and kanji, \\d a full-width digit", FromU8(u8"表の０ x"), {{"\\w+", "W"}}, "W W", 2, kU8,
     k932, kRegex},
    {"UTF-8: the ideographic space is \\s", FromU8(u8"a　b"), {{"\\s", "_"}}, "a_b", 1, kU8, k932, kRegex},
    {"UTF-16LE: a capture swap", std::string("\xFF\xFE" "a\0=\0b\0", 8), {{"(.)=(.)", "$2=$1"}},
     std::string("\xFF\xFE" "b\0=\0a\0", 8), 1, Encoding::kUtf16Le, k932, kRegex},
    {"UTF-16BE: the replacement put into the file's encoding", std::string("\xFE\xFF\x30\x42", 4), {{".", "[$0\\n]"}},
     std::string("\xFE\xFF\0[\x30\x42\0\r\0\n\0]", 12), 1, Encoding::kUtf16Be, k932, kRegex},
    {"a replacement the file cannot hold leaves it alone", "a\x82\xA0", {{"a", FromU8(u8"한$0")}}, "a\x82\xA0",
     kRewriteUnrepresentable, kSjis, CodePage::kUtf8, kRegex},
    {"an empty expression does nothing", "abc", {{"", "x"}}, "abc", 0, kSjis, k932, kRegex},
    {"pairs in turn, as expressions", "abc", {{"a|b", "x"}, {"x+", "[$0]"}}, "[xx]c", 3, kSjis, k932, kRegex},
    {"past the match limit: the file is left alone", std::string(30000, 'a') + "!b", {{"(a*)*b", "x"}},
     std::string(30000, 'a') + "!b", kRewriteTooComplex, kSjis, k932, kRegex},
    // Literal texts with options.
    {"-i: ASCII, Latin, Greek, Cyrillic, full-width", FromU8(u8"Abc ÉTÉ ΣΑ ЖУК Ａｂ"),
     {{FromU8(u8"aBC\\|été\\|σα\\|жук\\|ａＢ"), "*"}}, "* * * * *", 5, kU8, CodePage::kUtf8, kCase},
    {"-i in Shift-JIS, the bytes as they were elsewhere", "ABC\x87\x9A", {{"abc", "x"}}, "x\x87\x9A", 1, kSjis, k932,
     kCase},
    {"-i keeps the literal escapes: \\| and \\n", "A\r\nb", {{"a\\n\\|B", "."}}, "..", 2, kSjis, k932, kCase},
    {"-w: ID beside kana and brackets, not in IDs or _ID", FromU8(u8"ユーザーIDを (ID) IDs _ID"), {{"ID", "X"}},
     FromU8(u8"ユーザーXを (X) IDs _ID"), 2, kU8, CodePage::kUtf8, kWord},
    {"-w in regex mode backtracks to a whole word", "abc ab", {{"ab|abc", "X"}}, "X X", 2, kSjis, k932,
     MatchOptions{.regex = true, .word = true}},
    {"--fold: ﾃﾞｰﾀ, データ and でーた", FromU8(u8"ﾃﾞｰﾀ データ でーた"), {{FromU8(u8"データ"), "D"}}, "D D D", 3, kU8,
     CodePage::kUtf8, kFold},
    {"--fold in Shift-JIS: ｶﾞ whole, ｶ of ｶﾞ never", "\xB6\xDE\xB6 \x83\x4B", {{FromU8(u8"カ\\|ガ"), "x"}},
     "xx x", 3, kSjis, CodePage::kUtf8, kFold},
    {"--fold with -i: Ａ, a and A", FromU8(u8"Ａ a A"), {{"a", "x"}}, "x x x", 3, kU8, CodePage::kUtf8,
     MatchOptions{.ignore_case = true, .fold = true}},
};

// With the default buffers, and with buffers of 1 to 8 bytes, where a file's
// first piece may mislead about its encoding or its line ends.
TEST_F(Rewrite, ContentTable) {
  for (std::size_t buffer = 0; buffer <= 8; ++buffer) {
    RewriteOptions options;
    options.buffer_bytes = buffer;
    for (const ContentRow& row : kContentRows) {
      reading_.texts = row.typed;
      options.match = row.match;
      EXPECT_EQ(Run(row.content, row.pairs, false, options), row.count) << row.what << ", buffer " << buffer;
      EXPECT_EQ(ReadBytes(target_), row.expected) << row.what << ", buffer " << buffer;
      if (row.count >= 0) {
        EXPECT_EQ(last_.encoding, row.encoding) << row.what << ", buffer " << buffer;
      }
      ExpectFolder("target.txt;");
    }
  }
}

// The rewrite on real files against the definition (the chain itself has
// its own, larger differential test), with tiny buffers.
TEST_F(Rewrite, AgreesWithPassByPassReference) {
  std::mt19937 rng(1207);
  const char* const kTyped[] = {"\x82\x9F", "A", "\\\\", "\x9F\x82", "A\\|\x82\x9F", "\x82\x82\x82", "\\n"};
  const char* const kReplacements[] = {"", "A", "\x82", "AA\x9F", "\\n"};
  static const unsigned char kBytes[] = {0x82, 0x9F, 0x41, 0x5C, 0x95, 0x0D, 0x0A, 0x61, 0xE0, 0x40};
  for (int round = 0; round < 200; ++round) {
    std::string content(rng() % (round % 10 == 0 ? 5000 : 200), '\0');
    for (char& c : content) c = static_cast<char>(kBytes[rng() % std::size(kBytes)]);
    std::vector<ReplacePair> pairs;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k)
      pairs.push_back({kTyped[rng() % std::size(kTyped)], kReplacements[rng() % std::size(kReplacements)]});
    std::string expected = content;
    const std::int64_t expected_count = reference::PassByPass(&expected, pairs, lead_, std::string().max_size(),
                                                              reference::LfOnly(content) ? "\n" : "\r\n");
    RewriteOptions options;
    options.buffer_bytes = 1 + rng() % 16;
    ASSERT_EQ(Run(content, pairs, 0, options), expected_count) << "round " << round;
    ASSERT_EQ(ReadBytes(target_), expected) << "round " << round;
  }
}

// A text of code points in UTF-8, and in code page 932 (every character the
// differential texts use has a form there).
std::string ToUtf8(const std::u32string& text) {
  std::string out;
  for (const char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}
std::string ToSjis(const std::u32string& text) {
  std::string out;
  EXPECT_TRUE(ConvertText(ToUtf8(text), CodePage::kUtf8, CodePage::kCp932, &out));
  return out;
}

// Random expressions of the common syntax, and the group count they have.
class PatternMaker {
 public:
  explicit PatternMaker(std::mt19937* rng) : rng_(*rng) {}
  std::u32string Make(int* groups) {
    groups_ = 0;
    bool nullable = false;
    std::u32string pattern = Alternation(2, &nullable);
    *groups = groups_;
    return pattern;
  }

 private:
  std::size_t Pick(std::size_t n) { return rng_() % n; }
  template <std::size_t N>
  const char32_t* Any(const char32_t* const (&choices)[N]) { return choices[Pick(N)]; }
  std::u32string Alternation(int depth, bool* nullable) {
    std::u32string out = Sequence(depth, nullable);
    if (Pick(4) == 0) {
      bool other = false;
      out += U"|" + Sequence(depth, &other);
      *nullable = *nullable || other;
    }
    return out;
  }
  std::u32string Sequence(int depth, bool* nullable) {
    std::u32string out;
    *nullable = true;
    for (std::size_t k = 0, n = 1 + Pick(3); k < n; ++k) {
      bool empty = false;
      out += Item(depth, &empty);
      *nullable = *nullable && empty;
    }
    return out;
  }
  // An atom, perhaps repeated; only the ones that never match nothing are
  // repeated without bound.
  std::u32string Item(int depth, bool* nullable) {
    static const char32_t* const kAtoms[] = {
        U"a", U"b", U"A", U"1", U"_", U" ", U"あ", U"表", U"ソ", U"ｶ", U"０", U"　", U"\\r", U"\\n", U"\\.",
        U".", U".", U"\\d", U"\\w", U"\\s", U"\\D", U"\\W", U"\\S", U"^", U"$"};
    static const char32_t* const kClassItems[] = {U"a", U"b", U"a-z", U"A-Z", U"0-9", U"ぁ-ん", U"一-龠",
                                                  U"ァ-ヶ", U"ｦ-ﾟ", U"\\d", U"\\w", U"\\s", U"\\r", U"\\n", U"表"};
    static const char32_t* const kQuantifiers[] = {U"*", U"+", U"?", U"{2}", U"{1,}", U"{0,2}", U"{1,3}"};
    std::u32string atom;
    *nullable = false;
    const std::size_t kind = Pick(depth > 0 ? 8 : 6);
    if (kind < 4) {
      atom = Any(kAtoms);
      *nullable = atom == U"^" || atom == U"$";
      if (*nullable) return atom;
    } else if (kind < 6) {
      atom = Pick(3) == 0 ? U"[^" : U"[";
      for (std::size_t k = 0, n = 1 + Pick(3); k < n; ++k) atom += Any(kClassItems);
      atom += U"]";
    } else {
      const bool capture = Pick(3) != 0;
      groups_ += capture;
      atom = (capture ? U"(" : U"(?:") + Alternation(depth - 1, nullable) + U")";
    }
    if (Pick(3) != 0) return atom;
    const char32_t* q = *nullable ? U"?" : Any(kQuantifiers);
    *nullable = *nullable || q[0] == '*' || q[0] == '?' || q[1] == '0';
    return atom + q + (Pick(3) == 0 ? U"?" : U"");
  }

  std::mt19937& rng_;
  int groups_ = 0;
};

// Random expressions of the common syntax on short texts of Japanese and
// ASCII characters and line ends, as Shift-JIS and as UTF-8 files: each file
// gets what the small matcher of the test tree makes of its decoded text,
// put back into its encoding, and its count.
TEST_F(Rewrite, ExpressionsAgreeWithTheReferenceMatcher) {
  std::mt19937 rng(2112);
  PatternMaker maker(&rng);
  static const char32_t kText[] = U"aaabbA1_ \r\r\n\n\nあ表ソｶ０　";
  // A replacement's parts as typed, and as the reference takes them (group
  // 100 + n: group n if the expression has it; 200: the file's line end).
  static const std::pair<const char*, int> kParts[] = {
      {"$0", 0}, {"$&", 0}, {"$1", 101}, {"${2}", 102}, {"\\1", 101}, {"$3", 103}, {"x", -1}, {"-", -1}, {"\\n", 200}};
  int cases = 0, matched = 0;
  for (int round = 0; round < 2000; ++round) {
    std::u32string text;
    for (std::size_t k = 0, n = rng() % (round % 4 == 1 ? 40 : 13); k < n; ++k)
      text += kText[rng() % (std::size(kText) - 1)];
    // Mixed line ends, LF only, or CR LF only.
    if (const int ends = round % 3; ends > 0) {
      std::u32string even;
      for (const char32_t c : text)
        even += c == '\r' || c == '\n' ? (ends == 1 ? U"\n" : U"\r\n") : std::u32string(1, c);
      text = even;
    }
    const std::u32string line_end = reference::LfOnly(ToUtf8(text)) ? U"\n" : U"\r\n";
    std::vector<ReplacePair> utf8_pairs, sjis_pairs;
    std::u32string expected = text;
    std::int64_t expected_count = 0;
    for (int k = 0, n = rng() % 4 == 0 ? 2 : 1; k < n; ++k) {
      int groups = 0;
      const std::u32string pattern = maker.Make(&groups);
      const reference::Regex model(pattern);
      ASSERT_TRUE(model.valid()) << ToUtf8(pattern);
      std::string typed;
      std::vector<reference::Regex::Part> parts;
      for (std::size_t p = 0, m = rng() % 4; p < m; ++p) {
        const auto& [part, group] = kParts[rng() % std::size(kParts)];
        if (group > 100 + groups) continue;
        typed += part;
        if (group == 200) parts.push_back({line_end});
        else if (group < 0) parts.push_back({std::u32string(part, part + 1)});
        else parts.push_back({{}, group % 100});
      }
      expected = model.ReplaceAll(expected, parts, &expected_count);
      utf8_pairs.push_back({ToUtf8(pattern), typed});
      sjis_pairs.push_back({ToSjis(pattern), typed});
    }
    std::string shown;  // the text, its line ends visible
    for (const char c : ToUtf8(text)) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    const std::string what = "round " + std::to_string(round) + " on \"" + shown + "\": " +
                             utf8_pairs[0].search + " -> " + utf8_pairs[0].replace +
                             (utf8_pairs.size() > 1 ? ", " + utf8_pairs[1].search : "");
    ASSERT_FALSE(CheckPatterns(utf8_pairs, CodePage::kUtf8, kRegex).has_value()) << what;
    // Most as a dry run, what it would write handed over (the same code):
    // a real rewrite waits for the disk.
    StringSink preview;
    RewriteOptions options;
    options.match = kRegex;
    options.dry_run = round % 32 != 0;
    options.preview = &preview;
    // Half of them read and matched a few bytes at a time.
    if (round % 2) options.buffer_bytes = 1 + rng() % 4;
    for (const bool sjis : {true, false}) {
      reading_.texts = sjis ? k932 : CodePage::kUtf8;
      const std::string content = sjis ? ToSjis(text) : ToUtf8(text);
      preview.text.clear();
      // A new file each time (the disk waits for a file cut short and written again).
      const std::string path = dir_.Path(std::to_string(round) + (sjis ? ".sjis" : ".utf8"));
      WriteBytes(path, content);
      last_ = RewriteFile(path, sjis ? sjis_pairs : utf8_pairs, reading_, options);
      ASSERT_EQ(Code(last_), expected_count) << what << (sjis ? ", Shift-JIS" : ", UTF-8");
      ASSERT_EQ(options.dry_run ? preview.text : ReadBytes(path), sjis ? ToSjis(expected) : ToUtf8(expected))
          << what << (sjis ? ", Shift-JIS" : ", UTF-8");
      platform::DeleteFile(path);
      if (std::any_of(content.begin(), content.end(), [](char c) { return c & 0x80; })) {
        ASSERT_EQ(last_.encoding, sjis ? kSjis : kU8) << what;
      }
    }
    ++cases;
    matched += expected_count > 0;
  }
  EXPECT_GT(matched, cases / 3);  // the expressions find things, and not always
  EXPECT_LT(matched, cases);
}

// Also past the point where its first part is sent on to the disk while
// the rest is still being written.
TEST_F(Rewrite, LargeFileAcrossTheDefaultBuffers) {
  std::string content;
  for (int i = 0; content.size() < (17u << 20); ++i) content += (i % 7 == 0) ? "\x82\xCC" : "\x82\x9F" "A\x95\x5C";
  std::string expected = content;
  const std::size_t count = ReplaceAllReference(&expected, "A\x95", "xyz", lead_);
  ASSERT_GT(count, 0u);
  EXPECT_EQ(Run(content, {{"A\x95", "xyz"}}), static_cast<std::int64_t>(count));
  EXPECT_TRUE(ReadBytes(target_) == expected);
}

TEST_F(Rewrite, ZeroByteIsRefusedUntouchedWithoutBackup) {
  const std::string content("ab\0cd", 5);
  for (const std::vector<ReplacePair>& pairs : {std::vector<ReplacePair>{{"a", "x"}}, std::vector<ReplacePair>{}}) {
    EXPECT_EQ(Run(content, pairs, true), kRewriteNotText);
    EXPECT_EQ(ReadBytes(target_), content);
    EXPECT_EQ(last_.backup, "");
    ExpectFolder("target.txt;");
  }
  // Also when the new content could not even have been stored.
  InjectFileFault(FileOp::kCreateTemp, 5);
  EXPECT_EQ(Run(content, {{"a", "x"}}, true), kRewriteNotText);
  InjectFileFault(FileOp::kWrite, 112);
  EXPECT_EQ(Run(content, {{"a", "x"}}, true), kRewriteNotText);
  EXPECT_EQ(ReadBytes(target_), content);
  ExpectFolder("target.txt;");
}

TEST_F(Rewrite, ZeroByteFarIntoALargeFile) {
  std::string content(2u << 20, 'a');
  content[content.size() - 3] = '\0';
  EXPECT_EQ(Run(content, {{"a", "b"}}, true), kRewriteNotText);
  EXPECT_TRUE(ReadBytes(target_) == content);
  ExpectFolder("target.txt;");
}

TEST_F(Rewrite, BackupHoldsTheOriginalAndReplacesAnOldOne) {
  EXPECT_EQ(Run("abc", {{"a", "x"}}, true), 1);
  EXPECT_EQ(last_.backup, bak_);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  // A rewrite without a backup leaves the backup alone.
  EXPECT_EQ(RewriteTarget({{"b", "y"}}, false), 1);
  EXPECT_EQ(last_.backup, "");
  EXPECT_EQ(ReadBytes(target_), "xyc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  // The next one with a backup replaces it.
  EXPECT_EQ(RewriteTarget({{"c", "z"}}, true), 1);
  EXPECT_EQ(ReadBytes(bak_), "xyc");
  EXPECT_EQ(ReadBytes(target_), "xyz");
  ExpectFolder("target.txt;target.txt.bak;");
}

TEST_F(Rewrite, BackupMadeEvenWhenNothingMatches) {
  const std::vector<ReplacePair> cases[] = {{{"zzz", "x"}}, {{"", "x"}}, {}};
  for (const auto& pairs : cases) {
    platform::DeleteFile(bak_);
    EXPECT_EQ(Run("abc", pairs, true), 0);
    EXPECT_EQ(last_.backup, bak_);
    EXPECT_EQ(ReadBytes(target_), "abc");
    EXPECT_EQ(ReadBytes(bak_), "abc");
  }
  // An empty file gets its empty backup.
  platform::DeleteFile(bak_);
  EXPECT_EQ(Run("", {{"a", "b"}}, true), 0);
  EXPECT_TRUE(platform::FileExists(bak_));
  EXPECT_EQ(ReadBytes(bak_), "");
}

// Whatever its characters, a file is rewritten under its own name, and its
// backup's name is that whole name plus ".bak".
TEST_F(Rewrite, BackupNameAppendsToTheWholeName) {
  std::vector<std::string> names = test::UnicodeFileNames();
  names.insert(names.begin(), "notes.v1.txt");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = dir_.Path(name);
    WriteBytes(path, "q q");
    EXPECT_EQ(Code(RewriteFile(path, {{"q", "r"}}, reading_)), 2);
    EXPECT_EQ(ReadBytes(path), "r r");
    EXPECT_EQ(Code(RewriteFile(path, {{"r", "s"}}, reading_, WithBackup())), 2);
    EXPECT_EQ(ReadBytes(path), "s s");
    EXPECT_EQ(ReadBytes(dir_.Path(name + ".bak")), "r r");
    ExpectFolder(name + ";" + name + ".bak;");
    // Gone again, by that name: the next one has the folder to itself.
    EXPECT_EQ(platform::DeleteFile(path), platform::kOk);
    EXPECT_EQ(platform::DeleteFile(path + ".bak"), platform::kOk);
  }
}

TEST_F(Rewrite, UnopenableFileIsLeftAsItWas) {
  EXPECT_EQ(Code(RewriteFile(dir_.Path("missing.txt"), {{"a", "b"}}, reading_, WithBackup())), kRewriteOpenFailed);
  ExpectFolder("");
  EXPECT_EQ(Code(RewriteFile(dir_.path().string(), {{"a", "b"}}, reading_, WithBackup())), kRewriteOpenFailed);

  // Held by another program: the exclusive open is refused.
  WriteBytes(target_, "abc");
  platform::SysError error = 0;
  platform::File holder = platform::File::OpenReadExclusive(target_, &error);
  ASSERT_TRUE(holder.IsOpen());
  EXPECT_EQ(RewriteTarget({{"a", "b"}}, true), kRewriteOpenFailed);
  holder.Close();
  EXPECT_EQ(ReadBytes(target_), "abc");
  EXPECT_EQ(last_.backup, "");
  ExpectFolder("target.txt;");
}

struct FaultRow {
  const char* what;
  FileOp op;
  int skip;
  bool backup;
  bool old_backup;  // a .bak from an earlier run is there
  std::int64_t result;
  const char* folder;  // what is left
  int times = 0;       // how many calls fail; 0: all after the skipped ones
};

// Every failure leaves the target's content, and an earlier backup, as they were.
TEST_F(Rewrite, FailuresKeepTheOldContentAndTheOldBackup) {
  const char* const both = "target.txt;target.txt.bak;";
  const FaultRow rows[] = {
      {"temp file cannot be created", FileOp::kCreateTemp, 0, true, false, kRewriteWriteFailed, "target.txt;"},
      {"write fails (disk full)", FileOp::kWrite, 0, true, false, kRewriteWriteFailed, "target.txt;"},
      {"write fails, old backup there", FileOp::kWrite, 0, true, true, kRewriteWriteFailed, both},
      {"flush fails", FileOp::kFlush, 0, false, false, kRewriteWriteFailed, "target.txt;"},
      {"close of the new file fails", FileOp::kClose, 1, true, false, kRewriteWriteFailed, "target.txt;"},
      {"replace fails", FileOp::kReplace, 0, false, false, kRewriteWriteFailed, "target.txt;"},
      {"read fails", FileOp::kRead, 0, true, false, kRewriteOpenFailed, "target.txt;"},
      {"the backup cannot take its name", FileOp::kReplace, 0, true, true, kRewriteBackupFailed, both, 1},
      {"new file cannot take the name", FileOp::kReplace, 1, true, false, kRewriteWriteFailed, "target.txt;", 1},
      {"new file cannot take the name: the old backup goes back", FileOp::kReplace, 1, true, true,
       kRewriteWriteFailed, both, 1},
      {"no second name for the old backup", FileOp::kLink, 1, true, true, kRewriteBackupFailed, both, 1},
      {"the second name cannot be made, then the rename fails", FileOp::kMove, 1, true, true, kRewriteBackupFailed,
       both, 1},
  };
  const std::string content(100000, 'a');
  for (const FaultRow& row : rows) {
    platform::DeleteFile(bak_);
    if (row.old_backup) WriteBytes(bak_, "old backup");
    if (row.op == FileOp::kMove) InjectFileFault(FileOp::kLink, 1);  // no second names here
    InjectFileFault(row.op, 112, row.skip, row.times);
    EXPECT_EQ(Run(content, {{"a", "b"}}, row.backup), row.result) << row.what;
    ClearFileFaults();
    EXPECT_TRUE(ReadBytes(target_) == content) << row.what;
    EXPECT_EQ(last_.backup, "") << row.what;
    EXPECT_EQ(last_.kept_at, "") << row.what;
    if (row.old_backup) {
      EXPECT_EQ(ReadBytes(bak_), "old backup") << row.what;
    }
    ExpectFolder(row.folder);
  }
}

// A backup asked for that cannot be made stops the file: a stale backup
// must not look like a valid one.
TEST_F(Rewrite, BackupThatCannotBeMadeLeavesTheFileAlone) {
  struct Row {
    const char* what;
    std::function<void()> arrange;
  };
  platform::File holder;
  const Row rows[] = {
      {"old backup read-only", [&] { WriteBytes(bak_, "old backup"); test::SetReadOnly(bak_, true); }},
      {"a folder by the backup's name", [&] { std::filesystem::create_directory(bak_); }},
      {"old backup held by another program",
       [&] {
         WriteBytes(bak_, "old backup");
         platform::SysError error = 0;
         holder = platform::File::OpenReadExclusive(bak_, &error);
         ASSERT_TRUE(holder.IsOpen());
       }},
  };
  for (const Row& row : rows) {
    row.arrange();
    const bool folder = std::filesystem::is_directory(bak_);
    EXPECT_EQ(Run("abc", {{"a", "x"}}, true), kRewriteBackupFailed) << row.what;
    holder.Close();
    EXPECT_EQ(ReadBytes(target_), "abc") << row.what;
    if (!folder) {
      EXPECT_EQ(ReadBytes(bak_), "old backup") << row.what;
    }
    ExpectFolder("target.txt;target.txt.bak;");
    std::error_code ec;
    std::filesystem::permissions(bak_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(bak_, ec);
  }
}

TEST_F(Rewrite, BackupByRenamesWhereNoSecondNameCanBeMade) {
  struct Row {
    const char* what;
    bool old_backup;
    int move_skip, move_times;  // the renames that fail
    std::int64_t result;
    const char* target_after;
    const char* backup_after;  // nullptr: none
    bool kept_in_backup;
  };
  const Row rows[] = {
      {"renamed", false, 0, 0, 1, "xbc", "abc", false},
      {"renamed over an old backup", true, 0, 0, 1, "xbc", "abc", false},
      {"the old file cannot become the backup", true, 1, 1, kRewriteBackupFailed, "abc", "old backup", false},
      {"the new file cannot take the name", false, 1, 1, kRewriteWriteFailed, "abc", nullptr, false},
      {"the new file cannot take the name, old backup there", true, 2, 1, kRewriteWriteFailed, "abc", "old backup",
       false},
      {"nor can the old file go back: the line names the backup", false, 1, 2, kRewriteWriteFailed, nullptr, "abc",
       true},
  };
  for (const Row& row : rows) {
    platform::DeleteFile(bak_);
    if (row.old_backup) WriteBytes(bak_, "old backup");
    InjectFileFault(FileOp::kLink, 1);
    if (row.move_times) InjectFileFault(FileOp::kMove, 112, row.move_skip, row.move_times);
    EXPECT_EQ(Run("abc", {{"a", "x"}}, true), row.result) << row.what;
    ClearFileFaults();
    EXPECT_EQ(platform::FileExists(target_), row.target_after != nullptr) << row.what;
    if (row.target_after) {
      EXPECT_EQ(ReadBytes(target_), row.target_after) << row.what;
    }
    EXPECT_EQ(platform::FileExists(bak_), row.backup_after != nullptr) << row.what;
    if (row.backup_after) {
      EXPECT_EQ(ReadBytes(bak_), row.backup_after) << row.what;
    }
    EXPECT_EQ(last_.backup, row.result >= 0 ? bak_ : "") << row.what;
    EXPECT_EQ(last_.kept_at, row.kept_in_backup ? bak_ : "") << row.what;
    EXPECT_EQ(TempLeftovers(), "") << row.what;
  }
}

// The new content cannot take the name, nor can the old backup go back: the
// backup then holds the file as it still is, and no other file is left.
TEST_F(Rewrite, OldBackupThatCannotGoBack) {
  WriteBytes(bak_, "old backup");
  InjectFileFault(FileOp::kReplace, 112, 1, 2);
  EXPECT_EQ(Run("abc", {{"a", "x"}}, true), kRewriteWriteFailed);
  ClearFileFaults();
  EXPECT_EQ(ReadBytes(target_), "abc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  ExpectFolder("target.txt;target.txt.bak;");
}

TEST_F(Rewrite, ReadOnlyTarget) {
  // Without a backup the read-only file cannot be replaced: refused, intact.
  WriteBytes(target_, "abc");
  test::SetReadOnly(target_, true);
  EXPECT_EQ(RewriteTarget({{"a", "x"}}, false), kRewriteWriteFailed);
  EXPECT_EQ(ReadBytes(target_), "abc");
  ExpectFolder("target.txt;");
  // With a backup the old file moves away and a new one takes its name.
  EXPECT_EQ(RewriteTarget({{"a", "x"}}, true), 1);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  platform::FileInfo info;
  ASSERT_EQ(platform::QueryFileInfo(target_, &info), platform::kOk);
  EXPECT_FALSE(info.read_only);
  ASSERT_EQ(platform::QueryFileInfo(bak_, &info), platform::kOk);
  EXPECT_TRUE(info.read_only);
}

TEST_F(Rewrite, DryRunCountsAndWritesNothing) {
  RewriteOptions options;
  options.dry_run = true;
  EXPECT_EQ(Run("a\x82\x9F" "a", {{"a", "bb"}}, true, options), 2);
  EXPECT_EQ(ReadBytes(target_), "a\x82\x9F" "a");
  EXPECT_EQ(last_.backup, bak_);  // the backup a real run would make
  ExpectFolder("target.txt;");
  EXPECT_EQ(Run(std::string("a\0", 2), {{"a", "b"}}, true, options), kRewriteNotText);
}

// A cancel between chunks, or once the new content is complete, leaves the
// file as it was, with no backup and no temporary file.
TEST_F(Rewrite, CancelLeavesTheFileAsItWas) {
  static std::atomic<bool> cancel;
  static std::atomic<int> reads;
  static int cancel_at;
  const std::string content(5000, 'a');
  for (const int at : {1, 3, 100}) {
    cancel = false;
    reads = 0;
    cancel_at = at;
    platform::SetFileOpHook([](FileOp op) {
      if (op == FileOp::kRead && ++reads == cancel_at) cancel = true;
      if (op == FileOp::kFlush && cancel_at == 100) cancel = true;  // the content is complete
    });
    RewriteOptions options;
    options.cancel = &cancel;
    options.buffer_bytes = 1000;
    EXPECT_EQ(Run(content, {{"a", "b"}}, true, options), kRewriteCancelled) << at;
    platform::SetFileOpHook(nullptr);
    EXPECT_TRUE(ReadBytes(target_) == content) << at;
    ExpectFolder("target.txt;");
  }
}

#ifndef _WIN32
// (Windows: the hidden attribute, in test_file_layer_win32.cpp.)
TEST_F(Rewrite, TheFileKeepsWhoMayReadAndChangeIt) {
  using std::filesystem::perms;
  struct Row {
    perms mode;
    bool backup;
    perms expected;  // with a backup the new file is writable by its owner
  };
  const perms rw_r = perms::owner_read | perms::owner_write | perms::group_read;
  const Row rows[] = {
      {perms::owner_read | perms::owner_write, false, perms::owner_read | perms::owner_write},
      {perms::owner_all | perms::group_read | perms::group_exec, false,
       perms::owner_all | perms::group_read | perms::group_exec},
      {rw_r, true, rw_r},
      {perms::owner_read | perms::group_read, true, rw_r},
  };
  for (const Row& row : rows) {
    platform::DeleteFile(bak_);
    WriteBytes(target_, "abc");
    std::filesystem::permissions(target_, row.mode);
    EXPECT_EQ(RewriteTarget({{"a", "x"}}, row.backup), 1);
    EXPECT_EQ(ReadBytes(target_), "xbc");
    EXPECT_EQ(std::filesystem::status(target_).permissions() & perms::all, row.expected);
  }
}

TEST_F(Rewrite, SymbolicLinkIsFollowedAndStaysALink) {
  const std::string real = dir_.Path("real.txt"), link = dir_.Path("link.txt");
  WriteBytes(real, "abc");
  std::filesystem::create_symlink("real.txt", link);
  for (const bool backup : {false, true}) {
    EXPECT_EQ(Code(RewriteFile(link, {{"b", "B"}}, reading_, WithBackup(backup))), backup ? 0 : 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "aBc");
  }
  EXPECT_EQ(ReadBytes(real + ".bak"), "aBc");  // beside the file itself
  ExpectFolder("link.txt;real.txt;real.txt.bak;");
}
#endif

TEST_F(Rewrite, CallersTextsAreUnchanged) {
  const std::vector<ReplacePair> pairs = {{"a\\n\\|b", "\\t"}};
  const std::vector<ReplacePair> copy = pairs;
  Run("a\r\nb", pairs);
  ASSERT_EQ(pairs.size(), copy.size());
  EXPECT_EQ(pairs[0].search, copy[0].search);
  EXPECT_EQ(pairs[0].replace, copy[0].replace);
  EXPECT_EQ(ReadBytes(target_), "\t\t");
}

}  // namespace
}  // namespace vx
