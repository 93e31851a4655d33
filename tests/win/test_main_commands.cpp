// The main window's commands on the real window: the Start button's rules,
// the paired drop-down lists, the all-pairs option, Edit List, and the keys
// that must not close the window.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file_fault.h"
#include "platform/unicode.h"
#include "replacelist/window_settings.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
#include "win/harness/harness.h"

namespace {

using vx::test::Click;
using vx::test::PressKey;
using vx::test::ReplaceText;
using vx::test::TypeText;
using vx::test::WindowText;
using Entries = std::vector<std::string>;

Entries EntriesOf(const vx::CComboBox& combo) {
  Entries entries;
  for (int i = 0; i < combo.GetCount(); ++i) entries.push_back(combo.GetLBText(i));
  return entries;
}

// Start's state; Preview is always in the same one.
bool StartEnabled(const vx::CMainDialog& dlg) {
  const bool start = ::IsWindowEnabled(dlg.GetDlgItem(IDC_START)) != FALSE;
  if (HWND preview = dlg.GetDlgItem(IDC_PREVIEW)) EXPECT_EQ(::IsWindowEnabled(preview) != FALSE, start);
  return start;
}
void SetStart(const vx::CMainDialog& dlg, bool enabled) { dlg.EnableStart(enabled); }

void AddTargets(const vx::CMainDialog& dlg, int count) {
  for (int i = 0; i < count; ++i) dlg.m_lbTargets.AddString("C:\\target" + std::to_string(i) + ".txt");
}

void FillLists(const vx::CMainDialog& dlg, const Entries& search, const Entries& replace) {
  dlg.m_cbSearch.ResetContent();
  dlg.m_cbReplace.ResetContent();
  for (const std::string& text : search) dlg.m_cbSearch.AddString(text);
  for (const std::string& text : replace) dlg.m_cbReplace.AddString(text);
}

// Each test runs in a folder of its own, where list.dat is looked for.
class MainCommands : public vx::test::ListFolderTest {
 protected:
  MainCommands() : ListFolderTest("vx-main-commands") {}
  void TearDown() override {
    vx::platform::ClearFileFaults();
    ListFolderTest::TearDown();
  }
};

// Typing in the search field: Start needs a search text and a target.
TEST_F(MainCommands, StartFollowsTheSearchTextAndTheTargets) {
  const struct {
    const char* what;
    int targets;
    bool startBefore;
    const char* before;  // search text before
    const char* typed;   // the whole new text, typed over the old
    bool expected;
  } rows[] = {
      {"no target", 0, false, "", "a", false},
      {"no target, Start on", 0, true, "", "a", false},
      {"first character with a target", 1, false, "", "a", true},
      {"more characters", 2, true, "a", "ab", true},
      {"last character deleted", 1, true, "a", "", false},
      {"a space is text", 1, false, "", " ", true},
      {"double-byte text", 1, false, "", vx::test::U8(u8"表示"), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      AddTargets(dlg, row.targets);
      HWND edit = dlg.m_cbSearch.GetEditHwnd();
      ::SetWindowTextA(edit, row.before);
      SetStart(dlg, row.startBefore);
      ::SetFocus(edit);
      ReplaceText(edit, row.typed);
      EXPECT_EQ(StartEnabled(dlg), row.expected);
      EXPECT_EQ(WindowText(edit), row.typed);
    });
  }
}

// Choosing in the search list: the replacement with the same index follows;
// Start is enabled with a target, else left alone.
TEST_F(MainCommands, ChoosingASearchEntryBringsItsReplacement) {
  const Entries search = {"a", "b", "", "d", "odd"};  // one more than replacements
  const Entries replace = {"1", "2", "3", "4"};
  const struct {
    const char* what;
    int targets;
    bool startBefore;
    int chosen;
    const char* replaceText;
    int replaceSel;
    bool startAfter;
  } rows[] = {
      {"third entry, no target", 0, false, 2, "3", 2, false},
      {"no target, Start on stays on", 0, true, 1, "2", 1, true},
      {"first entry with a target", 1, false, 0, "1", 0, true},
      {"empty search entry with a target", 1, false, 2, "3", 2, true},
      {"last entry without a partner", 1, false, 4, "", CB_ERR, true},
      {"last entry, no target, Start off", 0, false, 4, "", CB_ERR, false},
      {"no selection", 0, true, -1, "", CB_ERR, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      FillLists(dlg, search, replace);
      AddTargets(dlg, row.targets);
      // Something in the replacement field first, to see it go.
      dlg.m_cbReplace.SetCurSel(3);
      SetStart(dlg, row.startBefore);
      vx::test::SelectComboItem(dlg, IDC_SEARCH_COMBO, row.chosen);
      EXPECT_EQ(dlg.m_cbReplace.GetCurSel(), row.replaceSel);
      EXPECT_EQ(WindowText(dlg.m_cbReplace), row.replaceText);
      EXPECT_EQ(StartEnabled(dlg), row.startAfter);
      EXPECT_EQ(EntriesOf(dlg.m_cbSearch), search);
      EXPECT_EQ(EntriesOf(dlg.m_cbReplace), replace);
    });
  }
}

TEST_F(MainCommands, ChoosingAReplacementLeavesTheSearchFieldAlone) {
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    FillLists(dlg, {"a", "b"}, {"1", "2"});
    AddTargets(dlg, 1);
    vx::test::SelectComboItem(dlg, IDC_SEARCH_COMBO, 0);
    SetStart(dlg, false);
    vx::test::SelectComboItem(dlg, IDC_REPLACE_COMBO, 1);
    EXPECT_EQ(WindowText(dlg.m_cbSearch), "a");
    EXPECT_EQ(dlg.m_cbSearch.GetCurSel(), 0);
    EXPECT_EQ(WindowText(dlg.m_cbReplace), "2");
    EXPECT_FALSE(StartEnabled(dlg));
    // Typing in the replacement field changes nothing else either.
    TypeText(dlg.m_cbReplace.GetEditHwnd(), "x");
    EXPECT_EQ(WindowText(dlg.m_cbSearch), "a");
    EXPECT_FALSE(StartEnabled(dlg));
  });
}

// From list.dat: three lines make a search list one entry longer.
TEST_F(MainCommands, OddLastSearchEntryEmptiesTheReplacement) {
  PutList("a\r\nb\r\nc\r\n");
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ASSERT_EQ(EntriesOf(dlg.m_cbSearch), (Entries{"a", "c"}));
    ASSERT_EQ(EntriesOf(dlg.m_cbReplace), (Entries{"b"}));
    vx::test::SelectComboItem(dlg, IDC_SEARCH_COMBO, 0);
    EXPECT_EQ(WindowText(dlg.m_cbReplace), "b");
    vx::test::SelectComboItem(dlg, IDC_SEARCH_COMBO, 1);
    EXPECT_EQ(WindowText(dlg.m_cbSearch), "c");
    EXPECT_EQ(WindowText(dlg.m_cbReplace), "");
    EXPECT_EQ(dlg.m_cbReplace.GetCurSel(), CB_ERR);
  });
}

TEST_F(MainCommands, AllPairsDisablesBothFieldsAndKeepsTheirContents) {
  for (const bool start : {false, true}) {
    SCOPED_TRACE(start ? "Start on" : "Start off");
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      FillLists(dlg, {"a", "b"}, {"1", "2"});
      AddTargets(dlg, 1);
      vx::test::SelectComboItem(dlg, IDC_SEARCH_COMBO, 1);
      TypeText(dlg.m_cbReplace.GetEditHwnd(), "+");
      SetStart(dlg, start);
      // The backup box is read along with it.
      dlg.Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dlg.GetDlgItem(IDC_AUTO_ALL)), TRUE);
      ::SendDlgItemMessageA(dlg, IDC_MAKE_BACKUP, BM_SETCHECK, BST_UNCHECKED, 0);

      for (const int checked : {1, 0, 1}) {
        SCOPED_TRACE(checked);
        Click(dlg, IDC_AUTO_ALL);
        EXPECT_EQ(dlg.m_bAutoAll, checked);
        EXPECT_EQ(dlg.m_bMakeBackup, 0);
        EXPECT_EQ(::IsWindowEnabled(dlg.GetDlgItem(IDC_SEARCH_COMBO)) != FALSE, checked == 0);
        EXPECT_EQ(::IsWindowEnabled(dlg.GetDlgItem(IDC_REPLACE_COMBO)) != FALSE, checked == 0);
        EXPECT_EQ(WindowText(dlg.m_cbSearch), "b");
        EXPECT_EQ(dlg.m_cbSearch.GetCurSel(), 1);
        EXPECT_EQ(WindowText(dlg.m_cbReplace), "+2");
        EXPECT_EQ(EntriesOf(dlg.m_cbSearch), (Entries{"a", "b"}));
        EXPECT_EQ(EntriesOf(dlg.m_cbReplace), (Entries{"1", "2"}));
        // A target and pairs; a search text when the mode is left.
        EXPECT_TRUE(StartEnabled(dlg));
        EXPECT_NE(::GetFocus(), nullptr);
      }
    });
  }
}

// In all-pairs mode Start needs a target and a pair of the replace list,
// whatever the fields hold: when the mode is ticked, after adds and removes,
// after the editor's OK. Once the mode is left, the search field counts again.
TEST_F(MainCommands, AllPairsStartNeedsATargetAndAPair) {
  PutList("a\r\n1\r\n");
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    const auto removeFirst = [&] {
      dlg.m_lbTargets.SetSel(-1, false);
      dlg.m_lbTargets.SetSel(0, true);
      Click(dlg, IDC_REMOVE_FILES);
    };
    // The editor's OK with the rows of the list emptied, or with a pair added.
    const auto editList = [&](bool empty) {
      responder.OnNextDialog([empty](HWND editor) {
        if (empty) {
          while (::SendDlgItemMessageA(editor, IDC_PAIR_LIST, LVM_GETITEMCOUNT, 0, 0) > 0) {
            Click(editor, IDC_PAIR_DELETE);
          }
        } else {
          ReplaceText(::GetDlgItem(editor, IDC_PAIR_SEARCH), "b");
          Click(editor, IDC_PAIR_ADD);
        }
        Click(editor, IDOK);
      });
      Click(dlg, IDC_EDIT_LIST);
    };
    const struct {
      const char* what;
      std::function<void()> act;
      bool start;
    } steps[] = {
        {"fresh start", [] {}, false},
        {"ticked, no target", [&] { Click(dlg, IDC_AUTO_ALL); }, false},
        {"a target added", [&] { dlg.AddTargetFile("C:\\t1.txt"); }, true},
        {"a second one", [&] { dlg.AddTargetFile("C:\\t2.txt"); }, true},
        {"one removed", removeFirst, true},
        {"the last removed", removeFirst, false},
        {"added again", [&] { dlg.AddTargetFile("C:\\t3.txt"); }, true},
        {"the editor's OK", [&] { editList(false); }, true},
        {"the editor's OK with no pair left", [&] { editList(true); }, false},
        {"a target added to no pair", [&] { dlg.AddTargetFile("C:\\t4.txt"); }, false},
        {"the editor's OK with a pair", [&] { editList(false); }, true},
        {"left, the search field empty", [&] { Click(dlg, IDC_AUTO_ALL); }, false},
        {"a search text typed", [&] { TypeText(dlg.m_cbSearch.GetEditHwnd(), "x"); }, true},
        {"ticked again", [&] { Click(dlg, IDC_AUTO_ALL); }, true},
        {"left with a search text", [&] { Click(dlg, IDC_AUTO_ALL); }, true},
    };
    for (const auto& step : steps) {
      SCOPED_TRACE(step.what);
      step.act();
      EXPECT_EQ(StartEnabled(dlg), step.start);
    }
    EXPECT_TRUE(responder.boxes().empty());
    EXPECT_EQ(responder.dialogs().size(), 3u);
  });
}

// Switched on while the search field has the focus (as by its access key),
// the option moves the focus out of the field it disables.
TEST_F(MainCommands, AllPairsKeepsTheKeyboardAlive) {
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ::SetFocus(dlg.m_cbSearch.GetEditHwnd());
    ::SendDlgItemMessageA(dlg, IDC_AUTO_ALL, BM_SETCHECK, BST_CHECKED, 0);
    dlg.ApplyAutoAllOption();
    HWND focus = ::GetFocus();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(::IsWindowEnabled(focus));
    EXPECT_EQ(::GetAncestor(focus, GA_ROOT), dlg.m_hWnd);
  });
}

// Edit List: OK reloads both lists from the file just written and turns
// Start off; Back changes nothing.
TEST_F(MainCommands, EditListOkReloadsAndBackLeavesEverything) {
  const struct {
    const char* what;
    int button;
    bool autoAll;
    Entries search, replace;
    const char* searchText;
    const char* replaceText;
    bool start;
    std::string file;
  } rows[] = {
      {"OK", IDOK, false, {"a", "b"}, {"1", "2"}, "", "", false, "a\r\n1\r\nb\r\n2\r\n"},
      {"OK in all-pairs mode", IDOK, true, {"a", "b"}, {"1", "2"}, "", "", true, "a\r\n1\r\nb\r\n2\r\n"},
      {"Back", IDCANCEL, false, {"a"}, {"1"}, "typed", "x", true, "a\r\n1\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    PutList("a\r\n1\r\n");
    vx::test::ModalResponder responder;
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      AddTargets(dlg, 2);
      TypeText(dlg.m_cbSearch.GetEditHwnd(), "typed");
      TypeText(dlg.m_cbReplace.GetEditHwnd(), "x");
      ASSERT_TRUE(StartEnabled(dlg));
      if (row.autoAll) Click(dlg, IDC_AUTO_ALL);

      responder.OnNextDialog([&](HWND editor) {
        EXPECT_EQ(WindowText(editor), vx::test::U8(u8"置換リスト編集"));
        EXPECT_EQ(::GetWindow(editor, GW_OWNER), dlg.m_hWnd);
        EXPECT_FALSE(::IsWindowEnabled(dlg));
        ReplaceText(::GetDlgItem(editor, IDC_PAIR_SEARCH), "b");
        ReplaceText(::GetDlgItem(editor, IDC_PAIR_REPLACE), "2");
        Click(editor, IDC_PAIR_ADD);
        Click(editor, row.button);
      });
      Click(dlg, IDC_EDIT_LIST);
      ASSERT_EQ(responder.dialogs().size(), 1u);
      EXPECT_TRUE(::IsWindowEnabled(dlg));
      EXPECT_EQ(EntriesOf(dlg.m_cbSearch), row.search);
      EXPECT_EQ(EntriesOf(dlg.m_cbReplace), row.replace);
      EXPECT_EQ(WindowText(dlg.m_cbSearch), row.searchText);
      EXPECT_EQ(WindowText(dlg.m_cbReplace), row.replaceText);
      EXPECT_EQ(StartEnabled(dlg), row.start);
      EXPECT_EQ(dlg.m_lbTargets.GetCount(), 2);
      // The combo boxes keep their enabled state.
      EXPECT_EQ(::IsWindowEnabled(dlg.GetDlgItem(IDC_SEARCH_COMBO)) != FALSE, !row.autoAll);
      EXPECT_EQ(::IsWindowEnabled(dlg.GetDlgItem(IDC_REPLACE_COMBO)) != FALSE, !row.autoAll);
      EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_AUTO_ALL, BM_GETCHECK, 0, 0), row.autoAll ? BST_CHECKED : BST_UNCHECKED);
      EXPECT_TRUE(responder.boxes().empty());
    });
    EXPECT_EQ(ReadList(), row.file);
  }
}

// A read error while the lists are reloaded is shown, and Start keeps its
// state.
TEST_F(MainCommands, EditListReadErrorLeavesStartAsItWas) {
  PutList("a\r\n1\r\n");
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    AddTargets(dlg, 1);
    TypeText(dlg.m_cbSearch.GetEditHwnd(), "typed");
    ASSERT_TRUE(StartEnabled(dlg));
    responder.OnNextDialog([&](HWND editor) {
      // Saving reads nothing: the fault strikes the reload after OK.
      vx::platform::InjectFileFault(vx::platform::FileOp::kRead, ERROR_CRC);
      Click(editor, IDOK);
    });
    Click(dlg, IDC_EDIT_LIST);
    vx::platform::ClearFileFaults();
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_NE(responder.boxes()[0].text.find(vx::test::U8(u8"list.dat へのｱｸｾｽ中に不明なｴﾗｰが発生しました。")), std::string::npos)
        << responder.boxes()[0].text;
    EXPECT_EQ(responder.boxes()[0].icon, UINT{MB_ICONSTOP});
    EXPECT_TRUE(StartEnabled(dlg));
    EXPECT_TRUE(dlg.IsModalLoopRunning());
    EXPECT_FALSE(dlg.IsEnded());
  });
}

TEST_F(MainCommands, FilterDropsOnlyEnterAndEscapeKeyDowns) {
  const struct {
    UINT message;
    WPARAM key;
    bool dropped;
  } rows[] = {
      {WM_KEYDOWN, VK_RETURN, true},   {WM_KEYDOWN, VK_ESCAPE, true},  {WM_KEYUP, VK_RETURN, false},
      {WM_KEYUP, VK_ESCAPE, false},    {WM_SYSKEYDOWN, VK_RETURN, false}, {WM_SYSKEYDOWN, VK_ESCAPE, false},
      {WM_CHAR, '\r', false},          {WM_CHAR, 0x1B, false},         {WM_KEYDOWN, VK_SPACE, false},
      {WM_KEYDOWN, VK_TAB, false},     {WM_KEYDOWN, 'A', false},       {WM_SYSKEYDOWN, VK_F4, false},
  };
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    FillLists(dlg, {"a"}, {"1"});
    // The two keys reach a combo box whose list is dropped down, and only it.
    const vx::CComboBox* const combos[] = {nullptr, &dlg.m_cbSearch, &dlg.m_cbReplace};
    for (const vx::CComboBox* dropped : combos) {
      if (dropped != nullptr) dropped->Send(CB_SHOWDROPDOWN, TRUE);
      for (const HWND target : {dlg.m_cbSearch.GetEditHwnd(), dlg.m_cbReplace.GetEditHwnd(), dlg.m_lbTargets.m_hWnd}) {
        const bool reaches = dropped != nullptr && ::IsChild(*dropped, target);
        for (const auto& row : rows) {
          SCOPED_TRACE(testing::Message() << row.message << " " << row.key << " to " << vx::test::ClassName(target)
                                          << (reaches ? ", its list dropped" : ""));
          MSG msg{};
          msg.hwnd = target;
          msg.message = row.message;
          msg.wParam = row.key;
          EXPECT_EQ(dlg.FilterDialogKeys(&msg), row.dropped && !reaches);
        }
      }
      if (dropped != nullptr) dropped->Send(CB_SHOWDROPDOWN, FALSE);
    }
  });
}

// Enter and Escape close a dropped-down list, as the platform intends; the
// window stays.
TEST_F(MainCommands, EnterAndEscapeCloseADroppedList) {
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    FillLists(dlg, {"a", "b"}, {"1", "2"});
    for (const vx::CComboBox* combo : {&dlg.m_cbSearch, &dlg.m_cbReplace}) {
      for (const UINT key : {VK_RETURN, VK_ESCAPE}) {
        SCOPED_TRACE(testing::Message() << (combo == &dlg.m_cbSearch ? "search" : "replacement") << " list, key " << key);
        ::SetFocus(combo->GetEditHwnd());
        combo->Send(CB_SHOWDROPDOWN, TRUE);
        ASSERT_TRUE(combo->GetDroppedState());
        PressKey(key);
        EXPECT_FALSE(combo->GetDroppedState());
        EXPECT_TRUE(dlg.IsModalLoopRunning());
        EXPECT_FALSE(dlg.IsEnded());
        EXPECT_EQ(::GetFocus(), combo->GetEditHwnd());
      }
    }
    EXPECT_TRUE(responder.boxes().empty());
    EXPECT_TRUE(responder.dialogs().empty());
  });
}

// Enter and Escape in every control: nothing happens, the window stays.
TEST_F(MainCommands, EnterAndEscapeDoNothingAnywhere) {
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    FillLists(dlg, {"a"}, {"1"});
    AddTargets(dlg, 1);
    TypeText(dlg.m_cbSearch.GetEditHwnd(), "s");
    TypeText(dlg.m_cbReplace.GetEditHwnd(), "r");
    ASSERT_TRUE(StartEnabled(dlg));
    const struct {
      const char* what;
      HWND focus;
    } controls[] = {
        {"search field", dlg.m_cbSearch.GetEditHwnd()},
        {"replacement field", dlg.m_cbReplace.GetEditHwnd()},
        {"Add Files", dlg.GetDlgItem(IDC_ADD_FILES)},
        {"Remove", dlg.GetDlgItem(IDC_REMOVE_FILES)},
        {"target list", dlg.GetDlgItem(IDC_FILE_LIST)},
        {"all pairs", dlg.GetDlgItem(IDC_AUTO_ALL)},
        {"backup", dlg.GetDlgItem(IDC_MAKE_BACKUP)},
        {"Start", dlg.GetDlgItem(IDC_START)},
        {"Edit List", dlg.GetDlgItem(IDC_EDIT_LIST)},
        {"Exit", dlg.GetDlgItem(IDCANCEL)},
        {"About", dlg.GetDlgItem(IDC_ABOUT)},
    };
    for (const auto& control : controls) {
      SCOPED_TRACE(control.what);
      dlg.m_lbTargets.SetSel(0, true);
      ::SetFocus(control.focus);
      ASSERT_EQ(::GetFocus(), control.focus);
      PressKey(VK_RETURN);
      PressKey(VK_ESCAPE);
      EXPECT_TRUE(dlg.IsModalLoopRunning());
      EXPECT_FALSE(dlg.IsEnded());
      EXPECT_TRUE(responder.dialogs().empty());
      EXPECT_TRUE(responder.boxes().empty());
      EXPECT_EQ(dlg.m_lbTargets.GetCount(), 1);
      EXPECT_EQ(WindowText(dlg.m_cbSearch), "s");
      EXPECT_EQ(WindowText(dlg.m_cbReplace), "r");
      EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_AUTO_ALL, BM_GETCHECK, 0, 0), BST_UNCHECKED);
      EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_MAKE_BACKUP, BM_GETCHECK, 0, 0), BST_CHECKED);
      EXPECT_EQ(::GetFocus(), control.focus);
    }
  });
}

// Space still presses the focused button, and characters still reach the
// fields.
TEST_F(MainCommands, SpaceAndCharactersStillWork) {
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ::SetFocus(dlg.GetDlgItem(IDC_AUTO_ALL));
    PressKey(VK_SPACE);
    EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_AUTO_ALL, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(::IsWindowEnabled(dlg.GetDlgItem(IDC_SEARCH_COMBO)));
    PressKey(VK_SPACE);
    EXPECT_TRUE(::IsWindowEnabled(dlg.GetDlgItem(IDC_SEARCH_COMBO)));

    ::SetFocus(dlg.GetDlgItem(IDC_ABOUT));
    PressKey(VK_SPACE);
    EXPECT_EQ(responder.dialogs(), (std::vector<std::string>{vx::test::U8(u8"バージョン情報")}));

    HWND edit = dlg.m_cbSearch.GetEditHwnd();
    ::SetFocus(edit);
    ::PostMessageA(edit, WM_CHAR, 'q', 1);
    vx::test::PumpMessages();
    EXPECT_EQ(WindowText(edit), "q");
  });
}

TEST_F(MainCommands, ExitCloseBoxAndAltF4CloseEscapeDoesNot) {
  const struct {
    const char* what;
    std::function<void(vx::CMainDialog&)> act;
    bool closes;
  } ways[] = {
      {"Exit button", [](vx::CMainDialog& dlg) { Click(dlg, IDCANCEL); }, true},
      {"close box", [](vx::CMainDialog& dlg) {
         dlg.Post(WM_SYSCOMMAND, SC_CLOSE, 0);
         vx::test::PumpMessages();
       }, true},
      {"Alt+F4 on a button", [](vx::CMainDialog& dlg) {
         ::SetFocus(dlg.GetDlgItem(IDC_ABOUT));
         PressKey(VK_F4, true);
       }, true},
      {"Alt+F4 in the target list", [](vx::CMainDialog& dlg) {
         ::SetFocus(dlg.GetDlgItem(IDC_FILE_LIST));
         PressKey(VK_F4, true);
       }, true},
      {"Escape", [](vx::CMainDialog& dlg) {
         ::SetFocus(dlg.GetDlgItem(IDC_ABOUT));
         PressKey(VK_ESCAPE);
       }, false},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    vx::CMainDialog dlg;
    bool ended = false;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      way.act(dlg);
      vx::test::PumpMessages();
      ended = dlg.IsEnded();
    });
    EXPECT_EQ(ended, way.closes);
    EXPECT_EQ(result, IDCANCEL);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The window's settings (options.dat) and its new controls

namespace {

bool Checked(HWND dlg, int id) { return ::IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

vx::WindowSettings SettingsOf(bool regex, bool ignore_case, bool word, bool fold, bool keep_times,
                              const std::string& include, const std::string& exclude) {
  vx::WindowSettings s;
  s.match = {regex, ignore_case, word, fold};
  s.keep_times = keep_times;
  s.include_mask = include;
  s.exclude_mask = exclude;
  return s;
}

// The five check boxes and the two fields as the window shows them.
vx::WindowSettings Shown(const vx::CMainDialog& dlg) {
  const auto [include, exclude] = dlg.MaskTexts();
  return SettingsOf(Checked(dlg, IDC_REGEX), Checked(dlg, IDC_IGNORE_CASE), Checked(dlg, IDC_WORD),
                    Checked(dlg, IDC_FOLD), Checked(dlg, IDC_KEEP_TIMES), include, exclude);
}

TEST_F(MainCommands, SettingsAreSavedWhenTheWindowClosesAndShownWhenItOpens) {
  const std::string include = vx::FromU8(u8"*.txt;見積😀*.csv"), exclude = "old;.git";
  const vx::WindowSettings set = SettingsOf(true, false, false, true, true, include, exclude);
  {
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      for (int id : {IDC_REGEX, IDC_FOLD, IDC_KEEP_TIMES}) Click(dlg, id);
      ReplaceText(dlg.GetDlgItem(IDC_INCLUDE_MASK), include);
      ReplaceText(dlg.GetDlgItem(IDC_EXCLUDE_MASK), exclude);
      EXPECT_EQ(dlg.MaskTexts(), (std::pair<std::string, std::string>{include, exclude}));
      EXPECT_EQ(Shown(dlg), set);
      EXPECT_FALSE(vx::test::PathExists(vx::kWindowSettingsFile)) << "saved at the close, not before";
      Click(dlg, IDCANCEL);
    });
  }
  EXPECT_EQ(vx::test::ReadBytes(vx::kWindowSettingsFile), vx::FormatWindowSettings(set));

  {
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      EXPECT_EQ(Shown(dlg), set);
      EXPECT_EQ(WindowText(dlg.GetDlgItem(IDC_INCLUDE_MASK)), include);
      EXPECT_EQ((std::vector<int>{dlg.m_bRegex, dlg.m_bIgnoreCase, dlg.m_bWord, dlg.m_bFold, dlg.m_bKeepTimes}),
                (std::vector<int>{1, 0, 0, 1, 1}));
      EXPECT_EQ(dlg.m_bMakeBackup, 1);  // not one of them
      Click(dlg, IDCANCEL);
    });
  }

  // Closed with the settings the file gave, the file is not written again.
  const std::string by_hand = "# by hand\r\nregex=1\r\nfold=1\r\nkeep_times=1\r\ninclude=" + include +
                              "\r\nexclude=" + exclude + "\r\n";
  vx::test::WriteBytes(vx::kWindowSettingsFile, by_hand);
  {
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      EXPECT_EQ(Shown(dlg), set);
      Click(dlg, IDCANCEL);
    });
  }
  EXPECT_EQ(vx::test::ReadBytes(vx::kWindowSettingsFile), by_hand);

  // Cleared again: the defaults are saved.
  {
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      for (int id : {IDC_REGEX, IDC_FOLD, IDC_KEEP_TIMES, IDC_WORD, IDC_WORD}) Click(dlg, id);
      ReplaceText(dlg.GetDlgItem(IDC_INCLUDE_MASK), "");
      ReplaceText(dlg.GetDlgItem(IDC_EXCLUDE_MASK), "");
      Click(dlg, IDCANCEL);
    });
  }
  EXPECT_EQ(vx::test::ReadBytes(vx::kWindowSettingsFile), vx::FormatWindowSettings({}));
}

TEST_F(MainCommands, NoSettingsFileWhileNothingChangedAndDefaultsForABrokenOne) {
  {
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      EXPECT_EQ(Shown(dlg), vx::WindowSettings{});
      Click(dlg, IDC_WORD);
      Click(dlg, IDC_WORD);  // and back
      Click(dlg, IDCANCEL);
    });
  }
  EXPECT_FALSE(vx::test::PathExists(vx::kWindowSettingsFile));

  // What is of no use is passed over; the rest is taken.
  using namespace std::string_literals;
  vx::test::WriteBytes(vx::kWindowSettingsFile, "\xFF\xFE\0\0regex=yes\r\nword=1\r\ninclude=\x95\x5C\r\n"s);
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] { EXPECT_EQ(Shown(dlg), SettingsOf(false, false, true, false, false, "", "")); });
}

TEST_F(MainCommands, SettingsThatCannotBeSavedAreToldAndTheWindowClosesAllTheSame) {
  vx::test::WriteBytes(vx::kWindowSettingsFile, "regex=0\r\n", FILE_ATTRIBUTE_READONLY);
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  const INT_PTR result = vx::test::RunModal(dlg, [&] {
    Click(dlg, IDC_REGEX);
    Click(dlg, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_EQ(responder.boxes().size(), 1u);
  EXPECT_EQ(responder.boxes()[0].text,
            vx::test::Utf8FromCp932(std::string(vx::kWindowSettingsFile) + " へのｱｸｾｽは拒否されました。"));
  EXPECT_EQ(responder.boxes()[0].icon, static_cast<UINT>(MB_ICONSTOP));
  EXPECT_EQ(vx::test::ReadBytes(vx::kWindowSettingsFile), "regex=0\r\n");
}

// Each new control is reached by its access key and by Tab, in reading order.
TEST_F(MainCommands, NewControlsByAccessKeyAndTab) {
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    const struct {
      char key;
      int focused;
      bool checks;
    } keys[] = {{'E', IDC_REGEX, true},         {'W', IDC_WORD, true},          {'I', IDC_IGNORE_CASE, true},
                {'K', IDC_FOLD, true},          {'S', IDC_KEEP_TIMES, true},    {'M', IDC_INCLUDE_MASK, false},
                {'N', IDC_EXCLUDE_MASK, false}};
    for (const auto& k : keys) {
      SCOPED_TRACE(std::string("Alt+") + k.key);
      dlg.m_cbSearch.SetFocus();
      PressKey(k.key, true);
      EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(k.focused));
      if (k.checks) {
        EXPECT_TRUE(Checked(dlg, k.focused));
      }
    }
    EXPECT_TRUE(dlg.IsModalLoopRunning());

    ::SetFocus(dlg.m_cbReplace.GetEditHwnd());
    for (int id : {IDC_REGEX, IDC_WORD, IDC_IGNORE_CASE, IDC_FOLD, IDC_INCLUDE_MASK, IDC_EXCLUDE_MASK, IDC_ADD_FILES}) {
      PressKey(VK_TAB);
      EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(id)) << id;
    }
    ::SetFocus(dlg.GetDlgItem(IDC_MAKE_BACKUP));
    PressKey(VK_TAB);
    EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(IDC_KEEP_TIMES));
  });
}

}  // namespace
