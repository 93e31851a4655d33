// Finding a file's encoding and its line ends, the strict UTF-8 check in
// each of its kernels, the exact conversions and those for showing, and the forms of a path the
// Win32 file functions take.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/encoding.h"
#include "platform/unicode.h"
#include "reference.h"

namespace vx {
namespace {

struct DetectRow {
  const char* what;
  std::string bytes;
  Encoding encoding;
  bool not_text;
  bool lf_only = false;
};

using E = Encoding;

// あ: UTF-8 E3 81 82, code page 932 82 A0; 𠀋 (above U+FFFF): F0 A0 80 8B.
const DetectRow kDetectRows[] = {
    {"empty", "", E::kCodePage, false},
    {"ASCII", "abc\r\n", E::kCodePage, false},
    {"Shift-JIS", "\x82\xA0\x82\xA2\r\n", E::kCodePage, false},
    {"UTF-8", "a\xE3\x81\x82\r\n", E::kUtf8, false},
    {"UTF-8, four-byte character", "\xF0\xA0\x80\x8B", E::kUtf8, false},
    {"UTF-8 with BOM", "\xEF\xBB\xBF" "abc", E::kUtf8Bom, false},
    {"UTF-8 with BOM and an invalid byte", "\xEF\xBB\xBF" "a\xFF", E::kUtf8Bom, false},
    {"UTF-16LE", std::string("\xFF\xFE" "a\0\x42\x30", 6), E::kUtf16Le, false},
    {"UTF-16BE", std::string("\xFE\xFF\0a\x30\x42", 6), E::kUtf16Be, false},
    {"UTF-16LE, only the mark", "\xFF\xFE", E::kUtf16Le, false},
    {"UTF-16LE, a lone surrogate is text", std::string("\xFF\xFE\x00\xD8" "a\0", 6), E::kUtf16Le, false},
    {"UTF-16LE of an odd length", std::string("\xFF\xFE" "a\0b", 5), E::kUtf16Le, true},
    {"UTF-16LE holding U+0000", std::string("\xFF\xFE" "a\0\0\0", 6), E::kUtf16Le, true},
    {"UTF-16LE: zero bytes of ASCII are no U+0000", std::string("\xFF\xFE" "a\0\0\x30", 6), E::kUtf16Le, false},
    {"UTF-32LE", std::string("\xFF\xFE\0\0" "a\0\0\0", 8), E::kCodePage, true},
    {"UTF-16 without a mark", std::string("a\0b\0", 4), E::kCodePage, true},
    {"zero byte in UTF-8", std::string("\xE3\x81\x82\0", 4), E::kUtf8, true},
    {"Shift-JIS that starts like UTF-8", "\xE3\x81\x82\x82\xA0", E::kCodePage, false},
    {"UTF-8 cut short at the end", "\xE3\x81\x82\xE3\x81", E::kCodePage, false},
    {"overlong form", "\xC0\xAF", E::kCodePage, false},
    {"overlong three-byte form", "\xE0\x80\xAF", E::kCodePage, false},
    {"encoded surrogate (lone surrogate)", "a\xED\xA0\x80", E::kCodePage, false},
    {"above U+10FFFF", "\xF4\x90\x80\x80", E::kCodePage, false},
    {"F5 and up", "\xF5\x80\x80\x80", E::kCodePage, false},
    {"half-width katakana ﾃｱ is also valid UTF-8 (n with a tilde)", "\xC3\xB1", E::kUtf8, false},
    {"half-width katakana ｱｲ is not", "\xB1\xB2", E::kCodePage, false},
    {"LF only", "a\nb\n", E::kCodePage, false, true},
    {"CR LF and LF", "a\nb\r\n", E::kCodePage, false, false},
    {"no line end", "ab", E::kCodePage, false, false},
    {"CR alone", "a\rb", E::kCodePage, false, false},
    {"UTF-16LE, LF only", std::string("\xFF\xFE" "a\0\n\0", 6), E::kUtf16Le, false, true},
    {"UTF-16LE, CR LF", std::string("\xFF\xFE\r\0\n\0", 6), E::kUtf16Le, false, false},
    {"UTF-16BE, LF only", std::string("\xFE\xFF\0\n", 4), E::kUtf16Be, false, true},
    {"UTF-16LE, 0A as a high byte is no LF", std::string("\xFF\xFE\x01\x0A", 4), E::kUtf16Le, false, false},
};

// Every row whole, and in pieces of every size: the answers do not depend on
// where the pieces end (the first piece holds the first four bytes).
TEST(EncodingDetector, Table) {
  for (const DetectRow& row : kDetectRows) {
    for (std::size_t piece = 0; piece <= row.bytes.size(); ++piece) {
      EncodingDetector detector(true);
      const std::size_t head = piece ? std::max<std::size_t>(piece, 4) : row.bytes.size();
      detector.Take(row.bytes.data(), std::min(head, row.bytes.size()));
      for (std::size_t at = head; at < row.bytes.size() && !detector.not_text(); at += piece)
        detector.Take(row.bytes.data() + at, std::min(piece, row.bytes.size() - at));
      detector.Finish();
      EXPECT_EQ(detector.not_text(), row.not_text) << row.what << ", pieces of " << piece;
      if (row.not_text) continue;
      EXPECT_EQ(detector.encoding(), row.encoding) << row.what << ", pieces of " << piece;
      EXPECT_EQ(detector.lf_only(), row.lf_only) << row.what << ", pieces of " << piece;
    }
  }
}

TEST(EncodingDetector, ForcedCodePageFindsOnlyZeroBytesAndLineEnds) {
  EncodingDetector detector(false);
  detector.Take("\xEF\xBB\xBF\xE3\x81\x82\n", 7);
  detector.Finish();
  EXPECT_EQ(detector.encoding(), Encoding::kCodePage);
  EXPECT_TRUE(detector.lf_only());
  EncodingDetector utf16(false);
  utf16.Take("\xFF\xFE" "a\0", 4);
  EXPECT_TRUE(utf16.not_text());
}

// Every kernel against the definition, on text built from valid sequences
// of every length with now and then a byte changed, in pieces of random
// sizes (so sequences straddle the pieces and the vector blocks).
TEST(Utf8Check, EveryKernelAgreesWithTheDefinition) {
  using Kernel = EncodingDetector::Utf8Check::Kernel;
  std::mt19937 rng(65001);
  static const char* const kPieces[] = {"a", "\r\n", "\xC3\xA9", "\xE3\x81\x82", "\xE6\x97\xA5", "\xF0\x9F\x98\x80",
                                        "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF"};
  static const unsigned char kBad[] = {0x80, 0xBF, 0xC0, 0xC1, 0xE0, 0xED, 0xA0, 0xF0, 0xF4, 0x90, 0xF5, 0xFF};
  for (const Kernel kernel : {Kernel::kPlain, Kernel::kSsse3, Kernel::kAvx2}) {
    if (!EncodingDetector::Utf8Check::Available(kernel)) continue;
    for (int round = 0; round < 3000; ++round) {
      std::string text;
      const std::size_t n = rng() % (round % 10 == 0 ? 400 : 60);
      while (text.size() < n) text += kPieces[rng() % std::size(kPieces)];
      if (!text.empty() && rng() % 2) text[rng() % text.size()] = static_cast<char>(kBad[rng() % std::size(kBad)]);
      if (!text.empty() && rng() % 4 == 0) text.pop_back();
      EncodingDetector::Utf8Check check(kernel);
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t piece = std::min<std::size_t>(text.size() - at, 1 + rng() % 70);
        check.Take(text.data() + at, piece);
        at += piece;
      }
      ASSERT_EQ(check.Finish(), reference::IsStrictUtf8(text))
          << "kernel " << static_cast<int>(kernel) << ": " << ::testing::PrintToString(text);
    }
  }
}

struct ConvertRow {
  const char* what;
  std::string text;
  CodePage from, to;
  bool ok;
  std::string out;
};

TEST(ConvertText, ExactOrNotAtAll) {
  using C = CodePage;
  const ConvertRow rows[] = {
      {"932 to UTF-8", "\x82\xA0" "a\\", C::kCp932, C::kUtf8, true, "\xE3\x81\x82" "a\\"},
      {"the ANSI code page to UTF-16LE", "\x82\xA0", C::kAnsi, C::kUtf16Le, true, "\x42\x30"},
      {"UTF-8 to UTF-16BE, a surrogate pair", "\xF0\x9F\x98\x80", C::kUtf8, C::kUtf16Be, true, std::string("\xD8\x3D\xDE\x00", 4)},
      {"UTF-8 to 932", "\xE8\xA1\xA8", C::kUtf8, C::kCp932, true, "\x95\x5C"},
      {"no form in 932: an emoji", "\xF0\x9F\x98\x80", C::kUtf8, C::kCp932, false, ""},
      {"no best fit: e with an acute accent", "\xC3\xA9", C::kUtf8, C::kCp932, false, ""},
      {"no best fit: ¥", "\xC2\xA5", C::kUtf8, C::kCp932, false, ""},
      {"a lone lead byte is no 932 text", "a\x82", C::kCp932, C::kUtf8, false, ""},
      {"a character 932 has twice (NEC and IBM rows)", "\xED\x40", C::kCp932, C::kUtf8, true, "\xE7\xBA\x8A"},
      {"the same code page is left as it is", "a\x82", C::kCp932, C::kCp932, true, "a\x82"},
      {"none is left as it is", "\xFF", C::kNone, C::kUtf8, true, "\xFF"},
      {"empty", "", C::kUtf8, C::kUtf16Le, true, ""},
  };
  for (const ConvertRow& row : rows) {
    std::string out;
    EXPECT_EQ(ConvertText(row.text, row.from, row.to, &out), row.ok) << row.what;
    if (row.ok) {
      EXPECT_EQ(out, row.out) << row.what;
    }
  }
}

TEST(ConvertForShowing, WhatHasNoFormIsAQuestionMarkNeverALookAlike) {
  using C = CodePage;
  const struct {
    const char* what;
    std::string text;
    CodePage from, to;
    std::string shown;
  } rows[] = {
      {"exact where it can be", "\xE8\xA1\xA8" "a", C::kUtf8, C::kCp932, "\x95\x5C" "a"},
      {"e with an acute accent", "caf\xC3\xA9", C::kUtf8, C::kCp932, "caf?"},
      {"an emoji is one character", "\xF0\x9F\x98\x80.txt", C::kUtf8, C::kCp932, "?.txt"},
      {"932 to UTF-8", "\x82\xA0", C::kCp932, C::kUtf8, "\xE3\x81\x82"},
      {"UTF-8 to UTF-16LE", "a\xE3\x81\x82", C::kUtf8, C::kUtf16Le, std::string("a\0\x42\x30", 4)},
      {"empty", "", C::kCp932, C::kUtf8, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(ConvertForShowing(row.text, row.from, row.to), row.shown) << row.what;
}

TEST(TextWalk, StepsByCharacters) {
  const TextWalk utf16 = TextWalk::Utf16(false);
  const std::string pair("\x3D\xD8\x00\xDE" "a\0", 6);  // a surrogate pair, then a
  EXPECT_EQ(utf16.CharLength(pair, 0), 4u);
  EXPECT_EQ(utf16.CharLength(pair, 4), 2u);
  EXPECT_EQ(utf16.CharLength(std::string("\x3D\xD8" "a\0", 4), 0), 2u);  // a lone high surrogate
}

TEST(Unicode, Utf8AndUtf16BothWays) {
  struct Row {
    const char* what;
    std::string utf8;
    std::u16string utf16;
    bool exact;  // false: the UTF-8 side is no strict UTF-8 (read as U+FFFD)
  } rows[] = {
      {"ASCII", "a.txt", u"a.txt", true},
      {"e acute", FromU8(u8"café"), u"café", true},
      {"Korean and Chinese", FromU8(u8"한中文简体"), u"한中文简体", true},
      {"beyond the BMP", FromU8(u8"😀𠮷"), u"😀𠮷", true},
      {"combining mark", FromU8(u8"e\u0301"), u"e\u0301", true},
      {"overlong slash", "\xC0\xAF", u"\xFFFD\xFFFD", false},
      {"a surrogate in UTF-8", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", false},
      {"cut short", "a\xE3\x81", u"a\xFFFD\xFFFD", false},
      {"code page 932 bytes", "\x95\x5C", u"\xFFFD\\", false},
  };
  for (const Row& row : rows) {
    std::u16string wide;
    EXPECT_EQ(AppendUtf16(row.utf8, &wide, true), row.exact) << row.what;
    EXPECT_EQ(IsUtf8(row.utf8), row.exact) << row.what;
    wide.clear();
    EXPECT_TRUE(AppendUtf16(row.utf8, &wide, false));
    EXPECT_EQ(wide, row.utf16) << row.what;
    std::string back;
    EXPECT_TRUE(AppendUtf8(std::u16string_view(row.utf16), &back, true)) << row.what;
    if (row.exact) {
      EXPECT_EQ(back, row.utf8) << row.what;
    }
  }
  // An unpaired surrogate has no UTF-8 form: refused, or shown as U+FFFD.
  for (const std::u16string& lone : {std::u16string(u"a\xD83D"), std::u16string(u"\xDE00" u"b"),
                                     std::u16string(u"\xD83D" u"a")}) {
    std::string out;
    EXPECT_FALSE(AppendUtf8(std::u16string_view(lone), &out, true));
    out.clear();
    EXPECT_TRUE(AppendUtf8(std::u16string_view(lone), &out, false));
    EXPECT_NE(out.find("\xEF\xBF\xBD"), std::string::npos);
  }
}

TEST(Unicode, ExtendedPathsForTheWin32FileFunctions) {
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\" + FromU8(u8"𠮷.txt");
  struct Row {
    std::string path, extended;
  } rows[] = {
      {"C:\\a\\b.txt", "\\\\?\\C:\\a\\b.txt"},
      {"c:/a/b.txt", "\\\\?\\c:\\a\\b.txt"},
      {"C:\\", "\\\\?\\C:\\"},
      {"C:\\a\\.\\b\\..\\c", "\\\\?\\C:\\a\\c"},                // the prefix turns off the system's clean-up
      {"C:\\..\\a", "\\\\?\\C:\\a"},                           // never above the root
      {"C:\\a\\\\b\\", "\\\\?\\C:\\a\\b\\"},
      {"C:\\a\\name. ", "\\\\?\\C:\\a\\name. "},                 // trailing dot and space are kept
      {"C:\\a\\*.*", "\\\\?\\C:\\a\\*.*"},
      {"\\\\server\\share\\a\\..\\b.txt", "\\\\?\\UNC\\server\\share\\b.txt"},
      {"\\\\server\\share", "\\\\?\\UNC\\server\\share"},
      {"\\\\server\\share\\..\\..\\x", "\\\\?\\UNC\\server\\share\\x"},  // never above the share
      {"//server/share/x", "\\\\?\\UNC\\server\\share\\x"},
      {"\\\\server", "\\\\server"},                                 // no share: left to the system
      {"\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\a\\..\\b"},               // prefixed already: as it is
      {"\\\\.\\COM1", "\\\\.\\COM1"},
      {"a.txt", "a.txt"},                                           // relative: the working directory's
      {"\\a.txt", "\\a.txt"},
      {"C:a.txt", "C:a.txt"},
      {"", ""},
      {deep, "\\\\?\\" + deep},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ExtendedPath(row.path), row.extended) << row.path;
    if (row.extended.rfind("\\\\?\\", 0) == 0 && row.path.rfind("\\\\?\\", 0) != 0) {
      const std::string plain = PlainPath(row.extended);
      EXPECT_EQ(ExtendedPath(plain), row.extended) << row.path;  // the shown form leads back to the same file
      EXPECT_EQ(plain.find('?'), std::string::npos) << row.path;
    }
  }
  EXPECT_EQ(PlainPath("\\\\?\\UNC\\srv\\sh\\a"), "\\\\srv\\sh\\a");
  EXPECT_EQ(PlainPath("C:\\a"), "C:\\a");
}

}  // namespace
}  // namespace vx
