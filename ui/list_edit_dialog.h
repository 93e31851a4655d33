// The replace list editor: a two-column list of (search, replacement) pairs
// with fields to add, change and delete pairs; OK saves them to list.dat.
//
// The rows are the replace list while the editor is open: read from list.dat
// when it opens, written back only by OK. Texts are shown and edited exactly
// as stored (escape sequences undecoded), in any characters; OK writes the
// file in code page 932 when every text fits, else in UTF-8.
#pragma once

#include <set>
#include <string>

#include "ui/dialog.h"

namespace vx {

class CListEditDialog : public CDialog {
 public:
  // No owner is named: the modal run makes the main window the owner.
  CListEditDialog();
  ~CListEditDialog() override;

  CListCtrl m_listPairs;     // IDC_PAIR_LIST: column 0 search text, column 1 replacement
  std::string m_strSearch;   // IDC_PAIR_SEARCH
  std::string m_strReplace;  // IDC_PAIR_REPLACE
  int m_bUpdatingItem;       // 1 while the dialog itself rewrites rows

  // LVN_ITEMCHANGED from the list: the selected row's texts into the fields.
  void ShowSelectedPair(NMHDR* header, LRESULT* result);
  // EN_CHANGE from the two fields: enable Add (and Edit with a row selected).
  void UpdateButtonsForSearchText();
  void UpdateButtonsForReplaceText();
  // The three command buttons.
  void AddPair();
  void EditSelectedPair();
  void DeleteSelectedPair();
  // OK: writes every row to list.dat and ends the dialog with IDOK; a file
  // error is raised and the editor stays open. A text that would not read
  // back whole (a line feed, 0x1A or a zero byte), and one still as it was
  // read from a list.dat byte that is no character (shown as U+FFFD), is
  // refused with a message naming it, its row selected, and nothing is
  // saved: the file's bytes are never replaced unseen.
  void SaveReplaceList();
  // Enter: from a field to Add; elsewhere a press of the Space key for the
  // focused control. Always consumed.
  bool TranslateEnterKey(MSG* msg);

 protected:
  const EventTable& GetEventTable() const override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool PreTranslateMessage(MSG* msg) override;
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  // Reads list.dat into the rows; any failure ends the dialog (IDCANCEL)
  // and is raised.
  void LoadRows();
  // Shows why `text` of row `row` cannot be saved and selects the row;
  // false if so, true for a text that reads back whole.
  bool RefuseUnstorableText(int row, const std::string& text);
  // Gives row `row` the selected and focused state (-1: no row changes).
  void SelectRow(int row) const;
  // The texts list.dat did not give exactly (a byte that is no character
  // shown as U+FFFD), as loaded.
  std::set<std::string> m_setUnreadTexts;
  static const EventTable kEventTable;
};

}  // namespace vx
