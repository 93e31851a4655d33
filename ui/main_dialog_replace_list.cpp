// The main window's replace list: both drop-down lists filled from list.dat.
#include "ui/main_dialog.h"

namespace vx {

void CMainDialog::LoadReplaceList() {
  // Not built yet: empties both combo boxes and refills them, index-aligned,
  // filled from list.dat in the program's folder.
}

}  // namespace vx
