// The About box: icon, version line, copyright line and two links.
#pragma once

#include "ui/dialog.h"

namespace vx {

class CAboutDialog : public CDialog {
 public:
  CAboutDialog();
};

}  // namespace vx
