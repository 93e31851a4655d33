// The main window's drop-down lists as filled from list.dat, at start-up and
// when reloaded, on the real window.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/file_fault.h"
#include "replacelist/list_file.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
#include "ui/program.h"
#include "win/harness/harness.h"

namespace {

using Entries = std::vector<std::string>;

Entries ListEntries(const vx::CComboBox& combo) {
  Entries entries;
  for (int i = 0; i < combo.GetCount(); ++i) entries.push_back(combo.GetLBText(i));
  return entries;
}

// Runs each test in a folder of its own, which is where list.dat is looked
// for (the program keeps the working directory at its own folder).
class MainWindowReplaceList : public vx::test::ListFolderTest {
 protected:
  MainWindowReplaceList() : ListFolderTest("vx-list-window") {}
  void TearDown() override {
    vx::platform::ClearFileFaults();
    ListFolderTest::TearDown();
  }
  // Checks both drop-down lists and that nothing is selected or shown.
  static void ExpectLists(const vx::CMainDialog& dlg, const Entries& search, const Entries& replace) {
    EXPECT_EQ(ListEntries(dlg.m_cbSearch), search);
    EXPECT_EQ(ListEntries(dlg.m_cbReplace), replace);
    EXPECT_EQ(dlg.m_cbSearch.GetCurSel(), CB_ERR);
    EXPECT_EQ(dlg.m_cbReplace.GetCurSel(), CB_ERR);
    EXPECT_EQ(vx::test::WindowText(dlg.m_cbSearch), "");
    EXPECT_EQ(vx::test::WindowText(dlg.m_cbReplace), "");
  }
};

TEST_F(MainWindowReplaceList, ListsAfterStartUp) {
  using vx::test::U8;
  const std::string mark = "\xEF\xBB\xBF";
  const std::string unicode = mark + U8(u8"😀\r\n한\r\ncafé\r\n");
  const struct {
    const char* what;
    const char* bytes;  // nullptr: no list.dat
    Entries search;
    Entries replace;
  } rows[] = {
      {"no file", nullptr, {}, {}},
      {"empty file", "", {}, {}},
      {"three lines", "a\r\nb\r\nc\r\n", {"a", "c"}, {"b"}},
      {"pairs keep file order, unsorted", "z\r\n1\r\ny\r\n2\r\nx\r\n3\r\n", {"z", "y", "x"}, {"1", "2", "3"}},
      {"empty last text", "a\r\nb\r\n\r\n", {"a", ""}, {"b"}},
      {"empty replacement", "a\r\n\r\nc\r\nd\r\n", {"a", "c"}, {"", "d"}},
      {"texts as typed", " 表\\n \r\n\t全角\x81\x40\r\n\\|\r\n\\\\\r\n", {U8(u8" 表\\n "), "\\|"}, {U8(u8"\t全角　"), "\\\\"}},
      {"UTF-8 after its mark", unicode.c_str(), {U8(u8"😀"), U8(u8"café")}, {U8(u8"한")}},
      {"a stray lead byte shown as U+FFFD", "ok\r\nbad\x81\r\n", {"ok"}, {U8(u8"bad\uFFFD")}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    RemoveList();
    if (row.bytes) PutList(row.bytes);
    vx::test::ModalResponder responder;
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] { ExpectLists(dlg, row.search, row.replace); });
    EXPECT_TRUE(responder.boxes().empty());
  }
}

// Another program's handle: a reader that shares the file does not stop the
// read; one that does stop it leaves both lists empty, without a message.
TEST_F(MainWindowReplaceList, FileHeldByAnotherProgram) {
  const struct {
    const char* what;
    DWORD access, share;
    Entries search, replace;
  } rows[] = {
      {"a reader that shares", GENERIC_READ, FILE_SHARE_READ, {"a"}, {"b"}},
      {"a reader that shares nothing", GENERIC_READ, 0, {}, {}},
      {"a writer", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, {}, {}},
  };
  PutList("a\r\nb\r\n");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    HANDLE other = ::CreateFileA("list.dat", row.access, row.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    vx::test::ModalResponder responder;
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] { ExpectLists(dlg, row.search, row.replace); });
    ::CloseHandle(other);
    EXPECT_TRUE(responder.boxes().empty());
  }
}

TEST_F(MainWindowReplaceList, ReloadEmptiesFieldsAndRefills) {
  PutList("old\r\npair\r\n");
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ExpectLists(dlg, {"old"}, {"pair"});
    vx::test::SelectComboItem(dlg, IDC_SEARCH_COMBO, 0);
    vx::test::TypeText(dlg.m_cbReplace.GetEditHwnd(), "typed");
    // What the editor's OK leaves behind, then the reload that follows it.
    const std::string smile = vx::test::U8(u8"😀"), hangul = vx::test::U8(u8"한");
    ASSERT_FALSE(vx::SaveReplaceListRows({{"s1", "r1"}, {"s2", ""}, {smile, hangul}}, vx::kReplaceListFile,
                                         vx::CodePage::kUtf8));
    dlg.LoadReplaceList();
    ExpectLists(dlg, {"s1", "s2", smile}, {"r1", "", hangul});
  });
}

TEST_F(MainWindowReplaceList, ReadErrorAtStartUpIsShownAndEndsTheInitialisation) {
  // Enough lines that the first read completes some of them; the second fails.
  std::string bytes;
  std::size_t lines = 0;
  for (; bytes.size() < 2 * 4096; ++lines) bytes += "line " + std::to_string(lines) + "\r\n";
  PutList(bytes);
  vx::platform::InjectFileFault(vx::platform::FileOp::kRead, 1117, /*skip=*/1);
  const std::string folder = vx::CurrentDirectory();
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    vx::platform::ClearFileFaults();
    ASSERT_EQ(responder.boxes().size(), 1u);
    const vx::test::CapturedBox& box = responder.boxes()[0];
    EXPECT_EQ(box.text, folder + vx::test::U8(u8"\\list.dat へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"));
    EXPECT_EQ(box.icon, UINT{MB_ICONSTOP});
    // The entries read before the error stay, still pairwise.
    const Entries search = ListEntries(dlg.m_cbSearch);
    const Entries replace = ListEntries(dlg.m_cbReplace);
    ASSERT_FALSE(search.empty());
    EXPECT_EQ(search[0], "line 0");
    EXPECT_EQ(replace[0], "line 1");
    EXPECT_LE(search.size() - replace.size(), 1u);
    EXPECT_LT(search.size() + replace.size(), lines);
    // The rest of the initialisation did not run: not centred.
    RECT window;
    ::GetWindowRect(dlg, &window);
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    EXPECT_TRUE(::IsWindowVisible(dlg));
  });
}

}  // namespace
