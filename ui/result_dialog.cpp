#include "ui/result_dialog.h"

#include <commdlg.h>

#include <algorithm>

#include "platform/file.h"
#include "platform/file_error.h"
#include "platform/staged_file.h"
#include "platform/wide.h"
#include "replacelist/list_format.h"
#include "res/resource.h"
#include "ui/program.h"
#include "ui/target_paths.h"

namespace vx {

namespace {

// How each control follows the window's size: moved right and down with the
// right and bottom edges, or stretched with them.
struct Anchor {
  int id;
  bool moveX, moveY, growX, growY;
};
constexpr Anchor kAnchors[] = {
    {IDC_RESULT_TOTAL, false, false, false, false},
    {IDC_RESULT_ERRORS, false, false, false, false},
    {IDC_RESULT_LOG, false, false, true, true},
    {IDC_RESULT_ERRORS_ONLY, false, true, false, false},
    {IDC_RESULT_SAVE, true, true, false, false},
    {IDOK, true, true, false, false},
    {IDC_RESULT_UNDO, true, true, false, false},
    {IDC_RESULT_UNDO_NOTE, false, true, false, false},
};

// The longest path the file system takes, in UTF-16 units with the end.
constexpr std::size_t kMaxPathUnits = 32768;
constexpr platform::SysError kInvalidName = 123;  // ERROR_INVALID_NAME

// The log's LF line ends as CR LF, as the edit field and a text file want.
std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

std::size_t FileLineCount(const BatchReport& report) {
  return static_cast<std::size_t>(std::count_if(report.entries.begin(), report.entries.end(), [](const BatchEntry& e) {
    return e.outcome.status != RewriteStatus::kCancelled;
  }));
}

const CDialog::EventTable CResultDialog::kEventTable = {
    CommandEvent(IDC_RESULT_ERRORS_ONLY, BN_CLICKED, &CResultDialog::ShowErrorsOnly),
    CommandEvent(IDC_RESULT_SAVE, BN_CLICKED, &CResultDialog::SaveLog),
    CommandEvent(IDC_RESULT_UNDO, BN_CLICKED, &CResultDialog::AskUndo),
    // IDOK (OK, Enter) and IDCANCEL (Escape, the close box) close it.
};

const CDialog::EventTable& CResultDialog::GetEventTable() const { return kEventTable; }

bool ConfirmUndo(HWND owner, std::size_t files) {
  const std::wstring text = L"最後の置換で書き換えた " + std::to_wstring(files) +
                            L" 個のファイルを、バックアップから置換前の内容に戻します。よろしいですか？";
  return ::MessageBoxW(owner, text.c_str(), kUndoCaption, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

CResultDialog::CResultDialog(const BatchReport& report, HWND parent, UndoOffer undo)
    : CDialog(IDD_RESULT, parent),
      m_bErrorsOnly(0),
      m_strLog(WithCrLf(FormatBatchLog(report, CodePage::kUtf8))),
      m_nTotal(report.total),
      m_nErrors(report.ErrorCount()),
      m_undo(undo),
      m_nUndoFiles(undo == UndoOffer::kOffered ? UndoRecord(report).size() : 0) {
  std::string errors;
  for (const BatchEntry& entry : report.entries) {
    if (IsError(entry.outcome.status)) errors += FormatLogLine(entry, CodePage::kUtf8);
  }
  m_strErrors = WithCrLf(errors);
}

void CResultDialog::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_RESULT_LOG, m_editLog);
  DDX_Check(pDX, IDC_RESULT_ERRORS_ONLY, m_bErrorsOnly);
}

BOOL CResultDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SetDlgItemTextW(m_hWnd, IDC_RESULT_TOTAL, (L"総置換え数  " + std::to_wstring(m_nTotal) + L"個").c_str());
  ::SetDlgItemTextW(m_hWnd, IDC_RESULT_ERRORS, (L"エラーのファイル  " + std::to_wstring(m_nErrors) + L"個").c_str());
  m_editLog.LimitText(0);  // no limit: a log of many thousand lines
  m_editLog.SetWindowText(m_strLog);
  if (m_undo == UndoOffer::kHidden) {
    ::ShowWindow(GetDlgItem(IDC_RESULT_UNDO), SW_HIDE);
    ::SetWindowTextW(m_hWnd, kUndoCaption);
  }
  EnableItem(IDC_RESULT_UNDO, m_undo == UndoOffer::kOffered && m_nUndoFiles != 0);
  if (m_undo == UndoOffer::kNoBackups) {
    ::SetDlgItemTextW(m_hWnd, IDC_RESULT_UNDO_NOTE, L"バックアップを作成しなかったため、元に戻せません。");
  }

  RECT client;
  ::GetClientRect(m_hWnd, &client);
  m_sizeClient = {client.right, client.bottom};
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  m_sizeMinimum = {window.right - window.left, window.bottom - window.top};
  for (const Anchor& anchor : kAnchors) {
    RECT rc{};
    HWND control = GetDlgItem(anchor.id);
    ::GetWindowRect(control, &rc);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    m_rcControls.push_back(rc);
  }

  // OK has the focus, so Enter closes at once; the log is a click or a Tab away.
  ::SetFocus(GetDlgItem(IDOK));
  return FALSE;
}

void CResultDialog::ShowErrorsOnly() {
  UpdateData(true);
  m_editLog.SetWindowText(m_bErrorsOnly ? m_strErrors : m_strLog);
}

void CResultDialog::AskUndo() {
  if (ConfirmUndo(m_hWnd, m_nUndoFiles)) EndDialog(kUndoChosen);
}

void CResultDialog::SaveLog() {
  // Room for the longest path the file system takes.
  std::vector<wchar_t> name(kMaxPathUnits, L'\0');
  const std::wstring suggested = L"置換結果ログ.txt";
  std::copy(suggested.begin(), suggested.end(), name.begin());
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = L"テキスト ファイル (*.txt)\0*.txt\0全てのファイル (*.*)\0*.*\0";
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrDefExt = L"txt";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
  // list.dat is opened by its relative name: the working directory must be
  // where it was, whatever the dialog did with it.
  const std::string workingDir = CurrentDirectory();
  const bool chosen = ::GetSaveFileNameW(&ofn) != FALSE;
  ChangeDirectory(workingDir);
  if (!chosen) return;
  const std::string path = NarrowNames(name.data());
  // A name with an unpaired surrogate cannot be held: it is refused, never
  // written under another name.
  if (HoldsUnpairedSurrogate(path)) throw FileError(kInvalidName, Narrow(name.data()));
  WriteLog(path);
}

void CResultDialog::WriteLog(const std::string& path) const {
  // Code page 932 as it has always been when the whole log fits, else UTF-8
  // with its byte-order mark (a name outside code page 932).
  const std::string bytes = StoredTextBytes(m_strLog, CodePage::kUtf8);
  // Written beside and then given the name: a file saved over keeps its old
  // content should the save fail.
  platform::StagedFile staged(path);
  if (const platform::SysError error = staged.Create()) throw FileError(error, path);
  platform::SysError error = staged.file().Write(bytes.data(), bytes.size());
  if (error == platform::kOk) error = staged.Finish(/*durable=*/false);
  if (error == platform::kOk) error = staged.Commit();
  if (error != platform::kOk) throw FileError(error, platform::FullPath(path));
}

bool CResultDialog::PreTranslateMessage(MSG* msg) {
  if (msg->message != WM_KEYDOWN || msg->hwnd != m_editLog.m_hWnd) return false;
  // The log field is multi-line and would keep Enter and Escape for itself.
  if (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) {
    EndDialog(msg->wParam == VK_RETURN ? IDOK : IDCANCEL);
    return true;
  }
  if (msg->wParam == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
    m_editLog.SetSel(0, -1);
    return true;
  }
  return false;
}

bool CResultDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT*) {
  switch (message) {
    case WM_SIZE:
      LayOut(LOWORD(lParam), HIWORD(lParam));
      return false;
    case WM_GETMINMAXINFO:
      // Asked before initialisation too, when the template's size is not known yet.
      if (m_sizeMinimum.cx > 0) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {m_sizeMinimum.cx, m_sizeMinimum.cy};
      }
      return false;
    default:
      return false;
  }
}

void CResultDialog::LayOut(int cx, int cy) {
  if (m_rcControls.size() != std::size(kAnchors)) return;  // not initialised yet
  const int dx = cx - m_sizeClient.cx;
  const int dy = cy - m_sizeClient.cy;
  HDWP defer = ::BeginDeferWindowPos(static_cast<int>(std::size(kAnchors)));
  for (std::size_t i = 0; i < std::size(kAnchors) && defer != nullptr; ++i) {
    const Anchor& a = kAnchors[i];
    const RECT& rc = m_rcControls[i];
    const int x = rc.left + (a.moveX ? dx : 0);
    const int y = rc.top + (a.moveY ? dy : 0);
    const int w = std::max(0, static_cast<int>(rc.right - rc.left) + (a.growX ? dx : 0));
    const int h = std::max(0, static_cast<int>(rc.bottom - rc.top) + (a.growY ? dy : 0));
    defer = ::DeferWindowPos(defer, GetDlgItem(a.id), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (defer != nullptr) ::EndDeferWindowPos(defer);
}

}  // namespace vx
