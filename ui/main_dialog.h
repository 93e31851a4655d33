// The main window: the target list, the search and replacement fields with
// their drop-down lists (the replace list), the options and the commands.
//
// Its handlers live in one file per area:
//   main_dialog.cpp              initialisation, painting, the event table
//   main_dialog_replace_list.cpp LoadReplaceList (list.dat)
//   main_dialog_targets.cpp      the target list: add, drop, remove, open,
//                                command-line intake
//   main_dialog_commands.cpp     field and option rules, Edit List, About,
//                                the key filter
//   main_dialog_batch.cpp        the batch run
//   main_dialog_settings.cpp     the window's settings (options.dat): the
//                                matching options, the masks, kept times
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/batch.h"
#include "engine/rewrite.h"
#include "replacelist/window_settings.h"
#include "targets/target_filter.h"
#include "targets/target_intake.h"
#include "ui/dialog.h"
#include "ui/result_dialog.h"
#include "ui/shell.h"

namespace vx {

class CMainDialog : public CDialog {
 public:
  explicit CMainDialog(HWND parent = nullptr);
  ~CMainDialog() override;

  CComboBox m_cbReplace;   // IDC_REPLACE_COMBO: replacement text and its list
  CComboBox m_cbSearch;    // IDC_SEARCH_COMBO: search text and its list
  CListBox m_lbTargets;    // IDC_FILE_LIST: the target list
  int m_bAutoAll;          // IDC_AUTO_ALL: 1 = apply every pair of the replace list
  int m_bMakeBackup;       // IDC_MAKE_BACKUP: 1 = keep a ".bak" of each rewritten file
  int m_bRegex;            // IDC_REGEX: 1 = the search text is a regular expression
  int m_bIgnoreCase;       // IDC_IGNORE_CASE: 1 = letters match in either case
  int m_bWord;             // IDC_WORD: 1 = whole words only
  int m_bFold;             // IDC_FOLD: 1 = full-width and half-width, hiragana and katakana are one
  int m_bKeepTimes;        // IDC_KEEP_TIMES: 1 = rewritten files keep their modification time
  std::string m_strIncludeMask;  // IDC_INCLUDE_MASK: patterns of the files a folder gives (UTF-8)
  std::string m_strExcludeMask;  // IDC_EXCLUDE_MASK: patterns of files and folders left out (UTF-8)
  HICON m_hIcon;           // IDI_APP at the large-icon size
  HICON m_hSmallIcon;      // IDI_APP at 16 x 16
  std::string m_szLastDir; // folder the Add Files dialog opens in (UTF-8, any length)
  int m_cxMaxItem;         // width of the widest target-list entry, pixels
  std::string m_strStartDir;  // the working directory the program was started in; relative
                              // command-line paths name files there (empty: the current one)
  Shell* m_pShell;         // starts the editor; handed on to the About box
  bool m_bRunning = false; // a batch run is going on: the wait cursor over the window

  // --- Replace list (main_dialog_replace_list.cpp)
  void LoadReplaceList();

  // --- Target list (main_dialog_targets.cpp)
  // A bulk add in progress (a folder, a drop, the Add Files selection): see
  // CBulkAdd there. Nested bulk adds join the outermost.
  class CBulkAdd;
  CBulkAdd* m_pBulkAdd = nullptr;
  void AddTargetFile(std::string path);
  void AddTargetFolder(std::string folder);
  int MeasureItemWidth(const std::string& text);
  void AddCommandLineTargets();
  // The intake's work for arguments 1.. of an argument vector.
  void AddArgumentTargets(const std::vector<std::string>& arguments);
  void AddFilesFromDialog();
  void AddDroppedPaths(HDROP drop);
  void RemoveSelectedTargets();
  void OpenTargetInEditor();

  // --- Commands and control states (main_dialog_commands.cpp)
  void SyncReplaceSelection();
  void ApplyAutoAllOption();
  void UpdateStartForSearchText();
  bool UpdateStartForAllPairs();
  void EditReplaceList();
  void ShowAboutBox();
  bool FilterDialogKeys(MSG* msg);

  // Start and Preview are enabled together: every rule for Start goes here.
  void EnableStart(bool enable) const;

  // --- Batch run (main_dialog_batch.cpp)
  // Start: the run over the target list.
  void RunBatch();
  // The four matching check boxes as the data exchange last read them.
  MatchOptions GetMatchOptions() const;
  // The texts of a run checked before any file is touched; false (after
  // the message box) when they cannot be used.
  bool CheckRunPatterns(const std::vector<ReplacePair>& pairs);

  // --- The window's settings (main_dialog_settings.cpp)
  // The two mask fields as they stand now (UTF-8): the file-name patterns
  // to take, and those of files and folders to leave out. Both empty: every
  // file of a folder is taken.
  std::pair<std::string, std::string> MaskTexts() const;
  // What a folder added takes: the two mask fields' files (every file when
  // both are empty), never the folders of version-control systems.
  TargetFilter FolderFilter() const;
  // Reads options.dat into the members (at initialisation, before they go
  // into the controls); saves what the controls show (when the window closes).
  void LoadWindowSettings();
  void SaveWindowSettings();
  // Preview: the same run, writing nothing, then the preview window; its
  // "置換" runs the ticked files, each only while it holds what the preview read.
  void PreviewBatch();
  // The Undo button: asks first, then RunUndo.
  void UndoLastRun();
  // The undo of the last run (asked for already): its files put back from
  // their backups under the progress window, then the undo's log.
  void RunUndo();
  // What the undo of the last run puts back; empty once it is done, or when
  // the last run rewrote nothing with a backup. The Undo button follows it.
  std::vector<UndoFile> m_undoRecord;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool PreTranslateMessage(MSG* msg) override;
  void OnCancel() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  const EventTable& GetEventTable() const override;

 private:
  void PaintIconic();
  // The run's pieces, shared by Start, Preview and Undo.
  // None when the texts cannot be used (the user was told).
  std::optional<std::vector<BatchFile>> ReadRunFiles();
  BatchSettings RunSettings() const;
  // The run under the progress window; `write` false: a preview (a dry run).
  BatchReport RunFiles(std::vector<BatchFile> files, bool write);
  // After a run: its record kept for the undo, and its log shown.
  void FinishRun(const BatchReport& report, bool made_backups);
  void ShowLog(const BatchReport& report, UndoOffer undo, const wchar_t* caption);
  void UpdateUndoButton() const;
  static const EventTable kEventTable;

  // --- Target list (main_dialog_targets.cpp)
  TargetSink TargetListSink();
  void SyncTargetIntake();
  bool AppendTarget(const std::string& path);
  void ShowDuplicateTarget(const std::string& path);

  // The intake of the target list: the list box's paths by case-folded key,
  // for the duplicate test.
  TargetIntake m_targetIntake;

  // The settings as options.dat gave them, and how it was read: a close
  // saves only what changed, and never over a file it could not read.
  WindowSettings m_loadedSettings;
  SettingsRead m_settingsRead = SettingsRead::kMissing;
};

}  // namespace vx
