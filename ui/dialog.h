// Modal dialogs from resource templates, in the shape a Windows programmer
// knows from MFC: derive from CDialog, override OnInitDialog and
// DoDataExchange, bind notifications to handler members in an event table,
// and run the dialog with DoModal.
//
//   class CMyDialog : public CDialog {
//    public:
//     CMyDialog() : CDialog(IDD_MY) {}
//     CComboBox m_cbName;
//     int m_bFlag = 0;
//    protected:
//     void DoDataExchange(CDataExchange* pDX) override {
//       DDX_Control(pDX, IDC_NAME, m_cbName);
//       DDX_Check(pDX, IDC_FLAG, m_bFlag);
//     }
//     const EventTable& GetEventTable() const override { return kEvents; }
//    private:
//     void OnNameChanged();                            // WM_COMMAND handler
//     void OnItemChanged(NMHDR* hdr, LRESULT* result); // WM_NOTIFY handler
//     void OnWorkDone(WPARAM wParam, LPARAM lParam);    // posted message handler
//     static const EventTable kEvents;
//   };
//   const CDialog::EventTable CMyDialog::kEvents = {
//       CommandEvent(IDC_NAME, CBN_EDITCHANGE, &CMyDialog::OnNameChanged),
//       NotifyEvent(IDC_LIST, LVN_ITEMCHANGED, &CMyDialog::OnItemChanged),
//       PostedEvent(WM_APP + 1, &CMyDialog::OnWorkDone),
//   };
//
// Rows are looked up in order; the first row with the control id and
// notification code answers. IDOK and IDCANCEL without a row go to OnOK and
// OnCancel.
//
// Worker threads. A thread must never touch a window it did not create, so a
// worker reaches a dialog only by posting messages to it: the dialog hands
// out a CPostTarget (GetPostTarget, on its own thread), the worker calls
// Post from any thread, and the message is answered on the dialog's thread
// by the PostedEvent row for its number (WM_APP and up). The worker must end
// before the dialog's window goes (join it in the handler of its last
// message, or on WM_DESTROY): a message to a window that is gone is lost.
//
// The modal run. DoModal creates the dialog modeless, disables its owner and
// runs its own message loop: each queued message goes to PreTranslateMessage
// (true = handled, dropped), then to IsDialogMessageW (the dialog's keyboard
// handling), else it is translated and dispatched. EndDialog(result) ends the
// loop; the owner is enabled again before the dialog is destroyed, and a
// WM_QUIT met on the way is posted again for the loop outside.
//
// The owner is the parent given to the constructor, or else the
// application's main window (CWinApp::m_pMainWnd), taken at its root window.
//
// Exceptions never leave the dialog procedure: a FileError thrown by a
// handler ends that handler and is shown as the file-error message (the
// dialog stays open); anything else is reported in a message box as well.
// An exception from OnInitDialog also skips the centring that follows it.
//
// Data exchange. UpdateData(false) writes the members into the controls,
// UpdateData(true) reads them back. While members are written, every event
// table notification of the dialog's own controls is ignored (IsExchangingData
// tells a raw-message handler the same), so writing a text into a field never
// runs its change handler.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/window.h"

namespace vx {

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, bool save) : m_pDlgWnd(dialog), m_bSaveAndValidate(save) {}
  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;  // true: controls -> members; false: members -> controls
  HWND GetControl(int id) const;
};

// Binds a control object to the control `id` (in both directions).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Check box state: BM_GETCHECK into value; value into BM_SETCHECK, a value
// outside 0..2 being written as 0.
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Window text of a control.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);

// One row of a dialog's event table: a notification of one control, or a
// posted message, and the member that answers it. Build rows with
// CommandEvent, NotifyEvent and PostedEvent.
struct EventEntry {
  using CommandHandler = void (CDialog::*)();
  using NotifyHandler = void (CDialog::*)(NMHDR* header, LRESULT* result);
  using PostedHandler = void (CDialog::*)(WPARAM wParam, LPARAM lParam);
  int id;         // control id (NMHDR::idFrom for WM_NOTIFY); 0 for posted messages
  UINT code;      // notification code (HIWORD(wParam) or NMHDR::code), or the posted message
  CommandHandler onCommand;  // set for WM_COMMAND rows
  NotifyHandler onNotify;    // set for WM_NOTIFY rows
  PostedHandler onPosted;    // set for posted-message rows
};

// A WM_COMMAND notification (BN_CLICKED, CBN_SELCHANGE, EN_CHANGE, ...)
// answered by `void Handler()`.
template <class T>
EventEntry CommandEvent(int id, UINT code, void (T::*handler)()) {
  return EventEntry{id, code, static_cast<EventEntry::CommandHandler>(handler), nullptr, nullptr};
}
// A WM_NOTIFY notification (LVN_ITEMCHANGED, ...) answered by
// `void Handler(NMHDR* header, LRESULT* result)`; *result starts at 0 and is
// what the dialog returns for the notification.
template <class T>
EventEntry NotifyEvent(int id, UINT code, void (T::*handler)(NMHDR*, LRESULT*)) {
  return EventEntry{id, static_cast<UINT>(code), nullptr, static_cast<EventEntry::NotifyHandler>(handler), nullptr};
}
// A message posted to the dialog (by a worker thread through a CPostTarget,
// or by the dialog itself), numbered WM_APP..0xBFFF and answered on the
// dialog's thread by `void Handler(WPARAM wParam, LPARAM lParam)`.
template <class T>
EventEntry PostedEvent(UINT message, void (T::*handler)(WPARAM, LPARAM)) {
  return EventEntry{0, message, nullptr, nullptr, static_cast<EventEntry::PostedHandler>(handler)};
}

// Where a worker thread posts its messages for a dialog. A plain value: copy
// it into the worker. Post may be called from any thread; it returns false
// when the message could not be queued (the window is gone, or its queue is
// full).
class CPostTarget {
 public:
  CPostTarget() = default;
  explicit CPostTarget(HWND hwnd) : m_hWnd(hwnd) {}
  bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, message, wParam, lParam) != FALSE;
  }

 private:
  HWND m_hWnd = nullptr;
};

// Sets a flag (an int used as a Boolean, or a bool) for the life of a
// scope, and clears it also when an exception leaves the scope.
template <class T>
class CFlagScope {
 public:
  explicit CFlagScope(T& flag) : m_flag(flag) { m_flag = T(1); }
  ~CFlagScope() { m_flag = T(0); }
  CFlagScope(const CFlagScope&) = delete;
  CFlagScope& operator=(const CFlagScope&) = delete;

 private:
  T& m_flag;
};

class CDialog : public CWnd {
 public:
  using EventTable = std::vector<EventEntry>;

  // `parent` names the owner; nullptr means the application's main window.
  explicit CDialog(UINT idTemplate, HWND parent = nullptr);
  ~CDialog() override;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally; returns the value given to EndDialog, or -1 if
  // the dialog could not be created.
  INT_PTR DoModal();
  // Ends the modal run with `result` (at the next turn of the loop).
  void EndDialog(INT_PTR result);

  // Runs DoDataExchange: save = true reads the controls into the members,
  // save = false writes the members into the controls.
  bool UpdateData(bool save = true);
  // True while UpdateData(false) is writing members into controls.
  bool IsExchangingData() const { return m_bWritingControls; }

  UINT GetTemplateId() const { return m_nIDTemplate; }
  // True while DoModal's message loop is running (the dialog is initialised).
  bool IsModalLoopRunning() const { return m_bInModalLoop; }
  // True once EndDialog has been called for the current run (the loop ends
  // at its next turn), or the window is gone.
  bool IsEnded() const { return m_bEnded; }
  // The CDialog object of a dialog window created by this class, or nullptr.
  static CDialog* FromHandle(HWND hwnd);

  // One turn of the modal loop for a message taken from the queue:
  // PreTranslateMessage, IsDialogMessageW, or translate and dispatch.
  void ProcessQueuedMessage(MSG& msg);

  // Centres the window over its owner, or on the screen when it has no
  // visible owner.
  void CenterWindow() const;

  // The address for this dialog's worker threads (valid once the window
  // exists, that is from OnInitDialog on).
  CPostTarget GetPostTarget() const { return CPostTarget(m_hWnd); }

 protected:
  // Default: UpdateData(false); returns TRUE so that the platform puts the
  // focus on the first tab stop.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* pDX);
  // Offered every queued message before the dialog's keyboard handling;
  // true means handled: the message is dropped.
  virtual bool PreTranslateMessage(MSG* msg);
  // IDOK / IDCANCEL when no event table row answers them.
  virtual void OnOK();      // UpdateData(true), then EndDialog(IDOK)
  virtual void OnCancel();  // EndDialog(IDCANCEL)
  // Raw messages (WM_PAINT, WM_DROPFILES, WM_QUERYDRAGICON, WM_SETCURSOR,
  // WM_CTLCOLORSTATIC, ...), offered before the built-in handling. Return
  // true if handled, with the message's result in *result (for WM_CTLCOLOR*
  // a brush, for WM_QUERYDRAGICON an icon). Return false for the default
  // dialog processing.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual const EventTable& GetEventTable() const;

  // Set by a dialog that shows itself later (from its template without
  // WS_VISIBLE): DoModal then leaves the window hidden. Its owner is
  // disabled all the same, and its loop runs.
  bool m_bShowLater = false;

  // The platform's default processing of a message, for handlers that first
  // let the default act and then change its outcome (control colours).
  LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool DispatchCommand(int id, UINT code);
  bool DispatchNotify(NMHDR* header, LRESULT* result);
  bool DispatchPosted(UINT message, WPARAM wParam, LPARAM lParam);
  void OnWindowDestroyed();

  UINT m_nIDTemplate;
  HWND m_hWndParent;
  INT_PTR m_nModalResult = -1;
  bool m_bEnded = false;
  bool m_bInModalLoop = false;
  bool m_bWritingControls = false;
};

}  // namespace vx
