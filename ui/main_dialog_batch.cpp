// The batch run started by the Start button, its preview (the same run,
// writing nothing, then the preview window) and the undo of the last run.
#include <algorithm>
#include <optional>

#include "engine/batch.h"
#include "engine/expression.h"
#include "platform/wide.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
#include "ui/preview_dialog.h"
#include "ui/program.h"
#include "ui/progress_dialog.h"
#include "ui/result_dialog.h"

namespace vx {

std::optional<std::vector<BatchFile>> CMainDialog::ReadRunFiles() {
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
  if (!CheckRunPatterns(pairs)) return std::nullopt;
  std::vector<BatchFile> files(static_cast<std::size_t>(std::max(m_lbTargets.GetCount(), 0)));
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].path = m_lbTargets.GetText(static_cast<int>(i));
    files[i].pairs = pairs;
    files[i].make_backup = m_bMakeBackup != 0;
  }
  return files;
}

BatchSettings CMainDialog::RunSettings() const {
  BatchSettings settings;
  // The typed texts are UTF-8, converted into each file's own encoding.
  settings.reading = FileReading{CodePage::kUtf8, true};
  settings.options.match = GetMatchOptions();
  settings.options.keep_times = m_bKeepTimes != 0;
  // What each file held and was given: the preview's check and the undo's.
  settings.options.digests = true;
  return settings;
}

BatchReport CMainDialog::RunFiles(std::vector<BatchFile> files, bool write) {
  BatchSettings settings = RunSettings();
  settings.options.dry_run = !write;
  const CFlagScope running(m_bRunning);
  ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
  CProgressDialog progress(std::move(files), settings, DefaultJobCount(), m_hWnd);
  progress.DoModal();
  return progress.TakeReport();
}

void CMainDialog::RunBatch() {
  std::optional<std::vector<BatchFile>> files = ReadRunFiles();
  if (!files) return;
  const bool backups = m_bMakeBackup != 0;
  FinishRun(RunFiles(std::move(*files), /*write=*/true), backups);
}

void CMainDialog::PreviewBatch() {
  std::optional<std::vector<BatchFile>> read = ReadRunFiles();
  if (!read) return;
  std::vector<BatchFile> files = std::move(*read);
  const bool backups = m_bMakeBackup != 0;
  const BatchReport preview = RunFiles(files, /*write=*/false);
  const BatchSettings settings = RunSettings();
  std::vector<std::size_t> ticked;
  {
    CPreviewDialog dialog(files, preview, settings, m_hWnd);
    if (dialog.DoModal() != IDOK) {
      m_cbSearch.SetFocus();
      return;  // nothing written; the last run's undo stays as it was
    }
    ticked = dialog.TickedEntries();
  }
  std::vector<BatchFile> chosen;
  chosen.reserve(ticked.size());
  for (const std::size_t i : ticked) {
    chosen.push_back(std::move(files[i]));
    chosen.back().previewed = preview.entries[i].outcome.read;
  }
  FinishRun(RunFiles(std::move(chosen), /*write=*/true), backups);
}

void CMainDialog::FinishRun(const BatchReport& report, bool made_backups) {
  // The undo is of this run now, or of none.
  m_undoRecord = UndoRecord(report);
  UpdateUndoButton();
  const UndoOffer offer = !m_undoRecord.empty() ? UndoOffer::kOffered
                          : made_backups        ? UndoOffer::kNothing
                                                : UndoOffer::kNoBackups;
  ShowLog(report, offer, L"置換完了");
}

void CMainDialog::ShowLog(const BatchReport& report, UndoOffer undo, const wchar_t* caption) {
  // A log too long for the screen goes to the result window; should that
  // window not come up, to the message box all the same.
  const bool fits = FileLineCount(report) <= kMaxMessageBoxFileLines;
  INT_PTR shown = -1;
  if (!fits) shown = CResultDialog(report, m_hWnd, undo).DoModal();
  if (fits || shown == -1) {
    ::MessageBoxW(m_hWnd, Widen(FormatBatchLog(report, CodePage::kUtf8)).c_str(), caption, 0);
  }
  m_cbSearch.SetFocus();
  if (shown == CResultDialog::kUndoChosen) RunUndo();
}

void CMainDialog::UpdateUndoButton() const { EnableItem(IDC_UNDO, !m_undoRecord.empty()); }

void CMainDialog::UndoLastRun() {
  if (m_undoRecord.empty()) return;
  if (!ConfirmUndo(m_hWnd, m_undoRecord.size())) return;
  RunUndo();
}

void CMainDialog::RunUndo() {
  // Offered once: the record goes with the undo.
  std::vector<UndoFile> record = std::move(m_undoRecord);
  m_undoRecord.clear();
  UpdateUndoButton();
  if (record.empty()) return;
  BatchReport report;
  {
    const CFlagScope running(m_bRunning);
    ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    CProgressDialog progress(std::move(record), RunSettings(), DefaultJobCount(), m_hWnd);
    progress.DoModal();
    report = progress.TakeReport();
  }
  ShowLog(report, UndoOffer::kHidden, kUndoCaption);
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
