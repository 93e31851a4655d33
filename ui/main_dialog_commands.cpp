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
  if (m_lbTargets.GetCount() > 0) EnableItem(IDC_START, true);
}

// BN_CLICKED of the all-pairs check box: both fields are off while every
// pair of the list is applied. Their contents and Start stay as they are.
void CMainDialog::ApplyAutoAllOption() {
  UpdateData(true);
  EnableItem(IDC_SEARCH_COMBO, m_bAutoAll == 0);
  EnableItem(IDC_REPLACE_COMBO, m_bAutoAll == 0);
}

// CBN_EDITUPDATE of the search field: Start needs a search text and a target.
void CMainDialog::UpdateStartForSearchText() {
  EnableItem(IDC_START, m_cbSearch.GetWindowTextLength() != 0 && m_lbTargets.GetCount() > 0);
}

void CMainDialog::EditReplaceList() {
  CListEditDialog editor;  // no parent: owned by the main window, which it disables
  if (editor.DoModal() != IDOK) return;
  // A read error is raised from here: Start then keeps its state.
  LoadReplaceList();
  EnableItem(IDC_START, false);
}

void CMainDialog::ShowAboutBox() {
  CAboutDialog about;  // no parent: owned by the main window, which it disables
  about.DoModal();
}

// Enter and Escape never reach the dialog's keyboard handling, so neither
// presses a button nor closes the window. Keys with Alt, key releases and
// characters pass.
bool CMainDialog::FilterDialogKeys(MSG* msg) {
  return msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE);
}

}  // namespace vx
