// Hostile list files: random bytes, the end-of-file byte in the middle,
// CR-only line ends, a 100 MiB line, zero bytes in lines; a list held by
// another handle or read-only. Reading never fails on content, keeps to the
// reader's rules, and a save of what was read reads back the same.
#include <gtest/gtest.h>

#if __has_include("replacelist/list_file.h")

#include <random>

#include "reliability.h"
#include "platform/unicode.h"
#include "replacelist/list_file.h"

namespace vx::reliability {
namespace {

std::vector<ListPair> Rows(const std::string& path, CodePage held = CodePage::kCp932) {
  std::vector<ListPair> rows;
  EXPECT_FALSE(LoadReplaceListRows(&rows, path, held)) << "no read error";
  return rows;
}

TEST(ListFile, HostileContentReadsByTheRules) {
  const std::string huge(Scaled(100u << 20), 'x');
  Scenario s("bad input: list.dat with the end-of-file byte inside, CR-only line ends, zero bytes, UTF-8 after "
             "its mark, a stray lead byte, a " +
             MiB(huge.size()) + " line");
  struct Row {
    const char* what;
    std::string bytes;
    std::vector<ListPair> rows;
    CodePage held = CodePage::kCp932;
  };
  const std::string mark = "\xEF\xBB\xBF", smile = FromU8(u8"😀"), lost = FromU8(u8"a\uFFFD");
  const Row rows[] = {
      {"0x1A in the middle", "abc\r\nxy\x1Az\r\nmore\r\n", {{"abc", "xy"}}},
      {"0x1A first", "\x1A" "abc\r\nxyz\r\n", {}},
      {"CR-only line ends", "abc\rxyz\rmore\r", {{"abc\rxyz\rmore\r", ""}}},
      {"CR CR LF", "abc\r\r\nxyz\r\n", {{"abc\r", "xyz"}}},
      {"zero byte in a line", std::string("ab\0cd\r\nxy\r\n", 11), {{"ab", "xy"}}},
      {"zero byte first in a line", std::string("\0abc\r\nxy", 8), {{"", "xy"}}},
      {"LF only, no final line end", "abc\nxyz", {{"abc", "xyz"}}},
      {"a huge line", huge + "\r\ny\r\n", {{huge, "y"}}},
      {"a huge line without a line end", "a\r\n" + huge, {{"a", huge}}},
      // Held as UTF-8, as the window holds its texts.
      {"UTF-8 with the mark and a huge line", mark + huge + "\r\n" + smile + "\r\n", {{huge, smile}}, CodePage::kUtf8},
      {"the mark, then 0x1A", mark + "\x1A" "abc\r\n", {}, CodePage::kUtf8},
      {"a stray lead byte", "a\x81\r\nb\r\n", {{lost, "b"}}, CodePage::kUtf8},
      {"a huge line of code page 932", huge + "\x95\x5C\r\n", {{huge + FromU8(u8"表"), ""}}, CodePage::kUtf8},
  };
  TempDir dir;
  const std::string list = dir.Path(kReplaceListFile);
  for (const Row& row : rows) {
    WriteBytes(list, row.bytes);
    s.BadInput();
    EXPECT_EQ(Rows(list, row.held), row.rows) << row.what;
    ListColumns columns;
    EXPECT_FALSE(LoadReplaceListColumns(&columns, list, row.held)) << row.what;
    ASSERT_FALSE(SaveReplaceListRows(row.rows, list, row.held)) << row.what;
    EXPECT_EQ(Rows(list, row.held), row.rows) << row.what << ": saved and read back";
  }
  s.Did(std::to_string(std::size(rows)) + " list files read, each saved again and read back");
  s.Checked("the pairs the reader rules give, no read error, the same pairs after a save");
}

TEST(ListFile, RandomBytesNeverFailAndRoundTrip) {
  Scenario s("bad input: list.dat made of random bytes (200 files, up to 64 KiB)");
  TempDir dir;
  const std::string list = dir.Path(kReplaceListFile);
  std::mt19937 rng(20261207);
  for (int i = 0; i < 200; ++i) {
    std::string bytes(rng() % (64u << 10), '\0');
    // Some files rich in the bytes the reader treats specially.
    const bool special = i % 2 == 0;
    for (char& c : bytes) c = static_cast<char>(special ? "\r\n\x1A\0a\x82\\"[rng() % 7] : rng());
    WriteBytes(list, bytes);
    s.BadInput();
    const std::vector<ListPair> rows = Rows(list);
    EXPECT_EQ(rows, PairTextsForEditor(SplitListTexts(bytes)));
    ASSERT_FALSE(SaveReplaceListRows(rows, list));
    EXPECT_EQ(ReadBytes(list), SerializeReplaceList(rows));
    EXPECT_EQ(Rows(list), rows);
  }
  s.Did("read 200 random list files, saved what was read, read it again");
  s.Checked("no read error, pairs as the in-memory split gives them, the saved file reads back to the same pairs");
}

TEST(ListFile, HeldOrReadOnlyListKeepsItsContent) {
  Scenario s("contention: list.dat held open with no sharing, and read-only");
  TempDir dir;
  const std::string list = dir.Path(kReplaceListFile);
  const std::vector<ListPair> old_rows = {{"a", "b"}, {"c", ""}};
  ASSERT_FALSE(SaveReplaceListRows(old_rows, list));
  const std::string old_bytes = ReadBytes(list);
  {
    platform::SysError error = platform::kOk;
    platform::File holder = platform::File::OpenReadExclusive(list, &error);
    ASSERT_TRUE(holder.IsOpen());
    s.Fault(2);
    std::vector<ListPair> rows = {{"stale", "entry"}};
    EXPECT_EQ(LoadReplaceListRows(&rows, list).code, 32u) << "the editor is told, never handed an empty list";
    EXPECT_TRUE(rows.empty());
    const ListFileError failed = SaveReplaceListRows({{"new", "rows"}}, list);
    EXPECT_EQ(failed.code, 32u) << "sharing violation";
    EXPECT_EQ(failed.name, list) << "the name as given";
  }
  EXPECT_EQ(Classify(list, old_bytes, ""), "old");
  test::SetReadOnly(list, true);
  s.Fault();
  const ListFileError failed = SaveReplaceListRows({{"new", "rows"}}, list);
  EXPECT_EQ(failed.code, 5u) << "access denied";
  EXPECT_EQ(Classify(list, old_bytes, ""), "old");
  EXPECT_EQ(Rows(list), old_rows);
  EXPECT_EQ(dir.Listing(), std::string(kReplaceListFile) + ";");
  s.Did("read and saved list.dat while another handle held it, then saved it read-only");
  s.Checked("held: the editor's read refused as a sharing violation, save refused likewise; read-only: save refused as "
            "access denied; the old bytes whole, no temporary file");
}

}  // namespace
}  // namespace vx::reliability

#endif
