// The progress window of a batch run, which is also the run's keeper: its
// modal loop runs while ProcessFiles works on a thread of its own, so the
// program keeps painting, its owner (the main window) stays disabled for the
// whole run, and Cancel can be pressed.
//
// Use:
//   CProgressDialog progress(std::move(files), settings, jobs, m_hWnd);
//   progress.DoModal();                          // returns when the run has ended
//   const BatchReport report = progress.TakeReport();
//
// The window stays hidden for the first kShowDelayMs of a run, so a short run
// shows nothing of it. Shown, it has the file being worked on, a bar of the
// files done of all files, the replacements so far, the same progress on the
// owner's taskbar button where the system offers that, a minimise box that
// puts the main window away with it, and Cancel ("中止", Escape, the close
// box). Cancel stops the run at the next file or chunk; the window then
// stays until the files in hand are finished or left alone.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/batch.h"
#include "ui/dialog.h"

namespace vx {

class CTaskbarProgress;

class CProgressDialog : public CDialog {
 public:
  static constexpr UINT kShowDelayMs = 500;
  // The least time between two updates of the window while files are done.
  // (<chrono> is not used: its literals have no code page 932 form.)
  static constexpr ULONGLONG kUpdateIntervalMs = 200;

  CProgressDialog(std::vector<BatchFile> files, const BatchSettings& settings, unsigned jobs, HWND parent = nullptr);
  // The same window over the undo of a run (UndoFiles).
  CProgressDialog(std::vector<UndoFile> undo, const BatchSettings& settings, unsigned jobs, HWND parent = nullptr);
  ~CProgressDialog() override;

  // The report of the run, once DoModal has returned. Should the window not
  // have come up, the run is made here, on this thread. A failure of the run
  // itself (no memory for its bookkeeping) is raised here.
  BatchReport TakeReport();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;      // no default button: Enter presses nothing
  void OnCancel() override;  // stops the run; the window ends with it
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  const EventTable& GetEventTable() const override;

 private:
  // What the worker has got to; the worker writes it, the window reads it.
  struct Progress {
    std::size_t done = 0;
    std::int64_t replaced = 0;
    std::string current;
  };

  void Work(CPostTarget window);
  BatchReport RunAll(const BatchWatch& watch);  // ProcessFiles, or UndoFiles for an undo
  void PostIfDue(const CPostTarget& window);
  void OnProgress(WPARAM, LPARAM);
  void OnRunEnded(WPARAM, LPARAM);
  void ShowNow();
  void JoinWorker();

  std::vector<BatchFile> m_files;  // handed to the worker when it starts
  std::vector<UndoFile> m_undo;    // an undo's files
  bool m_bUndo = false;
  BatchSettings m_settings;
  unsigned m_nJobs;
  std::size_t m_nFiles;
  std::atomic<bool> m_bCancel{false};
  std::thread m_worker;
  bool m_bStarted = false;
  BatchReport m_report;
  std::exception_ptr m_error;

  std::mutex m_lock;  // guards the three below
  Progress m_progress;
  ULONGLONG m_nLastPost = 0;  // GetTickCount64 of the last progress posted
  bool m_bPostDue = false;  // a change is not shown yet

  std::string m_strShownFile;  // what the file line shows now
  std::unique_ptr<CTaskbarProgress> m_pTaskbar;

  static const EventTable kEventTable;
};

}  // namespace vx
