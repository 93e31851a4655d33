// The replace list editor: a two-column list of (search, replacement) pairs
// with fields to add, change and delete pairs; OK saves them to list.dat.
#pragma once

#include "ui/dialog.h"

namespace vx {

class CListEditDialog : public CDialog {
 public:
  CListEditDialog();
};

}  // namespace vx
