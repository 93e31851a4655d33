#include "ui/list_edit_dialog.h"

#include <vector>

#include "replacelist/list_file.h"
#include "replacelist/list_format.h"
#include "platform/wide.h"
#include "res/resource.h"

namespace vx {

namespace {

constexpr int kColumnWidth = 131;  // pixels, both columns
constexpr UINT kSelectedAndFocused = LVIS_SELECTED | LVIS_FOCUSED;

}  // namespace

const CDialog::EventTable CListEditDialog::kEventTable = {
    CommandEvent(IDC_PAIR_ADD, BN_CLICKED, &CListEditDialog::AddPair),
    CommandEvent(IDC_PAIR_EDIT, BN_CLICKED, &CListEditDialog::EditSelectedPair),
    CommandEvent(IDC_PAIR_DELETE, BN_CLICKED, &CListEditDialog::DeleteSelectedPair),
    NotifyEvent(IDC_PAIR_LIST, LVN_ITEMCHANGED, &CListEditDialog::ShowSelectedPair),
    CommandEvent(IDC_PAIR_SEARCH, EN_CHANGE, &CListEditDialog::UpdateButtonsForSearchText),
    CommandEvent(IDC_PAIR_REPLACE, EN_CHANGE, &CListEditDialog::UpdateButtonsForReplaceText),
    // IDOK: OnOK saves. IDCANCEL (Back, Escape, the close box): CDialog::OnCancel.
};

CListEditDialog::CListEditDialog() : CDialog(IDD_LIST_EDIT), m_bUpdatingItem(0) {}

CListEditDialog::~CListEditDialog() = default;

const CDialog::EventTable& CListEditDialog::GetEventTable() const { return kEventTable; }

void CListEditDialog::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_PAIR_LIST, m_listPairs);
  DDX_Text(pDX, IDC_PAIR_SEARCH, m_strSearch);
  DDX_Text(pDX, IDC_PAIR_REPLACE, m_strReplace);
}

bool CListEditDialog::PreTranslateMessage(MSG* msg) { return TranslateEnterKey(msg); }

BOOL CListEditDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_bUpdatingItem = 0;
  m_listPairs.InsertColumn(0, FromU8(u8"検索文字列"), LVCFMT_LEFT, kColumnWidth);
  m_listPairs.InsertColumn(1, FromU8(u8"置換文字列"), LVCFMT_LEFT, kColumnWidth);
  // A list.dat that cannot be read whole ends the editor before it is shown:
  // OK would otherwise replace the whole list with the part that was read.
  LoadRows();
  SelectRow(0);
  m_listPairs.SetFocus();
  return FALSE;  // the focus is set
}

void CListEditDialog::LoadRows() {
  std::vector<ListPair> rows;
  std::vector<std::size_t> inexact;
  m_setUnreadTexts.clear();
  if (const ListFileError error = LoadReplaceListRows(&rows, kReplaceListFile, CodePage::kUtf8, &inexact)) {
    EndDialog(IDCANCEL);
    throw ToFileError(error);
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int row = m_listPairs.InsertItem(static_cast<int>(i), rows[i].search);
    m_listPairs.SetItemText(row, 1, rows[i].replace);
  }
  for (const std::size_t text : inexact) {
    const ListPair& row = rows[text / 2];
    m_setUnreadTexts.insert(text % 2 == 0 ? row.search : row.replace);
  }
}

void CListEditDialog::SelectRow(int row) const {
  if (row < 0) return;  // -1 would select every row
  m_listPairs.SetItemState(row, kSelectedAndFocused, kSelectedAndFocused);
}

void CListEditDialog::ShowSelectedPair(NMHDR*, LRESULT* result) {
  *result = 0;
  if (m_bUpdatingItem) return;
  const int row = m_listPairs.GetSelectedItem();
  if (row < 0) {
    m_strSearch.clear();
    m_strReplace.clear();
    EnableItem(IDC_PAIR_ADD, false);
    EnableItem(IDC_PAIR_EDIT, false);
    EnableItem(IDC_PAIR_DELETE, false);
  } else {
    m_strSearch = m_listPairs.GetItemText(row, 0);
    m_strReplace = m_listPairs.GetItemText(row, 1);
    EnableItem(IDC_PAIR_DELETE, true);
  }
  UpdateData(false);
}

void CListEditDialog::UpdateButtonsForSearchText() {
  UpdateData(true);
  if (m_strSearch.empty()) {
    EnableItem(IDC_PAIR_ADD, false);
    EnableItem(IDC_PAIR_EDIT, false);
    return;
  }
  EnableItem(IDC_PAIR_ADD, true);
  if (m_listPairs.GetSelectedItem() >= 0) EnableItem(IDC_PAIR_EDIT, true);
}

void CListEditDialog::UpdateButtonsForReplaceText() {
  UpdateData(true);
  if (m_strSearch.empty()) return;
  EnableItem(IDC_PAIR_ADD, true);
  if (m_listPairs.GetSelectedItem() >= 0) EnableItem(IDC_PAIR_EDIT, true);
}

void CListEditDialog::AddPair() {
  UpdateData(true);
  const int row = m_listPairs.GetItemCount();
  {
    // A list control that reports the new row, or its second column, as an
    // item change would otherwise show the previously selected row in the
    // fields (and in the members) half-way through.
    CFlagScope updating(m_bUpdatingItem);
    m_listPairs.InsertItem(row, m_strSearch);
    m_listPairs.SetItemText(row, 1, m_strReplace);
  }
  SelectRow(row);
  m_listPairs.EnsureVisible(row, false);
  m_listPairs.SetFocus();
  EnableItem(IDC_PAIR_ADD, false);
}

void CListEditDialog::EditSelectedPair() {
  UpdateData(true);
  CFlagScope updating(m_bUpdatingItem);
  const int row = m_listPairs.GetSelectedItem();
  if (row >= 0) {
    // Without the flag the first text's change notification would reload
    // both members from the half-updated row.
    m_listPairs.SetItemText(row, 0, m_strSearch);
    m_listPairs.SetItemText(row, 1, m_strReplace);
  }
  EnableItem(IDC_PAIR_ADD, false);
  EnableItem(IDC_PAIR_EDIT, false);
  m_listPairs.SetFocus();
}

void CListEditDialog::DeleteSelectedPair() {
  int row = m_listPairs.GetSelectedItem();
  if (row < 0) return;  // nothing to delete, the selection stays
  m_listPairs.DeleteItem(row);
  if (row == m_listPairs.GetItemCount()) --row;  // the last row went: select the new last one
  SelectRow(row);
  m_listPairs.SetFocus();
}

void CListEditDialog::OnOK() { SaveReplaceList(); }

void CListEditDialog::SaveReplaceList() {
  std::vector<ListPair> rows;
  const int count = m_listPairs.GetItemCount();
  rows.reserve(static_cast<std::size_t>(count));
  for (int row = 0; row < count; ++row) {
    rows.push_back({m_listPairs.GetItemText(row, 0), m_listPairs.GetItemText(row, 1)});
    if (!RefuseUnstorableText(row, rows.back().search) || !RefuseUnstorableText(row, rows.back().replace)) return;
  }
  // The save replaces the file whole or not at all: on any failure the file
  // keeps its old content, so the editor stays open for another try.
  if (const ListFileError error = SaveReplaceListRows(rows, kReplaceListFile, CodePage::kUtf8)) throw ToFileError(error);
  UpdateData(true);
  EndDialog(IDOK);
}

bool CListEditDialog::RefuseUnstorableText(int row, const std::string& text) {
  const std::size_t at = FindUnstorableByte(text);
  const bool unread = m_setUnreadTexts.count(text) != 0;
  if (at == std::string::npos && !unread) return true;
  // The row is shown in the fields, where the user can mend it.
  SelectRow(row);
  m_listPairs.EnsureVisible(row, false);
  m_listPairs.SetFocus();
  std::wstring message = L"「" + Widen(text) + L"」\n\n";
  switch (at == std::string::npos ? '\xFF' : text[at]) {
    case '\n':
      message += L"この文字列には改行が含まれているため、置換リストに保存できません。\n"
                 L"改行は \\n と入力してください。";
      break;
    case '\x1A':
      message += L"この文字列には制御文字 (1Ah) が含まれているため、置換リストに保存できません。\n"
                 L"この文字を削除してください。";
      break;
    case '\0':
      message += L"この文字列には制御文字 (00h) が含まれているため、置換リストに保存できません。\n"
                 L"この文字を削除してください。";
      break;
    default:
      // Saved as it stands, U+FFFD would take the place of the file's bytes.
      message += L"この文字列には list.dat で文字として読めなかったバイトが含まれているため、"
                 L"置換リストに保存できません。\n"
                 L"\xFFFD の箇所を入力し直すか、この行を削除してください。";
      break;
  }
  ::MessageBoxW(m_hWnd, message.c_str(), L"エラー", MB_ICONSTOP | MB_OK);
  return false;
}

bool CListEditDialog::TranslateEnterKey(MSG* msg) {
  if (msg->message != WM_KEYDOWN || msg->wParam != VK_RETURN) return false;
  const HWND search = GetDlgItem(IDC_PAIR_SEARCH);
  const HWND replace = GetDlgItem(IDC_PAIR_REPLACE);
  auto inField = [&] {
    const HWND focus = ::GetFocus();
    return focus == search || focus == replace;
  };
  if (inField()) {
    // A disabled Add cannot take the focus: it then stays in the field.
    const HWND add = GetDlgItem(IDC_PAIR_ADD);
    if (::IsWindowEnabled(add)) Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(add), TRUE);
  }
  if (!inField()) {
    // Handled after this message, by whichever control has the focus then:
    // a button is clicked, the list gets a Space key.
    ::keybd_event(VK_SPACE, 0, 0, 0);
    ::keybd_event(VK_SPACE, 0, KEYEVENTF_KEYUP, 0);
  }
  return true;
}

}  // namespace vx
