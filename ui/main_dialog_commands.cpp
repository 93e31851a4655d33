// The main window's commands and the rules that keep the fields, the
// all-pairs option and the Start button consistent. The Start button has no
// central rule: each handler here applies its own.
#include "res/resource.h"
#include "ui/about_dialog.h"
#include "ui/list_edit_dialog.h"
#include "ui/main_dialog.h"

namespace vx {

// CBN_SELCHANGE of the search list: the replacement with the same index
// follows (the two lists are the replace list, index-aligned).
void CMainDialog::SyncReplaceSelection() {
  const int index = m_cbSearch.GetCurSel();
  if (m_cbReplace.SetCurSel(index) == CB_ERR) {
    // No selection, or a search text without a partner: no replacement.
    // (Some list implementations keep the old text for an index past the
    // end, so the field is cleared here.)
    m_cbReplace.SetCurSel(-1);
    m_cbReplace.SetWindowText("");
  }
  if (m_lbTargets.GetCount() > 0) EnableStart(true);
}

// BN_CLICKED of the all-pairs check box: both fields are off while every
// pair of the list is applied; their contents stay. Start follows the rule
// of the mode now in force.
void CMainDialog::ApplyAutoAllOption() {
  UpdateData(true);
  EnableItem(IDC_SEARCH_COMBO, m_bAutoAll == 0);
  EnableItem(IDC_REPLACE_COMBO, m_bAutoAll == 0);
  if (!UpdateStartForAllPairs()) UpdateStartForSearchText();
}

// In all-pairs mode the fields are off and count for nothing: Start needs a
// target and a pair in the replace list (the search list has an entry for
// each pair). Outside the mode this does nothing and returns false: each
// handler then applies its own rule.
bool CMainDialog::UpdateStartForAllPairs() {
  if (::IsDlgButtonChecked(m_hWnd, IDC_AUTO_ALL) != BST_CHECKED) return false;
  EnableStart(m_lbTargets.GetCount() > 0 && m_cbSearch.GetCount() > 0);
  return true;
}

// CBN_EDITUPDATE of the search field: Start needs a search text and a target.
void CMainDialog::UpdateStartForSearchText() {
  EnableStart(m_cbSearch.GetWindowTextLength() != 0 && m_lbTargets.GetCount() > 0);
}

void CMainDialog::EnableStart(bool enable) const {
  EnableItem(IDC_START, enable);
  EnableItem(IDC_PREVIEW, enable);
}

void CMainDialog::EditReplaceList() {
  CListEditDialog editor;  // no parent: owned by the main window, which it disables
  if (editor.DoModal() != IDOK) return;
  // A read error is raised from here: Start then keeps its state.
  LoadReplaceList();
  if (!UpdateStartForAllPairs()) EnableStart(false);
}

void CMainDialog::ShowAboutBox() {
  CAboutDialog about(*m_pShell);  // no parent: owned by the main window, which it disables
  about.DoModal();
}

// Enter and Escape never reach the dialog's keyboard handling, so neither
// presses a button nor closes the window; only while a drop-down list is
// open do they reach its combo box, which closes the list with them (Enter
// takes the entry, Escape drops the choice). Keys with Alt, key releases and
// characters pass.
bool CMainDialog::FilterDialogKeys(MSG* msg) {
  if (msg->message != WM_KEYDOWN || (msg->wParam != VK_RETURN && msg->wParam != VK_ESCAPE)) return false;
  for (const CComboBox* combo : {&m_cbSearch, &m_cbReplace}) {
    const bool inCombo = msg->hwnd != nullptr && (msg->hwnd == *combo || ::IsChild(*combo, msg->hwnd));
    if (inCombo && combo->GetDroppedState()) return false;
  }
  return true;
}

}  // namespace vx
