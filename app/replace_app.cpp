#include "app/replace_app.h"

#include <windows.h>

#include <string>
#include <utility>

#include "ui/main_dialog.h"
#include "ui/program.h"

namespace vx {

namespace {
CReplaceApp theApp;
}

bool CReplaceApp::InitInstance() {
  // list.dat is read from the program's folder; the paths on the command
  // line name files as seen from where the user started the program.
  std::string startDir = CurrentDirectory();
  ChangeToProgramDirectory();
  {
    CMainDialog dlg;
    dlg.m_strStartDir = std::move(startDir);
    m_pMainWnd = &dlg;
    dlg.DoModal();  // the result (the closing command's id) is not examined
    m_pMainWnd = nullptr;
  }  // destroyed here
  return false;  // the process ends now, without a message loop of its own
}

}  // namespace vx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return vx::AfxGetApp()->Run(instance); }
