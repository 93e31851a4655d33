// The result log of a run too long for a message box: the run's total and
// the number of files with an error line stay at the top, the whole log is
// below in a read-only field (select, Ctrl+A, Ctrl+C), "エラーのみ表示"
// narrows it to the error lines, and "保存" writes the log to a text file
// (CR LF; code page 932 when all of it fits, else UTF-8 with its byte-order
// mark). Resizable; it keeps nothing once closed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "res/resource.h"
#include "ui/dialog.h"

namespace vx {

// How many file lines a log may have to be shown in a message box; a longer
// one would not fit on the screen and goes to the result window.
inline constexpr std::size_t kMaxMessageBoxFileLines = 30;

// The number of file lines FormatBatchLog gives for a report.
std::size_t FileLineCount(const BatchReport& report);

// What the result window offers of an undo of the run it shows.
enum class UndoOffer {
  kHidden,      // neither the button nor the note (the log of an undo)
  kNothing,     // the button, disabled: the run rewrote no file with a backup
  kNoBackups,   // the button, disabled, and the note that no backups were made
  kOffered,     // the button, enabled
};

// The question before an undo (OK and キャンセル): true for OK.
bool ConfirmUndo(HWND owner, std::size_t files);

// The caption of an undo's log, in the message box and the result window.
inline constexpr wchar_t kUndoCaption[] = L"元に戻す";

class CResultDialog : public CDialog {
 public:
  explicit CResultDialog(const BatchReport& report, HWND parent = nullptr, UndoOffer undo = UndoOffer::kNothing);

  // What DoModal returns when the undo was asked for and confirmed.
  static constexpr INT_PTR kUndoChosen = IDC_RESULT_UNDO;

  CEdit m_editLog;     // IDC_RESULT_LOG
  int m_bErrorsOnly;   // IDC_RESULT_ERRORS_ONLY

  // The log as shown and saved: FormatBatchLog's text in UTF-8 with CR LF
  // line ends.
  const std::string& GetLogText() const { return m_strLog; }
  // The error lines alone, UTF-8, CR LF.
  const std::string& GetErrorText() const { return m_strErrors; }

  // BN_CLICKED of the filter check box and of Save.
  void ShowErrorsOnly();
  void SaveLog();
  // BN_CLICKED of Undo: asks first, then ends the window with kUndoChosen.
  void AskUndo();
  // Writes the log to `path`; a failure is raised as a FileError.
  void WriteLog(const std::string& path) const;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool PreTranslateMessage(MSG* msg) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  const EventTable& GetEventTable() const override;

 private:
  void LayOut(int cx, int cy);

  std::string m_strLog;
  std::string m_strErrors;
  std::int64_t m_nTotal;
  std::size_t m_nErrors;
  UndoOffer m_undo;
  std::size_t m_nUndoFiles;

  // The layout the template gives, taken at initialisation: the client size,
  // the window's size (the least it may be made) and each control's place.
  SIZE m_sizeClient{};
  SIZE m_sizeMinimum{};
  std::vector<RECT> m_rcControls;

  static const EventTable kEventTable;
};

}  // namespace vx
