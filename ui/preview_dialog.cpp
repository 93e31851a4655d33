#include "ui/preview_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "engine/line_diff.h"
#include "engine/replace_chain.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/wide.h"
#include "res/resource.h"

namespace vx {

namespace {

// The state images of the list: 1 a box, 2 a ticked box, 3 a greyed box
// (a row that cannot be ticked).
constexpr int kUnticked = 1, kTicked = 2, kNotTickable = 3;

// Posted when a row loses the selection (OnItemChanged).
constexpr UINT kSelectionSettledMessage = WM_APP + 1;

HIMAGELIST MakeCheckImages() {
  const int cx = ::GetSystemMetrics(SM_CXSMICON), cy = ::GetSystemMetrics(SM_CYSMICON);
  HIMAGELIST list = ::ImageList_Create(cx, cy, ILC_COLOR32, 3, 0);
  if (list == nullptr) return nullptr;
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  for (const UINT state : {0u, static_cast<UINT>(DFCS_CHECKED), static_cast<UINT>(DFCS_INACTIVE)}) {
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT rc{0, 0, cx, cy};
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
    RECT box{2, 2, cx - 2, cy - 2};
    ::DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | state);
    ::SelectObject(dc, old);
    ::ImageList_Add(list, bitmap, nullptr);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return list;
}

// The bytes of a file; false if it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes) {
  platform::SysError error = platform::kOk;
  platform::File file = platform::File::OpenReadExclusive(platform::FinalPath(path), &error);
  if (!file.IsOpen()) return false;
  bytes->clear();
  std::vector<char> buffer(1 << 16);
  for (std::size_t got = 0;; bytes->append(buffer.data(), got)) {
    if (file.Read(buffer.data(), buffer.size(), &got) != platform::kOk) return false;
    if (got == 0) return true;
  }
}

}  // namespace

const CDialog::EventTable CPreviewDialog::kEventTable = {
    NotifyEvent(IDC_PREVIEW_LIST, static_cast<UINT>(LVN_GETDISPINFOW), &CPreviewDialog::OnGetDispInfo),
    NotifyEvent(IDC_PREVIEW_LIST, static_cast<UINT>(LVN_KEYDOWN), &CPreviewDialog::OnKeyDown),
    NotifyEvent(IDC_PREVIEW_LIST, static_cast<UINT>(NM_CLICK), &CPreviewDialog::OnClick),
    NotifyEvent(IDC_PREVIEW_LIST, static_cast<UINT>(LVN_ITEMCHANGED), &CPreviewDialog::OnItemChanged),
    PostedEvent(kSelectionSettledMessage, &CPreviewDialog::OnSelectionSettled),
    // IDOK ("置換(&R)") and IDCANCEL ("キャンセル", Escape, the close box) end it.
};

const CDialog::EventTable& CPreviewDialog::GetEventTable() const { return kEventTable; }

CPreviewDialog::CPreviewDialog(const std::vector<BatchFile>& files, const BatchReport& preview,
                               const BatchSettings& settings, HWND parent)
    : CDialog(IDD_PREVIEW, parent), m_files(files), m_settings(settings) {
  for (std::size_t i = 0; i < preview.entries.size() && i < files.size(); ++i) {
    const RewriteOutcome& outcome = preview.entries[i].outcome;
    const bool changes = outcome.done() && outcome.count > 0;
    if (!changes && !IsError(outcome.status)) continue;  // no match, not done, the same file again
    std::string result = FormatResultText(outcome, CodePage::kUtf8);
    while (!result.empty() && result.back() == '\n') result.pop_back();
    m_rows.push_back({i, Widen(preview.entries[i].path), Widen(result), changes ? outcome.count : 0, changes, changes});
  }
}

CPreviewDialog::~CPreviewDialog() {
  if (m_hChecks != nullptr) ::ImageList_Destroy(m_hChecks);
}

BOOL CPreviewDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_hList = GetDlgItem(IDC_PREVIEW_LIST);
  ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT);
  m_hChecks = MakeCheckImages();
  if (m_hChecks != nullptr) ListView_SetImageList(m_hList, m_hChecks, LVSIL_STATE);
  // The rows' check boxes are asked for with their texts.
  ListView_SetCallbackMask(m_hList, LVIS_STATEIMAGEMASK);

  RECT columns{0, 0, 250, 0};
  ::MapDialogRect(m_hWnd, &columns);
  RECT list;
  ::GetClientRect(m_hList, &list);
  const int pathWidth = columns.right;
  const int resultWidth = std::max(60, static_cast<int>(list.right) - pathWidth - ::GetSystemMetrics(SM_CXVSCROLL));
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  std::wstring title = L"ファイル";
  column.pszText = title.data();
  column.cx = pathWidth;
  ::SendMessageW(m_hList, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  title = L"結果";
  column.pszText = title.data();
  column.cx = resultWidth;
  column.iSubItem = 1;
  ::SendMessageW(m_hList, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  ListView_SetItemCountEx(m_hList, static_cast<int>(m_rows.size()), LVSICF_NOINVALIDATEALL);

  ::SendDlgItemMessageW(m_hWnd, IDC_PREVIEW_LINES, EM_LIMITTEXT, 0, 0);
  ShowTotals();
  if (!m_rows.empty()) {
    ListView_SetItemState(m_hList, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ShowLines(0);
  }
  ::SetFocus(m_hList);
  return FALSE;
}

std::vector<std::size_t> CPreviewDialog::TickedEntries() const {
  std::vector<std::size_t> entries;
  for (const Row& row : m_rows) {
    if (row.ticked) entries.push_back(row.entry);
  }
  return entries;
}

void CPreviewDialog::SetTicked(int row, bool ticked) {
  if (row < 0 || row >= RowCount()) return;
  Row& r = m_rows[static_cast<std::size_t>(row)];
  if (!r.tickable || r.ticked == ticked) return;
  r.ticked = ticked;
  if (m_hList != nullptr) ListView_RedrawItems(m_hList, row, row);
  ShowTotals();
}

void CPreviewDialog::Toggle(int row) {
  if (row >= 0 && row < RowCount()) SetTicked(row, !IsTicked(row));
}

void CPreviewDialog::ShowTotals() {
  std::size_t files = 0;
  std::int64_t count = 0;
  for (const Row& row : m_rows) {
    if (!row.ticked) continue;
    ++files;
    count += row.count;
  }
  const std::wstring text = L"置換するファイル  " + std::to_wstring(files) + L"個    置換え数  " +
                            std::to_wstring(count) + L"個";
  ::SetDlgItemTextW(m_hWnd, IDC_PREVIEW_TOTALS, text.c_str());
}

void CPreviewDialog::OnGetDispInfo(NMHDR* header, LRESULT*) {
  LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
  if (item.iItem < 0 || item.iItem >= RowCount()) return;
  const Row& row = m_rows[static_cast<std::size_t>(item.iItem)];
  if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
    const std::wstring& text = item.iSubItem == 0 ? row.path : row.result;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
    std::copy_n(text.begin(), n, item.pszText);
    item.pszText[n] = L'\0';
  }
  if ((item.mask & LVIF_STATE) != 0 && item.iSubItem == 0) {
    const int image = !row.tickable ? kNotTickable : row.ticked ? kTicked : kUnticked;
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

void CPreviewDialog::OnKeyDown(NMHDR* header, LRESULT*) {
  if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey != VK_SPACE) return;
  Toggle(ListView_GetNextItem(m_hList, -1, LVNI_FOCUSED));
}

void CPreviewDialog::OnClick(NMHDR*, LRESULT*) {
  LVHITTESTINFO hit{};
  const DWORD at = ::GetMessagePos();
  hit.pt = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  ::ScreenToClient(m_hList, &hit.pt);
  const int row = ListView_HitTest(m_hList, &hit);
  if (row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) != 0) Toggle(row);
}

void CPreviewDialog::OnItemChanged(NMHDR* header, LRESULT*) {
  // A row that gains the selection shows its lines at once. One that loses
  // it mostly loses it to another row, whose lines come with the next
  // notification: whether no row is left selected is asked once the
  // change is over, so that a move sets the field once (each text set
  // costs Wine's edit field tens of milliseconds).
  const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
  if (change->iItem >= 0 && (change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED)) {
    if (change->iItem != m_nShownRow) ShowLines(change->iItem);
    return;
  }
  ::PostMessageW(m_hWnd, kSelectionSettledMessage, 0, 0);
}

void CPreviewDialog::OnSelectionSettled(WPARAM, LPARAM) {
  const int row = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
  if (row != m_nShownRow) ShowLines(row);
}

void CPreviewDialog::ShowLines(int row) {
  m_nShownRow = row;
  const std::wstring text = row >= 0 && row < RowCount() ? Widen(ChangedLinesText(row)) : std::wstring();
  // The whole text replaced at once, then shown from its start: under Wine
  // that costs about half of a WM_SETTEXT, which works out the field's
  // scroll bars more often.
  const HWND field = ::GetDlgItem(m_hWnd, IDC_PREVIEW_LINES);
  ::SendMessageW(field, EM_SETSEL, 0, -1);
  ::SendMessageW(field, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  ::SendMessageW(field, EM_SETSEL, 0, 0);
  ::SendMessageW(field, EM_SCROLLCARET, 0, 0);
}

std::string CPreviewDialog::ChangedLinesText(int row) const {
  if (row < 0 || row >= RowCount() || !IsTickable(row)) return {};
  const BatchFile& file = m_files[m_rows[static_cast<std::size_t>(row)].entry];
  // The same dry run as the preview's, for this one file, its content kept.
  StringSink after;
  RewriteOptions options = m_settings.options;
  options.dry_run = true;
  options.preview = &after;
  options.digests = false;
  options.unchanged_since = nullptr;
  options.cancel = nullptr;
  const RewriteOutcome outcome = RewriteFile(file.path, file.pairs, m_settings.reading, options);
  std::string before;
  if (!outcome.done() || !ReadWholeFile(file.path, &before)) return {};
  // A file in no other encoding is in the window's code page.
  const CodePage code_page = LinesText(outcome.encoding, CodePage::kAnsi, &before);
  LinesText(outcome.encoding, CodePage::kAnsi, &after.text);
  const std::vector<ChangedLine> lines = ChangedLines(before, after.text);
  std::wstring shown;
  for (const ChangedLine& line : lines) {
    if (&line - lines.data() == static_cast<std::ptrdiff_t>(kMostShownLines)) {
      shown += L"（以下 " + std::to_wstring(lines.size() - kMostShownLines) + L" 行は省略）\r\n";
      break;
    }
    wchar_t number[32];
    std::swprintf(number, 32, L"%6zu %lc ", line.number, line.added ? L'+' : L'-');
    shown += number;
    shown += WidenForShowing(line.text, code_page);  // a byte that is no character as the system shows it
    shown += L"\r\n";
  }
  return Narrow(shown);
}

}  // namespace vx
