// The About box: icon, version line, copyright line and two links (the home
// page and the mail address), drawn blue and underlined with a link cursor,
// each handed to the shell when clicked.
#pragma once

#include <windows.h>

#include "ui/dialog.h"
#include "ui/font.h"
#include "ui/shell.h"

namespace vx {

class CAboutDialog : public CDialog {
 public:
  // No owner is named: the modal run makes the main window the owner. The
  // links are handed to `shell`.
  explicit CAboutDialog(Shell& shell = SystemShell());
  ~CAboutDialog() override;

  HCURSOR m_hLinkCursor;  // shown over the two links; chosen at initialisation
  CFont m_fontLink;       // the links' underlined font, created at initialisation
  Shell* m_pShell;        // opens the links

  // STN_CLICKED from the two links.
  void OpenHomePage();
  void OpenMailLink();

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  const EventTable& GetEventTable() const override;

 private:
  bool IsLink(HWND hwnd) const;
  void OpenLink(const char* target) const;
  void ReleaseLinkCursor();

  bool m_bOwnsLinkCursor = false;  // m_hLinkCursor is our copy, not a shared cursor
  static const EventTable kEventTable;
};

}  // namespace vx
