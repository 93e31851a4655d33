// The replace list file: how its bytes split into texts, how texts pair up for
// the main window and the editor, and the bytes the writer produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/unicode.h"
#include "replacelist/list_format.h"

namespace vx {
namespace {

using Texts = std::vector<std::string>;
using Rows = std::vector<ListPair>;
using namespace std::string_literals;  // "..."s keeps embedded zero bytes

// Reads `bytes` through ReadListTexts in chunks of `chunk` bytes, so every
// line-end and 0x1A rule is also seen split across two reads.
Texts ReadInChunks(const std::string& bytes, std::size_t chunk) {
  std::size_t pos = 0;
  Texts texts;
  const platform::SysError error = ReadListTexts(
      [&](char* buffer, std::size_t n, std::size_t* got) {
        *got = std::min({n, chunk, bytes.size() - pos});
        bytes.copy(buffer, *got, pos);
        pos += *got;
        return platform::kOk;
      },
      &texts);
  EXPECT_EQ(error, platform::kOk);
  return texts;
}

void ExpectSplitsInto(const std::string& bytes, const Texts& expected, const std::string& what) {
  EXPECT_EQ(SplitListTexts(bytes), expected) << what;
  // Without the UTF-8 mark a file is code page 932: held so, its texts are
  // the bytes as they are split.
  const ListTexts held = DecodeListFile(bytes, CodePage::kCp932);
  EXPECT_EQ(held.texts, expected) << what;
  EXPECT_TRUE(held.inexact.empty()) << what;
  for (std::size_t chunk : {1, 2, 3, 5, 4096}) {
    EXPECT_EQ(ReadInChunks(bytes, chunk), expected) << what << " (chunks of " << chunk << ")";
  }
}

struct SplitCase {
  const char* what;
  std::string bytes;
  Texts texts;
};

TEST(ReplaceListReader, LineEnds) {
  const SplitCase cases[] = {
      {"empty file", "", {}},
      {"CR LF line ends", "abc\r\nxyz\r\n", {"abc", "xyz"}},
      {"LF line ends", "abc\nxyz\n", {"abc", "xyz"}},
      {"last line without line end", "abc\nxyz", {"abc", "xyz"}},
      {"last line without line end after CR LF", "abc\r\nxyz", {"abc", "xyz"}},
      {"lone CR is a byte of the text", "abc\rxyz\r\n", {"abc\rxyz"}},
      {"CR-only line ends make one line", "a\rb\rc\r", {"a\rb\rc\r"}},
      {"CR CR LF keeps the first CR", "abc\r\r\nxyz\r\n", {"abc\r", "xyz"}},
      {"CR at the very end is kept", "abc\r", {"abc\r"}},
      {"LF CR: the CR begins the next line", "a\n\rb\n", {"a", "\rb"}},
      {"a single line end is one empty text", "\r\n", {""}},
      {"no empty text after the final line feed", "a\r\nb\r\n", {"a", "b"}},
  };
  for (const SplitCase& c : cases) ExpectSplitsInto(c.bytes, c.texts, c.what);
}

TEST(ReplaceListReader, EndOfFileByte) {
  const SplitCase cases[] = {
      {"0x1A ends the file mid-line", "abc\r\nxy\x1Az\r\nmore\r\n", {"abc", "xy"}},
      {"0x1A first", "\x1A" "abc\r\n", {}},
      {"0x1A after a line end", "a\r\n\x1A" "b\r\n", {"a"}},
      {"0x1A after a CR: the CR stays", "abc\r\x1A\n", {"abc\r"}},
      {"only the first 0x1A counts", "a\x1A\r\n\x1A" "b", {"a"}},
  };
  for (const SplitCase& c : cases) ExpectSplitsInto(c.bytes, c.texts, c.what);
}

TEST(ReplaceListReader, ZeroByte) {
  const SplitCase cases[] = {
      {"zero byte cuts the rest of its line", "ab\0cd\r\nef\r\n"s, {"ab", "ef"}},
      {"zero byte first: an empty text in its place", "\0x\r\ny\r\n"s, {"", "y"}},
      {"a lone CR after the zero byte is dropped too", "ab\0c\rd\ne\n"s, {"ab", "e"}},
      {"zero byte in the last line without line end", "a\nb\0c"s, {"a", "b"}},
      {"a last line of one zero byte is an empty text", "a\n\0"s, {"a", ""}},
      {"next line is whole again", "\0\0\n\0z\nxyz\n"s, {"", "", "xyz"}},
  };
  for (const SplitCase& c : cases) ExpectSplitsInto(c.bytes, c.texts, c.what);
}

TEST(ReplaceListReader, TextsKeptAsStored) {
  const SplitCase cases[] = {
      {"empty lines keep their place", "a\r\n\r\nc\r\nd\r\n", {"a", "", "c", "d"}},
      {"trailing empty line is a text", "a\r\nb\r\n\r\n", {"a", "b", ""}},
      {"only empty lines", "\n\r\n\n", {"", "", ""}},
      {"spaces and tabs stay", "  a \t\r\n\tb\t \r\n", {"  a \t", "\tb\t "}},
      // Full-width space 0x81 0x40 and kanji whose second byte is 0x5C.
      {"double-byte characters stay", "\x81\x40\x95\x5C\x81\x40\r\n\x83\x5C\r\n", {"\x81\x40\x95\x5C\x81\x40", "\x83\x5C"}},
      {"escape sequences stay undecoded", "a\\nb\r\n\\t\\\\\\|\r\n", {"a\\nb", "\\t\\\\\\|"}},
      {"high bytes and controls other than CR LF 0x1A NUL", "\x01\x7F\xFF\x1B\r\n", {"\x01\x7F\xFF\x1B"}},
  };
  for (const SplitCase& c : cases) ExpectSplitsInto(c.bytes, c.texts, c.what);
}

// A line of `length` bytes that never repeats a short period, so a line read
// in pieces and glued wrongly would not compare equal.
std::string LongLine(std::size_t length, char seed) {
  std::string line;
  for (std::size_t i = 0; i < length; ++i) line.push_back(static_cast<char>('!' + (seed + i * 7 + i / 91) % 90));
  return line;
}

TEST(ReplaceListReader, LongLinesAreReadWhole) {
  for (std::size_t length : {127, 128, 129, 256, 1000, 5000}) {
    const std::string first = LongLine(length, 0);
    const std::string second = LongLine(length, 5);
    const std::string tag = std::to_string(length) + " bytes";
    ExpectSplitsInto(first + "\r\n", {first}, tag + ", line end");
    ExpectSplitsInto(first, {first}, tag + ", no line end");
    ExpectSplitsInto(first + "\r\n" + second + "\r\n", {first, second}, tag + ", two lines, line end");
    ExpectSplitsInto(first + "\n" + second, {first, second}, tag + ", two lines, no line end");
  }
}

TEST(ReplaceListReader, ReadErrorKeepsCompletedTexts) {
  // Two good chunks, then the system reports an error: the texts completed
  // so far stay; the unfinished line is not a text.
  const std::vector<std::string> chunks = {"a\r\nb\r", "\nc\r\npart"};
  std::size_t next = 0;
  Texts texts;
  const platform::SysError error = ReadListTexts(
      [&](char* buffer, std::size_t n, std::size_t* got) -> platform::SysError {
        if (next == chunks.size()) return 23;
        *got = std::min(n, chunks[next].size());
        chunks[next++].copy(buffer, *got);
        return platform::kOk;
      },
      &texts);
  EXPECT_EQ(error, 23u);
  EXPECT_EQ(texts, (Texts{"a", "b", "c"}));
}

TEST(ReplaceListReader, StopsReadingAtEndOfFileByte) {
  // Nothing after 0x1A is read, so a failing read there does not matter.
  int calls = 0;
  Texts texts;
  const platform::SysError error = ReadListTexts(
      [&](char* buffer, std::size_t, std::size_t* got) -> platform::SysError {
        if (calls++ > 0) return 23;
        *got = 4;
        std::string("a\n\x1A" "b").copy(buffer, 4);
        return platform::kOk;
      },
      &texts);
  EXPECT_EQ(error, platform::kOk);
  EXPECT_EQ(texts, (Texts{"a"}));
  EXPECT_EQ(calls, 1);
}

struct PairCase {
  const char* what;
  Texts texts;
  Texts search_list;   // main window
  Texts replace_list;  // main window
  Rows rows;           // editor
};

TEST(ReplaceListPairing, BothReaders) {
  const PairCase cases[] = {
      {"no texts", {}, {}, {}, {}},
      {"one pair", {"abc", "xyz"}, {"abc"}, {"xyz"}, {{"abc", "xyz"}}},
      {"one text", {"abc"}, {"abc"}, {}, {{"abc", ""}}},
      {"three texts", {"a", "b", "c"}, {"a", "c"}, {"b"}, {{"a", "b"}, {"c", ""}}},
      {"three texts, the last empty", {"a", "b", ""}, {"a", ""}, {"b"}, {{"a", "b"}, {"", ""}}},
      {"empty replacement in the middle", {"a", "", "c", "d"}, {"a", "c"}, {"", "d"}, {{"a", ""}, {"c", "d"}}},
      {"five texts", {"1", "2", "3", "4", "5"}, {"1", "3", "5"}, {"2", "4"}, {{"1", "2"}, {"3", "4"}, {"5", ""}}},
  };
  for (const PairCase& c : cases) {
    const ListColumns columns = PairTextsForComboBoxes(c.texts);
    EXPECT_EQ(columns.search, c.search_list) << c.what;
    EXPECT_EQ(columns.replace, c.replace_list) << c.what;
    EXPECT_EQ(PairTextsForEditor(c.texts), c.rows) << c.what;
  }
}

TEST(ReplaceListPairing, EditorRowFromOddTextSavesFourLines) {
  const Rows rows = PairTextsForEditor(SplitListTexts("a\r\nb\r\nc\r\n"));
  EXPECT_EQ(SerializeReplaceList(rows), "a\r\nb\r\nc\r\n\r\n");
}

TEST(ReplaceListWriter, Bytes) {
  const struct {
    const char* what;
    Rows rows;
    std::string bytes;
  } cases[] = {
      {"empty list is 0 bytes", {}, ""},
      {"two pairs, escapes undecoded",
       {{"abc", "x\\ny"}, {"z", ""}},
       "\x61\x62\x63\x0D\x0A\x78\x5C\x6E\x79\x0D\x0A\x7A\x0D\x0A\x0D\x0A"},
      {"empty search and replacement", {{"", ""}}, "\r\n\r\n"},
      {"spaces kept", {{" a ", "\x81\x40"}}, " a \r\n\x81\x40\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(SerializeReplaceList(c.rows), c.bytes) << c.what;
  EXPECT_EQ(SerializeReplaceList(cases[1].rows).size(), 16u);
}

// The texts the editor refuses to save are exactly those a save and a load
// would not give back.
TEST(ReplaceListWriter, UnstorableBytes) {
  const std::size_t npos = std::string::npos;
  const struct {
    std::string text;
    std::size_t at;
  } cases[] = {
      {"", npos},
      {"plain \\n escape", npos},
      {"cr\rkept", npos},
      {"\x95\x5C\x83\x5C", npos},
      {"line\nfeed", 4},
      {"crlf\r\n", 5},
      {"eof\x1A", 3},
      {std::string("zero\0byte", 9), 4},
      {"\n\x1A", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindUnstorableByte(c.text), c.at) << c.text;
    const Rows rows = {{c.text, "r"}, {"next", "pair"}};
    const bool survives = PairTextsForEditor(SplitListTexts(SerializeReplaceList(rows))) == rows;
    EXPECT_EQ(survives, c.at == npos) << c.text;
  }
}

TEST(ReplaceListWriter, RoundTrip) {
  const Rows lists[] = {
      {},
      {{"abc", "xyz"}},
      {{" lead", "trail "}, {"\x81\x40" "full-width\x81\x40", "\x8C\x9F\x8D\xF5"}, {"\ttab\t", "a\tb"}},
      {{"a\\nb", "c\\td"}, {"x\\|y\\|z", "\\\\"}, {"\\", "\\n"}},
      {{"", ""}, {"", "only replacement"}, {"only search", ""}},
      {{"\x95\x5C", "\x83\x5C\\"}, {"cr\rinside", "end cr\r"}},
      {{LongLine(1000, 1), LongLine(129, 2)}, {LongLine(128, 3), LongLine(127, 4)}},
  };
  for (const Rows& rows : lists) {
    const std::string bytes = SerializeReplaceList(rows);
    EXPECT_EQ(PairTextsForEditor(SplitListTexts(bytes)), rows) << bytes;
    const ListColumns columns = PairTextsForComboBoxes(SplitListTexts(bytes));
    ASSERT_EQ(columns.search.size(), rows.size());
    ASSERT_EQ(columns.replace.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(columns.search[i], rows[i].search);
      EXPECT_EQ(columns.replace[i], rows[i].replace);
    }
  }
}

// ------------------------------------------------------------ code pages

const std::string kMark = "\xEF\xBB\xBF";
std::string U8(std::u8string_view text) { return FromU8(text); }
using Indexes = std::vector<std::size_t>;

// Reads `bytes` through ReadListFile in chunks of `chunk` bytes, so the mark
// is also seen cut across reads.
ListTexts DecodeInChunks(const std::string& bytes, std::size_t chunk, CodePage held) {
  std::size_t pos = 0;
  ListTexts out;
  const platform::SysError error = ReadListFile(
      [&](char* buffer, std::size_t n, std::size_t* got) {
        *got = std::min({n, chunk, bytes.size() - pos});
        bytes.copy(buffer, *got, pos);
        pos += *got;
        return platform::kOk;
      },
      held, &out);
  EXPECT_EQ(error, platform::kOk);
  return out;
}

TEST(ReplaceListCodePages, Reading) {
  const CodePage cp932 = CodePage::kCp932, utf8 = CodePage::kUtf8;
  const struct {
    const char* what;
    std::string bytes;
    CodePage held;
    Texts texts;
    Indexes inexact;
    CodePage file;
  } cases[] = {
      {"code page 932 held as it is", "\x95\x5C\r\n\x83\x5C\r\n", cp932, {"\x95\x5C", "\x83\x5C"}, {}, cp932},
      {"code page 932 held as UTF-8", "\x95\x5C\r\n\x83\x5C\r\n", utf8, {U8(u8"表"), U8(u8"ソ")}, {}, cp932},
      {"UTF-8 after the mark", kMark + U8(u8"😀\r\n한\r\n"), utf8, {U8(u8"😀"), U8(u8"한")}, {}, utf8},
      {"the mark alone is an empty list", kMark, utf8, {}, {}, utf8},
      {"only the first mark is taken off", kMark + kMark + "a\r\n", utf8, {U8(u8"\uFEFFa")}, {}, utf8},
      {"UTF-8 without the mark reads as code page 932", "\xC3\xA9\r\n", utf8, {U8(u8"ﾃｩ")}, {}, cp932},
      {"a mark cut short is text", "\xEF\xBB" "a\r\n", cp932, {"\xEF\xBB" "a"}, {}, cp932},
      {"a file shorter than the mark", "\xEF", cp932, {"\xEF"}, {}, cp932},
      {"0x1A still ends the file", kMark + "a\r\n\x1A" "b\r\n", utf8, {"a"}, {}, utf8},
      {"a stray lead byte at a text's end", "ab\x81\r\nok\r\n", utf8, {U8(u8"ab\uFFFD"), "ok"}, {0}, cp932},
      {"a lead byte before a byte that is no trail", "x\r\n\x81" "1\x95\x5C\r\n", utf8, {"x", U8(u8"\uFFFD1表")}, {1}, cp932},
      {"a broken UTF-8 sequence", kMark + "a\r\nb\xE3\x81\r\n", utf8, {"a", U8(u8"b\uFFFD\uFFFD")}, {1}, utf8},
      {"UTF-8 held as code page 932", kMark + U8(u8"表\r\n😀a\r\n"), cp932, {"\x95\x5C", "?a"}, {1}, utf8},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {1, 2, 3, 5, 4096}) {
      SCOPED_TRACE(std::string(c.what) + ", chunks of " + std::to_string(chunk));
      const ListTexts read = chunk == 4096 ? DecodeListFile(c.bytes, c.held) : DecodeInChunks(c.bytes, chunk, c.held);
      EXPECT_EQ(read.texts, c.texts);
      EXPECT_EQ(read.inexact, c.inexact);
      EXPECT_EQ(read.file, c.file);
    }
  }
}

TEST(ReplaceListCodePages, Writing) {
  const CodePage cp932 = CodePage::kCp932, utf8 = CodePage::kUtf8;
  const struct {
    const char* what;
    Rows rows;
    CodePage held;
    std::string bytes;
  } cases[] = {
      {"texts that fit code page 932 are written in it", {{U8(u8"表示"), U8(u8"ソ\\n")}}, utf8,
       "\x95\x5C\x8E\xA6\r\n\x83\x5C\\n\r\n"},
      {"an empty list is 0 bytes", {}, utf8, ""},
      {"one text outside it makes the file UTF-8", {{"a", "b"}, {U8(u8"表"), U8(u8"😀")}}, utf8,
       kMark + U8(u8"a\r\nb\r\n表\r\n😀\r\n")},
      {"an accented letter", {{U8(u8"café"), ""}}, utf8, kMark + U8(u8"café\r\n\r\n")},
      {"a character code page 932 holds twice, in Windows' form", {{U8(u8"∵"), U8(u8"￢")}}, utf8,
       "\x81\xE6\r\n\x81\xCA\r\n"},
      {"code page 932 held is written as it is", {{"\x81" "1", "\xFA\x5B"}}, cp932, "\x81" "1\r\n\xFA\x5B\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeReplaceList(c.rows, c.held), c.bytes) << c.what;
}

TEST(ReplaceListCodePages, RoundTripInBothEncodings) {
  const Rows lists[] = {
      {{U8(u8" 表\\n "), U8(u8"\t全角　")}, {"\\|", "\\\\"}},  // fits code page 932
      {{U8(u8"😀"), U8(u8"한")}, {U8(u8"café"), U8(u8"cafe")}, {U8(u8"𠮷野家"), U8(u8"中文简体")}},
      {{U8(u8"e\u0301"), U8(u8"trailing. ")}, {"", U8(u8"only 😀 replacement")}, {LongLine(1000, 1), U8(u8"한")}},
  };
  for (const Rows& rows : lists) {
    const std::string bytes = EncodeReplaceList(rows, CodePage::kUtf8);
    const ListTexts read = DecodeListFile(bytes, CodePage::kUtf8);
    EXPECT_EQ(PairTextsForEditor(read.texts), rows) << bytes;
    EXPECT_TRUE(read.inexact.empty()) << bytes;
    // Saved again, the same bytes.
    EXPECT_EQ(EncodeReplaceList(PairTextsForEditor(read.texts), CodePage::kUtf8), bytes);
  }
}

// A list of code page 932 saved by earlier versions loads as the same texts
// and, saved again, is the same file.
TEST(ReplaceListCodePages, AnOldListSavedAgainIsTheSameFile) {
  const std::string old = " \x95\x5C\\n \r\n\t\x91\x53\x8A\x70\x81\x40\r\n\\|\r\n\x83\x5C\r\n";
  const ListTexts read = DecodeListFile(old, CodePage::kUtf8);
  EXPECT_EQ(read.texts, (Texts{U8(u8" 表\\n "), U8(u8"\t全角　"), "\\|", U8(u8"ソ")}));
  EXPECT_EQ(EncodeReplaceList(PairTextsForEditor(read.texts), CodePage::kUtf8), old);
}

}  // namespace
}  // namespace vx
