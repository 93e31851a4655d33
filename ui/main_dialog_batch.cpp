// The batch run started by the Start button.
#include <algorithm>

#include "engine/batch.h"
#include "engine/expression.h"
#include "platform/wide.h"
#include "ui/main_dialog.h"
#include "ui/program.h"
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
  if (!CheckRunPatterns(pairs)) return;
  std::vector<BatchFile> files(static_cast<std::size_t>(std::max(m_lbTargets.GetCount(), 0)));
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].path = m_lbTargets.GetText(static_cast<int>(i));
    files[i].pairs = pairs;
    files[i].make_backup = m_bMakeBackup != 0;
  }
  BatchSettings settings;
  // The typed texts are UTF-8, converted into each file's own encoding.
  settings.reading = FileReading{CodePage::kUtf8, true};
  settings.options.match = GetMatchOptions();
  settings.options.keep_times = m_bKeepTimes != 0;

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

MatchOptions CMainDialog::GetMatchOptions() const {
  MatchOptions match;
  match.regex = m_bRegex != 0;
  match.ignore_case = m_bIgnoreCase != 0;
  match.word = m_bWord != 0;
  match.fold = m_bFold != 0;
  return match;
}

// A bad expression, or a replacement naming a group the expression lacks:
// the user is told what and where, nothing runs, and the field at fault
// (in the typed mode) takes the focus.
bool CMainDialog::CheckRunPatterns(const std::vector<ReplacePair>& pairs) {
  const std::optional<PatternError> error = CheckPatterns(pairs, CodePage::kUtf8, GetMatchOptions());
  if (!error) return true;
  ::MessageBoxW(m_hWnd, Widen(FormatPatternError(*error, CodePage::kUtf8)).c_str(), Widen(ProgramTitle()).c_str(),
                MB_ICONSTOP | MB_OK);
  if (!m_bAutoAll) (error->in_replacement ? m_cbReplace : m_cbSearch).SetFocus();
  return false;
}

}  // namespace vx
