// The main window's target list: adding files and folders (file dialog,
// drops, command line) through the shared intake (targets/target_intake.h),
// removing entries, opening an entry in the editor.
#include "ui/main_dialog.h"

#include <cderr.h>
#include <commdlg.h>


#include "platform/file.h"
#include "platform/wide.h"
#include "res/resource.h"
#include "targets/canonical.h"
#include "targets/path_text.h"
#include "ui/program.h"
#include "ui/target_paths.h"

namespace vx {

namespace {

// The Add Files dialog's result buffer, in UTF-16 units: room for any
// realistic selection (thousands of names) in one folder.
constexpr DWORD kSelectionBufferSize = 1 << 20;

// A device context of a window with the window's font selected into it,
// for measuring texts as the window draws them.
class FontDC {
 public:
  explicit FontDC(const CWnd& wnd) : m_hWnd(wnd), m_hDC(::GetDC(wnd)) {
    if (HFONT font = wnd.GetFont()) m_hOldFont = ::SelectObject(m_hDC, font);
  }
  ~FontDC() {
    if (m_hOldFont != nullptr) ::SelectObject(m_hDC, m_hOldFont);
    ::ReleaseDC(m_hWnd, m_hDC);
  }
  FontDC(const FontDC&) = delete;
  FontDC& operator=(const FontDC&) = delete;

  int Width(const std::string& text) const {
    const std::wstring wide = Widen(text);
    SIZE size{};
    ::GetTextExtentPoint32W(m_hDC, wide.c_str(), static_cast<int>(wide.size()), &size);
    return size.cx;
  }

 private:
  HWND m_hWnd;
  HDC m_hDC;
  HGDIOBJ m_hOldFont = nullptr;
};

// Holds a drop until the add is over: the shell's memory is released also
// when an add throws.
class DropScope {
 public:
  explicit DropScope(HDROP drop) : m_hDrop(drop) {}
  ~DropScope() { ::DragFinish(m_hDrop); }
  DropScope(const DropScope&) = delete;
  DropScope& operator=(const DropScope&) = delete;

 private:
  HDROP m_hDrop;
};

// Lets one queued message through, of any window: painting and input go on
// during a long add. A quit request is put back for the loop that ends on it;
// returns false then, and when the queue is empty.
bool PassOneMessage() {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
  return true;
}

}  // namespace

// A bulk add: many entries in one go. Each entry would otherwise be drawn
// and scrolled to on the screen as it comes, and let one message through,
// which under some systems costs far more than finding the file. So the list
// is not drawn meanwhile and the queued messages (painting, Exit) go through
// a few times a second. The list box gets exactly the calls of single adds,
// so the list, its selection, caret, scroll position and extent end as they
// would; it is drawn once, at the end, and before each message box.
class CMainDialog::CBulkAdd {
 public:
  static constexpr ULONGLONG kPassIntervalMs = 200;

  explicit CBulkAdd(CMainDialog& dlg) : m_dlg(dlg), m_pOuter(dlg.m_pBulkAdd) {
    if (m_pOuter != nullptr) return;  // joins the bulk add in progress
    m_dlg.m_pBulkAdd = this;
    m_nNextPass = ::GetTickCount64() + kPassIntervalMs;
    Draw(false);
  }
  ~CBulkAdd() {
    if (m_pOuter != nullptr) return;
    m_dlg.m_pBulkAdd = nullptr;
    Draw(true);
  }
  CBulkAdd(const CBulkAdd&) = delete;
  CBulkAdd& operator=(const CBulkAdd&) = delete;

  // After each entry: the queued messages, when it is time for them.
  void EntryAdded() {
    if (::GetTickCount64() < m_nNextPass) return;
    // What is queued now; whatever comes meanwhile waits for the next turn.
    for (int i = 0; i < 1000 && PassOneMessage(); ++i) {
    }
    m_nNextPass = ::GetTickCount64() + kPassIntervalMs;
  }

  // Draws the list as it stands and stops drawing again (around a message
  // box, so that the list behind it is not stale).
  static void DrawNow(CMainDialog& dlg) {
    if (dlg.m_pBulkAdd == nullptr) return;
    dlg.m_pBulkAdd->Draw(true);
    ::UpdateWindow(dlg.m_lbTargets);
    dlg.m_pBulkAdd->Draw(false);
  }

 private:
  // The platform's own WM_SETREDRAW, not the list box's: it takes the
  // visible mark off the window without hiding it, so the list box does its
  // work as for a hidden window (as at start-up, for the command line) and
  // keeps its scroll bars and page in step. The list box's handling would
  // leave those for the end and then settle elsewhere.
  void Draw(bool on) {
    const HWND list = m_dlg.m_lbTargets;
    ::DefWindowProcW(list, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on) ::RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }

  CMainDialog& m_dlg;
  CBulkAdd* m_pOuter;
  ULONGLONG m_nNextPass = 0;
};

void CMainDialog::AddTargetFile(std::string path) {
  // The list shows a path as the user knows it, without the extended-length
  // prefix (the file layer puts it back).
  m_targetIntake.AddFile(PlainPath(path), TargetListSink());
}

// The window's list as the intake's sink: each file new to it is appended,
// selected and measured; each one listed already gets the duplicate box.
TargetSink CMainDialog::TargetListSink() {
  TargetSink sink;
  sink.before_test = [this] { SyncTargetIntake(); };
  sink.take = [this](const std::string& path) { return AppendTarget(path); };
  sink.duplicate = [this](const std::string& path) { ShowDuplicateTarget(path); };
  // A window closed (Exit) during a folder add takes no more files.
  sink.stopped = [this] { return IsEnded(); };
  return sink;
}

void CMainDialog::SyncTargetIntake() {
  // The intake follows every change this window makes to the list; should
  // the two ever disagree, the list box is the truth.
  if (m_targetIntake.size() == static_cast<std::size_t>(m_lbTargets.GetCount())) return;
  std::vector<std::string> listed;
  for (int i = 0, n = m_lbTargets.GetCount(); i < n; ++i) listed.push_back(m_lbTargets.GetText(i));
  m_targetIntake.Reset(listed);
}

void CMainDialog::ShowDuplicateTarget(const std::string& path) {
  CBulkAdd::DrawNow(*this);
  const std::wstring text = Widen(path) + L"は\nすでにリストに存在します。";
  ::MessageBoxW(m_hWnd, text.c_str(), L"エラー", MB_ICONERROR | MB_OK);
}

bool CMainDialog::AppendTarget(const std::string& path) {
  const int n = m_lbTargets.AddString(path);  // unsorted: lands at the end
  if (n < 0) return false;                    // the list box is out of memory
  m_lbTargets.SetCaretIndex(n, false);
  m_lbTargets.SetSel(n, true);

  const int width = MeasureItemWidth(path);
  if (width > m_cxMaxItem) {
    m_cxMaxItem = width;
    m_lbTargets.SetHorizontalExtent(width + 5);
  }

  if (m_pBulkAdd != nullptr) {
    m_pBulkAdd->EntryAdded();
  } else {
    PassOneMessage();
  }

  if (!UpdateStartForAllPairs() && m_cbSearch.GetWindowTextLength() != 0) EnableStart(true);
  return true;
}

int CMainDialog::MeasureItemWidth(const std::string& text) { return FontDC(m_lbTargets).Width(text); }

void CMainDialog::AddTargetFolder(std::string folder) {
  // Every file below that the window's filter takes.
  m_targetIntake.AddFolder(folder, FolderFilter(), TargetListSink());
}

void CMainDialog::AddCommandLineTargets() { AddArgumentTargets(CommandLineArguments(::GetCommandLineW())); }

void CMainDialog::AddArgumentTargets(const std::vector<std::string>& arguments) {
  CBulkAdd bulk(*this);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string canonical = CanonicalizePath(ResolvePath(m_strStartDir, arguments[i]));
    if (canonical.empty()) continue;
    if (HasFolderMark(canonical)) {
      AddTargetFolder(canonical.substr(1));
    } else {
      AddTargetFile(canonical);
    }
  }
}

void CMainDialog::AddFilesFromDialog() {
  std::vector<wchar_t> names(kSelectionBufferSize, L'\0');
  const std::wstring initialDir = Widen(m_szLastDir);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = L"全てのファイル (*.*)\0*.*\0";
  ofn.lpstrFile = names.data();
  ofn.nMaxFile = kSelectionBufferSize;
  ofn.lpstrInitialDir = initialDir.c_str();
  ofn.lpstrTitle = L"ファイルを追加する";
  ofn.Flags = OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  ofn.lpstrDefExt = L"*.*";
  // Some platforms' dialogs move the working directory while the user
  // browses and leave it there on Cancel; list.dat is opened by its
  // relative name, so a cancelled dialog puts it back.
  const std::string workingDir = CurrentDirectory();
  if (!::GetOpenFileNameW(&ofn)) {
    ChangeDirectory(workingDir);
    if (::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
      ::MessageBoxW(m_hWnd, L"選択したファイルが多すぎるため、追加できませんでした。", L"エラー", MB_ICONERROR | MB_OK);
    }
    return;
  }

  m_lbTargets.SetSel(-1, false);
  m_lbTargets.SetFocus();
  m_szLastDir = CurrentDirectory();
  ChangeToProgramDirectory();
  CBulkAdd bulk(*this);
  for (const std::string& path : SelectedPaths(names.data(), names.size())) {
    if (IsEnded()) break;
    AddTargetFile(path);
  }
}

void CMainDialog::AddDroppedPaths(HDROP drop) {
  const DropScope scope(drop);
  m_lbTargets.SetSel(-1, false);
  m_lbTargets.SetFocus();
  CBulkAdd bulk(*this);
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count && !IsEnded(); ++i) {
    // The path's real length first: a path is never cut to fit a buffer.
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::wstring wide(length, L'\0');
    if (::DragQueryFileW(drop, i, wide.data(), length + 1) != length) continue;
    // A name with an unpaired surrogate has no UTF-8 form: it is skipped,
    // never taken for a look-alike.
    std::string path;
    if (!NarrowExact(wide, &path)) continue;
    // What the name is decides: the attribute query answers for a drive
    // root too (find-first does not), so a dropped root is taken as the
    // folder it is. A name that is gone by now is skipped, as one that
    // names nothing on the command line.
    m_targetIntake.Add(PlainPath(path), FolderFilter(), TargetListSink());
  }
}

void CMainDialog::RemoveSelectedTargets() {
  // Nothing selected: nothing to remove, and the selection, the caret and
  // Start stay as they are.
  if (m_lbTargets.GetSelCount() <= 0) return;

  int top = m_lbTargets.GetTopIndex();
  const FontDC dc(m_lbTargets);
  m_cxMaxItem = 0;
  int lowest = -1;
  // From the end, so the indices still to visit stay valid.
  for (int n = m_lbTargets.GetCount() - 1; n >= 0; --n) {
    const std::string text = m_lbTargets.GetText(n);
    if (m_lbTargets.GetSel(n) > 0) {
      m_lbTargets.DeleteString(n);
      m_targetIntake.Forget(text);
      lowest = n;
    } else {
      const int width = dc.Width(text);
      if (width > m_cxMaxItem) m_cxMaxItem = width;
    }
  }
  if (lowest == m_lbTargets.GetCount()) --lowest;  // the removed ones reached the end
  if (top > lowest) top = lowest;
  if (lowest >= 0) {
    m_lbTargets.SetTopIndex(top);
    m_lbTargets.SetCaretIndex(lowest, false);
    m_lbTargets.SetSel(lowest, true);
    UpdateStartForAllPairs();
  } else {
    EnableStart(false);
  }
  m_lbTargets.SetHorizontalExtent(m_cxMaxItem + 5);
}

void CMainDialog::OpenTargetInEditor() {
  if (m_lbTargets.GetCount() <= 0) return;  // no entry to open
  const int caret = m_lbTargets.GetCaretIndex();
  if (caret < 0) return;
  // By its full path: a notepad.exe in the program's folder or elsewhere on
  // the search path is never the one started.
  const std::string command = "\"" + WindowsFolderPath("notepad.exe") + "\" \"" + m_lbTargets.GetText(caret) + "\"";
  m_pShell->StartProgram(command, SW_SHOWNORMAL);  // not waited for; a failure shows nothing
}

}  // namespace vx
