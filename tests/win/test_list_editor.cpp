// The replace list editor on the real dialog: loading, the button states,
// Add, Edit and Delete, the Enter key, OK and Back with list.dat.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_fault.h"
#include "platform/wide.h"
#include "res/resource.h"
#include "ui/list_edit_dialog.h"
#include "ui/main_dialog.h"
#include "win/harness/harness.h"
#include "win/harness/screenshot.h"

namespace {

using vx::test::Click;
using vx::test::PressKey;
using vx::test::ReplaceText;
using vx::test::TypeText;
using vx::test::U8;
using vx::test::WindowText;

struct Pair {
  std::string search, replace;
  bool operator==(const Pair&) const = default;
};
using Rows = std::vector<Pair>;

std::ostream& operator<<(std::ostream& out, const Pair& pair) {
  return out << "(\"" << pair.search << "\", \"" << pair.replace << "\")";
}

Rows RowsOf(const vx::CListEditDialog& dlg) {
  Rows rows;
  for (int i = 0; i < dlg.m_listPairs.GetItemCount(); ++i) {
    rows.push_back({dlg.m_listPairs.GetItemText(i, 0), dlg.m_listPairs.GetItemText(i, 1)});
  }
  return rows;
}

std::string ListBytes(const Rows& rows) {
  std::string bytes;
  for (const Pair& pair : rows) bytes += pair.search + "\r\n" + pair.replace + "\r\n";
  return bytes;
}

// Enabled state of Add, Edit and Delete, as "AED" with '-' for disabled.
std::string Buttons(HWND dlg) {
  std::string state;
  const struct {
    int id;
    char letter;
  } buttons[] = {{IDC_PAIR_ADD, 'A'}, {IDC_PAIR_EDIT, 'E'}, {IDC_PAIR_DELETE, 'D'}};
  for (const auto& button : buttons) state += ::IsWindowEnabled(::GetDlgItem(dlg, button.id)) ? button.letter : '-';
  return state;
}

// Every selected row, in order.
std::vector<int> SelectedRows(const vx::CListEditDialog& dlg) {
  std::vector<int> rows;
  for (int i = dlg.m_listPairs.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = dlg.m_listPairs.GetNextItem(i, LVNI_SELECTED)) {
    rows.push_back(i);
  }
  return rows;
}

// Selects a row as a click would: the selected and focused state.
void SelectRow(const vx::CListEditDialog& dlg, int row) {
  dlg.m_listPairs.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

HWND Item(HWND dlg, int id) { return ::GetDlgItem(dlg, id); }

// Processes messages until `done` holds or `ms` milliseconds have passed:
// synthesized input reaches the queue through the input system, a little
// later than posted messages.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 2000) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    vx::test::PumpMessages();
    if (done()) return true;
    if (::GetTickCount() - start > ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

// Each test runs in a folder of its own, where list.dat is looked for.
class ListEditor : public vx::test::ListFolderTest {
 protected:
  ListEditor() : ListFolderTest("vx-list-editor") {}
  static void PutRows(const Rows& rows) { PutList(ListBytes(rows)); }
  static bool ListExists() { return ::GetFileAttributesA("list.dat") != INVALID_FILE_ATTRIBUTES; }
};

const Rows kFive = {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}};

TEST_F(ListEditor, ColumnsAndControls) {
  vx::CListEditDialog dlg;
  EXPECT_EQ(dlg.m_bUpdatingItem, 0);
  EXPECT_EQ(dlg.m_strSearch, "");
  EXPECT_EQ(dlg.m_strReplace, "");
  vx::test::RunModal(dlg, [&] {
    EXPECT_EQ(WindowText(dlg), U8(u8"置換リスト編集"));
    EXPECT_EQ(dlg.m_listPairs.m_hWnd, Item(dlg, IDC_PAIR_LIST));
    const char* headings[] = {U8(u8"検索文字列"), U8(u8"置換文字列")};
    for (int column = 0; column < 2; ++column) {
      SCOPED_TRACE(column);
      wchar_t text[64] = {};
      LVCOLUMNW col{};
      col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
      col.pszText = text;
      col.cchTextMax = static_cast<int>(std::size(text));
      ASSERT_TRUE(dlg.m_listPairs.Send(LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col)));
      EXPECT_EQ(vx::Narrow(text), headings[column]);
      EXPECT_EQ(col.cx, 131);
      EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    LVCOLUMNW none{};
    none.mask = LVCF_WIDTH;
    EXPECT_FALSE(dlg.m_listPairs.Send(LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&none)));
    EXPECT_EQ(dlg.m_listPairs.Send(LVM_GETEXTENDEDLISTVIEWSTYLE), 0);
    EXPECT_TRUE(::IsWindowEnabled(Item(dlg, IDOK)));
    EXPECT_TRUE(::IsWindowEnabled(Item(dlg, IDCANCEL)));
  });
}

TEST_F(ListEditor, Opening) {
  const struct {
    const char* what;
    const char* bytes;  // nullptr: no list.dat
    Rows rows;
  } cases[] = {
      {"no file", nullptr, {}},
      {"empty file", "", {}},
      {"pairs in file order", "z\r\n1\r\ny\r\n\r\n", {{"z", "1"}, {"y", ""}}},
      {"odd last text: empty replacement", "a\r\nb\r\nc\r\n", {{"a", "b"}, {"c", ""}}},
      {"texts as stored", " 表\\n \r\n\t\\|\\\\\r\n", {{U8(u8" 表\\n "), "\t\\|\\\\"}}},
      {"UTF-8 after its mark", "\xEF\xBB\xBF" "\xF0\x9F\x98\x80\r\ncaf\xC3\xA9\r\n\xED\x95\x9C\r\n",
       {{U8(u8"😀"), U8(u8"café")}, {U8(u8"한"), ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveList();
    if (c.bytes != nullptr) PutList(c.bytes);
    vx::CListEditDialog dlg;
    vx::test::RunModal(dlg, [&] {
      EXPECT_EQ(RowsOf(dlg), c.rows);
      EXPECT_EQ(::GetFocus(), dlg.m_listPairs.m_hWnd);
      if (c.rows.empty()) {
        EXPECT_EQ(SelectedRows(dlg), std::vector<int>{});
        EXPECT_EQ(Buttons(dlg), "---");
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), "");
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), "");
      } else {
        EXPECT_EQ(SelectedRows(dlg), std::vector<int>{0});
        EXPECT_EQ(dlg.m_listPairs.GetItemState(0, LVIS_FOCUSED), UINT{LVIS_FOCUSED});
        EXPECT_EQ(Buttons(dlg), "--D");
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), c.rows[0].search);
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), c.rows[0].replace);
        EXPECT_EQ(dlg.m_strSearch, c.rows[0].search);
        EXPECT_EQ(dlg.m_strReplace, c.rows[0].replace);
      }
    });
  }
}

// One dialog, one step after another; the button states after each.
TEST_F(ListEditor, ButtonStatesFollowTheFieldsAndTheSelection) {
  PutRows({{"one", "1"}, {"two", "2"}, {"three", "3"}});
  vx::CListEditDialog dlg;
  vx::test::RunModal(dlg, [&] {
    HWND search = Item(dlg, IDC_PAIR_SEARCH);
    HWND replace = Item(dlg, IDC_PAIR_REPLACE);
    const struct {
      const char* what;
      std::function<void()> act;
      const char* buttons;
      const char* search;
      const char* replace;
    } steps[] = {
        {"opened", [] {}, "--D", "one", "1"},
        {"typing in the search field", [&] { TypeText(search, "x"); }, "AED", "xone", "1"},
        {"emptying it", [&] { ReplaceText(search, ""); }, "--D", "", "1"},
        {"typing a replacement, search empty", [&] { TypeText(replace, "y"); }, "--D", "", "y1"},
        {"a space is a search text", [&] { TypeText(search, " "); }, "AED", " ", "y1"},
        {"another row", [&] { SelectRow(dlg, 2); }, "--D", "three", "3"},
        {"typing a replacement, search set", [&] { TypeText(replace, "z"); }, "AED", "three", "z3"},
        {"back to row 0", [&] { SelectRow(dlg, 0); }, "--D", "one", "1"},
        {"no row selected", [&] { dlg.m_listPairs.SetItemState(-1, 0, LVIS_SELECTED); }, "---", "", ""},
        {"replacement without search text", [&] { TypeText(replace, "r"); }, "---", "", "r"},
        {"search text, no row", [&] { TypeText(search, "s"); }, "A--", "s", "r"},
        {"replacement, no row", [&] { TypeText(replace, "t"); }, "A--", "s", "rt"},
        {"emptied again", [&] { ReplaceText(search, ""); }, "---", "", "rt"},
    };
    for (const auto& step : steps) {
      SCOPED_TRACE(step.what);
      step.act();
      vx::test::PumpMessages();
      EXPECT_EQ(Buttons(dlg), step.buttons);
      EXPECT_EQ(WindowText(search), step.search);
      EXPECT_EQ(WindowText(replace), step.replace);
      EXPECT_EQ(dlg.m_bUpdatingItem, 0);
    }
  });
}

TEST_F(ListEditor, AddAppendsSelectsAndShowsTheNewRow) {
  Rows many;
  for (int i = 0; i < 40; ++i) many.push_back({"s" + std::to_string(i), "r" + std::to_string(i)});
  const struct {
    const char* what;
    Rows before;
    Pair added;
  } cases[] = {
      {"to an empty list", {}, {"abc", "x\\ny"}},
      {"an equal pair", {{"a", "b"}, {"abc", "x\\ny"}}, {"abc", "x\\ny"}},
      {"empty replacement", {{"a", "b"}}, {U8(u8"表"), ""}},
      {"texts outside code page 932", {{"a", "b"}}, {U8(u8"😀 𠮷"), U8(u8"한 café")}},
      {"below the visible rows", many, {"last", "row"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveList();
    PutRows(c.before);
    vx::CListEditDialog dlg;
    vx::test::RunModal(dlg, [&] {
      // The fields first show row 0; the typed texts replace them.
      ReplaceText(Item(dlg, IDC_PAIR_SEARCH), c.added.search);
      ReplaceText(Item(dlg, IDC_PAIR_REPLACE), c.added.replace);
      ASSERT_TRUE(::IsWindowEnabled(Item(dlg, IDC_PAIR_ADD)));
      ::SetFocus(Item(dlg, IDC_PAIR_ADD));
      Click(dlg, IDC_PAIR_ADD);

      Rows expected = c.before;
      expected.push_back(c.added);
      EXPECT_EQ(RowsOf(dlg), expected);
      const int row = static_cast<int>(expected.size()) - 1;
      EXPECT_EQ(SelectedRows(dlg), std::vector<int>{row});
      EXPECT_EQ(dlg.m_listPairs.GetItemState(row, LVIS_FOCUSED), UINT{LVIS_FOCUSED});
      EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), c.added.search);
      EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), c.added.replace);
      EXPECT_EQ(Buttons(dlg), "--D");
      EXPECT_EQ(::GetFocus(), dlg.m_listPairs.m_hWnd);
      // Entirely visible.
      const int top = static_cast<int>(dlg.m_listPairs.Send(LVM_GETTOPINDEX));
      const int perPage = static_cast<int>(dlg.m_listPairs.Send(LVM_GETCOUNTPERPAGE));
      EXPECT_LE(top, row);
      EXPECT_LT(row, top + perPage);
    });
    EXPECT_EQ(ReadList(), ListBytes(c.before)) << "Add alone saves nothing";
  }
}

// A list control that reports every inserted row and every text set as an
// item change: Add and Edit still write the texts typed in the fields.
WNDPROC g_listProc = nullptr;
LRESULT CALLBACK ReportingListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = ::CallWindowProcW(g_listProc, hwnd, message, wParam, lParam);
  if (message == LVM_INSERTITEMW || message == LVM_SETITEMTEXTW) {
    NMLISTVIEW change{};
    change.hdr.hwndFrom = hwnd;
    change.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(hwnd));
    change.hdr.code = LVN_ITEMCHANGED;
    change.iItem = message == LVM_INSERTITEMW ? static_cast<int>(result) : static_cast<int>(wParam);
    change.uChanged = LVIF_TEXT;
    ::SendMessageW(::GetParent(hwnd), WM_NOTIFY, change.hdr.idFrom, reinterpret_cast<LPARAM>(&change));
  }
  return result;
}

TEST_F(ListEditor, AddAndEditWithAListThatReportsEveryChange) {
  PutRows({{"a", "1"}, {"b", "2"}});
  vx::CListEditDialog dlg;
  vx::test::RunModal(dlg, [&] {
    g_listProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        dlg.m_listPairs, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReportingListProc)));
    // Row 0 selected: a report during the insertion would show it.
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "new");
    ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "pair");
    Click(dlg, IDC_PAIR_ADD);
    EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"b", "2"}, {"new", "pair"}}));
    EXPECT_EQ(SelectedRows(dlg), std::vector<int>{2});

    SelectRow(dlg, 1);
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "B");
    ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "II");
    Click(dlg, IDC_PAIR_EDIT);
    EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"B", "II"}, {"new", "pair"}}));
    EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), "II");
    ::SetWindowLongPtrW(dlg.m_listPairs, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
  });
}

TEST_F(ListEditor, EditReplacesBothTextsOfTheSelectedRow) {
  PutRows({{"a", "1"}, {"b", "2"}, {"c", "3"}});
  vx::CListEditDialog dlg;
  vx::test::RunModal(dlg, [&] {
    SelectRow(dlg, 1);
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "B\\|b");
    ReplaceText(Item(dlg, IDC_PAIR_REPLACE), U8(u8"二"));
    EXPECT_EQ(Buttons(dlg), "AED");
    Click(dlg, IDC_PAIR_EDIT);
    EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"B\\|b", U8(u8"二")}, {"c", "3"}}));
    EXPECT_EQ(SelectedRows(dlg), std::vector<int>{1});
    EXPECT_EQ(Buttons(dlg), "--D");
    EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), "B\\|b");
    EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), U8(u8"二"));
    EXPECT_EQ(::GetFocus(), dlg.m_listPairs.m_hWnd);
    EXPECT_EQ(dlg.m_bUpdatingItem, 0);

    // Only the search text changed: the replacement stays as typed.
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "bb");
    Click(dlg, IDC_PAIR_EDIT);
    EXPECT_EQ(RowsOf(dlg)[1], (Pair{"bb", U8(u8"二")}));

    // With no row selected, Edit changes no row.
    dlg.m_listPairs.SetItemState(-1, 0, LVIS_SELECTED);
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "zz");
    dlg.EditSelectedPair();
    EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"bb", U8(u8"二")}, {"c", "3"}}));
    EXPECT_EQ(SelectedRows(dlg), std::vector<int>{});
  });
}

TEST_F(ListEditor, DeleteSelectsTheRowThatTakesItsPlace) {
  const struct {
    const char* what;
    Rows before;
    int deleted;
    int selected;  // -1: none
  } cases[] = {
      {"middle row", kFive, 2, 2},
      {"last row", kFive, 4, 3},
      {"first row", kFive, 0, 0},
      {"only row", {{"a", "1"}}, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveList();
    PutRows(c.before);
    vx::CListEditDialog dlg;
    vx::test::RunModal(dlg, [&] {
      SelectRow(dlg, c.deleted);
      ::SetFocus(Item(dlg, IDC_PAIR_DELETE));
      Click(dlg, IDC_PAIR_DELETE);
      Rows expected = c.before;
      expected.erase(expected.begin() + c.deleted);
      EXPECT_EQ(RowsOf(dlg), expected);
      EXPECT_EQ(::GetFocus(), dlg.m_listPairs.m_hWnd);
      if (c.selected < 0) {
        EXPECT_EQ(SelectedRows(dlg), std::vector<int>{});
        EXPECT_EQ(Buttons(dlg), "---");
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), "");
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), "");
      } else {
        EXPECT_EQ(SelectedRows(dlg), std::vector<int>{c.selected});
        EXPECT_EQ(Buttons(dlg), "--D");
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), expected[c.selected].search);
        EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), expected[c.selected].replace);
      }
      // With no row selected, Delete changes nothing.
      dlg.m_listPairs.SetItemState(-1, 0, LVIS_SELECTED);
      dlg.DeleteSelectedPair();
      EXPECT_EQ(RowsOf(dlg), expected);
      EXPECT_EQ(SelectedRows(dlg), std::vector<int>{});
    });
  }
}

TEST_F(ListEditor, EnterInAFieldAddsOnlyWhileAddIsEnabled) {
  for (const int field : {IDC_PAIR_SEARCH, IDC_PAIR_REPLACE}) {
    SCOPED_TRACE(field);
    RemoveList();
    PutRows({{"a", "1"}});
    vx::CListEditDialog dlg;
    vx::test::RunModal(dlg, [&] {
      HWND edit = Item(dlg, field);
      // Add disabled: nothing happens, the focus stays in the field.
      ::SetFocus(edit);
      PressKey(VK_RETURN);
      EXPECT_FALSE(PumpUntil([&] { return ::GetFocus() != edit || dlg.m_listPairs.GetItemCount() != 1; }, 300));
      EXPECT_EQ(::GetFocus(), edit);
      EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}}));
      EXPECT_TRUE(dlg.IsModalLoopRunning());

      // Add enabled: the focus goes to Add, which is pressed.
      ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "new");
      ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "pair");
      ::SetFocus(edit);
      PressKey(VK_RETURN);
      EXPECT_TRUE(PumpUntil([&] { return dlg.m_listPairs.GetItemCount() == 2; }));
      EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"new", "pair"}}));
      EXPECT_EQ(SelectedRows(dlg), std::vector<int>{1});
      EXPECT_EQ(Buttons(dlg), "--D");
      EXPECT_EQ(::GetFocus(), dlg.m_listPairs.m_hWnd);
      EXPECT_TRUE(dlg.IsModalLoopRunning());
    });
    EXPECT_EQ(ReadList(), "a\r\n1\r\n") << "Enter never triggers OK";
  }
}

TEST_F(ListEditor, EnterOnOkSavesAndOnBackCloses) {
  const struct {
    int button;
    INT_PTR result;
    bool saved;
  } cases[] = {{IDOK, IDOK, true}, {IDCANCEL, IDCANCEL, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    RemoveList();
    PutList("a\n1\n");  // OK rewrites it with CR LF
    vx::CListEditDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      ::SetFocus(Item(dlg, c.button));
      PressKey(VK_RETURN);
      EXPECT_TRUE(PumpUntil([&] { return dlg.IsEnded(); }));
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ReadList(), c.saved ? "a\r\n1\r\n" : "a\n1\n");
  }
}

TEST_F(ListEditor, OkRewritesTheRowsOnlyAndBackSavesNothing) {
  const std::string original = "a\n1\r\nb\r\n2";  // read as two pairs
  const struct {
    const char* what;
    bool change;
    int button;
    INT_PTR result;
    std::string expected;
  } cases[] = {
      {"OK without a change rewrites", false, IDOK, IDOK, "a\r\n1\r\nb\r\n2\r\n"},
      {"OK saves the rows, not the fields", true, IDOK, IDOK, "a\r\n1\r\nb\r\n2\r\nc\r\n3\r\n"},
      {"Back after changes saves nothing", true, IDCANCEL, IDCANCEL, original},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutList(original);
    vx::CListEditDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      if (c.change) {
        ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "c");
        ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "3");
        Click(dlg, IDC_PAIR_ADD);
        ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "typed, never added");
        ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "nor applied");
      }
      Click(dlg, c.button);
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ReadList(), c.expected);
    if (c.button == IDOK) {
      EXPECT_EQ(dlg.m_strSearch, c.change ? "typed, never added" : "a");
      EXPECT_EQ(dlg.m_strReplace, c.change ? "nor applied" : "1");
    }
  }

  // OK with no list.dat and no rows: an empty file.
  RemoveList();
  vx::CListEditDialog dlg;
  EXPECT_EQ(vx::test::RunModal(dlg, [&] { Click(dlg, IDOK); }), IDOK);
  EXPECT_TRUE(ListExists());
  EXPECT_EQ(ReadList(), "");
}

TEST_F(ListEditor, ReadOnlyListKeepsTheEditorOpen) {
  PutRows({{"a", "1"}});
  ASSERT_TRUE(::SetFileAttributesA("list.dat", FILE_ATTRIBUTE_READONLY));
  vx::test::ModalResponder responder;
  vx::CListEditDialog dlg;
  const INT_PTR result = vx::test::RunModal(dlg, [&] {
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "b");
    ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "2");
    Click(dlg, IDC_PAIR_ADD);
    ReplaceText(Item(dlg, IDC_PAIR_SEARCH), "typed");
    Click(dlg, IDOK);
    PumpUntil([&] { return !responder.boxes().empty(); });
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_EQ(responder.boxes()[0].text, U8(u8"list.dat へのｱｸｾｽは拒否されました。"));
    EXPECT_EQ(responder.boxes()[0].icon, UINT{MB_ICONSTOP});
    EXPECT_EQ(responder.boxes()[0].owner, dlg.m_hWnd);
    // Still open, rows and fields as they were.
    EXPECT_TRUE(::IsWindowVisible(dlg));
    EXPECT_TRUE(dlg.IsModalLoopRunning());
    EXPECT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), "typed");
    EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), "2");
    Click(dlg, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(ReadList(), "a\r\n1\r\n");
}

// Another program's handle on list.dat: a reader that shares the file does
// not stop the editor. A writer, a holder that shares nothing, or a read
// error does: the error is shown, the editor never opens (so OK cannot save
// what little was read over the list), and the file keeps its bytes.
TEST_F(ListEditor, OpensOnlyOnAListReadWhole) {
  const Rows rows = {{"a", "1"}, {"b", "2"}};
  const std::string fullPath = vx::platform::FullPath("list.dat");
  const std::string sharing = U8(u8"list.dat へのｱｸｾｽ中に共有違反が発生しました。");
  const struct {
    const char* what;
    DWORD access, share;  // the other handle; no access: none
    bool readFault;
    std::string box;      // empty: the editor opens
  } cases[] = {
      {"a reader that shares", GENERIC_READ, FILE_SHARE_READ, false, ""},
      {"a reader that shares everything", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false, ""},
      {"a writer", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false, sharing},
      {"a holder that shares nothing", GENERIC_READ, 0, false, sharing},
      // The first read gets the whole file; the next, which would find its end, fails.
      {"a read error", 0, 0, true, fullPath + U8(u8" へのｱｸｾｽ中に不明なｴﾗｰが発生しました。")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutRows(rows);
    const HANDLE other = c.access == 0 ? INVALID_HANDLE_VALUE
                                       : ::CreateFileA("list.dat", c.access, c.share, nullptr, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(other != INVALID_HANDLE_VALUE, c.access != 0);
    vx::test::ModalResponder responder;
    if (c.box.empty()) {
      vx::CListEditDialog dlg;
      vx::test::RunModal(dlg, [&] { EXPECT_EQ(RowsOf(dlg), rows); });
      EXPECT_TRUE(responder.boxes().empty());
    } else {
      // From the main window's Edit List, as the user opens it.
      vx::CMainDialog main;
      vx::test::RunModal(main, [&] {
        // Runs only if the editor's own loop ever runs.
        bool opened = false;
        responder.OnNextDialog([&](HWND) { opened = true; });
        if (c.readFault) vx::platform::InjectFileFault(vx::platform::FileOp::kRead, ERROR_CRC, 1);
        vx::test::Click(main, IDC_EDIT_LIST);
        vx::platform::ClearFileFaults();
        ASSERT_EQ(responder.boxes().size(), 1u);
        EXPECT_EQ(responder.boxes()[0].text, c.box);
        EXPECT_EQ(responder.boxes()[0].icon, UINT{MB_ICONSTOP});
        EXPECT_EQ(responder.boxes()[0].owner, main.m_hWnd);
        EXPECT_FALSE(opened);
        EXPECT_TRUE(::IsWindowEnabled(main));
        EXPECT_TRUE(main.IsModalLoopRunning());
      });
    }
    if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
    EXPECT_EQ(ReadList(), ListBytes(rows));
  }
}

// OK with a text that would not read back whole: refused with a message
// naming it, its row selected, the editor open and list.dat unchanged.
TEST_F(ListEditor, OkRefusesATextThatWouldCutTheList) {
  const std::string lineFeed = U8(u8"この文字列には改行が含まれているため、置換リストに保存できません。\n改行は \\n と入力してください。");
  const std::string endOfFile =
      U8(u8"この文字列には制御文字 (1Ah) が含まれているため、置換リストに保存できません。\nこの文字を削除してください。");
  const struct {
    const char* what;
    Pair bad;  // becomes row 1 of three
    std::string text;
  } cases[] = {
      {"a line feed in a search text", {"two\nlines", "x"}, U8(u8"「two\nlines」\n\n") + lineFeed},
      {"a CR LF in a replacement", {"s", "r\r\n"}, U8(u8"「r\r\n」\n\n") + lineFeed},
      {"byte 0x1A in a replacement", {"s", "eof\x1A"}, U8(u8"「eof\x1A」\n\n") + endOfFile},
      {"a line feed beside a text outside code page 932", {U8(u8"😀\n"), "x"}, U8(u8"「😀\n」\n\n") + lineFeed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutRows({{"a", "1"}, {"c", "3"}});
    vx::test::ModalResponder responder;
    vx::CListEditDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      // As pasted into the fields, then added.
      ::SetWindowTextW(Item(dlg, IDC_PAIR_SEARCH), vx::Widen(c.bad.search).c_str());
      ::SetWindowTextW(Item(dlg, IDC_PAIR_REPLACE), vx::Widen(c.bad.replace).c_str());
      ASSERT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), c.bad.search);
      ASSERT_EQ(WindowText(Item(dlg, IDC_PAIR_REPLACE)), c.bad.replace);
      Click(dlg, IDC_PAIR_ADD);
      ASSERT_EQ(RowsOf(dlg), (Rows{{"a", "1"}, {"c", "3"}, c.bad}));
      SelectRow(dlg, 0);
      Click(dlg, IDOK);
      PumpUntil([&] { return !responder.boxes().empty(); });
      ASSERT_EQ(responder.boxes().size(), 1u);
      EXPECT_EQ(responder.boxes()[0].text, c.text);
      EXPECT_EQ(responder.boxes()[0].caption, U8(u8"エラー"));
      EXPECT_EQ(responder.boxes()[0].icon, UINT{MB_ICONSTOP});
      EXPECT_EQ(responder.boxes()[0].owner, dlg.m_hWnd);
      EXPECT_TRUE(dlg.IsModalLoopRunning());
      EXPECT_FALSE(dlg.IsEnded());
      EXPECT_EQ(SelectedRows(dlg), std::vector<int>{2});
      EXPECT_EQ(WindowText(Item(dlg, IDC_PAIR_SEARCH)), c.bad.search);
      Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(ReadList(), ListBytes({{"a", "1"}, {"c", "3"}}));
  }
}

// OK writes list.dat in code page 932, byte for byte as earlier versions
// did, while every text fits it, and in UTF-8 after its mark once one does
// not; the editor reads either back as the same rows.
TEST_F(ListEditor, OkWritesCodePage932WhenEveryTextFitsElseUtf8) {
  const std::string mark = "\xEF\xBB\xBF";
  const struct {
    const char* what;
    Pair typed;
    std::string bytes;
  } cases[] = {
      {"Japanese that fits", {U8(u8"表示\\n"), U8(u8"ｶﾅ　")}, "a\r\n1\r\n\x95\x5C\x8E\xA6\\n\r\n\xB6\xC5\x81\x40\r\n"},
      {"an emoji", {U8(u8"😀"), "x"}, mark + "a\r\n1\r\n" + U8(u8"😀") + "\r\nx\r\n"},
      {"Korean and a surname kanji", {U8(u8"한"), U8(u8"𠮷野家")}, mark + "a\r\n1\r\n" + U8(u8"한\r\n𠮷野家") + "\r\n"},
      {"an accented letter", {"cafe", U8(u8"café")}, mark + "a\r\n1\r\ncafe\r\n" + U8(u8"café") + "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutRows({{"a", "1"}});
    vx::CListEditDialog dlg;
    const INT_PTR result = vx::test::RunModal(dlg, [&] {
      ReplaceText(Item(dlg, IDC_PAIR_SEARCH), c.typed.search);
      ReplaceText(Item(dlg, IDC_PAIR_REPLACE), c.typed.replace);
      Click(dlg, IDC_PAIR_ADD);
      Click(dlg, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadList(), c.bytes);
    vx::CListEditDialog again;
    vx::test::RunModal(again, [&] { EXPECT_EQ(RowsOf(again), (Rows{{"a", "1"}, c.typed})); });
    EXPECT_EQ(ReadList(), c.bytes);
  }
}

// An old list with a byte that is no character: the editor shows it as
// U+FFFD, and OK refuses to write that over the file until the user has
// mended the text or deleted its row.
TEST_F(ListEditor, ATextWithAByteThatIsNoCharacterIsNeverSavedUnseen) {
  const std::string old = "ok\r\nbad\x81\r\nnext\r\npair\r\n";
  PutList(old);
  const std::string shown = U8(u8"bad\uFFFD");
  const std::string message = U8(u8"「bad\uFFFD」\n\nこの文字列には list.dat で文字として読めなかったバイトが含まれているため、"
                                 u8"置換リストに保存できません。\n\uFFFD の箇所を入力し直すか、この行を削除してください。");
  vx::test::ModalResponder responder;
  vx::CListEditDialog dlg;
  const INT_PTR result = vx::test::RunModal(dlg, [&] {
    ASSERT_EQ(RowsOf(dlg), (Rows{{"ok", shown}, {"next", "pair"}}));
    SelectRow(dlg, 1);
    Click(dlg, IDOK);
    PumpUntil([&] { return !responder.boxes().empty(); });
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_EQ(responder.boxes()[0].text, message);
    EXPECT_EQ(responder.boxes()[0].icon, UINT{MB_ICONSTOP});
    EXPECT_TRUE(dlg.IsModalLoopRunning());
    EXPECT_EQ(SelectedRows(dlg), std::vector<int>{0});
    EXPECT_EQ(ReadList(), old);
    // Mended, the row is saved as typed.
    ReplaceText(Item(dlg, IDC_PAIR_REPLACE), "mended");
    Click(dlg, IDC_PAIR_EDIT);
    Click(dlg, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(responder.boxes().size(), 1u);
  EXPECT_EQ(ReadList(), "ok\r\nmended\r\nnext\r\npair\r\n");
}

}  // namespace

// test_list_editor --screenshot: the editor with a few pairs, for the README.
int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--screenshot") {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, folder);
    const std::string dir = std::string(folder) + "vx-screenshot";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    ::SetCurrentDirectoryA(dir.c_str());
    std::ofstream("list.dat", std::ios::binary | std::ios::trunc) << ListBytes({
        {"株式会社", "(株)"},
        {"ﾃﾞｰﾀ", "データ"},
        {"です。\\n", "である。\\n"},
        {"Windows95\\|Windows98", "Windows"},
        {"\\t", "    "},
    });
    vx::CListEditDialog dlg;
    vx::test::ShowForScreenshot(dlg, 3000);
    ::DeleteFileA("list.dat");
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
