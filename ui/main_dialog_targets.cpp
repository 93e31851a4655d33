// The main window's target list: adding files and folders (file dialog,
// drops, command line), removing entries, opening an entry in the editor.
#include "ui/main_dialog.h"

namespace vx {

void CMainDialog::AddCommandLineTargets() {
  // Not built yet: every command-line argument, canonicalised, added to the
  // target list as a file or, recursively, as a folder.
}

void CMainDialog::AddFilesFromDialog() {}

void CMainDialog::AddDroppedPaths(HDROP) {}

void CMainDialog::RemoveSelectedTargets() {}

void CMainDialog::OpenTargetInEditor() {}

}  // namespace vx
