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
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "engine/batch.h"
#include "targets/target_index.h"
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
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  const EventTable& GetEventTable() const override;

 private:
  void PaintIconic();
  // The run's pieces, shared by Start, Preview and Undo.
  std::vector<BatchFile> ReadRunFiles();
  BatchSettings RunSettings() const;
  // The run under the progress window; `write` false: a preview (a dry run).
  BatchReport RunFiles(std::vector<BatchFile> files, bool write);
  // After a run: its record kept for the undo, and its log shown.
  void FinishRun(const BatchReport& report, bool made_backups);
  void ShowLog(const BatchReport& report, UndoOffer undo, const wchar_t* caption);
  void UpdateUndoButton() const;
  static const EventTable kEventTable;

  // The list box's paths by case-folded key, for the duplicate test.
  TargetIndex m_targetIndex;
};

}  // namespace vx
