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

#include "targets/target_filter.h"
#include "targets/target_intake.h"
#include "ui/dialog.h"
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
  TargetFilter m_targetFilter;  // what a folder added takes: no masks at first, .git etc. left alone

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

  // --- Batch run (main_dialog_batch.cpp)
  void RunBatch();

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool PreTranslateMessage(MSG* msg) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  const EventTable& GetEventTable() const override;

 private:
  void PaintIconic();
  static const EventTable kEventTable;

  // --- Target list (main_dialog_targets.cpp)
  TargetSink TargetListSink();
  void SyncTargetIntake();
  bool AppendTarget(const std::string& path);
  void ShowDuplicateTarget(const std::string& path);

  // The intake of the target list: the list box's paths by case-folded key,
  // for the duplicate test.
  TargetIntake m_targetIntake;
};

}  // namespace vx
