// The command-line intake of the real program: Vextrane.exe is started with
// files and folders on its command line, and its window is read from here
// (list-box messages carry their texts across processes).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/unicode.h"
#include "res/resource.h"
#include "targets/path_text.h"
#include "ui/program.h"

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return vx::JoinPath(folder, name);
}

// Vextrane.exe of the same build: <build>/app/, beside <build>/tests/.
std::string ProgramUnderTest() {
  const std::string tests = vx::FolderOf(vx::ProgramPath());
  return Join(vx::FolderOf(tests), "app\\Vextrane.exe");
}

struct Found {
  DWORD process;
  std::string caption;
  HWND window;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD process = 0;
  ::GetWindowThreadProcessId(hwnd, &process);
  char caption[256] = {};
  ::GetWindowTextA(hwnd, caption, sizeof caption);
  if (process == found->process && found->caption == caption) {
    found->window = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The top-level window of `process` with `caption`, waited for up to 60 s
// (until visible, when `visible`).
HWND WaitForWindow(DWORD process, const std::string& caption, bool visible) {
  for (int i = 0; i < 600; ++i) {
    Found found{process, caption, nullptr};
    ::EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&found));
    if (found.window != nullptr && (!visible || ::IsWindowVisible(found.window))) return found.window;
    ::Sleep(100);
  }
  return nullptr;
}

// The text of a list-box entry in another process. Asked in UTF-16 and
// converted here: Wine hands an ANSI request across processes the UTF-16
// text (and its length in characters).
std::string ItemText(HWND list, int index) {
  const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return std::string();
  std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide.data()));
  if (got < 0) return std::string();
  char text[4 * MAX_PATH] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(got), text, sizeof text - 1, nullptr, nullptr);
  return text;
}

TEST(Intake, FilesAndFoldersFromTheCommandLine) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string root = Join(temp, "vx_intake_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(::GetTickCount()));
  const std::string folder = Join(root, vx::FromU8(u8"Folder 表"));  // paths are UTF-8
  const std::string docs = Join(root, "Docs");
  ASSERT_TRUE(::CreateDirectoryA(root.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(docs.c_str(), nullptr));
  // A repository's own folder inside the folder named: left alone.
  const std::string git = Join(folder, ".git");
  ASSERT_TRUE(::CreateDirectoryA(git.c_str(), nullptr));
  std::vector<std::string> files = {Join(root, "First.txt"), Join(folder, "Inner.txt"), Join(root, "Second.txt"),
                                    Join(docs, "only.txt")};
  for (const std::string& file : {files[0], files[1], files[2], files[3], Join(git, "config")}) {
    const HANDLE h = ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << file;
    ::CloseHandle(h);
  }
  std::string lowerFirst = Join(root, "first.TXT");

  // Started in `root`: relative arguments name files there, though the
  // program works in its own folder (where list.dat is). A wildcard's first
  // match is a file, never the folder's "." entry.
  const std::string exe = ProgramUnderTest();
  std::string commandLine = "\"" + exe + "\" \"" + lowerFirst + "\" nothing-here.txt \"" + folder +
                            "\" \"\" \"" + Join(root, "First.txt") + "\" Second.txt Docs\\*";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, root.c_str(),
                               &startup, &process))
      << exe;

  // The second spelling of First.txt is refused while the window is set up.
  HWND box = WaitForWindow(process.dwProcessId, "エラー", true);
  ASSERT_NE(box, nullptr);
  HWND boxText = ::GetDlgItem(box, 0xFFFF);
  char text[1024] = {};
  ::GetWindowTextA(boxText, text, sizeof text);
  EXPECT_EQ(std::string(text), files[0] + "は\nすでにリストに存在します。");
  ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  HWND main = WaitForWindow(process.dwProcessId, "Vextrane", true);
  ASSERT_NE(main, nullptr);
  HWND list = ::GetDlgItem(main, IDC_FILE_LIST);
  const int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
  std::vector<std::string> entries;
  for (int i = 0; i < count; ++i) entries.push_back(ItemText(list, i));
  EXPECT_EQ(entries, files);
  for (int i = 0; i < count; ++i) EXPECT_GT(::SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0), 0) << i;
  EXPECT_EQ(::SendMessageA(list, LB_GETCARETINDEX, 0, 0), count - 1);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(main, IDC_START)));

  ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  for (const std::string& file : files) ::DeleteFileA(file.c_str());
  ::DeleteFileA(Join(git, "config").c_str());
  ::RemoveDirectoryA(git.c_str());
  ::RemoveDirectoryA(folder.c_str());
  ::RemoveDirectoryA(docs.c_str());
  ::RemoveDirectoryA(root.c_str());
}

}  // namespace
