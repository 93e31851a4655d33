#include "ui/window.h"

#include <vector>

namespace vx {

namespace {

// Reads a text of unknown length: `get(buffer, size)` copies at most size - 1
// bytes and returns how many it copied (or a negative error). The buffer
// grows until the text fits.
template <class Get>
std::string ReadText(int hint, Get get) {
  std::vector<char> buffer(static_cast<std::size_t>(hint > 0 ? hint : 0) + 1);
  for (;;) {
    const int got = get(buffer.data(), static_cast<int>(buffer.size()));
    if (got < 0) return std::string();
    if (static_cast<std::size_t>(got) + 1 < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(got));
    buffer.resize(buffer.size() * 2 + 64);
  }
}

}  // namespace

std::string CWnd::GetWindowText() const {
  return ReadText(::GetWindowTextLengthA(m_hWnd), [this](char* buffer, int size) {
    return ::GetWindowTextA(m_hWnd, buffer, size);
  });
}

void CWnd::EnableItem(int id, bool enable) const {
  HWND item = ::GetDlgItem(m_hWnd, id);
  HWND focus = ::GetFocus();
  // A combo box has the focus in its edit field: a child of the control.
  if (!enable && item != nullptr && focus != nullptr && (focus == item || ::IsChild(item, focus))) {
    Send(WM_NEXTDLGCTL, 0, FALSE);
  }
  ::EnableWindow(item, enable ? TRUE : FALSE);
}

std::string CComboBox::GetLBText(int index) const {
  const int length = static_cast<int>(Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
  if (length == CB_ERR) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  const int got = static_cast<int>(Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data())));
  return got == CB_ERR ? std::string() : std::string(buffer.data(), static_cast<std::size_t>(got));
}

HWND CComboBox::GetEditHwnd() const {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  return ::GetComboBoxInfo(m_hWnd, &info) ? info.hwndItem : nullptr;
}

std::string CListBox::GetText(int index) const {
  const int length = GetTextLen(index);
  if (length == LB_ERR) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  const int got = static_cast<int>(Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data())));
  return got == LB_ERR ? std::string() : std::string(buffer.data(), static_cast<std::size_t>(got));
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) const {
  LVCOLUMNA col{};
  col.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | (width >= 0 ? LVCF_WIDTH : 0);
  col.fmt = format;
  col.cx = width;
  col.pszText = const_cast<char*>(heading.c_str());
  col.iSubItem = column;
  return static_cast<int>(Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::InsertItem(int item, const std::string& text) const {
  LVITEMA row{};
  row.mask = LVIF_TEXT;
  row.iItem = item;
  row.pszText = const_cast<char*>(text.c_str());
  return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
}

bool CListCtrl::SetItemText(int item, int subItem, const std::string& text) const {
  LVITEMA cell{};
  cell.iSubItem = subItem;
  cell.pszText = const_cast<char*>(text.c_str());
  return Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)) != FALSE;
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
  return ReadText(256, [&](char* buffer, int size) {
    LVITEMA cell{};
    cell.iSubItem = subItem;
    cell.pszText = buffer;
    cell.cchTextMax = size;
    return static_cast<int>(Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)));
  });
}

bool CListCtrl::SetItemState(int item, UINT state, UINT mask) const {
  LVITEMA row{};
  row.state = state;
  row.stateMask = mask;
  return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row)) != FALSE;
}

}  // namespace vx
