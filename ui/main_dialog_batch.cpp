// The batch run started by the Start button.
#include "engine/batch.h"
#include "ui/main_dialog.h"
#include "ui/program.h"

namespace vx {

void CMainDialog::RunBatch() {
  const HCURSOR wait = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
  const HCURSOR previous = ::SetCursor(wait);

  BatchSettings settings;
  settings.lead = AnsiLeadBytes();
  const BatchReport report = ProcessBatch(
      [this](std::size_t index, BatchFile* file) {
        // The number of entries is asked anew for every file.
        if (index >= static_cast<std::size_t>(m_lbTargets.GetCount())) return false;
        // The check boxes into m_bAutoAll and m_bMakeBackup, for every file.
        UpdateData(true);
        const int i = static_cast<int>(index);
        file->path = m_lbTargets.GetText(i);
        if (m_bAutoAll) {
          // The pairs as the drop-down lists hold them, not as list.dat does.
          std::vector<std::string> search, replace;
          for (int k = 0; k < m_cbSearch.GetCount(); ++k) search.push_back(m_cbSearch.GetLBText(k));
          for (int k = 0; k < m_cbReplace.GetCount(); ++k) replace.push_back(m_cbReplace.GetLBText(k));
          file->pairs = PairsFromLists(search, replace);
        } else {
          file->pairs = {{m_cbSearch.GetWindowText(), m_cbReplace.GetWindowText()}};
        }
        file->make_backup = m_bMakeBackup != 0;
        return true;
      },
      settings);

  ::SetCursor(wait);
  ::MessageBoxA(m_hWnd, FormatBatchLog(report).c_str(), "置換完了", 0);
  m_cbSearch.SetFocus();
  ::SetCursor(previous);
}

}  // namespace vx
