#include "ui/about_dialog.h"

#include "res/links.h"
#include "res/resource.h"

namespace vx {

namespace {

constexpr COLORREF kLinkColor = 0x00FF0000;  // pure blue
constexpr int kHelpViewerLinkCursor = 106;

}  // namespace

const CDialog::EventTable CAboutDialog::kEventTable = {
    CommandEvent(IDC_LINK_URL, STN_CLICKED, &CAboutDialog::OpenHomePage),
    CommandEvent(IDC_LINK_MAIL, STN_CLICKED, &CAboutDialog::OpenMailLink),
};

CAboutDialog::CAboutDialog(Shell& shell) : CDialog(IDD_ABOUT), m_hLinkCursor(nullptr), m_pShell(&shell) {}

CAboutDialog::~CAboutDialog() { ReleaseLinkCursor(); }

const CDialog::EventTable& CAboutDialog::GetEventTable() const { return kEventTable; }

BOOL CAboutDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  m_fontLink.Attach(::CreateFontW(12, 0, 0, 0, FW_DONTCARE, FALSE, TRUE, FALSE, SHIFTJIS_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DRAFT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック"));
  const WPARAM font = reinterpret_cast<WPARAM>(m_fontLink.GetSafeHandle());
  ::SendDlgItemMessageW(m_hWnd, IDC_LINK_URL, WM_SETFONT, font, TRUE);
  ::SendDlgItemMessageW(m_hWnd, IDC_LINK_MAIL, WM_SETFONT, font, TRUE);

  // The help viewer's hand cursor, copied so that it outlives the library;
  // without the help viewer, the system's hand cursor. Only its resources
  // are wanted: loaded as a data file, none of its code runs and none of
  // its imports is looked for.
  ReleaseLinkCursor();
  if (HMODULE viewer = ::LoadLibraryExW(L"winhlp32.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    if (HCURSOR cursor = ::LoadCursorW(viewer, MAKEINTRESOURCEW(kHelpViewerLinkCursor))) {
      m_hLinkCursor = static_cast<HCURSOR>(::CopyIcon(cursor));
      m_bOwnsLinkCursor = m_hLinkCursor != nullptr;
    }
    ::FreeLibrary(viewer);
  }
  if (m_hLinkCursor == nullptr) m_hLinkCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
  return TRUE;  // the focus goes to OK, the only tab stop
}

void CAboutDialog::ReleaseLinkCursor() {
  if (m_bOwnsLinkCursor) {
    // A cursor still shown cannot be destroyed: the arrow takes its place.
    if (::GetCursor() == m_hLinkCursor) ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    ::DestroyCursor(m_hLinkCursor);
  }
  m_bOwnsLinkCursor = false;
  m_hLinkCursor = nullptr;
}

bool CAboutDialog::IsLink(HWND hwnd) const {
  return hwnd != nullptr && (hwnd == GetDlgItem(IDC_LINK_URL) || hwnd == GetDlgItem(IDC_LINK_MAIL));
}

bool CAboutDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
      // The default brush and colours for every control; the links then
      // get their blue text.
      *result = DefaultProcessing(message, wParam, lParam);
      if (IsLink(reinterpret_cast<HWND>(lParam))) ::SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColor);
      return true;
    case WM_SETCURSOR:
      if (!IsLink(reinterpret_cast<HWND>(wParam))) return false;
      ::SetCursor(m_hLinkCursor);
      *result = TRUE;
      return true;
    default:
      return false;
  }
}

void CAboutDialog::OpenHomePage() { OpenLink(VX_HOME_PAGE_URL); }

void CAboutDialog::OpenMailLink() { OpenLink(VX_MAIL_SCHEME VX_MAIL_ADDRESS); }

void CAboutDialog::OpenLink(const char* target) const {
  // A failure shows nothing; the About box stays open either way.
  m_pShell->OpenTarget(m_hWnd, target, SW_SHOWNORMAL);
}

}  // namespace vx
