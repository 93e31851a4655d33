#include "app/replace_app.h"

#include <windows.h>

#include "ui/main_dialog.h"
#include "ui/program.h"

namespace vx {

namespace {
CReplaceApp theApp;
}

bool CReplaceApp::InitInstance() {
  ChangeToProgramDirectory();
  {
    CMainDialog dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();  // the result (the closing command's id) is not examined
    m_pMainWnd = nullptr;
  }  // destroyed here
  return false;  // the process ends now, without a message loop of its own
}

}  // namespace vx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return vx::AfxGetApp()->Run(instance); }
