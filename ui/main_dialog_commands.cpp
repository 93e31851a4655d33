// The main window's commands and the rules that keep the fields, the
// all-pairs option and the Start button consistent.
#include "ui/main_dialog.h"

#include "ui/about_dialog.h"

namespace vx {

void CMainDialog::SyncReplaceSelection() {}

void CMainDialog::ApplyAutoAllOption() {}

void CMainDialog::UpdateStartForSearchText() {}

void CMainDialog::EditReplaceList() {}

void CMainDialog::ShowAboutBox() {
  CAboutDialog about;  // no parent: owned by the main window, which it disables
  about.DoModal();
}

bool CMainDialog::FilterDialogKeys(MSG*) { return false; }

}  // namespace vx
