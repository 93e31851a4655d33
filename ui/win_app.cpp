#include "ui/win_app.h"

#include <commctrl.h>

#include "ui/program.h"

namespace vx {

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

void CWinApp::OnHelp() {
  // The program has no help file of its own. The command is accepted and
  // ends here, as the platform's default handling of a help request for a
  // window without help does.
}

int CWinApp::Run(HINSTANCE instance) {
  m_hInstance = instance;
  InitCommonControlClasses();
  AnsiLeadBytes();  // taken once, now, for the life of the process
  if (!InitInstance()) return 0;
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return g_app; }

HWND AfxGetMainWnd() {
  return g_app != nullptr && g_app->m_pMainWnd != nullptr ? g_app->m_pMainWnd->m_hWnd : nullptr;
}

void InitCommonControlClasses() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
    return ::InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

}  // namespace vx
