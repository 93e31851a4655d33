// The application object: one per process, constructed as a global. WinMain
// (app/) calls Run, which prepares the process-wide state (common controls,
// the lead-byte set) and calls InitInstance.
#pragma once

#include <windows.h>

#include "ui/window.h"

namespace vx {

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The window that owns dialogs and message boxes opened without a parent.
  CWnd* m_pMainWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;

  // Start-up. Return false to end the process when it returns.
  virtual bool InitInstance() { return false; }
  // The standard Help command (ID_HELP, raised by F1) of any dialog that
  // has no handler of its own for it.
  virtual void OnHelp();

  // Called by WinMain. Returns the process exit code.
  int Run(HINSTANCE instance);
};

// The application object, or nullptr if none has been constructed.
CWinApp* AfxGetApp();
// The main window's handle, or nullptr.
HWND AfxGetMainWnd();

// Registers the common control classes the templates use (list view,
// progress bar). Safe to call more than once; CDialog::DoModal calls it.
void InitCommonControlClasses();

}  // namespace vx
