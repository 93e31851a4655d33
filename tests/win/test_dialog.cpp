// The dialog layer on real templates: the modal run and its owner, data
// exchange, the event table (WM_COMMAND and WM_NOTIFY), pre-translation,
// and the control wrappers.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "ui/about_dialog.h"
#include "ui/list_edit_dialog.h"
#include "ui/main_dialog.h"
#include "win/harness/harness.h"

namespace {

using vx::test::WindowText;

// A dialog on the editor's template with bindings and handlers of every kind.
class ProbeDialog : public vx::CDialog {
 public:
  explicit ProbeDialog(HWND parent = nullptr) : CDialog(IDD_LIST_EDIT, parent) {}

  vx::CListCtrl m_list;
  std::string m_strSearch = vx::test::U8(u8"検索");
  std::string m_strReplace = vx::test::U8(u8"置換");

  int searchChanges = 0;
  int replaceChanges = 0;
  std::vector<NMLISTVIEW> itemChanges;
  bool blockItemChanges = false;
  bool dropEnter = true;
  std::vector<WPARAM> keyDowns;
  struct Posted {
    DWORD thread;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Posted> posted;
  bool showLater = false;

  HWND Item(int id) const { return GetDlgItem(id); }

 protected:
  BOOL OnInitDialog() override {
    m_bShowLater = showLater;
    CDialog::OnInitDialog();
    m_list.InsertColumn(0, vx::test::U8(u8"検索文字列"), LVCFMT_LEFT, 131);
    m_list.InsertColumn(1, vx::test::U8(u8"置換文字列"), LVCFMT_LEFT, 131);
    return TRUE;
  }
  void DoDataExchange(vx::CDataExchange* pDX) override {
    vx::DDX_Control(pDX, IDC_PAIR_LIST, m_list);
    vx::DDX_Text(pDX, IDC_PAIR_SEARCH, m_strSearch);
    vx::DDX_Text(pDX, IDC_PAIR_REPLACE, m_strReplace);
  }
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message != WM_KEYDOWN) return false;
    keyDowns.push_back(msg->wParam);
    return dropEnter && msg->wParam == VK_RETURN;
  }
  const EventTable& GetEventTable() const override { return kEvents; }

 private:
  void OnSearchChange() { ++searchChanges; }
  void OnReplaceChange() { ++replaceChanges; }
  void OnItemChanging(NMHDR*, LRESULT* result) { *result = blockItemChanges ? TRUE : FALSE; }
  void OnItemChanged(NMHDR* header, LRESULT*) {
    EXPECT_EQ(header->hwndFrom, m_list.m_hWnd);
    EXPECT_EQ(header->idFrom, UINT_PTR{IDC_PAIR_LIST});
    itemChanges.push_back(*reinterpret_cast<NMLISTVIEW*>(header));
  }
  void OnPosted(WPARAM wParam, LPARAM lParam) { posted.push_back({::GetCurrentThreadId(), wParam, lParam}); }
  static const EventTable kEvents;
};

const vx::CDialog::EventTable ProbeDialog::kEvents = {
    vx::CommandEvent(IDC_PAIR_SEARCH, EN_CHANGE, &ProbeDialog::OnSearchChange),
    vx::CommandEvent(IDC_PAIR_REPLACE, EN_CHANGE, &ProbeDialog::OnReplaceChange),
    vx::NotifyEvent(IDC_PAIR_LIST, LVN_ITEMCHANGING, &ProbeDialog::OnItemChanging),
    vx::NotifyEvent(IDC_PAIR_LIST, LVN_ITEMCHANGED, &ProbeDialog::OnItemChanged),
    vx::PostedEvent(WM_APP + 5, &ProbeDialog::OnPosted),
};

TEST(Dialog, DataExchangeIgnoresTheNotificationsItCauses) {
  ProbeDialog dlg;
  vx::test::RunModal(dlg, [&] {
    // Initialisation wrote the members into the fields without a handler run.
    EXPECT_EQ(WindowText(dlg.Item(IDC_PAIR_SEARCH)), vx::test::U8(u8"検索"));
    EXPECT_EQ(WindowText(dlg.Item(IDC_PAIR_REPLACE)), vx::test::U8(u8"置換"));
    EXPECT_EQ(dlg.searchChanges, 0);
    EXPECT_EQ(dlg.replaceChanges, 0);
    EXPECT_EQ(dlg.m_list.m_hWnd, dlg.Item(IDC_PAIR_LIST));

    // Typing runs the handler; reading brings the text, 0x5C second bytes
    // included, into the member.
    vx::test::ReplaceText(dlg.Item(IDC_PAIR_SEARCH), vx::test::U8(u8"表示ソ\\n"));
    EXPECT_EQ(dlg.searchChanges, 1);
    EXPECT_EQ(dlg.replaceChanges, 0);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_strSearch, vx::test::U8(u8"表示ソ\\n"));
    EXPECT_EQ(dlg.m_strReplace, vx::test::U8(u8"置換"));

    // Writing changes both fields and runs neither handler.
    dlg.m_strSearch = "a";
    dlg.m_strReplace = "";
    dlg.UpdateData(false);
    EXPECT_FALSE(dlg.IsExchangingData());
    EXPECT_EQ(WindowText(dlg.Item(IDC_PAIR_SEARCH)), "a");
    EXPECT_EQ(WindowText(dlg.Item(IDC_PAIR_REPLACE)), "");
    EXPECT_EQ(dlg.searchChanges, 1);
    EXPECT_EQ(dlg.replaceChanges, 0);

    // And the handlers answer again afterwards.
    vx::test::TypeText(dlg.Item(IDC_PAIR_REPLACE), "b");
    EXPECT_EQ(dlg.replaceChanges, 1);
  });
}

TEST(Dialog, NotifyHandlersGetTheHeaderAndSetTheResult) {
  ProbeDialog dlg;
  vx::test::RunModal(dlg, [&] {
    vx::CListCtrl& list = dlg.m_list;
    ASSERT_EQ(list.InsertItem(0, vx::test::U8(u8"あ")), 0);
    ASSERT_EQ(list.InsertItem(1, vx::test::U8(u8"い")), 1);
    dlg.itemChanges.clear();

    ASSERT_TRUE(list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
    ASSERT_FALSE(dlg.itemChanges.empty());
    EXPECT_EQ(dlg.itemChanges.back().iItem, 1);
    EXPECT_TRUE(dlg.itemChanges.back().uNewState & LVIS_SELECTED);
    EXPECT_EQ(list.GetSelectedItem(), 1);

    // The handler's result is the dialog's answer: TRUE to LVN_ITEMCHANGING
    // refuses the change.
    dlg.blockItemChanges = true;
    dlg.itemChanges.clear();
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(dlg.itemChanges.empty());
    EXPECT_EQ(list.GetItemState(0, LVIS_SELECTED), 0u);
    dlg.blockItemChanges = false;
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetItemState(0, LVIS_SELECTED), UINT{LVIS_SELECTED});
  });
}

TEST(Dialog, ListControlWrapper) {
  ProbeDialog dlg;
  vx::test::RunModal(dlg, [&] {
    vx::CListCtrl& list = dlg.m_list;
    EXPECT_EQ(list.GetColumnWidth(0), 131);
    EXPECT_EQ(list.GetColumnWidth(1), 131);
    const std::string longText(300, 'x');
    struct Row {
      std::string search, replace;
    } rows[] = {{vx::test::U8(u8"表"), vx::test::U8(u8"ソ")},
                {"", "\\n"},
                {longText, "a"},
                {"\\|", longText + vx::test::U8(u8"表")},
                {vx::test::U8(u8"😀 𠮷野家"), vx::test::U8(u8"한 café e\u0301")}};
    const int count = static_cast<int>(std::size(rows));
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(list.InsertItem(i, rows[i].search), i);
      ASSERT_TRUE(list.SetItemText(i, 1, rows[i].replace));
    }
    ASSERT_EQ(list.GetItemCount(), count);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(list.GetItemText(i, 0), rows[i].search) << i;
      EXPECT_EQ(list.GetItemText(i, 1), rows[i].replace) << i;
    }
    EXPECT_EQ(list.GetSelectedItem(), -1);
    list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 2);
    EXPECT_EQ(list.GetNextItem(2, LVNI_SELECTED), -1);
    EXPECT_TRUE(list.EnsureVisible(3));
    ASSERT_TRUE(list.DeleteItem(1));
    EXPECT_EQ(list.GetItemCount(), count - 1);
    EXPECT_EQ(list.GetItemText(1, 0), longText);
    EXPECT_EQ(list.GetSelectedItem(), 1);
    EXPECT_EQ(list.GetItemText(7, 0), "");
    ASSERT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
  });
}

// Characters typed into a field go through the dialog's own loop, which is
// Unicode end to end: one outside code page 932 arrives whole, a character
// beyond U+FFFF as its two surrogates, never as "?".
TEST(Dialog, TypedCharactersOutsideCodePage932ArriveWhole) {
  ProbeDialog dlg;
  vx::test::RunModal(dlg, [&] {
    const HWND field = dlg.Item(IDC_PAIR_SEARCH);
    vx::test::ReplaceText(field, "");
    ::SetFocus(field);
    for (const wchar_t unit : std::wstring(L"\uD55C\U0001F600\u00E9\u8868")) ::PostMessageW(field, WM_CHAR, unit, 1);
    vx::test::PumpMessages();
    const std::string typed = vx::test::U8(u8"한😀é表");
    EXPECT_EQ(WindowText(field), typed);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_strSearch, typed);
  });
}

TEST(Dialog, PreTranslateSeesKeysBeforeTheDialogKeyboardHandling) {
  ProbeDialog dlg;
  const INT_PTR result = vx::test::RunModal(dlg, [&] {
    ::SetFocus(dlg.Item(IDC_PAIR_SEARCH));
    vx::test::ReplaceText(dlg.Item(IDC_PAIR_SEARCH), "typed");
    // Dropped: Enter never reaches the default button.
    vx::test::PressKey(VK_RETURN);
    EXPECT_EQ(dlg.keyDowns, std::vector<WPARAM>{VK_RETURN});
    EXPECT_TRUE(::IsWindowVisible(dlg));
    EXPECT_EQ(dlg.m_strSearch, vx::test::U8(u8"検索"));
    // Let through: the default button OK ends the dialog after reading it.
    dlg.dropEnter = false;
    vx::test::PressKey(VK_RETURN);
    EXPECT_EQ(dlg.keyDowns.size(), 2u);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dlg.m_strSearch, "typed");
}

TEST(Dialog, EscapeCancelsAndEndDialogGivesTheResult) {
  {
    ProbeDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      ::SetFocus(dlg.Item(IDC_PAIR_SEARCH));
      vx::test::PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
  }
  {
    ProbeDialog dlg;
    EXPECT_EQ(vx::test::RunModal(dlg, [&] { dlg.EndDialog(42); }), 42);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
  }
}

TEST(Dialog, TheOwnerIsDisabledWhileANestedDialogRunsAndEnabledAfter) {
  ProbeDialog outer;
  vx::test::RunModal(outer, [&] {
    // Given a child control as parent, the owner is its top-level window.
    ProbeDialog inner(outer.Item(IDC_PAIR_SEARCH));
    HWND innerHwnd = nullptr;
    vx::test::RunModal(inner, [&] {
      innerHwnd = inner.m_hWnd;
      EXPECT_EQ(::GetWindow(inner, GW_OWNER), outer.m_hWnd);
      EXPECT_FALSE(::IsWindowEnabled(outer));
      EXPECT_TRUE(::IsWindowEnabled(inner));
    });
    EXPECT_FALSE(::IsWindow(innerHwnd));
    EXPECT_TRUE(::IsWindowEnabled(outer));

    // Without a parent, the owner is the application's main window.
    ProbeDialog second;
    vx::test::RunModal(second, [&] { EXPECT_EQ(::GetWindow(second, GW_OWNER), outer.m_hWnd); });

    // An owner that was disabled before stays disabled.
    ::EnableWindow(outer, FALSE);
    ProbeDialog third;
    vx::test::RunModal(third, [] {});
    EXPECT_FALSE(::IsWindowEnabled(outer));
    ::EnableWindow(outer, TRUE);
  });
}

// A worker thread posts through the dialog's post target; the event table's
// row answers on the dialog's thread, in order. Other numbers find no row.
TEST(Dialog, MessagesPostedByAWorkerAreAnsweredOnTheDialogsThread) {
  ProbeDialog dlg;
  HWND window = nullptr;
  vx::test::RunModal(dlg, [&] {
    window = dlg.m_hWnd;
    const vx::CPostTarget target = dlg.GetPostTarget();
    std::vector<bool> queued;
    std::thread worker([&] {
      for (int i = 1; i <= 3; ++i) queued.push_back(target.Post(WM_APP + 5, i, -i));
      queued.push_back(target.Post(WM_APP + 6, 9, 9));
    });
    worker.join();
    EXPECT_EQ(queued, (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(dlg.posted.empty());  // nothing runs on the worker
    vx::test::PumpMessages();
    ASSERT_EQ(dlg.posted.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(dlg.posted[i].thread, ::GetCurrentThreadId());
      EXPECT_EQ(dlg.posted[i].wParam, WPARAM(i + 1));
      EXPECT_EQ(dlg.posted[i].lParam, LPARAM(-(i + 1)));
    }
  });
  EXPECT_FALSE(vx::CPostTarget(window).Post(WM_APP + 5));  // the window is gone
}

// A dialog that shows itself later stays hidden; its owner is disabled all
// the same.
TEST(Dialog, ADialogShownLaterStartsHidden) {
  ProbeDialog outer;
  vx::test::RunModal(outer, [&] {
    ProbeDialog inner(outer.m_hWnd);
    inner.showLater = true;
    vx::test::RunModal(inner, [&] {
      EXPECT_FALSE(::IsWindowVisible(inner));
      EXPECT_FALSE(::IsWindowEnabled(outer));
    });
    EXPECT_TRUE(::IsWindowEnabled(outer));
  });
}

TEST(Dialog, AQuitMessageEndsTheLoopAndIsPostedAgain) {
  ::PostQuitMessage(7);
  ProbeDialog dlg;
  EXPECT_EQ(dlg.DoModal(), -1);  // ended without EndDialog
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  MSG msg;
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, WPARAM{7});
}

TEST(Dialog, ComboAndListBoxWrappers) {
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    vx::CComboBox& combo = dlg.m_cbSearch;
    EXPECT_EQ(combo.AddString(vx::test::U8(u8"表")), 0);
    EXPECT_EQ(combo.AddString("abc"), 1);
    EXPECT_EQ(combo.InsertString(0, "first"), 0);
    EXPECT_EQ(combo.GetCount(), 3);
    EXPECT_EQ(combo.GetLBText(1), vx::test::U8(u8"表"));
    EXPECT_EQ(combo.GetLBText(9), "");
    EXPECT_EQ(combo.FindStringExact(-1, "abc"), 2);
    EXPECT_EQ(combo.GetCurSel(), -1);
    combo.SetCurSel(1);
    EXPECT_EQ(combo.GetCurSel(), 1);
    EXPECT_EQ(combo.GetWindowText(), vx::test::U8(u8"表"));
    EXPECT_EQ(combo.DeleteString(0), 2);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.GetWindowText(), "");
    EXPECT_EQ(::GetParent(combo.GetEditHwnd()), combo.m_hWnd);
    // Entries outside code page 932, and a look-alike that is another entry.
    const std::string unicode = vx::test::U8(u8"😀 café"), lookAlike = vx::test::U8(u8"😀 cafe");
    EXPECT_EQ(combo.AddString(unicode), 0);
    EXPECT_EQ(combo.GetLBText(0), unicode);
    EXPECT_EQ(combo.FindStringExact(-1, unicode), 0);
    EXPECT_EQ(combo.FindStringExact(-1, lookAlike), CB_ERR);
    combo.SetCurSel(0);
    EXPECT_EQ(combo.GetWindowText(), unicode);
    combo.ResetContent();

    vx::CListBox& list = dlg.m_lbTargets;
    const char* paths[] = {"C:\\a\\b.txt.bak", "C:\\a\\b.txt", vx::test::U8(u8"C:\\表\\c.txt")};
    for (const char* path : paths) list.AddString(path);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetText(2), vx::test::U8(u8"C:\\表\\c.txt"));
    EXPECT_EQ(list.GetText(5), "");
    EXPECT_EQ(list.FindString(-1, "c:\\A\\B.TXT"), 0);  // prefix, any letter case
    EXPECT_EQ(list.FindString(-1, "C:\\x"), LB_ERR);
    list.SetSel(-1, false);
    list.SetSel(1);
    list.SetSel(2);
    EXPECT_EQ(list.GetSelCount(), 2);
    EXPECT_GT(list.GetSel(1), 0);
    EXPECT_EQ(list.GetSel(0), 0);
    list.SetCaretIndex(2);
    EXPECT_EQ(list.GetCaretIndex(), 2);
    list.SetHorizontalExtent(123);
    EXPECT_EQ(list.GetHorizontalExtent(), 123);
    EXPECT_EQ(list.GetTopIndex(), 0);
    EXPECT_EQ(list.DeleteString(0), 2);
    EXPECT_EQ(list.GetText(0), "C:\\a\\b.txt");
  });
}

TEST(Dialog, DisablingTheFocusedControlMovesTheFocusOn) {
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    HWND autoAll = dlg.GetDlgItem(IDC_AUTO_ALL);
    ::SendMessageA(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(autoAll), TRUE);
    ASSERT_EQ(::GetFocus(), autoAll);
    dlg.EnableItem(IDC_AUTO_ALL, false);
    EXPECT_FALSE(::IsWindowEnabled(autoAll));
    EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(IDC_MAKE_BACKUP));
    dlg.EnableItem(IDC_AUTO_ALL, true);
    EXPECT_TRUE(::IsWindowEnabled(autoAll));
  });
}

TEST(Dialog, TheEditorAndAboutTemplatesLoad) {
  struct Row {
    const char* caption;
    std::vector<std::pair<int, const char*>> controls;  // id, class
  };
  const Row editor = {vx::test::U8(u8"置換リスト編集"),
                      {{IDC_PAIR_LIST, "SysListView32"}, {IDC_PAIR_SEARCH, "Edit"}, {IDC_PAIR_REPLACE, "Edit"},
                       {IDC_PAIR_ADD, "Button"}, {IDC_PAIR_EDIT, "Button"}, {IDC_PAIR_DELETE, "Button"},
                       {IDOK, "Button"}, {IDCANCEL, "Button"}}};
  const Row about = {vx::test::U8(u8"バージョン情報"),
                     {{IDOK, "Button"}, {IDC_LINK_URL, "Static"}, {IDC_LINK_MAIL, "Static"}}};
  auto check = [](vx::CDialog& dlg, const Row& row) {
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      EXPECT_EQ(WindowText(dlg), row.caption);
      EXPECT_TRUE(::IsWindowVisible(dlg));
      for (const auto& [id, cls] : row.controls) {
        HWND control = dlg.GetDlgItem(id);
        ASSERT_NE(control, nullptr) << row.caption << " " << id;
        EXPECT_EQ(vx::test::ClassName(control), cls) << row.caption << " " << id;
      }
    });
    EXPECT_EQ(result, IDCANCEL);
  };
  vx::CListEditDialog editorDialog;
  check(editorDialog, editor);
  vx::CAboutDialog aboutDialog;
  check(aboutDialog, about);
}

}  // namespace
