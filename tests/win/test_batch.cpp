// The batch run on the real main window: Start over the target list, the
// result box, the rewritten files, and the focus afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "res/resource.h"
#include "ui/main_dialog.h"
#include "win/harness/harness.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A scratch folder that is also the working directory while it lives, so
// the window reads its list.dat from there.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    char name[MAX_PATH] = {};
    ::GetTempFileNameA(temp, "vxb", 0, name);
    ::DeleteFileA(name);
    ::CreateDirectoryA(name, nullptr);
    folder_ = name;
    ::GetCurrentDirectoryA(MAX_PATH, previous_);
    ::SetCurrentDirectoryA(folder_.c_str());
  }
  ~ScratchFolder() {
    ::SetCurrentDirectoryA(previous_);
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder_ + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        ::DeleteFileA(Path(data.cFileName).c_str());
      } while (::FindNextFileA(find, &data));
      ::FindClose(find);
    }
    ::RemoveDirectoryA(folder_.c_str());
  }
  std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

 private:
  std::string folder_;
  char previous_[MAX_PATH] = {};
};

// Presses Start as the user would (the button's own enabling rules are not
// under test here) and returns the boxes the run showed.
std::vector<vx::test::CapturedBox> PressStart(vx::CMainDialog& dlg) {
  vx::test::ModalResponder responder;
  ::EnableWindow(dlg.GetDlgItem(IDC_START), TRUE);
  vx::test::Click(dlg, IDC_START);
  return responder.boxes();
}

TEST(BatchRun, StartRewritesTheListedFilesAndShowsTheLog) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), gone = dir.Path("gone.txt");
  WriteFile(a, "abc abc\r\n");
  WriteFile(b, "\x95\x5C" "b");  // 表 (second byte 0x5C) and b
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {a, gone, b}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "b\\|\\n");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "置");
    ::SetFocus(dlg.m_lbTargets);  // somewhere else than the search field

    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "置換完了");
    EXPECT_EQ(boxes[0].text, "置換結果ログ\n\n総置換え数  4個\n\n" + a + "  置換え数　3個\n" + gone +
                                 "  ファイルが不正です。\n" + b + "  置換え数　1個\n");
    EXPECT_EQ(boxes[0].icon, 0u);
    EXPECT_EQ(boxes[0].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(boxes[0].owner, dlg.m_hWnd);
    // After the box: the keyboard focus is in the search field.
    const HWND focus = ::GetFocus();
    EXPECT_TRUE(focus == dlg.m_cbSearch.m_hWnd || focus == dlg.m_cbSearch.GetEditHwnd());
  });
  EXPECT_EQ(ReadFile(a), "a置c a置c置");
  EXPECT_EQ(ReadFile(b), "\x95\x5C" "置");
  EXPECT_EQ(ReadFile(a + ".bak"), "abc abc\r\n");
  EXPECT_EQ(ReadFile(b + ".bak"), "\x95\x5C" "b");
  EXPECT_EQ(::GetFileAttributesA(gone.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A Japanese text typed in the search field (code page 932, as the window
// holds it) is found and replaced in a UTF-8 and a UTF-16LE file, each in
// its own encoding, and the log names the encoding.
TEST(BatchRun, JapaneseTextReplacedInUtf8AndUtf16Files) {
  ScratchFolder dir;
  const std::string utf8 = dir.Path("utf8.txt"), utf16 = dir.Path("utf16.txt");
  // 置換 then a line break: UTF-8 E7 BD AE E6 8F 9B; UTF-16 U+7F6E U+63DB.
  WriteFile(utf8, "\xE7\xBD\xAE\xE6\x8F\x9B\r\n");
  WriteFile(utf16, std::string("\xFF\xFE\x6E\x7F\xDB\x63\r\0\n\0", 10));
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {utf8, utf16}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "置換\\n");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "表");
    ::CheckDlgButton(dlg, IDC_MAKE_BACKUP, BST_UNCHECKED);
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "置換結果ログ\n\n総置換え数  2個\n\n" + utf8 + "  置換え数　1個（UTF-8）\n" + utf16 +
                                 "  置換え数　1個（UTF-16LE）\n");
  });
  // 表: UTF-8 E8 A1 A8; UTF-16 U+8868.
  EXPECT_EQ(ReadFile(utf8), "\xE8\xA1\xA8");
  EXPECT_EQ(ReadFile(utf16), std::string("\xFF\xFE\x68\x88", 4));
}

TEST(BatchRun, AllPairsComeFromListDatThroughTheDropDownLists) {
  ScratchFolder dir;
  // Three texts: the pair (a, 1) and a search text c without a partner,
  // which is applied with an empty replacement.
  WriteFile(dir.Path("list.dat"), "a\r\n1\r\nc\r\n");
  const std::string f = dir.Path("f.txt");
  WriteFile(f, "abcabc");
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ASSERT_EQ(dlg.m_cbSearch.GetCount(), 2);
    ASSERT_EQ(dlg.m_cbReplace.GetCount(), 1);
    dlg.m_lbTargets.AddString(f);
    ::CheckDlgButton(dlg, IDC_AUTO_ALL, BST_CHECKED);
    ::CheckDlgButton(dlg, IDC_MAKE_BACKUP, BST_UNCHECKED);
    // Neither the fields nor a list.dat changed since count in this mode:
    // the run takes the pairs the drop-down lists hold.
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "b");
    WriteFile(dir.Path("list.dat"), "b\r\n2\r\n");

    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "置換完了");
    EXPECT_EQ(boxes[0].text, "置換結果ログ\n\n総置換え数  4個\n\n" + f + "  置換え数　4個\n");
  });
  EXPECT_EQ(ReadFile(f), "1b1b");
  EXPECT_EQ(::GetFileAttributesA((f + ".bak").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(BatchRun, EmptyListShowsTheHeadOnlyAndMovesTheFocus) {
  ScratchFolder dir;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ::SetFocus(dlg.GetDlgItem(IDC_ABOUT));
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "置換結果ログ\n\n総置換え数  0個\n\n");
    const HWND focus = ::GetFocus();
    EXPECT_TRUE(focus == dlg.m_cbSearch.m_hWnd || focus == dlg.m_cbSearch.GetEditHwnd());
  });
}

// A file reached twice (here by its short name) is rewritten once, and the
// backup the run made of a listed file is not rewritten in turn.
TEST(BatchRun, EachFileOnceAndTheRunsOwnBackupLeftAlone) {
  ScratchFolder dir;
  const std::string f = dir.Path("version-file.txt");
  WriteFile(f, "version=1.2");
  char short_name[MAX_PATH] = {};
  ASSERT_GT(::GetShortPathNameA(f.c_str(), short_name, MAX_PATH), 0u);
  ASSERT_NE(std::string(short_name), f);
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {f, std::string(short_name), f + ".bak"}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "1.2");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "1.2.1");
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "置換結果ログ\n\n総置換え数  1個\n\n" + f + "  置換え数　1個\n" + short_name +
                                 "  このファイルは既に置換しました。\n" + f +
                                 ".bak  このファイルは今回作成したバックアップです。\n");
  });
  EXPECT_EQ(ReadFile(f), "version=1.2.1");
  EXPECT_EQ(ReadFile(f + ".bak"), "version=1.2");
  EXPECT_EQ(::GetFileAttributesA((f + ".bak.bak").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
