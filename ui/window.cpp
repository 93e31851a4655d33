#include "ui/window.h"

#include <algorithm>
#include <vector>

namespace vx {

namespace {

// Reads a text of unknown length: `get(buffer, size)` copies at most size - 1
// UTF-16 units and returns how many it copied (or a negative error). The
// buffer grows until the text fits; the text comes back as UTF-8.
template <class Get>
std::string ReadText(int hint, Get get) {
  std::vector<wchar_t> buffer(static_cast<std::size_t>(hint > 0 ? hint : 0) + 1);
  for (;;) {
    const int got = get(buffer.data(), static_cast<int>(buffer.size()));
    if (got < 0) return std::string();
    if (static_cast<std::size_t>(got) + 1 < buffer.size()) {
      return Narrow(std::wstring_view(buffer.data(), static_cast<std::size_t>(got)));
    }
    buffer.resize(buffer.size() * 2 + 64);
  }
}

// An item text whose length the control tells first (list and combo boxes).
template <class Get>
std::string ReadItemText(int length, Get get) {
  if (length < 0) return std::string();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  const int got = get(buffer.data());
  if (got < 0) return std::string();
  return Narrow(std::wstring_view(buffer.data(), std::min(static_cast<std::size_t>(got), static_cast<std::size_t>(length))));
}

}  // namespace

std::string CWnd::GetWindowText() const {
  return ReadText(::GetWindowTextLengthW(m_hWnd), [this](wchar_t* buffer, int size) {
    return ::GetWindowTextW(m_hWnd, buffer, size);
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
  return ReadItemText(static_cast<int>(Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index))), [&](wchar_t* buffer) {
    return static_cast<int>(Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
  });
}

HWND CComboBox::GetEditHwnd() const {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  return ::GetComboBoxInfo(m_hWnd, &info) ? info.hwndItem : nullptr;
}

std::string CListBox::GetText(int index) const {
  return ReadItemText(GetTextLen(index), [&](wchar_t* buffer) {
    return static_cast<int>(Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
  });
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) const {
  std::wstring text = Widen(heading);
  LVCOLUMNW col{};
  col.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | (width >= 0 ? LVCF_WIDTH : 0);
  col.fmt = format;
  col.cx = width;
  col.pszText = text.data();
  col.iSubItem = column;
  return static_cast<int>(Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::InsertItem(int item, const std::string& text) const {
  std::wstring wide = Widen(text);
  LVITEMW row{};
  row.mask = LVIF_TEXT;
  row.iItem = item;
  row.pszText = wide.data();
  return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

bool CListCtrl::SetItemText(int item, int subItem, const std::string& text) const {
  std::wstring wide = Widen(text);
  LVITEMW cell{};
  cell.iSubItem = subItem;
  cell.pszText = wide.data();
  return Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)) != FALSE;
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
  return ReadText(256, [&](wchar_t* buffer, int size) {
    LVITEMW cell{};
    cell.iSubItem = subItem;
    cell.pszText = buffer;
    cell.cchTextMax = size;
    return static_cast<int>(Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)));
  });
}

bool CListCtrl::SetItemState(int item, UINT state, UINT mask) const {
  LVITEMW row{};
  row.state = state;
  row.stateMask = mask;
  return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row)) != FALSE;
}

}  // namespace vx
