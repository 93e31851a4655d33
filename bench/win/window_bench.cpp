// Window benchmark (Windows build, run under Wine by bench/window-bench): the
// main window's long runs and long adds, against vextrane-cli.exe and the
// command-line intake, all in one process run. Prints figures; no pass or fail.
//
//   VX_BENCH_CLI=PATH VX_BENCH_FOLDERS="FOLDER;FOLDER..." [VX_BENCH_RUNS=N] vx_window_bench.exe
//
// (From the environment: the main window takes its own command line in.)
//
// For each folder (small files "x\n" below it):
//  - list: the folder added as the command line adds it (window hidden, as
//    at start-up), and dropped on the shown window;
//  - run: Start over the folder's files (search "x", replacement "y",
//    backups), timed until the result window is created and until it is
//    shown; vextrane-cli.exe over the same folder with the same job count;
//    and ProcessFiles on this thread with no progress to report, the floor
//    the window's run is measured against (then UndoFiles over its record,
//    the same floor for the undo);
//  - undo: that run undone from its result window (元に戻す, the question
//    answered OK), timed from the answer until the undo's log is shown;
//  - preview: プレビュー pressed over the same files, timed until the preview
//    window is shown (then cancelled), against Start to its result window.
// And once per run, on a folder of its own under the temp folder: the
// preview of a small file and two of about 1 MB (a replacement on every
// line, and on every tenth), each 1 MB file's row selected in the preview
// window after the small one's, timed until its lines are in the field and
// drawn; and the first one's lines alone, as the selection works them out.
// Each file is put back to "x\n" without a backup before every run. The
// runs are interleaved; each figure is the best and the median of
// VX_BENCH_RUNS runs (default 1).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/batch.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
#include "ui/preview_dialog.h"
#include "ui/program.h"
#include "ui/win_app.h"

namespace {

vx::CWinApp g_app;

double Now() {
  LARGE_INTEGER t, f;
  ::QueryPerformanceCounter(&t);
  ::QueryPerformanceFrequency(&f);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Every file below a folder, depth first.
void ListFiles(const std::string& folder, std::vector<std::string>* out) {
  WIN32_FIND_DATAA data;
  const HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(path, out);
    } else {
      out->push_back(path);
    }
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
}

// Puts every file of a folder back to "x\n", without a backup.
std::vector<std::string> ResetFolder(const std::string& folder) {
  std::vector<std::string> all, files;
  ListFiles(folder, &all);
  for (const std::string& path : all) {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".bak") == 0) {
      ::DeleteFileA(path.c_str());
      continue;
    }
    files.push_back(path);
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, "x\n", 2, &written, nullptr);
    ::CloseHandle(h);
  }
  return files;
}

std::function<void()> g_pending;  // what runs once the main window's loop does

VOID CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  const std::function<void()> call = std::move(g_pending);
  if (call) call();
}

// Runs `body` inside the main window's modal loop, then ends the window.
void WithMainWindow(const std::function<void(vx::CMainDialog&)>& body) {
  vx::CMainDialog dlg;
  g_app.m_pMainWnd = &dlg;
  g_pending = [&] {
    body(dlg);
    dlg.EndDialog(IDCANCEL);
  };
  ::SetTimer(nullptr, 0, 0, RunPending);
  dlg.DoModal();
  g_app.m_pMainWnd = nullptr;
}

// The windows of a Start that is then undone, or of a preview, as a CBT hook
// sees them come up; it notes the time each is shown and answers it.
enum class Flow { kRunThenUndo, kPreview };
Flow g_flow = Flow::kRunThenUndo;
double g_runCreated = 0, g_runShown = 0, g_confirmAnswered = 0, g_undoShown = 0, g_previewShown = 0;
std::function<void(HWND)> g_onPreview;  // runs in the preview window's loop; default: cancel

void PostClick(HWND dialog, int id) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

std::wstring Caption(HWND hwnd) {
  wchar_t caption[64] = {};
  ::GetWindowTextW(hwnd, caption, 64);
  return caption;
}

LRESULT CALLBACK FlowHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    // (An undo's log is created as "置換完了" too, and named once created.)
    const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    if (g_runCreated == 0 && cs->lpszName != nullptr && !IS_INTRESOURCE(cs->lpszName) &&
        std::wcscmp(cs->lpszName, L"置換完了") == 0) {
      g_runCreated = Now();
    }
  } else if (code == HCBT_ACTIVATE) {
    const HWND hwnd = reinterpret_cast<HWND>(wParam);
    const std::wstring caption = Caption(hwnd);
    const bool log = ::GetDlgItem(hwnd, IDC_RESULT_LOG) != nullptr;
    if (g_flow == Flow::kRunThenUndo) {
      if (caption == L"置換完了" && log && g_runShown == 0) {
        g_runShown = Now();
        PostClick(hwnd, IDC_RESULT_UNDO);
      } else if (caption == L"元に戻す" && !log && g_confirmAnswered == 0) {
        g_confirmAnswered = Now();  // the question: OK
        PostClick(hwnd, IDOK);
      } else if (caption == L"元に戻す" && log && g_undoShown == 0) {
        g_undoShown = Now();
        PostClick(hwnd, IDOK);
      }
    } else if (caption == L"置換のプレビュー" && g_previewShown == 0) {
      g_previewShown = Now();
      g_pending = [hwnd] {
        if (g_onPreview) g_onPreview(hwnd);
        PostClick(hwnd, IDCANCEL);
      };
      ::SetTimer(nullptr, 0, 0, RunPending);  // run by the preview window's loop
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The main window over `folder`, search "x", replacement "y", backups made;
// `press` is clicked with FlowHook watching, under `flow`. Returns the time
// of the click.
double PressInMainWindow(const std::string& folder, int press, Flow flow) {
  double t0 = 0;
  WithMainWindow([&](vx::CMainDialog& dlg) {
    dlg.ShowWindow(SW_HIDE);
    dlg.AddArgumentTargets({"", folder});
    dlg.ShowWindow(SW_SHOW);
    dlg.m_cbSearch.SetWindowText("x");
    dlg.m_cbReplace.SetWindowText("y");
    ::EnableWindow(dlg.GetDlgItem(IDC_START), TRUE);
    ::EnableWindow(dlg.GetDlgItem(IDC_PREVIEW), TRUE);
    g_flow = flow;
    g_runCreated = g_runShown = g_confirmAnswered = g_undoShown = g_previewShown = 0;
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, FlowHook, nullptr, ::GetCurrentThreadId());
    t0 = Now();
    ::SendMessageW(dlg.GetDlgItem(press), BM_CLICK, 0, 0);
    ::UnhookWindowsHookEx(hook);
  });
  return t0;
}

// About 1 MB of 66-byte lines, an "x" to replace on every `every`-th.
std::string MegabyteText(int every) {
  std::string text;
  for (int i = 0; text.size() < (1u << 20); ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "%c %07d the quick brown fog jumps over the lazy dog, 0123456789\n",
                  i % every == 0 ? 'x' : 'z', i);
    text += line;
  }
  return text;
}

// A folder of its own for the row figures: a.txt (one line), big.txt (a
// replacement on every line of a megabyte) and some.txt (on every tenth).
std::string MakeRowFolder() {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "vx-bench-row";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"a.txt", "x\n"}, {"big.txt", MegabyteText(1)},
                                    {"some.txt", MegabyteText(10)}}) {
    const HANDLE h = ::CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
  }
  return folder;
}

// The row of the preview's list whose path ends with `name`, or -1.
int FindRow(HWND list, const std::wstring& name) {
  const int rows = ListView_GetItemCount(list);
  for (int i = 0; i < rows; ++i) {
    wchar_t text[1024] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = 1024;
    ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    const std::wstring path = text;
    if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0) return i;
  }
  return -1;
}

// Selects a row of the preview's list as a click would (LVN_ITEMCHANGED
// follows), then draws the lines' field; returns the time taken.
double SelectRow(HWND preview, int row) {
  const HWND list = ::GetDlgItem(preview, IDC_PREVIEW_LIST);
  const HWND lines = ::GetDlgItem(preview, IDC_PREVIEW_LINES);
  const double t0 = Now();
  ListView_SetItemState(list, row, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  ::UpdateWindow(lines);
  return Now() - t0;
}

HGLOBAL MakeDrop(const std::string& path) {
  const HGLOBAL handle = ::GlobalAlloc(GHND, sizeof(DROPFILES) + path.size() + 2);
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(handle));
  drop->pFiles = sizeof(DROPFILES);
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size() + 1);
  ::GlobalUnlock(handle);
  return handle;
}

// The times of one figure, one per run.
struct Times {
  std::vector<double> all;
  double Best() const { return all.empty() ? 0 : *std::min_element(all.begin(), all.end()); }
  double Median() const {
    if (all.empty()) return 0;
    std::vector<double> sorted = all;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 != 0 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

struct Figures {
  Times listCommandLine, listDrop;
  Times runWindow, runWindowShown, runCli, runBare;
  Times undo, undoBare, preview;
  std::size_t files = 0;
};

void Keep(Times* times, double value) { times->all.push_back(value); }

void MeasureOnce(const std::string& folder, const std::string& cli, Figures* f) {
  // The command-line intake: the window is not shown yet at start-up.
  WithMainWindow([&](vx::CMainDialog& dlg) {
    dlg.ShowWindow(SW_HIDE);
    const double t0 = Now();
    dlg.AddArgumentTargets({"", folder});
    Keep(&f->listCommandLine, Now() - t0);
    f->files = static_cast<std::size_t>(dlg.m_lbTargets.GetCount());
  });
  WithMainWindow([&](vx::CMainDialog& dlg) {
    ::UpdateWindow(dlg);
    const double t0 = Now();
    ::SendMessageA(dlg, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(folder)), 0);
    Keep(&f->listDrop, Now() - t0);
  });

  const unsigned jobs = vx::DefaultJobCount();
  {
    ResetFolder(folder);
    std::string command = "\"" + cli + "\" -s x -r y -j " + std::to_string(jobs) + " \"" + folder + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const HANDLE null = ::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    si.hStdOutput = si.hStdError = null;
    PROCESS_INFORMATION pi{};
    const double t0 = Now();
    if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      ::WaitForSingleObject(pi.hProcess, INFINITE);
      Keep(&f->runCli, Now() - t0);
      ::CloseHandle(pi.hThread);
      ::CloseHandle(pi.hProcess);
    } else {
      std::fprintf(stderr, "cannot start %s\n", cli.c_str());
    }
    ::CloseHandle(null);
  }
  {
    // Start, to its result window; then its undo, from the answer to the
    // question until the undo's log is shown.
    ResetFolder(folder);
    const double t0 = PressInMainWindow(folder, IDC_START, Flow::kRunThenUndo);
    Keep(&f->runWindow, g_runCreated - t0);
    Keep(&f->runWindowShown, g_runShown - t0);
    if (g_undoShown != 0) Keep(&f->undo, g_undoShown - g_confirmAnswered);
  }
  {
    ResetFolder(folder);
    g_onPreview = nullptr;
    const double t0 = PressInMainWindow(folder, IDC_PREVIEW, Flow::kPreview);
    if (g_previewShown != 0) Keep(&f->preview, g_previewShown - t0);
  }
  {
    std::vector<vx::BatchFile> files;
    for (const std::string& path : ResetFolder(folder)) files.push_back({path, {{"x", "y"}}, true, {}});
    vx::BatchSettings settings;
    settings.options.digests = true;  // as the window's runs take them, for the undo
    double t0 = Now();
    const vx::BatchReport report = vx::ProcessFiles(std::move(files), settings, jobs);
    Keep(&f->runBare, Now() - t0);
    // Its undo, the same way.
    const std::vector<vx::UndoFile> undo = vx::UndoRecord(report);
    t0 = Now();
    vx::UndoFiles(undo, settings, jobs);
    Keep(&f->undoBare, Now() - t0);
  }
  ResetFolder(folder);  // as it was made (bench/make-trees keeps it then)
}

struct RowFigures {
  Times select, worked, selectSome;
  std::size_t lines = 0, linesSome = 0;  // of the field, as shown
};

// The preview of the row folder, its 1 MB rows selected, each after the
// small file's row.
void MeasureRow(const std::string& folder, RowFigures* f) {
  g_onPreview = [&](HWND preview) {
    const HWND list = ::GetDlgItem(preview, IDC_PREVIEW_LIST);
    const int small = FindRow(list, L"\\a.txt"), big = FindRow(list, L"\\big.txt"), some = FindRow(list, L"\\some.txt");
    if (small < 0 || big < 0 || some < 0) {
      std::fprintf(stderr, "the preview lists no row for a.txt, big.txt or some.txt\n");
      return;
    }
    const auto lines = [preview] {
      return static_cast<std::size_t>(::SendDlgItemMessageW(preview, IDC_PREVIEW_LINES, EM_GETLINECOUNT, 0, 0));
    };
    SelectRow(preview, small);
    Keep(&f->select, SelectRow(preview, big));
    f->lines = lines();
    SelectRow(preview, small);
    Keep(&f->selectSome, SelectRow(preview, some));
    f->linesSome = lines();
    // Of the first, the lines' text alone, worked out as the selection does.
    const auto* dialog = static_cast<const vx::CPreviewDialog*>(vx::CDialog::FromHandle(preview));
    const double t0 = Now();
    dialog->ChangedLinesText(big);
    Keep(&f->worked, Now() - t0);
  };
  PressInMainWindow(folder, IDC_PREVIEW, Flow::kPreview);
  g_onPreview = nullptr;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

int main() {
  const std::string cli = Environment("VX_BENCH_CLI");
  const int runs = std::max(1, std::atoi(Environment("VX_BENCH_RUNS").c_str()));
  std::vector<std::string> folders;
  const std::string list = Environment("VX_BENCH_FOLDERS");
  for (std::size_t start = 0; start < list.size();) {
    const std::size_t end = std::min(list.find(';', start), list.size());
    if (end > start) folders.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  if (cli.empty() || folders.empty()) {
    std::fprintf(stderr, "usage: VX_BENCH_CLI=PATH VX_BENCH_FOLDERS=\"FOLDER;...\" [VX_BENCH_RUNS=N] vx_window_bench\n");
    return 2;
  }
  vx::InitCommonControlClasses();
  vx::AnsiLeadBytes();
  const std::string rowFolder = MakeRowFolder();
  std::vector<Figures> figures(folders.size());
  RowFigures row;
  for (int r = 0; r < runs; ++r) {
    for (std::size_t i = 0; i < folders.size(); ++i) MeasureOnce(folders[i], cli, &figures[i]);
    MeasureRow(rowFolder, &row);
  }
  std::printf("jobs: %u, %d run(s); each figure: best, median\n", vx::DefaultJobCount(), runs);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const Figures& f = figures[i];
    const auto line = [](const char* what, const Times& t) {
      std::printf("  %-36s %8.3f s %8.3f s", what, t.Best(), t.Median());
    };
    const auto ratio = [](const char* what, const Times& a, const Times& b) {
      std::printf("   %s %.2fx %.2fx\n", what, a.Best() / b.Best(), a.Median() / b.Median());
    };
    // A figure, and its ratio to the figure it is measured against.
    const auto against = [&](const char* what, const Times& t, const char* name, const Times& base) {
      line(what, t);
      ratio(name, t, base);
    };
    std::printf("\n%zu files (%s)\n", f.files, folders[i].c_str());
    line("list, command line (hidden window)", f.listCommandLine);
    std::printf("\n");
    against("list, dropped on the window", f.listDrop, "drop/command line", f.listCommandLine);
    line("run, vextrane-cli.exe", f.runCli);
    std::printf("\n");
    against("run, window (to the result window)", f.runWindow, "window/cli", f.runCli);
    against("run, window (result window shown)", f.runWindowShown, "window/cli", f.runCli);
    line("run, ProcessFiles, no progress", f.runBare);
    ratio("window/bare", f.runWindow, f.runBare);
    against("preview (preview window shown)", f.preview, "preview/run shown", f.runWindowShown);
    against("undo (answer to its log shown)", f.undo, "undo/run shown", f.runWindowShown);
    against("undo, UndoFiles, no progress", f.undoBare, "undo/run, both bare", f.runBare);
  }
  std::printf("\nrows of 1 MB files in the preview window (%s), selected until drawn\n", rowFolder.c_str());
  std::printf("  %-36s %8.3f s %8.3f s   %zu lines shown\n", "big.txt, every line replaced", row.select.Best(),
              row.select.Median(), row.lines);
  std::printf("  %-36s %8.3f s %8.3f s\n", "  of which its lines worked out", row.worked.Best(), row.worked.Median());
  std::printf("  %-36s %8.3f s %8.3f s   %zu lines shown\n", "some.txt, every tenth line replaced",
              row.selectSome.Best(), row.selectSome.Median(), row.linesSome);
  return 0;
}
