// Thin wrappers around windows the program does not own: a window object
// holds an HWND and offers small verb helpers. Copying one copies the handle;
// destroying one leaves the window alone.
//
//   CWnd       any window: text, enabled state, focus, styles
//   CButton    push buttons and check boxes
//   CEdit      single-line edit fields
//   CComboBox  drop-down combo boxes (the list and the edit field)
//   CListBox   list boxes
//   CListCtrl  list views in report view
//
// Texts are UTF-8 std::strings: every window is a Unicode window, and a text
// is widened at the call (platform/wide.h) and narrowed on its way back, so
// it holds any character. Indexes are zero-based; -1 stands for "none" (or
// "all" where the message allows it).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/wide.h"

namespace vx {

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  virtual ~CWnd() = default;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  HWND Detach() {
    HWND hwnd = m_hWnd;
    m_hWnd = nullptr;
    return hwnd;
  }

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  BOOL Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
  }

  // A message whose lParam is a text: sent with the text widened.
  int SendText(UINT message, WPARAM wParam, const std::string& text) const {
    const std::wstring wide = Widen(text);
    return static_cast<int>(Send(message, wParam, reinterpret_cast<LPARAM>(wide.c_str())));
  }

  std::string GetWindowText() const;
  void SetWindowText(const std::string& text) const { ::SetWindowTextW(m_hWnd, Widen(text).c_str()); }
  // In UTF-16 units; 0 exactly when the text is empty.
  int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }

  BOOL EnableWindow(bool enable = true) const { return ::EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
  bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
  bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
  BOOL ShowWindow(int show) const { return ::ShowWindow(m_hWnd, show); }
  HWND SetFocus() const { return ::SetFocus(m_hWnd); }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
  HFONT GetFont() const { return reinterpret_cast<HFONT>(Send(WM_GETFONT)); }

  // Enables or disables a child control. A control that has the keyboard
  // focus (itself or, as a combo box, in a child) hands it on to the next
  // tab stop first, so the keyboard never goes dead on a disabled control.
  void EnableItem(int id, bool enable) const;
};

class CButton : public CWnd {
 public:
  using CWnd::CWnd;
  int GetCheck() const { return static_cast<int>(Send(BM_GETCHECK)); }
  void SetCheck(int state) const { Send(BM_SETCHECK, static_cast<WPARAM>(state)); }
  // Presses the button as a mouse click would (nothing happens while disabled).
  void Click() const { Send(BM_CLICK); }
};

class CEdit : public CWnd {
 public:
  using CWnd::CWnd;
  void SetSel(int start, int end) const { Send(EM_SETSEL, static_cast<WPARAM>(start), end); }
  // Replaces the selection as typing would (change notifications are sent).
  void ReplaceSel(const std::string& text) const {
    const std::wstring wide = Widen(text);
    Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  // In UTF-16 units; 0: no limit.
  void LimitText(int units) const { Send(EM_LIMITTEXT, static_cast<WPARAM>(units)); }
};

class CComboBox : public CWnd {
 public:
  using CWnd::CWnd;
  int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
  // Selects entry `index` and shows its text in the field; -1 clears both.
  // (Wine keeps the field's text for an index past the end; Windows clears it.)
  int SetCurSel(int index) const { return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index))); }
  int AddString(const std::string& text) const { return SendText(CB_ADDSTRING, 0, text); }
  int InsertString(int index, const std::string& text) const {
    return SendText(CB_INSERTSTRING, static_cast<WPARAM>(index), text);
  }
  int DeleteString(int index) const { return static_cast<int>(Send(CB_DELETESTRING, static_cast<WPARAM>(index))); }
  // Empties the list and the edit field.
  void ResetContent() const { Send(CB_RESETCONTENT); }
  // Text of entry `index` of the drop-down list ("" for a bad index).
  std::string GetLBText(int index) const;
  int FindStringExact(int start, const std::string& text) const {
    return SendText(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), text);
  }
  // The edit field inside the combo box.
  HWND GetEditHwnd() const;
  // Whether the list is dropped down (CB_GETDROPPEDSTATE).
  bool GetDroppedState() const { return Send(CB_GETDROPPEDSTATE) != FALSE; }
};

class CListBox : public CWnd {
 public:
  using CWnd::CWnd;
  int GetCount() const { return static_cast<int>(Send(LB_GETCOUNT)); }
  int AddString(const std::string& text) const { return SendText(LB_ADDSTRING, 0, text); }
  int InsertString(int index, const std::string& text) const {
    return SendText(LB_INSERTSTRING, static_cast<WPARAM>(index), text);
  }
  int DeleteString(int index) const { return static_cast<int>(Send(LB_DELETESTRING, static_cast<WPARAM>(index))); }
  void ResetContent() const { Send(LB_RESETCONTENT); }
  // Text of entry `index` ("" for a bad index).
  std::string GetText(int index) const;
  // In UTF-16 units.
  int GetTextLen(int index) const { return static_cast<int>(Send(LB_GETTEXTLEN, static_cast<WPARAM>(index))); }
  // First entry after `start` (-1: from the top) that begins with `prefix`,
  // ignoring letter case; LB_ERR if none.
  int FindString(int start, const std::string& prefix) const {
    return SendText(LB_FINDSTRING, static_cast<WPARAM>(start), prefix);
  }
  // Multiple-selection list boxes. SetSel(-1, ...) acts on every entry.
  int GetSel(int index) const { return static_cast<int>(Send(LB_GETSEL, static_cast<WPARAM>(index))); }
  int SetSel(int index, bool select = true) const { return static_cast<int>(Send(LB_SETSEL, select, index)); }
  int GetSelCount() const { return static_cast<int>(Send(LB_GETSELCOUNT)); }
  int GetCaretIndex() const { return static_cast<int>(Send(LB_GETCARETINDEX)); }
  // scroll = false scrolls the entry fully into view.
  int SetCaretIndex(int index, bool scroll = false) const {
    return static_cast<int>(Send(LB_SETCARETINDEX, static_cast<WPARAM>(index), scroll));
  }
  int GetTopIndex() const { return static_cast<int>(Send(LB_GETTOPINDEX)); }
  int SetTopIndex(int index) const { return static_cast<int>(Send(LB_SETTOPINDEX, static_cast<WPARAM>(index))); }
  int GetHorizontalExtent() const { return static_cast<int>(Send(LB_GETHORIZONTALEXTENT)); }
  void SetHorizontalExtent(int pixels) const { Send(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(pixels)); }
};

class CListCtrl : public CWnd {
 public:
  using CWnd::CWnd;
  int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
  // Adds a column; returns its index or -1.
  int InsertColumn(int column, const std::string& heading, int format = LVCFMT_LEFT, int width = -1) const;
  // Inserts a row with its first-column text; returns its index or -1.
  int InsertItem(int item, const std::string& text) const;
  bool SetItemText(int item, int subItem, const std::string& text) const;
  std::string GetItemText(int item, int subItem) const;
  bool DeleteItem(int item) const { return Send(LVM_DELETEITEM, static_cast<WPARAM>(item)) != FALSE; }
  bool DeleteAllItems() const { return Send(LVM_DELETEALLITEMS) != FALSE; }
  // Next row after `start` (-1: from the top) with the LVNI_ flags, or -1.
  int GetNextItem(int start, UINT flags) const {
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
  }
  // The first selected row, or -1.
  int GetSelectedItem() const { return GetNextItem(-1, LVNI_SELECTED); }
  bool SetItemState(int item, UINT state, UINT mask) const;
  UINT GetItemState(int item, UINT mask) const {
    return static_cast<UINT>(Send(LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
  }
  bool EnsureVisible(int item, bool partialOK = false) const {
    return Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOK) != FALSE;
  }
  int GetColumnWidth(int column) const { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column))); }
};

}  // namespace vx
