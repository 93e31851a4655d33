// The main window as it comes up: template, controls, defaults, icons,
// position, working directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "win/harness/harness.h"
#include "res/resource.h"
#include "targets/path_text.h"
#include "ui/main_dialog.h"
#include "platform/wide.h"
#include "ui/program.h"

namespace {

using vx::test::ClassName;
using vx::test::WindowText;

using vx::CurrentDirectory;
using vx::test::TempFolder;
using vx::test::U8;

std::string ExeFolder() { return vx::FolderOf(vx::ProgramPath()); }

// The controls of template IDD_MAIN, in template (tab) order.
struct ControlRow {
  int id;
  const char* windowClass;
  const char* text;
  short x, y, cx, cy;
  DWORD style;
};
const ControlRow kMainControls[] = {
    {-1, "Static", vx::test::U8(u8"検索文字列(&F)"), 10, 13, 44, 8, 0x50020000},
    {IDC_SEARCH_COMBO, "ComboBox", "", 60, 10, 146, 160, 0x50210002},
    {-1, "Static", vx::test::U8(u8"置換文字列(&R)"), 10, 33, 44, 8, 0x50020000},
    {IDC_REPLACE_COMBO, "ComboBox", "", 60, 30, 146, 160, 0x50210002},
    {IDC_ADD_FILES, "Button", vx::test::U8(u8"追加(&T)..."), 111, 55, 45, 14, 0x50010000},
    {IDC_REMOVE_FILES, "Button", vx::test::U8(u8"削除(&D)"), 161, 55, 45, 14, 0x50010000},
    {-1, "Static", vx::test::U8(u8"置換するファイルリスト(&L)"), 10, 59, 75, 8, 0x50020000},
    {IDC_FILE_LIST, "ListBox", "", 10, 73, 196, 67, 0x50B10901},
    {IDC_AUTO_ALL, "Button", vx::test::U8(u8"置換リストの全自動置換(&J)"), 10, 150, 95, 10, 0x50010003},
    {IDC_MAKE_BACKUP, "Button", vx::test::U8(u8"バックアップを作成(&B)"), 110, 150, 80, 10, 0x50010003},
    {IDC_START, "Button", vx::test::U8(u8"置換開始(&G)"), 10, 165, 46, 14, 0x58010000},
    {IDC_EDIT_LIST, "Button", vx::test::U8(u8"リスト編集(&H)..."), 60, 165, 46, 14, 0x50010000},
    {IDCANCEL, "Button", vx::test::U8(u8"終了(&X)"), 110, 165, 46, 14, 0x50010000},
    {IDC_ABOUT, "Button", "About(&A)...", 160, 165, 46, 14, 0x50010000},
    {IDC_PREVIEW, "Button", vx::test::U8(u8"プレビュー(&P)..."), 10, 183, 60, 14, 0x58010000},
    {IDC_UNDO, "Button", vx::test::U8(u8"元に戻す(&U)"), 75, 183, 55, 14, 0x58010000},
};

TEST(MainWindow, EveryControlIsThereInTabOrder) {
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    HWND child = ::GetWindow(dlg, GW_CHILD);
    for (const ControlRow& row : kMainControls) {
      SCOPED_TRACE(row.text);
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(static_cast<short>(::GetDlgCtrlID(child)), row.id);
      EXPECT_STREQ(ClassName(child).c_str(), row.windowClass);
      EXPECT_EQ(WindowText(child), row.text);
      // At run time the scroll-bar bits tell whether a scroll bar is shown
      // (an empty list shows none), and the platform may show a list box's
      // border as an extended style. test_templates pins the exact values.
      const DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(child, GWL_STYLE));
      DWORD mayDiffer = 0;
      if (row.id == IDC_SEARCH_COMBO || row.id == IDC_REPLACE_COMBO) mayDiffer = WS_VSCROLL;
      if (row.id == IDC_FILE_LIST) mayDiffer = WS_VSCROLL | WS_HSCROLL | WS_BORDER;
      EXPECT_EQ(style | mayDiffer, row.style | mayDiffer);
      EXPECT_EQ(style & ~mayDiffer, row.style & ~mayDiffer);
      // Position and size, each converted from dialog units as the template
      // loader converts them.
      RECT position = {row.x, row.y, row.cx, row.cy};
      ::MapDialogRect(dlg, &position);
      RECT actual;
      ::GetWindowRect(child, &actual);
      ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&actual), 2);
      EXPECT_EQ(actual.left, position.left);
      EXPECT_EQ(actual.top, position.top);
      EXPECT_EQ(actual.right - actual.left, position.right);
      if (row.id != IDC_SEARCH_COMBO && row.id != IDC_REPLACE_COMBO) {  // a combo box shows its field only
        EXPECT_EQ(actual.bottom - actual.top, position.bottom);
      }
      child = ::GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "a control the template does not have";
    EXPECT_EQ(::GetDlgItem(dlg, IDOK), nullptr);
  });
}

TEST(MainWindow, ComesUpWithItsDefaults) {
  vx::ChangeDirectory(ExeFolder());
  vx::CMainDialog dlg;
  EXPECT_EQ(dlg.m_bAutoAll, 0);
  EXPECT_EQ(dlg.m_bMakeBackup, 1);
  EXPECT_EQ(dlg.m_cxMaxItem, 0);
  vx::test::RunModal(dlg, [&] {
    EXPECT_EQ(WindowText(dlg), "Vextrane");
    EXPECT_TRUE(::IsWindowVisible(dlg));
    const DWORD exStyle = dlg.GetExStyle();
    EXPECT_EQ(exStyle & (WS_EX_APPWINDOW | WS_EX_ACCEPTFILES), DWORD{WS_EX_APPWINDOW | WS_EX_ACCEPTFILES});
    EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_AUTO_ALL, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_MAKE_BACKUP, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(::IsWindowEnabled(dlg.GetDlgItem(IDC_START)));
    // The focus is in the search field (the combo box's edit control).
    HWND focus = ::GetFocus();
    EXPECT_NE(focus, nullptr);
    EXPECT_EQ(focus, dlg.m_cbSearch.GetEditHwnd());
    EXPECT_EQ(::GetParent(focus), dlg.GetDlgItem(IDC_SEARCH_COMBO));

    // The control objects are bound to their controls.
    EXPECT_EQ(dlg.m_cbReplace.m_hWnd, dlg.GetDlgItem(IDC_REPLACE_COMBO));
    EXPECT_EQ(dlg.m_cbSearch.m_hWnd, dlg.GetDlgItem(IDC_SEARCH_COMBO));
    EXPECT_EQ(dlg.m_lbTargets.m_hWnd, dlg.GetDlgItem(IDC_FILE_LIST));
    EXPECT_EQ(dlg.m_lbTargets.GetCount(), 0);
    EXPECT_EQ(dlg.m_cbSearch.GetWindowText(), "");
    EXPECT_EQ(dlg.m_cbReplace.GetWindowText(), "");

    // m_szLastDir is the working directory at initialisation.
    EXPECT_EQ(std::string(dlg.m_szLastDir), ExeFolder());

    // Centred on the screen's work area.
    RECT window, work;
    ::GetWindowRect(dlg, &window);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 2);
  });
}

TEST(MainWindow, IconsAreTheProgramsBigAndSmallIcon) {
  vx::CMainDialog dlg;
  ASSERT_NE(dlg.m_hIcon, nullptr);
  ASSERT_NE(dlg.m_hSmallIcon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(dlg.m_hSmallIcon, &info));
  BITMAP bitmap{};
  ::GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  EXPECT_EQ(bitmap.bmWidth, 16);
  if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);

  vx::test::RunModal(dlg, [&] {
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.Send(WM_GETICON, ICON_BIG)), dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.Send(WM_GETICON, ICON_SMALL)), dlg.m_hSmallIcon);
    // Dragged while minimised, the window shows the 16 x 16 icon.
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.Send(WM_QUERYDRAGICON)), dlg.m_hSmallIcon);
  });
}

TEST(MainWindow, ExitCloseBoxAndAltF4EndWithCancel) {
  struct Way {
    const char* name;
    void (*close)(vx::CMainDialog&);
  } ways[] = {
      {"Exit button", [](vx::CMainDialog& dlg) { vx::test::Click(dlg, IDCANCEL); }},
      {"close box", [](vx::CMainDialog& dlg) {
         dlg.Post(WM_SYSCOMMAND, SC_CLOSE, 0);
         vx::test::PumpMessages();
       }},
      {"WM_CLOSE", [](vx::CMainDialog& dlg) {
         dlg.Post(WM_CLOSE);
         vx::test::PumpMessages();
       }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    vx::CMainDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] { way.close(dlg); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
  }
}

TEST(MainWindow, AboutBoxIsOwnedByTheMainWindowWhichItDisables) {
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  HWND seen = nullptr;
  vx::test::RunModal(dlg, [&] {
    responder.OnNextDialog([&](HWND about) {
      seen = about;
      EXPECT_EQ(WindowText(about), vx::test::U8(u8"バージョン情報"));
      EXPECT_EQ(::GetWindow(about, GW_OWNER), dlg.m_hWnd);
      EXPECT_FALSE(::IsWindowEnabled(dlg));
      EXPECT_TRUE(::IsWindowVisible(about));
      vx::test::Click(about, IDOK);
    });
    vx::test::Click(dlg, IDC_ABOUT);
    // Back in the main window: the About box is gone, the owner enabled.
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(::IsWindow(seen));
    EXPECT_TRUE(::IsWindowEnabled(dlg));
    EXPECT_TRUE(dlg.IsModalLoopRunning());
  });
  EXPECT_EQ(responder.dialogs().size(), 1u);
}

// The working directory: the program moves to its own folder, found by a
// double-byte aware cut, wherever it was started from.
TEST(StartUp, ChangeToProgramDirectoryFromElsewhere) {
  ASSERT_TRUE(vx::ChangeDirectory(TempFolder()));
  ASSERT_NE(CurrentDirectory(), ExeFolder());
  vx::ChangeToProgramDirectory();
  EXPECT_EQ(CurrentDirectory(), ExeFolder());

  // The main window then keeps that folder as the Add Files folder.
  vx::ChangeDirectory(TempFolder());
  vx::ChangeToProgramDirectory();
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] { EXPECT_EQ(std::string(dlg.m_szLastDir), ExeFolder()); });
}

// Starts a copy of this program at `exe` from the working directory
// `startIn`; returns the working directory it reports after
// ChangeToProgramDirectory.
std::string WorkingDirectoryOfCopyAt(const std::string& exe, const std::string& startIn) {
  if (!::CopyFileW(vx::Widen(vx::ProgramPath()).c_str(), vx::Widen(exe).c_str(), FALSE)) return "(copy failed)";
  const std::string report = TempFolder() + "\\vx_cwd_report_" + std::to_string(::GetCurrentProcessId()) + ".txt";
  std::wstring command = vx::Widen("\"" + exe + "\" --report-cwd \"" + report + "\"");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cwd = "(not started)";
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, vx::Widen(startIn).c_str(), &si,
                       &pi)) {
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    cwd = vx::test::ReadBytes(report);
    if (!cwd.empty() && cwd.back() == '\n') cwd.pop_back();
  }
  vx::test::RemovePath(report);
  vx::test::RemovePath(exe);
  return cwd;
}

// A copy of this program in a folder whose name ends in characters whose
// code page 932 forms end in 0x5C, and in one whose name code page 932
// cannot hold, started from another working directory, moves to its own
// folder.
TEST(StartUp, ProgramInADoubleByteFolderMovesThere) {
  const std::string base = TempFolder() + "\\vx_cwd_" + std::to_string(::GetCurrentProcessId());
  vx::test::MakeFolder(base);
  for (const std::string& name : {vx::FromU8(u8"ソ表"), vx::FromU8(u8"😀 𠮷 café")}) {
    const std::string folder = base + "\\" + name;
    ASSERT_TRUE(vx::test::MakeFolder(folder) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WorkingDirectoryOfCopyAt(folder + "\\cwd_probe.exe", base), folder);
  }
  vx::test::RemovePath(base);
}

// A copy in a drive's root moves to that root, not to the drive's current
// directory, which the bare "C:" would name. (Writes to C:\, as the test
// prefix allows.)
TEST(StartUp, ProgramInADriveRootMovesToTheRoot) {
  wchar_t wide[MAX_PATH] = {};
  ::GetWindowsDirectoryW(wide, MAX_PATH);
  const std::string windows = vx::Narrow(wide);
  const std::string root = windows.substr(0, 2) + "\\";
  const std::string exe = root + "vx_cwd_probe_" + std::to_string(::GetCurrentProcessId()) + ".exe";
  // Started from a folder of the same drive, so that the drive's current
  // directory is that folder.
  EXPECT_EQ(WorkingDirectoryOfCopyAt(exe, windows), root);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--report-cwd") {
    vx::ChangeToProgramDirectory();
    std::ofstream(argv[2], std::ios::binary) << CurrentDirectory() << "\n";
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
