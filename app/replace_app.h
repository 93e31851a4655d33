// The application object: start-up runs the main window modally and ends the
// process when it closes.
#pragma once

#include "ui/win_app.h"

namespace vx {

class CReplaceApp : public CWinApp {
 public:
  bool InitInstance() override;
};

}  // namespace vx
