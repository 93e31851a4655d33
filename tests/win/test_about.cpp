// The About box on the real dialog: texts, the links' font, colour and
// cursor, what a click hands to the shell, and the font's lifetime.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "res/links.h"
#include "res/resource.h"
#include "ui/about_dialog.h"
#include "ui/main_dialog.h"
#include "win/harness/harness.h"
#include "win/harness/screenshot.h"

namespace {

using vx::test::WindowText;

std::vector<HWND> Children(HWND dlg) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(dlg, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

bool IsLink(HWND child) {
  const int id = ::GetDlgCtrlID(child);
  return id == IDC_LINK_URL || id == IDC_LINK_MAIL;
}

bool IsIcon(HWND child) {
  return vx::test::ClassName(child) == "Static" && (::GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

TEST(AboutBox, Texts) {
  vx::CAboutDialog dlg;
  EXPECT_EQ(dlg.m_fontLink.GetSafeHandle(), nullptr);
  vx::test::RunModal(dlg, [&] {
    EXPECT_EQ(WindowText(dlg), vx::test::U8(u8"バージョン情報"));
    // Every control but the icon, in template order.
    std::vector<std::string> texts;
    for (HWND child : Children(dlg)) {
      if (!IsIcon(child)) texts.push_back(WindowText(child));
    }
    const std::vector<std::string> expected = {"OK",           "Vextrane version 1.10", "(C) 2026 Vextrane authors",
                                               VX_HOME_PAGE_URL, VX_MAIL_ADDRESS,         vx::test::U8(u8"URL  ："),
                                               vx::test::U8(u8"MAIL ：")};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(WindowText(dlg.GetDlgItem(IDC_LINK_URL)), VX_HOME_PAGE_URL);
    EXPECT_EQ(WindowText(dlg.GetDlgItem(IDC_LINK_MAIL)), VX_MAIL_ADDRESS);
    EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(IDOK));
  });
}

TEST(AboutBox, LinksAreBlueAndUnderlinedTheRestKeepsTheDialogsLook) {
  vx::CAboutDialog dlg;
  vx::test::RunModal(dlg, [&] {
    const HFONT linkFont = dlg.m_fontLink;
    ASSERT_NE(linkFont, nullptr);
    LOGFONTA font{};
    ASSERT_EQ(::GetObjectA(linkFont, sizeof font, &font), static_cast<int>(sizeof font));
    EXPECT_EQ(font.lfHeight, 12);
    EXPECT_EQ(font.lfWidth, 0);
    EXPECT_EQ(font.lfEscapement, 0);
    EXPECT_EQ(font.lfOrientation, 0);
    EXPECT_EQ(font.lfWeight, FW_DONTCARE);
    EXPECT_EQ(font.lfItalic, 0);
    EXPECT_EQ(font.lfUnderline, 1);
    EXPECT_EQ(font.lfStrikeOut, 0);
    EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
    EXPECT_EQ(font.lfOutPrecision, OUT_DEFAULT_PRECIS);
    EXPECT_EQ(font.lfClipPrecision, CLIP_DEFAULT_PRECIS);
    EXPECT_EQ(font.lfQuality, DRAFT_QUALITY);
    EXPECT_EQ(font.lfPitchAndFamily, DEFAULT_PITCH | FF_DONTCARE);
    EXPECT_STREQ(font.lfFaceName, "ＭＳ Ｐゴシック");  // LOGFONTA: the name in code page 932

    const HFONT dialogFont = dlg.GetFont();
    ASSERT_NE(dialogFont, linkFont);
    HDC dc = ::CreateCompatibleDC(nullptr);
    // The colours the dialog's default processing gives a static control.
    ::SetTextColor(dc, RGB(1, 2, 3));
    const LRESULT defaultBrush = ::DefWindowProcA(dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDC_LINK_URL)));
    const COLORREF defaultText = ::GetTextColor(dc);
    const COLORREF defaultBack = ::GetBkColor(dc);
    const int defaultMode = ::GetBkMode(dc);
    ASSERT_NE(defaultText, COLORREF{0x00FF0000});

    for (HWND child : Children(dlg)) {
      SCOPED_TRACE(WindowText(child));
      if (!IsIcon(child)) {  // an icon has no font
        EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageA(child, WM_GETFONT, 0, 0)), IsLink(child) ? linkFont : dialogFont);
      }
      ::SetTextColor(dc, RGB(1, 2, 3));
      ::SetBkColor(dc, RGB(4, 5, 6));
      ::SetBkMode(dc, OPAQUE);
      const LRESULT brush = ::SendMessageA(dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
      EXPECT_EQ(brush, defaultBrush);
      EXPECT_EQ(::GetTextColor(dc), IsLink(child) ? COLORREF{0x00FF0000} : defaultText);
      EXPECT_EQ(::GetBkColor(dc), defaultBack);
      EXPECT_EQ(::GetBkMode(dc), defaultMode);
    }
    ::DeleteDC(dc);
  });
}

TEST(AboutBox, LinkCursorOverTheLinksOnly) {
  const HCURSOR arrow = ::LoadCursorA(nullptr, IDC_ARROW);
  const HCURSOR wait = ::LoadCursorA(nullptr, IDC_WAIT);
  vx::CAboutDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ASSERT_NE(dlg.m_hLinkCursor, nullptr);
    // The help viewer's cursor 106 (a copy of it) where it exists, else the
    // system's hand.
    HMODULE viewer = ::LoadLibraryExA("winhlp32.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HCURSOR viewerCursor = viewer != nullptr ? ::LoadCursorA(viewer, MAKEINTRESOURCEA(106)) : nullptr;
    if (viewerCursor != nullptr) {
      std::printf("link cursor: the help viewer's cursor 106\n");
      EXPECT_NE(dlg.m_hLinkCursor, viewerCursor) << "a private copy";
      ICONINFO info{};
      EXPECT_TRUE(::GetIconInfo(dlg.m_hLinkCursor, &info));
      if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
      if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    } else {
      std::printf("link cursor: the system's hand (no help viewer cursor 106)\n");
      EXPECT_EQ(dlg.m_hLinkCursor, ::LoadCursorA(nullptr, IDC_HAND));
    }
    if (viewer != nullptr) ::FreeLibrary(viewer);
    EXPECT_NE(dlg.m_hLinkCursor, arrow);

    // The mouse over each control: the platform asks the control, which
    // asks the dialog.
    for (HWND child : Children(dlg)) {
      SCOPED_TRACE(WindowText(child));
      ::SetCursor(wait);
      ::SendMessageA(child, WM_SETCURSOR, reinterpret_cast<WPARAM>(child), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      EXPECT_EQ(::GetCursor(), IsLink(child) ? dlg.m_hLinkCursor : arrow);
    }
    ::SetCursor(wait);
    ::SendMessageA(dlg, WM_SETCURSOR, reinterpret_cast<WPARAM>(dlg.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), arrow);
  });
}

// A help viewer beside the program (found first by LoadLibraryEx) with a
// cursor 106 of its own, made for another processor: loaded as a program
// it would fail, read as a data file its cursor is found. The links show a
// private copy of that cursor, released with the About box.
#pragma pack(push, 2)
struct CursorGroup {
  WORD reserved = 0, type = 2, count = 1;
  WORD width = 32, height = 64, planes = 1, bitCount = 1;
  DWORD bytesInRes;
  WORD id = 1;
};
#pragma pack(pop)

bool WriteHelpViewerWithCursor(const std::string& path) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  // A copy of this program made for another processor: it cannot be
  // loaded as a program here, while its resources read as data all the same.
  std::ifstream in(self, std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (image.size() < 0x40) return false;
  DWORD pe = 0;
  std::memcpy(&pe, image.data() + 0x3C, sizeof pe);
  const std::size_t machine = pe + 4 + offsetof(IMAGE_FILE_HEADER, Machine);
  if (machine + 2 > image.size()) return false;
  const WORD foreign = IMAGE_FILE_MACHINE_POWERPC;
  std::memcpy(image.data() + machine, &foreign, sizeof foreign);
  if (!(std::ofstream(path, std::ios::binary | std::ios::trunc) << image)) return false;
  // A black 32 x 32 monochrome cursor: hot spot (0, 0), header, two
  // colours, XOR and AND masks all zero.
  std::vector<BYTE> cursor(4 + sizeof(BITMAPINFOHEADER) + 8 + 128 + 128, 0);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = 32;
  header.biHeight = 64;
  header.biPlanes = 1;
  header.biBitCount = 1;
  std::memcpy(cursor.data() + 4, &header, sizeof header);
  std::fill(cursor.begin() + 4 + sizeof header + 4, cursor.begin() + 4 + sizeof header + 8, BYTE{0xFF});  // white
  CursorGroup group;
  group.bytesInRes = static_cast<DWORD>(cursor.size());
  HANDLE update = ::BeginUpdateResourceA(path.c_str(), FALSE);
  if (update == nullptr) return false;
  const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  const bool ok = ::UpdateResourceA(update, RT_CURSOR, MAKEINTRESOURCEA(1), neutral, cursor.data(),
                                    static_cast<DWORD>(cursor.size())) &&
                  ::UpdateResourceA(update, RT_GROUP_CURSOR, MAKEINTRESOURCEA(106), neutral, &group, sizeof group);
  return ::EndUpdateResourceA(update, !ok) && ok;
}

TEST(AboutBox, LinkCursorIsACopyOfTheHelpViewersCursor106) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string viewer = self;
  viewer = viewer.substr(0, viewer.find_last_of('\\') + 1) + "winhlp32.exe";
  ASSERT_TRUE(WriteHelpViewerWithCursor(viewer));
  HMODULE asProgram = ::LoadLibraryA(viewer.c_str());
  EXPECT_EQ(asProgram, nullptr) << "the viewer cannot be loaded as a program";
  if (asProgram != nullptr) ::FreeLibrary(asProgram);
  const HCURSOR arrow = ::LoadCursorA(nullptr, IDC_ARROW);
  HCURSOR cursor = nullptr;
  {
    vx::CAboutDialog dlg;
    vx::test::RunModal(dlg, [&] {
      cursor = dlg.m_hLinkCursor;
      ASSERT_NE(cursor, nullptr);
      EXPECT_NE(cursor, ::LoadCursorA(nullptr, IDC_HAND));
      // Our cursor, not the system's: its masks are all zero bits (black).
      ICONINFO info{};
      ASSERT_TRUE(::GetIconInfo(cursor, &info));
      BITMAP mask{};
      ::GetObjectA(info.hbmMask, sizeof mask, &mask);
      EXPECT_EQ(mask.bmWidth, 32);
      std::vector<BYTE> bits(static_cast<std::size_t>(mask.bmWidthBytes) * mask.bmHeight);
      EXPECT_EQ(::GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data()), static_cast<LONG>(bits.size()));
      EXPECT_EQ(std::count(bits.begin(), bits.end(), BYTE{0}), static_cast<std::ptrdiff_t>(bits.size()));
      if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
      if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
      // The library is free again; the copy shows all the same.
      EXPECT_EQ(::GetModuleHandleA("winhlp32.exe"), nullptr);
      ::SendMessageA(dlg.GetDlgItem(IDC_LINK_URL), WM_SETCURSOR, reinterpret_cast<WPARAM>(dlg.GetDlgItem(IDC_LINK_URL)),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      EXPECT_EQ(::GetCursor(), cursor);
    });
  }
  // Released with the About box, even while it was the cursor shown.
  ICONINFO gone{};
  EXPECT_FALSE(::GetIconInfo(cursor, &gone));
  EXPECT_EQ(::GetCursor(), arrow);
  EXPECT_TRUE(::DeleteFileA(viewer.c_str()));
}

TEST(AboutBox, AClickHandsTheTargetToTheShellAndTheBoxStaysOpen) {
  vx::test::RecordingShell shell;
  vx::CAboutDialog dlg(shell);
  vx::test::RunModal(dlg, [&] {
    const struct {
      int id;
      std::string target;
    } links[] = {{IDC_LINK_URL, WindowText(dlg.GetDlgItem(IDC_LINK_URL))},
                 {IDC_LINK_MAIL, "mailto:" + WindowText(dlg.GetDlgItem(IDC_LINK_MAIL))},
                 {IDC_LINK_URL, VX_HOME_PAGE_URL}};
    for (const auto& link : links) {
      SCOPED_TRACE(link.target);
      shell.Clear();
      // A mouse click on the text.
      HWND control = dlg.GetDlgItem(link.id);
      ::PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
      ::PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
      vx::test::PumpMessages();
      ASSERT_EQ(shell.calls().size(), 1u);
      const vx::test::RecordingShell::Call& call = shell.calls()[0];
      EXPECT_TRUE(call.open);
      EXPECT_EQ(call.owner, dlg.m_hWnd);
      EXPECT_EQ(call.text, link.target);
      EXPECT_EQ(call.show, SW_SHOWNORMAL);
      EXPECT_TRUE(dlg.IsModalLoopRunning());
      EXPECT_FALSE(dlg.IsEnded());
      EXPECT_TRUE(::IsWindowVisible(dlg));
    }
    // Clicks elsewhere open nothing.
    shell.Clear();
    for (HWND child : Children(dlg)) {
      if (IsLink(child) || ::GetDlgCtrlID(child) == IDOK) continue;
      ::SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
      ::SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    vx::test::PumpMessages();
    EXPECT_TRUE(shell.calls().empty());
  });
}

TEST(AboutBox, EnterEscapeOkAndCloseBoxClose) {
  const struct {
    const char* what;
    void (*close)(vx::CAboutDialog&);
    INT_PTR result;
  } ways[] = {
      {"Enter", [](vx::CAboutDialog&) { vx::test::PressKey(VK_RETURN); }, IDOK},
      {"Escape", [](vx::CAboutDialog&) { vx::test::PressKey(VK_ESCAPE); }, IDCANCEL},
      {"OK", [](vx::CAboutDialog& dlg) { vx::test::Click(dlg, IDOK); }, IDOK},
      {"close box", [](vx::CAboutDialog& dlg) {
         dlg.Post(WM_SYSCOMMAND, SC_CLOSE, 0);
         vx::test::PumpMessages();
       }, IDCANCEL},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    vx::CAboutDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      way.close(dlg);
      EXPECT_TRUE(dlg.IsEnded());
    });
    EXPECT_EQ(result, way.result);
  }
}

// Each About box from the main window makes its own font and cursor and
// takes them along when it goes.
TEST(AboutBox, EachOpeningMakesAFreshFontDeletedWithTheBox) {
  vx::test::ModalResponder responder;
  vx::CMainDialog main;
  vx::test::RunModal(main, [&] {
    for (int opening = 0; opening < 2; ++opening) {
      SCOPED_TRACE(opening);
      HFONT font = nullptr;
      HCURSOR cursor = nullptr;
      bool ownCursor = false;
      responder.OnNextDialog([&](HWND about) {
        auto* dlg = static_cast<vx::CAboutDialog*>(vx::CDialog::FromHandle(about));
        ASSERT_NE(dlg, nullptr);
        font = reinterpret_cast<HFONT>(::SendDlgItemMessageA(about, IDC_LINK_URL, WM_GETFONT, 0, 0));
        EXPECT_EQ(font, dlg->m_fontLink.GetSafeHandle());
        EXPECT_EQ(::GetObjectType(font), DWORD{OBJ_FONT});
        cursor = dlg->m_hLinkCursor;
        ownCursor = cursor != ::LoadCursorA(nullptr, IDC_HAND);
        EXPECT_EQ(dlg->m_pShell, main.m_pShell) << "the main window's shell";
      });
      vx::test::Click(main, IDC_ABOUT);
      ASSERT_NE(font, nullptr);
      EXPECT_EQ(::GetObjectType(font), DWORD{0}) << "deleted with the About box";
      if (ownCursor) {
        ICONINFO info{};
        EXPECT_FALSE(::GetIconInfo(cursor, &info)) << "the cursor copy is released too";
      }
    }
  });
  EXPECT_EQ(responder.dialogs().size(), 2u);
}

}  // namespace

// test_about --screenshot: the About box, for the README.
int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--screenshot") {
    vx::CAboutDialog dlg;
    vx::test::ShowForScreenshot(dlg, 3000);
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
