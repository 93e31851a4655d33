#include "ui/progress_dialog.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <utility>

#include "platform/wide.h"
#include "res/resource.h"

namespace vx {

namespace {

// Posted by the worker: progress to show, and the end of the run.
constexpr UINT kProgressMessage = WM_APP + 1;
constexpr UINT kRunEndedMessage = WM_APP + 2;

// Timers of the window: showing it, and showing a change the worker noted
// too soon after the last one to post it.
constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kRefreshTimer = 2;

}  // namespace

// The progress on the owner's taskbar button, through the shell's
// ITaskbarList3. Where the system has none (older systems, Wine without a
// taskbar), every call does nothing.
class CTaskbarProgress {
 public:
  explicit CTaskbarProgress(HWND button) : m_hWnd(button) {
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_bUninitialize = SUCCEEDED(init);
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                  reinterpret_cast<void**>(&m_pList))) ||
        m_pList == nullptr || FAILED(m_pList->HrInit())) {
      Release();
    }
  }
  ~CTaskbarProgress() {
    if (m_pList != nullptr) m_pList->SetProgressState(m_hWnd, TBPF_NOPROGRESS);
    Release();
    if (m_bUninitialize) ::CoUninitialize();
  }
  CTaskbarProgress(const CTaskbarProgress&) = delete;
  CTaskbarProgress& operator=(const CTaskbarProgress&) = delete;

  void Set(std::size_t done, std::size_t total) {
    if (m_pList != nullptr) m_pList->SetProgressValue(m_hWnd, done, total);
  }

 private:
  void Release() {
    if (m_pList != nullptr) m_pList->Release();
    m_pList = nullptr;
  }

  HWND m_hWnd;
  ITaskbarList3* m_pList = nullptr;
  bool m_bUninitialize = false;
};

const CDialog::EventTable CProgressDialog::kEventTable = {
    PostedEvent(kProgressMessage, &CProgressDialog::OnProgress),
    PostedEvent(kRunEndedMessage, &CProgressDialog::OnRunEnded),
    // IDCANCEL ("中止", Escape, the close box): OnCancel.
};

const CDialog::EventTable& CProgressDialog::GetEventTable() const { return kEventTable; }

CProgressDialog::CProgressDialog(std::vector<BatchFile> files, const BatchSettings& settings, unsigned jobs,
                                 HWND parent)
    : CDialog(IDD_PROGRESS, parent),
      m_files(std::move(files)),
      m_settings(settings),
      m_nJobs(jobs),
      m_nFiles(m_files.size()) {
  m_bShowLater = true;
  m_settings.options.cancel = &m_bCancel;
}

CProgressDialog::CProgressDialog(std::vector<UndoFile> undo, const BatchSettings& settings, unsigned jobs,
                                 HWND parent)
    : CDialog(IDD_PROGRESS, parent),
      m_undo(std::move(undo)),
      m_bUndo(true),
      m_settings(settings),
      m_nJobs(jobs),
      m_nFiles(m_undo.size()) {
  m_bShowLater = true;
  m_settings.options.cancel = &m_bCancel;
}

CProgressDialog::~CProgressDialog() {
  // Only when the loop was left early (a quit request): the worker must not
  // outlive the object it reports to.
  m_bCancel = true;
  JoinWorker();
}

BOOL CProgressDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(m_nFiles));
  OnProgress(0, 0);
  ::SetTimer(m_hWnd, kShowTimer, kShowDelayMs, nullptr);
  m_bStarted = true;
  m_worker = std::thread(&CProgressDialog::Work, this, GetPostTarget());
  // No focus yet: focus on a control would activate the hidden window and
  // take the activation from the main window, even for a short run.
  return FALSE;
}

void CProgressDialog::Work(CPostTarget window) {
  BatchWatch watch;
  // Both are called one at a time, from whichever thread did the file.
  watch.started = [&](const std::string& path) {
    const std::lock_guard<std::mutex> hold(m_lock);
    m_progress.current = path;
    PostIfDue(window);
  };
  watch.finished = [&](std::size_t done, const BatchEntry& entry) {
    const std::lock_guard<std::mutex> hold(m_lock);
    m_progress.done = done;
    if (entry.outcome.done()) m_progress.replaced += entry.outcome.count;
    PostIfDue(window);
  };
  try {
    m_report = RunAll(watch);
  } catch (...) {
    m_error = std::current_exception();
  }
  window.Post(kRunEndedMessage);
}

// With m_lock held: a change is noted; the window hears of it at most every
// kUpdateIntervalMs (the refresh timer shows a last change that came too soon).
void CProgressDialog::PostIfDue(const CPostTarget& window) {
  m_bPostDue = true;
  const ULONGLONG now = ::GetTickCount64();
  if (now - m_nLastPost >= kUpdateIntervalMs && window.Post(kProgressMessage)) m_nLastPost = now;
}

void CProgressDialog::OnProgress(WPARAM, LPARAM) {
  Progress now;
  {
    const std::lock_guard<std::mutex> hold(m_lock);
    now = m_progress;
    m_bPostDue = false;
  }
  if (now.current != m_strShownFile) {
    m_strShownFile = now.current;
    ::SetDlgItemTextW(m_hWnd, IDC_PROGRESS_FILE, Widen(now.current).c_str());
  }
  const std::wstring files = std::to_wstring(now.done) + L" / " + std::to_wstring(m_nFiles) + L" ファイル";
  ::SetDlgItemTextW(m_hWnd, IDC_PROGRESS_FILES, files.c_str());
  const std::wstring replaced = L"総置換え数  " + std::to_wstring(now.replaced) + L"個";
  ::SetDlgItemTextW(m_hWnd, IDC_PROGRESS_COUNT, replaced.c_str());
  ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(now.done), 0);
  if (m_pTaskbar) m_pTaskbar->Set(now.done, m_nFiles);
}

void CProgressDialog::ShowNow() {
  ::KillTimer(m_hWnd, kShowTimer);
  if (IsEnded() || ::IsWindowVisible(m_hWnd)) return;
  // The taskbar button is the owner's (the main window's).
  if (HWND owner = ::GetWindow(m_hWnd, GW_OWNER)) m_pTaskbar = std::make_unique<CTaskbarProgress>(owner);
  OnProgress(0, 0);
  ShowWindow(SW_SHOW);
  ::SetFocus(GetDlgItem(IDCANCEL));
  ::SetTimer(m_hWnd, kRefreshTimer, static_cast<UINT>(kUpdateIntervalMs), nullptr);
}

void CProgressDialog::OnRunEnded(WPARAM, LPARAM) {
  JoinWorker();
  ::KillTimer(m_hWnd, kShowTimer);
  ::KillTimer(m_hWnd, kRefreshTimer);
  m_pTaskbar.reset();
  EndDialog(IDOK);
}

void CProgressDialog::OnOK() {}

void CProgressDialog::OnCancel() {
  if (m_bCancel.exchange(true)) return;
  EnableItem(IDCANCEL, false);
}

bool CProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT*) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kShowTimer) {
        ShowNow();
      } else if (wParam == kRefreshTimer) {
        bool due;
        {
          const std::lock_guard<std::mutex> hold(m_lock);
          due = m_bPostDue;
        }
        if (due) OnProgress(0, 0);
      } else {
        return false;
      }
      return true;
    case WM_SYSCOMMAND:
      // The window's minimise box puts the whole program away: the main
      // window, which takes this window with it and brings it back.
      if ((wParam & 0xFFF0) != SC_MINIMIZE) return false;
      if (HWND owner = ::GetWindow(m_hWnd, GW_OWNER)) {
        ::ShowWindow(owner, SW_MINIMIZE);
        return true;
      }
      return false;
    case WM_DESTROY:
      // The loop was left before the run ended (a quit request): the worker
      // stops at its next file and is waited for here, as its messages
      // would find no window.
      m_bCancel = true;
      JoinWorker();
      return false;
    default:
      return false;
  }
}

void CProgressDialog::JoinWorker() {
  if (m_worker.joinable()) m_worker.join();
}

BatchReport CProgressDialog::RunAll(const BatchWatch& watch) {
  if (m_bUndo) return UndoFiles(m_undo, m_settings, m_nJobs, watch);
  return ProcessFiles(std::move(m_files), m_settings, m_nJobs, watch);
}

BatchReport CProgressDialog::TakeReport() {
  JoinWorker();
  if (!m_bStarted) {
    m_bStarted = true;
    m_report = RunAll({});
  }
  if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
  return std::move(m_report);
}

}  // namespace vx
