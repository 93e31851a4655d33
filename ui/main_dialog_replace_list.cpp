// The main window's replace list: both drop-down lists filled from list.dat.
#include "replacelist/list_file.h"
#include "ui/main_dialog.h"

namespace vx {

// Empties both combo boxes (lists and fields) and refills them from list.dat
// (its texts held as UTF-8, as every text of the window) pair by pair, so entry k of each list belongs to pair k; with an odd number
// of texts the search list ends one entry longer. A file that cannot be
// opened leaves both empty. A read error keeps the entries read so far and
// is raised as a file error, which ends the handler that was loading.
void CMainDialog::LoadReplaceList() {
  m_cbSearch.ResetContent();
  m_cbReplace.ResetContent();
  ListColumns columns;
  const ListFileError error = LoadReplaceListColumns(&columns, kReplaceListFile, CodePage::kUtf8);
  for (std::size_t i = 0; i < columns.search.size(); ++i) {
    m_cbSearch.AddString(columns.search[i]);
    if (i < columns.replace.size()) m_cbReplace.AddString(columns.replace[i]);
  }
  if (error) throw ToFileError(error);
}

}  // namespace vx
