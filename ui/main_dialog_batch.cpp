// The batch run started by the Start button.
#include <algorithm>

#include "engine/batch.h"
#include "platform/wide.h"
#include "ui/main_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/result_dialog.h"

namespace vx {

void CMainDialog::RunBatch() {
  // Everything the run needs is read now, once: the window is disabled
  // until the run has ended, so nothing of it can change meanwhile.
  UpdateData(true);
  std::vector<ReplacePair> pairs;
  if (m_bAutoAll) {
    // The pairs as the drop-down lists hold them, not as list.dat does.
    std::vector<std::string> search, replace;
    for (int k = 0; k < m_cbSearch.GetCount(); ++k) search.push_back(m_cbSearch.GetLBText(k));
    for (int k = 0; k < m_cbReplace.GetCount(); ++k) replace.push_back(m_cbReplace.GetLBText(k));
    pairs = PairsFromLists(search, replace);
  } else {
    pairs = {{m_cbSearch.GetWindowText(), m_cbReplace.GetWindowText()}};
  }
  std::vector<BatchFile> files(static_cast<std::size_t>(std::max(m_lbTargets.GetCount(), 0)));
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].path = m_lbTargets.GetText(static_cast<int>(i));
    files[i].pairs = pairs;
    files[i].make_backup = m_bMakeBackup != 0;
  }
  BatchSettings settings;
  // The typed texts are UTF-8, converted into each file's own encoding.
  settings.reading = FileReading{CodePage::kUtf8, true};

  BatchReport report;
  {
    const CFlagScope running(m_bRunning);
    ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    CProgressDialog progress(std::move(files), settings, DefaultJobCount(), m_hWnd);
    progress.DoModal();
    report = progress.TakeReport();
  }

  // A log too long for the screen goes to the result window; should that
  // window not come up, to the message box all the same.
  const bool fits = FileLineCount(report) <= kMaxMessageBoxFileLines;
  if (fits || CResultDialog(report, m_hWnd).DoModal() == -1) {
    ::MessageBoxW(m_hWnd, Widen(FormatBatchLog(report, CodePage::kUtf8)).c_str(), L"置換完了", 0);
  }
  m_cbSearch.SetFocus();
}

}  // namespace vx
