#include "ui/dialog.h"

#include <new>

#include "platform/file_error.h"
#include "res/resource.h"
#include "ui/error_box.h"
#include "ui/win_app.h"

namespace vx {

namespace {

// Window property naming the CDialog object of a dialog window.
constexpr wchar_t kDialogProperty[] = L"vx.CDialog";

// Messages whose result a dialog procedure returns itself instead of
// storing it in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------- exchange

HWND CDataExchange::GetControl(int id) const { return ::GetDlgItem(m_pDlgWnd->m_hWnd, id); }

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) { control.Attach(pDX->GetControl(id)); }

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  HWND button = pDX->GetControl(id);
  if (pDX->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageW(button, BM_GETCHECK, 0, 0));
  } else {
    if (value < 0 || value > 2) value = 0;
    ::SendMessageW(button, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  }
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
  CWnd control(pDX->GetControl(id));
  if (pDX->m_bSaveAndValidate) {
    value = control.GetWindowText();
  } else {
    control.SetWindowText(value);
  }
}

// ------------------------------------------------------------------ dialog

CDialog::CDialog(UINT idTemplate, HWND parent) : m_nIDTemplate(idTemplate), m_hWndParent(parent) {}

CDialog::~CDialog() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

CDialog* CDialog::FromHandle(HWND hwnd) {
  return hwnd != nullptr ? static_cast<CDialog*>(::GetPropW(hwnd, kDialogProperty)) : nullptr;
}

INT_PTR CDialog::DoModal() {
  InitCommonControlClasses();

  HWND owner = m_hWndParent != nullptr ? m_hWndParent : AfxGetMainWnd();
  if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);

  // Disabled before the dialog exists, so that the owner takes no input
  // while the dialog initialises. EnableWindow returns nonzero if the owner
  // was disabled already: such an owner stays disabled afterwards.
  const bool ownerDisabled = owner != nullptr && !::EnableWindow(owner, FALSE);

  m_bEnded = false;
  m_nModalResult = -1;
  // A Unicode dialog (and, below, a Unicode loop): a character typed into
  // any of its controls arrives whole, whatever the ANSI code page.
  HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr) {
    if (ownerDisabled) ::EnableWindow(owner, TRUE);
    return -1;
  }
  if (!m_bEnded && !m_bShowLater && !::IsWindowVisible(hwnd)) ::ShowWindow(hwnd, SW_SHOW);

  bool quit = false;
  WPARAM quitCode = 0;
  m_bInModalLoop = true;
  while (!m_bEnded) {
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quitCode = msg.wParam;
      break;
    }
    if (got == -1) break;
    ProcessQueuedMessage(msg);
  }
  m_bInModalLoop = false;

  // Enable the owner before the dialog goes, so that activation returns to
  // the owner rather than to some other program's window.
  if (ownerDisabled) ::EnableWindow(owner, TRUE);
  if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
  if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
  return m_nModalResult;
}

void CDialog::ProcessQueuedMessage(MSG& msg) {
  if (PreTranslateMessage(&msg)) return;
  if (m_hWnd != nullptr && ::IsDialogMessageW(m_hWnd, &msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

void CDialog::EndDialog(INT_PTR result) {
  m_nModalResult = result;
  m_bEnded = true;
  // Wakes GetMessage up so that the loop sees the end at once.
  if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

bool CDialog::UpdateData(bool save) {
  CDataExchange dx(this, save);
  const bool wasWriting = m_bWritingControls;
  m_bWritingControls = !save;
  try {
    DoDataExchange(&dx);
  } catch (...) {
    m_bWritingControls = wasWriting;
    throw;
  }
  m_bWritingControls = wasWriting;
  return true;
}

void CDialog::CenterWindow() const {
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  const bool overOwner = owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner);

  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(overOwner ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT area = monitor.rcWork;
  RECT around = area;
  if (overOwner) ::GetWindowRect(owner, &around);

  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  int x = around.left + ((around.right - around.left) - width) / 2;
  int y = around.top + ((around.bottom - around.top) - height) / 2;
  // Keep the whole window on the work area where it fits.
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::PreTranslateMessage(MSG*) { return false; }

void CDialog::OnOK() {
  UpdateData(true);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

const CDialog::EventTable& CDialog::GetEventTable() const {
  static const EventTable none;
  return none;
}

bool CDialog::DispatchCommand(int id, UINT code) {
  for (const EventEntry& row : GetEventTable()) {
    if (row.onCommand != nullptr && row.id == id && row.code == code) {
      // Notifications caused by writing members into the controls.
      if (!m_bWritingControls) (this->*row.onCommand)();
      return true;
    }
  }
  return false;
}

bool CDialog::DispatchNotify(NMHDR* header, LRESULT* result) {
  for (const EventEntry& row : GetEventTable()) {
    if (row.onNotify != nullptr && row.id == static_cast<int>(header->idFrom) && row.code == header->code) {
      if (!m_bWritingControls) (this->*row.onNotify)(header, result);
      return true;
    }
  }
  return false;
}

bool CDialog::DispatchPosted(UINT message, WPARAM wParam, LPARAM lParam) {
  for (const EventEntry& row : GetEventTable()) {
    if (row.onPosted != nullptr && row.code == message) {
      (this->*row.onPosted)(wParam, lParam);
      return true;
    }
  }
  return false;
}

void CDialog::OnWindowDestroyed() {
  ::RemovePropW(m_hWnd, kDialogProperty);
  m_hWnd = nullptr;
  m_bEnded = true;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const BOOL focusDefault = OnInitDialog();
    CenterWindow();
    return focusDefault;
  }

  LRESULT result = 0;
  if (OnMessage(message, wParam, lParam, &result)) {
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
  }

  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const UINT code = HIWORD(wParam);
      if (DispatchCommand(id, code)) return TRUE;
      if (code == BN_CLICKED && id == IDOK) {
        OnOK();
        return TRUE;
      }
      if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      if (id == ID_HELP) {
        if (CWinApp* app = AfxGetApp()) app->OnHelp();
        return TRUE;
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
      if (!DispatchNotify(header, &result)) return FALSE;
      ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_HELP:
      // F1: the standard Help command.
      ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
      ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    default:
      // Posted messages: the range the platform leaves to applications.
      if (message >= WM_APP && message <= 0xBFFF) return DispatchPosted(message, wParam, lParam) ? TRUE : FALSE;
      return FALSE;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    self->m_hWnd = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    ::SetPropW(hwnd, kDialogProperty, self);
  } else {
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    self->OnWindowDestroyed();
    return FALSE;
  }

  // The exception boundary: nothing thrown by a handler reaches user32.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const FileError& error) {
    ShowFileError(error);
  } catch (const std::bad_alloc&) {
    ShowUnexpectedError(true);
  } catch (...) {
    ShowUnexpectedError(false);
  }
  return TRUE;
}

}  // namespace vx
