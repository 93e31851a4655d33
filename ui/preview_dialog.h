// The preview of a run: what a dry run over the target list found, one row
// per file that would change (its path and number of replacements, ticked
// at first) and one per file that would get an error line (with the log's
// reason, never ticked); files without a match are not listed. The row
// selected shows the file's changed lines, each old line above its new
// line, worked out when the row is selected. A line above the list gives
// the totals of the ticked rows. "置換(&R)" (IDOK) ends it with the ticked
// files, "キャンセル" without any.
//
// Use:
//   CPreviewDialog preview(files, report, settings, m_hWnd);
//   if (preview.DoModal() == IDOK) run(preview.TickedEntries());
//
// The list is virtual (its rows are asked for as they are drawn) and its
// check boxes are a state image list: a click on the box or the space key
// toggles the focused row, as in a list with check boxes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "ui/dialog.h"

namespace vx {

class CPreviewDialog : public CDialog {
 public:
  // `files` and `settings` are those the preview ran with (a dry run, its
  // report `preview`, one entry per file); both must outlive the dialog.
  CPreviewDialog(const std::vector<BatchFile>& files, const BatchReport& preview, const BatchSettings& settings,
                 HWND parent = nullptr);
  ~CPreviewDialog() override;

  // The indexes into `files` (and the report's entries) of the ticked rows,
  // in list order.
  std::vector<std::size_t> TickedEntries() const;

  int RowCount() const { return static_cast<int>(m_rows.size()); }
  bool IsTickable(int row) const { return m_rows[static_cast<std::size_t>(row)].tickable; }
  bool IsTicked(int row) const { return m_rows[static_cast<std::size_t>(row)].ticked; }
  // Ticks or unticks a row that can be ticked; the totals follow.
  void SetTicked(int row, bool ticked);
  // The changed lines of a row's file as the field shows them (UTF-8, CR
  // LF): "  12 - old text" above "  12 + new text". Past kMostShownLines
  // lines, a last line says how many more there are.
  std::string ChangedLinesText(int row) const;

  // How many changed lines the field shows at most: an edit field takes
  // time for every line it is given (under Wine about 0.1 ms), and a file
  // rewritten on every line of a megabyte has tens of thousands.
  static constexpr std::size_t kMostShownLines = 200;

 protected:
  BOOL OnInitDialog() override;
  const EventTable& GetEventTable() const override;

 private:
  struct Row {
    std::size_t entry;
    std::wstring path, result;  // the log's result text without its line break
    std::int64_t count;
    bool tickable, ticked;
  };

  void OnGetDispInfo(NMHDR* header, LRESULT* result);
  void OnKeyDown(NMHDR* header, LRESULT* result);
  void OnClick(NMHDR* header, LRESULT* result);
  void OnItemChanged(NMHDR* header, LRESULT* result);
  void OnSelectionSettled(WPARAM, LPARAM);
  void Toggle(int row);
  void ShowTotals();
  void ShowLines(int row);

  const std::vector<BatchFile>& m_files;
  const BatchSettings& m_settings;
  std::vector<Row> m_rows;
  HWND m_hList = nullptr;
  HIMAGELIST m_hChecks = nullptr;
  int m_nShownRow = -1;

  static const EventTable kEventTable;
};

}  // namespace vx
