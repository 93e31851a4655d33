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
//    the window's run is measured against.
// Each file is put back to "x\n" without a backup before every run. Each
// figure is the best of --runs runs (default 1), the runs interleaved.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
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

// The times a CBT hook notes of the result window of a run, which it closes.
double g_resultCreated = 0, g_resultShown = 0;
LRESULT CALLBACK ResultHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
    if (cs->lpszName != nullptr && !IS_INTRESOURCE(cs->lpszName) && std::strcmp(cs->lpszName, "置換完了") == 0) {
      g_resultCreated = Now();
    }
  } else if (code == HCBT_ACTIVATE) {
    const HWND hwnd = reinterpret_cast<HWND>(wParam);
    char caption[64] = {};
    ::GetWindowTextA(hwnd, caption, sizeof caption);
    if (std::strcmp(caption, "置換完了") == 0 && g_resultShown == 0) {
      g_resultShown = Now();
      ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

HGLOBAL MakeDrop(const std::string& path) {
  const HGLOBAL handle = ::GlobalAlloc(GHND, sizeof(DROPFILES) + path.size() + 2);
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(handle));
  drop->pFiles = sizeof(DROPFILES);
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size() + 1);
  ::GlobalUnlock(handle);
  return handle;
}

struct Figures {
  double listCommandLine = 1e9, listDrop = 1e9;
  double runWindow = 1e9, runWindowShown = 1e9, runCli = 1e9, runBare = 1e9;
  std::size_t files = 0;
};

void Keep(double* best, double value) { *best = std::min(*best, value); }

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
    ResetFolder(folder);
    WithMainWindow([&](vx::CMainDialog& dlg) {
      dlg.ShowWindow(SW_HIDE);
      dlg.AddArgumentTargets({"", folder});
      dlg.ShowWindow(SW_SHOW);
      dlg.m_cbSearch.SetWindowText("x");
      dlg.m_cbReplace.SetWindowText("y");
      ::EnableWindow(dlg.GetDlgItem(IDC_START), TRUE);
      const HHOOK hook = ::SetWindowsHookExA(WH_CBT, ResultHook, nullptr, ::GetCurrentThreadId());
      g_resultCreated = g_resultShown = 0;
      const double t0 = Now();
      ::SendMessageA(dlg.GetDlgItem(IDC_START), BM_CLICK, 0, 0);
      ::UnhookWindowsHookEx(hook);
      Keep(&f->runWindow, g_resultCreated - t0);
      Keep(&f->runWindowShown, g_resultShown - t0);
    });
  }
  {
    std::vector<vx::BatchFile> files;
    for (const std::string& path : ResetFolder(folder)) files.push_back({path, {{"x", "y"}}, true});
    vx::BatchSettings settings;
    const double t0 = Now();
    vx::ProcessFiles(std::move(files), settings, jobs);
    Keep(&f->runBare, Now() - t0);
  }
  ResetFolder(folder);  // as it was made (bench/make-trees keeps it then)
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
  std::vector<Figures> figures(folders.size());
  for (int r = 0; r < runs; ++r) {
    for (std::size_t i = 0; i < folders.size(); ++i) MeasureOnce(folders[i], cli, &figures[i]);
  }
  std::printf("jobs: %u, best of %d run(s)\n", vx::DefaultJobCount(), runs);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const Figures& f = figures[i];
    std::printf("\n%zu files (%s)\n", f.files, folders[i].c_str());
    std::printf("  list, command line (hidden window) %8.3f s\n", f.listCommandLine);
    std::printf("  list, dropped on the window        %8.3f s   drop/command line %.2fx\n", f.listDrop,
                f.listDrop / f.listCommandLine);
    std::printf("  run, vextrane-cli.exe              %8.3f s\n", f.runCli);
    std::printf("  run, window (to the result window) %8.3f s   window/cli %.2fx\n", f.runWindow,
                f.runWindow / f.runCli);
    std::printf("  run, window (result window shown)  %8.3f s   window/cli %.2fx\n", f.runWindowShown,
                f.runWindowShown / f.runCli);
    std::printf("  run, ProcessFiles, no progress     %8.3f s   window/bare %.2fx\n", f.runBare,
                f.runWindow / f.runBare);
  }
  return 0;
}
