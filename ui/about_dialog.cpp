#include "ui/about_dialog.h"

#include "res/resource.h"

namespace vx {

// No parent: the modal run makes the application's main window the owner.
CAboutDialog::CAboutDialog() : CDialog(IDD_ABOUT) {}

}  // namespace vx
