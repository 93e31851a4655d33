// The batch run started by the Start button.
#include "ui/main_dialog.h"

namespace vx {

void CMainDialog::RunBatch() {}

}  // namespace vx
