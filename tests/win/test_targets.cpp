// The target list on the real main window: adds and the duplicate test,
// drops (real WM_DROPFILES messages), folders, the Add Files dialog, Remove,
// the editor command, canonical paths and the command-line intake.
#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#undef ReplaceText  // commdlg.h names a function so; the harness has its own

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/wide.h"
#include "res/resource.h"
#include "targets/path_text.h"
#include "targets/target_filter.h"
#include "targets/walk.h"
#include "ui/main_dialog.h"
#include "ui/program.h"
#include "ui/target_paths.h"
#include "win/harness/harness.h"

// Allocations fail once, on the first request of exactly g_failSize bytes
// (0: never), so that a test can make one add throw.
std::size_t g_failSize = 0;

void* operator new(std::size_t size) {
  if (size != 0 && size == g_failSize) {
    g_failSize = 0;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
// The pair of the operator new above: what it took from malloc goes back to
// free (the compiler sees only the names, not the pairing).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using vx::test::ModalResponder;
using vx::test::RunModal;

const std::string kDuplicateTail = vx::FromU8(u8"は\nすでにリストに存在します。");

using vx::CurrentDirectory;
using vx::FromU8;
using vx::test::TempTree;

std::string ExeFolder() { return vx::FolderOf(vx::ProgramPath()); }

std::string Join(const std::string& folder, const std::string& name) {
  return vx::JoinPath(folder, name);
}

// Names a user meets on shared drives, each to be held exactly: an accented
// letter beside its look-alike, Korean, a character beyond U+FFFF (an emoji,
// a surname kanji), simplified Chinese, a combining mark, a trailing dot
// and a trailing space.
const std::vector<std::string>& UnicodeNames() {
  static const std::vector<std::string> names = {
      vx::FromU8(u8"café.txt"),     vx::FromU8(u8"cafe.txt"),         vx::FromU8(u8"한국어.txt"),
      vx::FromU8(u8"😀.txt"),       vx::FromU8(u8"𠮷野家.txt"),       vx::FromU8(u8"中文简体.txt"),
      vx::FromU8(u8"e\u0301te\u0301.txt"), vx::FromU8(u8"trailing dot."), vx::FromU8(u8"trailing space "),
  };
  return names;
}

// Each of UnicodeNames() made in `folder` of the tree; their full paths.
std::vector<std::string> MakeUnicodeFiles(const TempTree& tree, const std::string& folder) {
  std::vector<std::string> paths;
  for (const std::string& name : UnicodeNames()) paths.push_back(tree.File(folder + "\\" + name));
  return paths;
}

// Drops `paths` on the window as the shell does: a WM_DROPFILES message with
// a DROPFILES block of UTF-16 names in a global handle (the receiver
// releases it; the handle is returned only to see that it did). The names
// are UTF-8, or already UTF-16 (`wide`, for names no UTF-8 text can hold).
HGLOBAL DropWide(HWND window, const std::vector<std::wstring>& paths) {
  std::size_t bytes = sizeof(DROPFILES) + sizeof(wchar_t);
  for (const std::wstring& path : paths) bytes += (path.size() + 1) * sizeof(wchar_t);
  const HGLOBAL handle = ::GlobalAlloc(GHND, bytes);
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(handle));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* at = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
  for (const std::wstring& path : paths) {
    std::copy(path.begin(), path.end(), at);
    at += path.size() + 1;
  }
  ::GlobalUnlock(handle);
  ::SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0);
  vx::test::PumpMessages();
  return handle;
}

HGLOBAL DropPaths(HWND window, const std::vector<std::string>& paths) {
  std::vector<std::wstring> wide;
  for (const std::string& path : paths) wide.push_back(vx::Widen(path));
  return DropWide(window, wide);
}

std::vector<std::string> Entries(const vx::CMainDialog& dlg) {
  std::vector<std::string> entries;
  for (int i = 0; i < dlg.m_lbTargets.GetCount(); ++i) entries.push_back(dlg.m_lbTargets.GetText(i));
  return entries;
}

std::vector<int> Selected(const vx::CMainDialog& dlg) {
  std::vector<int> selected;
  for (int i = 0; i < dlg.m_lbTargets.GetCount(); ++i) {
    if (dlg.m_lbTargets.GetSel(i) > 0) selected.push_back(i);
  }
  return selected;
}

std::vector<int> Range(int first, int end) {
  std::vector<int> v;
  for (int i = first; i < end; ++i) v.push_back(i);
  return v;
}

// Start's state; Preview is always in the same one.
bool StartEnabled(const vx::CMainDialog& dlg) {
  const bool start = ::IsWindowEnabled(dlg.GetDlgItem(IDC_START)) != FALSE;
  if (HWND preview = dlg.GetDlgItem(IDC_PREVIEW)) EXPECT_EQ(::IsWindowEnabled(preview) != FALSE, start);
  return start;
}

void TypeSearchText(const vx::CMainDialog& dlg, const std::string& text) {
  vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), text);
}

// ------------------------------------------------------------------ adds

TEST(TargetList, AddsAppendSelectAndMoveTheCaret) {
  TempTree tree;
  const std::string a = tree.File("a.txt"), b = tree.File("b.txt"), c = tree.File("c.txt");
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFile(c);
    DropPaths(dlg, {a, b});
    EXPECT_EQ(Entries(dlg), (std::vector<std::string>{c, a, b}));
    EXPECT_EQ(Selected(dlg), (std::vector<int>{1, 2}));  // the drop deselected c first
    EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), 2);
    EXPECT_EQ(::GetFocus(), dlg.m_lbTargets.m_hWnd);
    EXPECT_FALSE(StartEnabled(dlg));  // the search field is empty
  });
}

TEST(TargetList, StartIsEnabledOnlyWhenTheSearchFieldHoldsText) {
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFile("C:\\x\\1.txt");
    EXPECT_FALSE(StartEnabled(dlg));
    TypeSearchText(dlg, FromU8(u8"検索"));
    dlg.AddTargetFile("C:\\x\\2.txt");
    EXPECT_TRUE(StartEnabled(dlg));
    // An add never disables it.
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "");
    dlg.EnableStart(true);
    dlg.AddTargetFile("C:\\x\\3.txt");
    EXPECT_TRUE(StartEnabled(dlg));
  });
}

TEST(TargetList, DuplicatesAreRefusedWhereverTheyStandAndInAnyLetterCase) {
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    const std::vector<std::string> listed = {"C:\\a\\b.txt.bak", "C:\\a\\b.txt", FromU8(u8"C:\\a\\表\\x.txt"),
                                             FromU8(u8"C:\\a\\ヂ.txt"), FromU8(u8"C:\\a\\café.txt"),
                                             FromU8(u8"C:\\a\\𠮷野家.txt")};
    for (const std::string& path : listed) dlg.AddTargetFile(path);
    ASSERT_EQ(Entries(dlg), listed);
    struct Row {
      std::string path;
      bool refused;
    } rows[] = {
        {"C:\\a\\b.txt", true},        // stands below a longer entry with the same beginning
        {"c:\\A\\B.TXT", true},        // the same file in other letter case
        {FromU8(u8"C:\\A\\表\\X.TXT"), true},
        {"C:\\a\\b.tx", false},        // a prefix of an entry is another file
        {FromU8(u8"C:\\A\\CAFÉ.TXT"), true},   // the system's upper-casing, beyond ASCII
        {"C:\\a\\cafe.txt", false},           // another name, never a look-alike
        {FromU8(u8"C:\\a\\e\u0301.txt"), false},  // a combining mark is a character of its own
        {FromU8(u8"C:\\a\\𠮷野家.TXT"), true},  // a character beyond U+FFFF
        {FromU8(u8"C:\\a\\ヂ.txt."), false},  // a trailing dot is part of the name
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(row.path);
      const std::size_t boxes = responder.boxes().size();
      const int count = dlg.m_lbTargets.GetCount();
      dlg.AddTargetFile(row.path);
      EXPECT_EQ(dlg.m_lbTargets.GetCount(), count + (row.refused ? 0 : 1));
      ASSERT_EQ(responder.boxes().size(), boxes + (row.refused ? 1 : 0));
      if (row.refused) {
        const vx::test::CapturedBox& box = responder.boxes().back();
        EXPECT_EQ(box.text, row.path + kDuplicateTail);
        EXPECT_EQ(box.caption, FromU8(u8"エラー"));
        EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONSTOP));
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(box.owner, dlg.m_hWnd);
      }
    }
  });
}

TEST(TargetList, DropOfListedFilesShowsOneBoxPerFileAndAddsNothing) {
  TempTree tree;
  const std::string a = tree.File("a.txt"), b = tree.File("b.txt");
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    DropPaths(dlg, {a, b});
    ASSERT_EQ(Selected(dlg), (std::vector<int>{0, 1}));
    DropPaths(dlg, {b, a});
    EXPECT_EQ(Entries(dlg), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(Selected(dlg).empty());
    ASSERT_EQ(responder.boxes().size(), 2u);
    EXPECT_EQ(responder.boxes()[0].text, b + kDuplicateTail);
    EXPECT_EQ(responder.boxes()[1].text, a + kDuplicateTail);
  });
}

TEST(TargetList, ExtentFollowsTheWidestEntry) {
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    const std::string wide = "C:\\" + std::string(120, 'W') + ".txt";
    dlg.AddTargetFile("C:\\a.txt");
    const int narrow = dlg.MeasureItemWidth("C:\\a.txt");
    EXPECT_GT(narrow, 0);
    EXPECT_EQ(dlg.m_cxMaxItem, narrow);
    EXPECT_EQ(dlg.m_lbTargets.GetHorizontalExtent(), narrow + 5);
    dlg.AddTargetFile(wide);
    dlg.AddTargetFile("C:\\b.txt");  // narrower: nothing changes
    EXPECT_EQ(dlg.m_cxMaxItem, dlg.MeasureItemWidth(wide.c_str()));
    EXPECT_GT(dlg.m_cxMaxItem, narrow);
    EXPECT_EQ(dlg.m_lbTargets.GetHorizontalExtent(), dlg.m_cxMaxItem + 5);
  });
}

// A long add lets queued messages through: one per added file.
int g_appMessages = 0;
LRESULT CALLBACK CountAppMessages(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) ++g_appMessages;
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(TargetList, EachAddPassesOneQueuedMessage) {
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    g_appMessages = 0;
    const HWND target = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ::SetWindowLongPtrW(target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountAppMessages));
    for (int i = 0; i < 5; ++i) ::PostMessageW(target, WM_APP, 0, 0);
    dlg.AddTargetFile("C:\\q\\1.txt");
    EXPECT_EQ(g_appMessages, 1);
    dlg.AddTargetFile("C:\\q\\2.txt");
    dlg.AddTargetFile("C:\\q\\3.txt");
    EXPECT_EQ(g_appMessages, 3);
    ::DestroyWindow(target);
  });
}

// ---------------------------------------------------------------- remove

TEST(TargetList, RemoveLeavesOneSelectedEntryWithTheCaret) {
  struct Row {
    const char* what;
    int count;
    std::vector<int> remove;
    std::vector<int> left;  // the original indices that stay
    int selected;           // the new index selected and with the caret; -1: none
  } rows[] = {
      {"all", 5, {0, 1, 2, 3, 4}, {}, -1},
      {"a tail", 5, {3, 4}, {0, 1, 2}, 2},
      {"scattered", 5, {1, 3}, {0, 2, 4}, 1},
      {"the first", 5, {0}, {1, 2, 3, 4}, 0},
      {"the last", 5, {4}, {0, 1, 2, 3}, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    vx::CMainDialog dlg;
    RunModal(dlg, [&] {
      TypeSearchText(dlg, "a");
      std::vector<std::string> paths;
      for (int i = 0; i < row.count; ++i) paths.push_back("C:\\r\\" + std::to_string(i) + ".txt");
      for (const std::string& path : paths) dlg.AddTargetFile(path);
      ASSERT_TRUE(StartEnabled(dlg));
      dlg.m_lbTargets.SetSel(-1, false);
      for (int i : row.remove) dlg.m_lbTargets.SetSel(i, true);
      vx::test::Click(dlg, IDC_REMOVE_FILES);
      std::vector<std::string> left;
      for (int i : row.left) left.push_back(paths[i]);
      EXPECT_EQ(Entries(dlg), left);
      EXPECT_EQ(Selected(dlg), row.selected < 0 ? std::vector<int>{} : std::vector<int>{row.selected});
      if (row.selected >= 0) {
        EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), row.selected);
      }
      EXPECT_EQ(StartEnabled(dlg), !left.empty());
      if (left.empty()) {
        EXPECT_EQ(dlg.m_lbTargets.GetHorizontalExtent(), 5);
      }
      // A removed path can be added again; a remaining one is still refused.
      ModalResponder responder;
      dlg.AddTargetFile(paths[row.remove[0]]);
      EXPECT_TRUE(responder.boxes().empty());
      if (!left.empty()) {
        dlg.AddTargetFile(left[0]);
        EXPECT_EQ(responder.boxes().size(), 1u);
      }
    });
  }
}

TEST(TargetList, RemoveAboveTheVisiblePartScrollsToTheLowestRemoved) {
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    for (int i = 0; i < 40; ++i) dlg.AddTargetFile("C:\\v\\" + std::to_string(i) + ".txt");
    dlg.m_lbTargets.SetSel(-1, false);
    dlg.m_lbTargets.SetTopIndex(20);
    ASSERT_EQ(dlg.m_lbTargets.GetTopIndex(), 20);
    dlg.m_lbTargets.SetSel(3, true);
    dlg.m_lbTargets.SetSel(30, true);
    vx::test::Click(dlg, IDC_REMOVE_FILES);
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 38);
    EXPECT_EQ(dlg.m_lbTargets.GetTopIndex(), 3);
    EXPECT_EQ(Selected(dlg), std::vector<int>{3});
    EXPECT_EQ(dlg.m_lbTargets.GetText(3), "C:\\v\\4.txt");
  });
}

TEST(TargetList, RemovingTheWidestEntryShrinksTheExtent) {
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    const std::string wide = "C:\\" + std::string(150, 'W') + ".txt";
    const std::string middle = "C:\\" + std::string(40, 'M') + ".txt";
    for (const std::string& path : {std::string("C:\\a.txt"), wide, middle}) dlg.AddTargetFile(path);
    EXPECT_EQ(dlg.m_lbTargets.GetHorizontalExtent(), dlg.MeasureItemWidth(wide.c_str()) + 5);
    dlg.m_lbTargets.SetSel(-1, false);
    dlg.m_lbTargets.SetSel(1, true);
    vx::test::Click(dlg, IDC_REMOVE_FILES);
    EXPECT_EQ(dlg.m_cxMaxItem, dlg.MeasureItemWidth(middle.c_str()));
    EXPECT_EQ(dlg.m_lbTargets.GetHorizontalExtent(), dlg.m_cxMaxItem + 5);
  });
}

TEST(TargetList, RemoveWithNothingSelectedChangesNothing) {
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    TypeSearchText(dlg, "a");
    for (int i = 0; i < 4; ++i) dlg.AddTargetFile("C:\\n\\" + std::to_string(i) + ".txt");
    dlg.m_lbTargets.SetSel(-1, false);
    dlg.m_lbTargets.SetCaretIndex(1);
    const int extent = dlg.m_lbTargets.GetHorizontalExtent();
    vx::test::Click(dlg, IDC_REMOVE_FILES);
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 4);
    EXPECT_TRUE(Selected(dlg).empty());
    EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), 1);
    EXPECT_TRUE(StartEnabled(dlg));
    EXPECT_EQ(dlg.m_lbTargets.GetHorizontalExtent(), extent);
  });
}

// --------------------------------------------------------------- editor

TEST(TargetList, DoubleClickOpensTheEntryInTheEditor) {
  const std::string second = FromU8(u8"C:\\My Docs\\表 😀 second.txt");
  vx::test::RecordingShell shell;
  vx::CMainDialog dlg;
  dlg.m_pShell = &shell;
  RunModal(dlg, [&] {
    vx::test::SendCommand(dlg, IDC_FILE_LIST, LBN_DBLCLK);  // empty list: nothing
    EXPECT_TRUE(shell.calls().empty());
    dlg.AddTargetFile("C:\\My Docs\\first.txt");
    dlg.AddTargetFile(second);
    dlg.AddTargetFile("C:\\My Docs\\third.txt");
    // A real double-click on the second entry.
    RECT item{};
    dlg.m_lbTargets.Send(LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 4, (item.top + item.bottom) / 2);
    dlg.m_lbTargets.Send(WM_LBUTTONDOWN, MK_LBUTTON, at);
    dlg.m_lbTargets.Send(WM_LBUTTONUP, 0, at);
    dlg.m_lbTargets.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    dlg.m_lbTargets.Send(WM_LBUTTONUP, 0, at);
    vx::test::PumpMessages();
  });
  // Notepad by its full path in the Windows folder, never by the search path.
  wchar_t windows[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::string notepad = Join(vx::Narrow(windows), "notepad.exe");
  EXPECT_TRUE(vx::test::PathExists(notepad)) << notepad;
  ASSERT_EQ(shell.calls().size(), 1u);
  EXPECT_FALSE(shell.calls()[0].open);
  EXPECT_EQ(shell.calls()[0].text, "\"" + notepad + "\" \"" + second + "\"");
  EXPECT_EQ(shell.calls()[0].show, SW_SHOWNORMAL);
}

// --------------------------------------------------------------- folders

TEST(TargetFolder, AddsEveryFileDepthFirstWithNoAttributeFilter) {
  TempTree tree;
  tree.Folder("sub");
  tree.Folder("sub\\deep");
  tree.Folder("empty");
  tree.Folder(FromU8(u8"表"));
  const std::set<std::string> expected = {
      tree.File("a.txt"),
      tree.File("noext"),
      tree.File("hidden.txt", FILE_ATTRIBUTE_HIDDEN),
      tree.File("readonly.txt", FILE_ATTRIBUTE_READONLY),
      tree.File("sub\\b.txt"),
      tree.File("sub\\deep\\c.txt"),
      tree.File("sub\\deep\\d.txt"),
      tree.File(FromU8(u8"表\\e.txt")),
  };
  tree.File(std::string("a.txt") + vx::platform::kTempSuffix);  // a rewrite's leftover
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFolder(tree.root());
    const std::vector<std::string> entries = Entries(dlg);
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()), expected);
    EXPECT_EQ(entries.size(), expected.size());
    EXPECT_EQ(Selected(dlg), Range(0, static_cast<int>(expected.size())));
    EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), static_cast<int>(expected.size()) - 1);
    // Depth first: the files below each folder form one unbroken run.
    for (const std::string& folder : {tree.Path("sub"), tree.Path("sub\\deep"), tree.Path(FromU8(u8"表"))}) {
      std::vector<int> at;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].rfind(folder + "\\", 0) == 0) at.push_back(static_cast<int>(i));
      }
      ASSERT_FALSE(at.empty()) << folder;
      EXPECT_EQ(at.back() - at.front() + 1, static_cast<int>(at.size())) << folder;
    }
    // 表 (whose code page 932 form ends in byte 0x5C) gets exactly one separator.
    EXPECT_NE(std::find(entries.begin(), entries.end(), tree.root() + FromU8(u8"\\表\\e.txt")), entries.end());
  });
}

TEST(TargetFolder, ExitDuringAFolderAddStopsIt) {
  TempTree tree;
  for (int i = 0; i < 20; ++i) tree.File("f" + std::to_string(i) + ".txt");
  vx::CMainDialog dlg;
  int count = -1;
  const INT_PTR result = RunModal(dlg, [&] {
    // Exit, queued: the first add lets it through.
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDCANCEL)));
    dlg.AddTargetFolder(tree.root());
    count = dlg.m_lbTargets.GetCount();
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(count, 1);
}

TEST(TargetFolder, FolderThatCannotBeEnumeratedAddsNothing) {
  TempTree tree;
  const std::string file = tree.File("plain.txt");
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFolder(tree.Path("missing"));
    dlg.AddTargetFolder(file);  // a file is no folder
    dlg.AddTargetFolder(tree.Path(std::string(250, 'L')));  // its pattern passes the path limit
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 0);
    EXPECT_TRUE(responder.boxes().empty());
  });
}

TEST(TargetFolder, FolderWithListedFilesRefusesOnlyThose) {
  TempTree tree;
  const std::string a = tree.File("a.txt"), b = tree.File("b.txt"), c = tree.File("c.txt");
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFile(b);
    DropPaths(dlg, {tree.root()});
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 3);
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_EQ(responder.boxes()[0].text, b + kDuplicateTail);
    const std::vector<int> selected = Selected(dlg);
    EXPECT_EQ(selected, (std::vector<int>{1, 2}));
  });
}

// A folder added in the window, however it comes, leaves the folders of
// version-control systems alone; the window's filter chooses among the other
// files, while a file dropped by itself is taken whatever it says.
TEST(TargetFolder, VersionControlFoldersAreLeftAloneAndTheMasksChoose) {
  TempTree tree;
  tree.Folder("plain");
  tree.Folder("plain\\.git");
  tree.File("plain\\.git\\config");
  const std::string plainA = tree.File("plain\\a.txt");
  const std::string repo = tree.Folder("repo");
  for (const char* folder : {".git", ".git\\refs", ".svn", ".hg", ".bzr", ".GIT-not", "sub", "sub\\.Git", "old"})
    tree.Folder(std::string("repo\\") + folder);
  for (const char* file : {".git\\config", ".git\\refs\\main", ".svn\\entries", ".hg\\store", ".bzr\\x.txt",
                           "sub\\.Git\\f.txt"})
    tree.File(std::string("repo\\") + file);
  const std::string a = tree.File("repo\\a.txt"), csv = tree.File("repo\\b.csv"), md = tree.File("repo\\c.md"),
                    notVcs = tree.File("repo\\.GIT-not\\n.txt"), inner = tree.File("repo\\sub\\d.txt"),
                    inOld = tree.File("repo\\old\\e.txt"), oldTxt = tree.File("repo\\old.txt"),
                    gitFile = tree.File("repo\\.GIT-not\\.git");  // a file of that name is no folder
  const std::vector<std::string> all = {a, csv, md, notVcs, inner, inOld, oldTxt, gitFile};
  const auto drop = [](std::vector<std::string> paths) {
    return [paths](vx::CMainDialog& dlg) { DropPaths(dlg, paths); };
  };
  const auto commandLine = [](const std::string& path) {
    return [path](vx::CMainDialog& dlg) { dlg.AddArgumentTargets({"Vextrane.exe", path}); };
  };
  const struct {
    const char* what;
    bool masks;  // false: the window's filter as it starts
    std::string include, exclude;
    std::function<void(vx::CMainDialog&)> add;
    std::vector<std::string> listed;  // in any order
  } rows[] = {
      {"a dropped folder holding .git\\config and a.txt", false, "", "", drop({tree.Path("plain")}), {plainA}},
      {"dropped", false, "", "", drop({repo}), all},
      {"named on the command line", false, "", "", commandLine(repo), all},
      {"added", false, "", "", [&](vx::CMainDialog& dlg) { dlg.AddTargetFolder(repo); }, all},
      {"fields empty", true, "", "", drop({repo}), all},
      {"masks, dropped", true, "*.txt;*.CSV", "old*", drop({repo}), {a, csv, notVcs, inner}},
      {"masks, on the command line", true, " *.md ", "sub; .git*", commandLine(repo), {md}},
      {"files dropped by themselves: taken whatever the masks say", true, "*.csv", "old*", drop({oldTxt, md}),
       {oldTxt, md}},
      {"a version-control folder dropped itself is walked", false, "", "", drop({tree.Path("repo\\.git")}),
       {tree.Path("repo\\.git\\config"), tree.Path("repo\\.git\\refs\\main")}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ModalResponder responder;
    vx::CMainDialog dlg;
    RunModal(dlg, [&] {
      if (row.masks) {
        vx::CWnd(dlg.GetDlgItem(IDC_INCLUDE_MASK)).SetWindowText(row.include);
        vx::CWnd(dlg.GetDlgItem(IDC_EXCLUDE_MASK)).SetWindowText(row.exclude);
      }
      row.add(dlg);
      std::vector<std::string> entries = Entries(dlg), listed = row.listed;
      std::sort(entries.begin(), entries.end());
      std::sort(listed.begin(), listed.end());
      EXPECT_EQ(entries, listed);
      EXPECT_EQ(Selected(dlg), Range(0, static_cast<int>(listed.size())));
    });
    EXPECT_TRUE(responder.boxes().empty());
  }
}

// ----------------------------------------------------------------- drops

TEST(TargetDrop, FilesAndAFolderAreAllAddedAndSelected) {
  TempTree tree;
  const std::string f1 = tree.File("one.txt"), f2 = tree.File("two.txt");
  tree.Folder("dir");
  const std::string d1 = tree.File("dir\\x.txt"), d2 = tree.File("dir\\y.txt");
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFile("C:\\before.txt");
    DropPaths(dlg, {f1, tree.Path("dir"), f2});
    const std::vector<std::string> entries = Entries(dlg);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1], f1);
    EXPECT_EQ(std::set<std::string>(entries.begin() + 2, entries.begin() + 4), (std::set<std::string>{d1, d2}));
    EXPECT_EQ(entries[4], f2);
    EXPECT_EQ(Selected(dlg), Range(1, 5));
    EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), 4);
  });
}

// What the user sees of the list: entries, selection, caret, scroll
// position, extent and the two scroll bars.
struct ListState {
  std::vector<std::string> entries;
  std::vector<int> selected;
  std::vector<int> numbers;  // caret, top index, extent, then each bar's position, range and page
};

ListState StateOf(const vx::CMainDialog& dlg) {
  ListState state{Entries(dlg), Selected(dlg), {}};
  const vx::CListBox& list = dlg.m_lbTargets;
  state.numbers = {list.GetCaretIndex(), list.GetTopIndex(), list.GetHorizontalExtent()};
  for (const int bar : {SB_VERT, SB_HORZ}) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ::GetScrollInfo(list, bar, &info);
    state.numbers.insert(state.numbers.end(), {info.nPos, info.nMin, info.nMax, static_cast<int>(info.nPage)});
  }
  return state;
}

// A bulk add (a dropped folder, a drop of many files, the command line)
// leaves the list as the same entries added one at a time do, and shows the
// duplicate boxes in the same order.
TEST(TargetDrop, BulkAddsLeaveTheListAsSingleAddsDo) {
  TempTree tree;
  tree.Folder("many");
  std::vector<std::string> files;
  for (int i = 0; i < 40; ++i) files.push_back(tree.File("many\\f" + std::to_string(i) + ".txt"));
  files.push_back(tree.File("many\\" + std::string(120, 'w') + ".txt"));  // the widest, last
  const std::string listed = files[7];
  const struct {
    const char* what;
    bool clearsSelection;  // drops start by deselecting the list
    std::function<void(vx::CMainDialog&)> add;
  } rows[] = {
      {"dropped folder", true, [&](vx::CMainDialog& dlg) { DropPaths(dlg, {tree.Path("many")}); }},
      {"dropped files", true, [&](vx::CMainDialog& dlg) { DropPaths(dlg, files); }},
      {"command line", false, [&](vx::CMainDialog& dlg) { dlg.AddArgumentTargets({"prog", tree.Path("many")}); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ListState bulk, single;
    std::vector<std::string> bulkBoxes, singleBoxes;
    {
      ModalResponder responder;
      vx::CMainDialog dlg;
      RunModal(dlg, [&] {
        dlg.AddTargetFile(listed);
        row.add(dlg);
        bulk = StateOf(dlg);
      });
      for (const auto& box : responder.boxes()) bulkBoxes.push_back(box.text);
    }
    ASSERT_EQ(bulk.entries.size(), files.size());
    {
      ModalResponder responder;
      vx::CMainDialog dlg;
      RunModal(dlg, [&] {
        dlg.AddTargetFile(listed);
        if (row.clearsSelection) dlg.m_lbTargets.SetSel(-1, false);
        for (std::size_t i = 1; i < bulk.entries.size(); ++i) dlg.AddTargetFile(bulk.entries[i]);
        dlg.AddTargetFile(listed);  // the duplicate: refused wherever it comes, the list unchanged
        single = StateOf(dlg);
      });
      for (const auto& box : responder.boxes()) singleBoxes.push_back(box.text);
    }
    EXPECT_EQ(bulk.entries, single.entries);
    EXPECT_EQ(bulk.selected, single.selected);
    EXPECT_EQ(bulk.numbers, single.numbers);
    EXPECT_EQ(bulkBoxes, std::vector<std::string>{listed + kDuplicateTail});
    EXPECT_EQ(bulkBoxes, singleBoxes);
    EXPECT_GT(bulk.numbers[1], 0);  // scrolled down to the last entry
  }
}

// Paths of any length the file system takes are dropped whole; a path is
// never cut to fit a buffer and so taken for another.
TEST(TargetDrop, ALongPathIsNeverCutAndAddedAsAnother) {
  TempTree tree;
  const auto fileOfLength = [&](std::size_t length) {
    // Folders of 200 characters, then a file name that makes up the length.
    std::string relative;
    while (tree.root().size() + 1 + relative.size() + 200 + 1 + 20 < length) {
      relative += std::string(200, static_cast<char>('a' + relative.size() / 201)) + "\\";
      const std::string folder = relative.substr(0, relative.size() - 1);
      if (!vx::test::PathExists(tree.Path(folder))) tree.Folder(folder);
    }
    relative += std::string(length - tree.root().size() - 1 - relative.size(), 'p');
    return tree.File(relative);
  };
  const std::string at259 = fileOfLength(259), at300 = fileOfLength(300), at1000 = fileOfLength(1000);
  ASSERT_EQ(at259.size(), 259u);
  ASSERT_EQ(at300.size(), 300u);
  ASSERT_EQ(at1000.size(), 1000u);
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    // Their first 259 bytes name the file above: cut to fit, it would be added.
    DropPaths(dlg, {at259 + "-longer.txt", tree.Path("missing.txt")});
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 0);
    DropPaths(dlg, {at259, at300, at1000});
    EXPECT_EQ(Entries(dlg), (std::vector<std::string>{at259, at300, at1000}));
    EXPECT_TRUE(responder.boxes().empty());
  });
}

// The add fails for want of memory (the buffer of the dropped path, of a
// size nothing else asks for meanwhile): the error is shown and the drop is
// released all the same.
TEST(TargetDrop, TheDropIsReleasedWhenAnAddThrows) {
  TempTree tree;
  const std::string path = tree.File(std::string(211 - tree.root().size() - 1, 'm'));
  ASSERT_EQ(path.size(), 211u);
  ModalResponder responder;
  vx::CMainDialog dlg;
  const std::vector<std::wstring> paths = {vx::Widen(path)};  // made now: the test asks for no memory of that size
  RunModal(dlg, [&] {
    g_failSize = (path.size() + 1) * sizeof(wchar_t);
    const HGLOBAL drop = DropWide(dlg, paths);
    EXPECT_EQ(g_failSize, 0u) << "the allocation was asked for";
    g_failSize = 0;
    EXPECT_EQ(::GlobalSize(drop), 0u) << "DragFinish released the drop";
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 0);
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_EQ(responder.boxes()[0].text, FromU8(u8"メモリが不足しています。"));
    EXPECT_TRUE(dlg.IsModalLoopRunning());
    // The next drop is taken as usual.
    DropWide(dlg, paths);
    EXPECT_EQ(Entries(dlg), std::vector<std::string>{path});
  });
}

TEST(TargetDrop, UnicodeNamesAreListedExactly) {
  TempTree tree;
  tree.Folder("names");
  const std::vector<std::string> paths = MakeUnicodeFiles(tree, "names");
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    DropPaths(dlg, paths);
    EXPECT_EQ(Entries(dlg), paths);  // café.txt and cafe.txt are two files
    EXPECT_EQ(Selected(dlg), Range(0, static_cast<int>(paths.size())));
    EXPECT_TRUE(responder.boxes().empty());
    // The same drop again: each is refused as the duplicate it is.
    DropPaths(dlg, {paths[0], paths[3]});
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), static_cast<int>(paths.size()));
    ASSERT_EQ(responder.boxes().size(), 2u);
    EXPECT_EQ(responder.boxes()[1].text, paths[3] + kDuplicateTail);
  });
}

// A dropped name with an unpaired surrogate has no UTF-8 form and one that
// is gone names nothing: both are skipped, and neither is taken for the
// look-alike that stands beside it.
TEST(TargetDrop, ANameThatCannotBeHeldOrIsGoneIsSkipped) {
  TempTree tree;
  tree.File(FromU8(u8"x\uFFFD.txt"));  // what a lossy conversion would make of the name
  tree.File("nopeab.txt");  // what a name turned into "nope??.txt" would match as a wildcard
  const std::string kept = tree.File("kept.txt");
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    DropWide(dlg, {vx::Widen(tree.root()) + L"\\x\xD800.txt", vx::Widen(tree.Path(FromU8(u8"nope😀.txt"))),
                   vx::Widen(kept)});
    EXPECT_EQ(Entries(dlg), std::vector<std::string>{kept});
    EXPECT_TRUE(responder.boxes().empty());
  });
}

TEST(TargetDrop, AFolderOfUnicodeNamesIsWalkedExactly) {
  TempTree tree;
  const std::string folder = tree.Folder(FromU8(u8"フォルダ 😀 한"));
  const std::vector<std::string> paths = MakeUnicodeFiles(tree, FromU8(u8"フォルダ 😀 한"));
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    DropPaths(dlg, {folder});
    const std::vector<std::string> entries = Entries(dlg);
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()), std::set<std::string>(paths.begin(), paths.end()));
    EXPECT_EQ(entries.size(), paths.size());
  });
}

TEST(TargetDrop, ADroppedDriveRootIsTakenAsAFolder) {
  TempTree tree;
  const std::string a = tree.File("a.txt");
  tree.Folder("sub");
  tree.File("sub\\b.txt");
  // A drive whose root is the tree.
  char drive[] = "Q:";
  for (; drive[0] >= 'M'; --drive[0]) {
    if (::GetDriveTypeA((std::string(drive) + "\\").c_str()) == DRIVE_NO_ROOT_DIR) break;
  }
  const auto mapped = [&] {
    return ::GetFileAttributesA((std::string(drive) + "\\a.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  if (!(::DefineDosDeviceA(0, drive, tree.root().c_str()) && mapped()) &&
      !(::DefineDosDeviceA(DDD_RAW_TARGET_PATH, drive, ("\\??\\" + tree.root()).c_str()) && mapped())) {
    ::DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive, nullptr);
    GTEST_SKIP() << "no drive letter can be mapped onto a folder here";
  }
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    DropPaths(dlg, {std::string(drive) + "\\"});
    const std::vector<std::string> entries = Entries(dlg);
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()),
              (std::set<std::string>{std::string(drive) + "\\a.txt", std::string(drive) + "\\sub\\b.txt"}));
  });
  ::DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive, nullptr);
}

// ------------------------------------------------------------- Add Files

TEST(TargetAddFiles, TwoFilesFromAnotherFolder) {
  TempTree tree;
  const std::string folder = tree.Folder(FromU8(u8"chosen 表"));
  const std::string a = tree.File(FromU8(u8"chosen 表\\a.txt")), b = tree.File(FromU8(u8"chosen 表\\b.txt"));
  const std::string programDir = ExeFolder();
  ModalResponder responder;
  std::string title, filterFolder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    dlg.AddTargetFile("C:\\listed.txt");
    ASSERT_EQ(std::string(dlg.m_szLastDir), programDir);
    responder.OnNextDialog([&](HWND fd) {
      title = vx::test::WindowText(fd);
      vx::test::ChooseInFileDialog(fd, folder);  // opens the folder
      vx::test::ChooseInFileDialog(fd, "\"a.txt\" \"b.txt\"");
    });
    vx::test::Click(dlg, IDC_ADD_FILES);
    EXPECT_EQ(title, FromU8(u8"ファイルを追加する"));
    EXPECT_EQ(Entries(dlg), (std::vector<std::string>{"C:\\listed.txt", a, b}));
    EXPECT_EQ(Selected(dlg), (std::vector<int>{1, 2}));
    EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), 2);
    EXPECT_EQ(std::string(dlg.m_szLastDir), folder);
    EXPECT_EQ(CurrentDirectory(), programDir);

    // The next dialog opens in that folder; cancelled, it changes nothing.
    responder.OnNextDialog([&](HWND fd) {
      wchar_t shown[MAX_PATH] = {};
      ::SendMessageW(fd, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(shown));
      filterFolder = vx::Narrow(shown);
      vx::test::Click(fd, IDCANCEL);
    });
    dlg.m_lbTargets.SetSel(0, true);
    vx::test::Click(dlg, IDC_ADD_FILES);
    EXPECT_EQ(filterFolder, folder);
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 3);
    EXPECT_EQ(Selected(dlg), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(std::string(dlg.m_szLastDir), folder);
    EXPECT_EQ(CurrentDirectory(), programDir);
  });
  EXPECT_EQ(responder.dialogs().size(), 2u);
  EXPECT_TRUE(responder.boxes().empty());
}

// Files picked in a folder whose name is outside code page 932 too.
TEST(TargetAddFiles, UnicodeNamesArePickedExactly) {
  TempTree tree;
  const std::string folder = tree.Folder(FromU8(u8"picked 😀 𠮷"));
  const std::vector<std::string> paths = MakeUnicodeFiles(tree, FromU8(u8"picked 😀 𠮷"));
  // The dialog takes the names it is given as typed: those without a
  // trailing dot or space (which a typed name loses).
  const std::vector<std::string> picked(paths.begin(), paths.begin() + 7);
  std::string typed;
  for (std::size_t i = 0; i < picked.size(); ++i) typed += "\"" + UnicodeNames()[i] + "\" ";
  ModalResponder responder;
  vx::CMainDialog dlg;
  RunModal(dlg, [&] {
    responder.OnNextDialog([&](HWND fd) {
      vx::test::ChooseInFileDialog(fd, folder);
      vx::test::ChooseInFileDialog(fd, typed);
    });
    vx::test::Click(dlg, IDC_ADD_FILES);
    const std::vector<std::string> entries = Entries(dlg);
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()), std::set<std::string>(picked.begin(), picked.end()));
    EXPECT_EQ(entries.size(), picked.size());
    EXPECT_EQ(dlg.m_szLastDir, folder);
    EXPECT_EQ(CurrentDirectory(), ExeFolder());
  });
  EXPECT_TRUE(responder.boxes().empty());
}

// -------------------------------------------------------- canonical form

TEST(TargetCanonical, CommandLinePathsTakeTheirStoredForm) {
  TempTree tree;
  const std::string dir = tree.Folder("Mixed Case Dir");
  const std::string file = tree.File("Mixed Case Dir\\LongFileName.Text");
  tree.File("Mixed Case Dir\\Other.Text");
  const std::string sub = tree.Folder("Mixed Case Dir\\Sub");
  const std::string hyo = tree.Folder(FromU8(u8"表"));
  const std::string hyoFile = tree.File(FromU8(u8"表\\x.txt"));
  tree.Folder("Empty");
  std::string lower = file;  // all but the drive letter
  for (std::size_t i = 2; i < lower.size(); ++i) {
    if (lower[i] >= 'A' && lower[i] <= 'Z') lower[i] = static_cast<char>(lower[i] - 'A' + 'a');
  }
  std::string slashes = tree.root() + "/./Mixed Case Dir/Sub/../LongFileName.Text";
  std::string lowerDrive = file;
  lowerDrive[0] = static_cast<char>(lowerDrive[0] - 'A' + 'a');

  struct Row {
    std::string arg, canonical;
  } rows[] = {
      {lower, file},
      {slashes, file},
      {tree.Path("Mixed Case Dir\\long*.text"), file},
      {tree.Path(FromU8(u8"表\\*")), hyoFile},         // the first match is never "." or ".."
      {tree.Path(FromU8(u8"表\\*.*")), hyoFile},
      {tree.Path("Empty\\*"), ""},
      {tree.Path("Mixed Case Dir\\.*"), ""},
      {tree.Path("mixed case dir\\sub"), "\\" + sub},
      {tree.Path("Mixed Case Dir\\missing.txt"), ""},
      {dir + "\\", ""},
      {tree.Path(FromU8(u8"表\\X.TXT")), hyoFile},
      {hyo, "\\" + hyo},
      {lowerDrive, lowerDrive.substr(0, 2) + file.substr(2)},
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::CanonicalizePath(row.arg), row.canonical) << row.arg;

  // Short names, where the file system has them, give the long ones.
  char shortPath[MAX_PATH] = {};
  if (::GetShortPathNameA(file.c_str(), shortPath, MAX_PATH) != 0 && file != shortPath) {
    EXPECT_EQ(vx::CanonicalizePath(shortPath), file) << shortPath;
  }
  // A bare drive root is skipped.
  EXPECT_EQ(vx::CanonicalizePath(file.substr(0, 3)), "");
}

// ---------------------------------------------------------------- intake

TEST(TargetIntake, ArgumentsAreAddedSelectedWithTheCaretOnTheLast) {
  TempTree tree;
  const std::string file = tree.File("Intake.txt");
  tree.Folder("Folder");
  const std::string inner = tree.File("Folder\\Inner.txt");
  tree.Folder("WildFolder");
  const std::string wildInner = tree.File("WildFolder\\w.txt");
  tree.Folder("Docs");
  const std::string docsOnly = tree.File("Docs\\only.txt");
  ModalResponder responder;
  vx::CMainDialog dlg;
  // Started in the tree; the working directory is the program's folder.
  dlg.m_strStartDir = tree.root();
  ASSERT_NE(CurrentDirectory(), tree.root());
  RunModal(dlg, [&] {
    dlg.AddArgumentTargets({"Vextrane.exe", vx::FoldPathKey(file), "missing", "folder", file,
                            "Wild*", ".\\Docs\\*"});
    // A wildcard naming a folder adds what is below it.
    EXPECT_EQ(Entries(dlg), (std::vector<std::string>{file, inner, wildInner, docsOnly}));
    EXPECT_EQ(Selected(dlg), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(dlg.m_lbTargets.GetCaretIndex(), 3);
    EXPECT_FALSE(StartEnabled(dlg));
    // The same file named twice, in two spellings: the second is refused.
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_EQ(responder.boxes()[0].text, file + kDuplicateTail);
  });
}

// Unicode names on the command line reach their own files, never a
// look-alike, and are listed as they are stored.
TEST(TargetIntake, UnicodeArgumentsNameTheirFilesExactly) {
  TempTree tree;
  tree.Folder("args");
  const std::vector<std::string> paths = MakeUnicodeFiles(tree, "args");
  const std::string folder = tree.Folder(FromU8(u8"中文 folder"));
  const std::string inside = tree.File(FromU8(u8"中文 folder\\한.txt"));
  std::vector<std::string> arguments = {"Vextrane.exe"};
  for (const std::string& name : UnicodeNames()) arguments.push_back("args\\" + name);
  arguments.push_back(FromU8(u8"args\\nope😀.txt"));
  arguments.push_back(folder);
  ModalResponder responder;
  vx::CMainDialog dlg;
  dlg.m_strStartDir = tree.root();
  RunModal(dlg, [&] {
    dlg.AddArgumentTargets(arguments);
    std::vector<std::string> expected = paths;
    expected.push_back(inside);
    EXPECT_EQ(Entries(dlg), expected);
    EXPECT_TRUE(responder.boxes().empty());
  });
}

// The command line as the system gives it, split by the intake's rules; an
// argument with an unpaired surrogate is left out, the others keep their order.
TEST(TargetIntake, CommandLineArgumentsAreExact) {
  const struct {
    const char* what;
    std::wstring line;
    std::vector<std::string> arguments;
  } rows[] = {
      {"plain", L"prog a b", {"prog", "a", "b"}},
      {"quoted names outside code page 932", L"\"C:\\p q\\prog.exe\" \"caf\u00E9 \u00E9.txt\" \U0001F600.txt",
       {"C:\\p q\\prog.exe", vx::FromU8(u8"café é.txt"), vx::FromU8(u8"😀.txt")}},
      {"a pair of surrogates is one character", L"prog \xD842\xDFB7\u91CE.txt", {"prog", vx::FromU8(u8"𠮷野.txt")}},
      {"an unpaired high surrogate", L"prog a \"x\xD800.txt\" b", {"prog", "a", "b"}},
      {"an unpaired low surrogate at the end", L"prog a x\xDC00", {"prog", "a"}},
      {"escapes as before", L"prog \"a\\\"b\" c\\\\\"d e\"", {"prog", "a\"b", "c\\d e"}},
      {"the program's own name may hold one", L"pr\xD800og a", {"pr\xFFog", "a"}},
  };
  for (const auto& row : rows) EXPECT_EQ(vx::CommandLineArguments(row.line), row.arguments) << row.what;
}

}  // namespace
