#include "ui/list_edit_dialog.h"

#include "res/resource.h"

namespace vx {

// No parent: the modal run makes the application's main window the owner.
CListEditDialog::CListEditDialog() : CDialog(IDD_LIST_EDIT) {}

}  // namespace vx
