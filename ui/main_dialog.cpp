#include "ui/main_dialog.h"

#include "res/resource.h"
#include "ui/program.h"

namespace vx {

const CDialog::EventTable CMainDialog::kEventTable = {
    CommandEvent(IDC_ADD_FILES, BN_CLICKED, &CMainDialog::AddFilesFromDialog),
    CommandEvent(IDC_START, BN_CLICKED, &CMainDialog::RunBatch),
    CommandEvent(IDC_PREVIEW, BN_CLICKED, &CMainDialog::PreviewBatch),
    CommandEvent(IDC_UNDO, BN_CLICKED, &CMainDialog::UndoLastRun),
    CommandEvent(IDC_ABOUT, BN_CLICKED, &CMainDialog::ShowAboutBox),
    CommandEvent(IDC_FILE_LIST, LBN_DBLCLK, &CMainDialog::OpenTargetInEditor),
    CommandEvent(IDC_REMOVE_FILES, BN_CLICKED, &CMainDialog::RemoveSelectedTargets),
    CommandEvent(IDC_EDIT_LIST, BN_CLICKED, &CMainDialog::EditReplaceList),
    CommandEvent(IDC_SEARCH_COMBO, CBN_SELCHANGE, &CMainDialog::SyncReplaceSelection),
    CommandEvent(IDC_AUTO_ALL, BN_CLICKED, &CMainDialog::ApplyAutoAllOption),
    CommandEvent(IDC_SEARCH_COMBO, CBN_EDITUPDATE, &CMainDialog::UpdateStartForSearchText),
    // IDCANCEL (Exit, the close box, Alt+F4): OnCancel saves the settings and ends the run.
};

const CDialog::EventTable& CMainDialog::GetEventTable() const { return kEventTable; }

CMainDialog::CMainDialog(HWND parent)
    : CDialog(IDD_MAIN, parent),
      m_bAutoAll(0),
      m_bMakeBackup(1),
      m_bRegex(0),
      m_bIgnoreCase(0),
      m_bWord(0),
      m_bFold(0),
      m_bKeepTimes(0),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))),
      m_hSmallIcon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP),
                                                   IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR))),
      m_szLastDir(),
      m_cxMaxItem(0),
      m_pShell(&SystemShell()),
      m_targetIntake() {}

CMainDialog::~CMainDialog() {
  // m_hIcon comes from LoadIconW and is shared; the LoadImageW copy is ours.
  if (m_hSmallIcon != nullptr) ::DestroyIcon(m_hSmallIcon);
}

void CMainDialog::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_REPLACE_COMBO, m_cbReplace);
  DDX_Control(pDX, IDC_SEARCH_COMBO, m_cbSearch);
  DDX_Check(pDX, IDC_REGEX, m_bRegex);
  DDX_Check(pDX, IDC_WORD, m_bWord);
  DDX_Check(pDX, IDC_IGNORE_CASE, m_bIgnoreCase);
  DDX_Check(pDX, IDC_FOLD, m_bFold);
  DDX_Text(pDX, IDC_INCLUDE_MASK, m_strIncludeMask);
  DDX_Text(pDX, IDC_EXCLUDE_MASK, m_strExcludeMask);
  DDX_Control(pDX, IDC_FILE_LIST, m_lbTargets);
  DDX_Check(pDX, IDC_AUTO_ALL, m_bAutoAll);
  DDX_Check(pDX, IDC_MAKE_BACKUP, m_bMakeBackup);
  DDX_Check(pDX, IDC_KEEP_TIMES, m_bKeepTimes);
}

BOOL CMainDialog::OnInitDialog() {
  LoadWindowSettings();  // into the members, which the standard initialisation shows
  CDialog::OnInitDialog();
  Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
  m_szLastDir = CurrentDirectory();
  // A file error while reading list.dat ends the initialisation here: it is
  // shown, nothing more is taken in, and the window is not centred.
  LoadReplaceList();
  AddCommandLineTargets();
  return TRUE;
}

bool CMainDialog::PreTranslateMessage(MSG* msg) { return FilterDialogKeys(msg); }

// Exit, the close box, Alt+F4: the settings are saved (a failure is shown,
// and the window closes all the same), then the run ends.
void CMainDialog::OnCancel() {
  SaveWindowSettings();
  CDialog::OnCancel();
}

bool CMainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  switch (message) {
    case WM_PAINT:
      if (!::IsIconic(m_hWnd)) return false;
      PaintIconic();
      return true;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(m_hSmallIcon);
      return true;
    case WM_SETCURSOR:
      // The window is disabled during a run; it shows that it is busy.
      if (!m_bRunning) return false;
      ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
      *result = TRUE;
      return true;
    case WM_DROPFILES:
      AddDroppedPaths(reinterpret_cast<HDROP>(wParam));
      return false;  // then the default processing
    default:
      return false;
  }
}

void CMainDialog::PaintIconic() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cx = ::GetSystemMetrics(SM_CXICON);
  const int cy = ::GetSystemMetrics(SM_CYICON);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - cx + 1) / 2;
  const int y = (client.bottom - client.top - cy + 1) / 2;
  ::DrawIcon(dc, x, y, m_hSmallIcon);
  ::EndPaint(m_hWnd, &ps);
}

}  // namespace vx
