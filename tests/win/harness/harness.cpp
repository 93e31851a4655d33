#include "win/harness/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <iterator>
#include <map>
#include <string_view>

#include "targets/path_text.h"

#include "platform/wide.h"
#include "replacelist/window_settings.h"
#include "ui/program.h"
#include "ui/win_app.h"

namespace vx::test {

namespace {

// Tests run on one thread: plain globals are enough.
CWinApp g_testApp;  // stands in for the program's application object
std::vector<CDialog*> g_harnessDialogs;  // dialogs run by RunModal, outermost first

// A call waiting for a modal loop. It names the dialog either by its object
// (RunModal's own dialog, before its window exists; RunModal drops the call
// when DoModal returns) or by its window (a nested dialog; a call whose
// window has gone is dropped).
struct TimedCall {
  CDialog* dialog;
  HWND window;
  std::function<void()> call;
};
std::map<UINT_PTR, TimedCall> g_timedCalls;

void RunGuarded(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "exception in test body: " << e.what();
  } catch (...) {
    ADD_FAILURE() << "unknown exception in test body";
  }
}

VOID CALLBACK TimedCallProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = g_timedCalls.find(id);
  if (it == g_timedCalls.end()) {
    ::KillTimer(nullptr, id);
    return;
  }
  TimedCall& timed = it->second;
  if (timed.window != nullptr && !::IsWindow(timed.window)) {
    ::KillTimer(nullptr, id);
    g_timedCalls.erase(it);
    return;
  }
  // Wait until the dialog runs its own modal loop.
  const CDialog* dialog = timed.dialog != nullptr ? timed.dialog : CDialog::FromHandle(timed.window);
  if (dialog != nullptr && !dialog->IsModalLoopRunning()) return;
  ::KillTimer(nullptr, id);
  const std::function<void()> call = std::move(timed.call);
  g_timedCalls.erase(it);
  RunGuarded(call);
}

// Calls `call` from the modal loop of a dialog as soon as that loop runs
// (for a window that is no CDialog: from whatever loop runs next).
UINT_PTR CallFromLoop(CDialog* dialog, HWND window, std::function<void()> call) {
  const UINT_PTR id = ::SetTimer(nullptr, 0, 0, TimedCallProc);
  g_timedCalls[id] = TimedCall{dialog, window, std::move(call)};
  return id;
}

// Drops a call that has not run; returns whether there was one.
bool DropCall(UINT_PTR id) {
  if (g_timedCalls.erase(id) == 0) return false;
  ::KillTimer(nullptr, id);
  return true;
}

// Ends a dialog that is still open: ours with EndDialog, others (the
// platform's dialogs) with the cancel command.
void CloseIfOpen(HWND hwnd) {
  if (!::IsWindow(hwnd)) return;
  if (CDialog* dlg = CDialog::FromHandle(hwnd)) {
    if (!dlg->IsEnded()) dlg->EndDialog(IDCANCEL);
  } else {
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}

// The dialog whose loop handles a message for `hwnd`: its root window's, or
// the innermost running one for thread messages.
CDialog* LoopFor(HWND hwnd) {
  if (hwnd != nullptr) {
    if (CDialog* dlg = CDialog::FromHandle(::GetAncestor(hwnd, GA_ROOT))) return dlg;
  }
  CDialog* dlg = CDialog::FromHandle(::GetActiveWindow());
  if (dlg == nullptr && !g_harnessDialogs.empty()) dlg = g_harnessDialogs.back();
  return dlg;
}

}  // namespace

// --------------------------------------------------------------- running

INT_PTR RunModal(CDialog& dlg, const std::function<void()>& body) {
  CWinApp* app = AfxGetApp();
  const bool setMain = app != nullptr && app->m_pMainWnd == nullptr;
  if (setMain) app->m_pMainWnd = &dlg;
  g_harnessDialogs.push_back(&dlg);

  const UINT_PTR call = CallFromLoop(&dlg, nullptr, [&dlg, &body] {
    RunGuarded(body);
    if (!dlg.IsEnded()) dlg.EndDialog(IDCANCEL);
  });
  const INT_PTR result = dlg.DoModal();
  if (DropCall(call)) ADD_FAILURE() << "the dialog ended before its test body ran (result " << result << ")";

  g_harnessDialogs.pop_back();
  if (setMain) app->m_pMainWnd = nullptr;
  return result;
}

void PumpMessages() {
  MSG msg;
  for (int i = 0; i < 10000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    CDialog* dlg = LoopFor(msg.hwnd);
    if (dlg != nullptr && dlg->IsModalLoopRunning()) {
      dlg->ProcessQueuedMessage(msg);
    } else {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    PumpMessages();
    if (done()) return true;
    if (::GetTickCount64() >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string Utf8FromCp932(std::string_view text) {
  std::string utf8;
  EXPECT_TRUE(ConvertText(text, CodePage::kCp932, CodePage::kUtf8, &utf8)) << "not code page 932";
  return utf8;
}

// ----------------------------------------------------------------- input

void Click(HWND button) {
  ::SendMessageW(button, BM_CLICK, 0, 0);
  PumpMessages();
}

void Click(HWND dialog, int id) { Click(::GetDlgItem(dialog, id)); }

void SendCommand(HWND dialog, int id, UINT code) {
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void SelectComboItem(HWND dialog, int id, int index) {
  ::SendMessageW(::GetDlgItem(dialog, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendCommand(dialog, id, CBN_SELCHANGE);
}

void TypeText(HWND edit, const std::string& text) {
  const std::wstring wide = Widen(text);
  ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
}

void ReplaceText(HWND edit, const std::string& text) {
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  TypeText(edit, text);
}

void PressKey(UINT vk, bool alt) {
  HWND focus = ::GetFocus();
  const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
  const LPARAM down = 1 | scan | (alt ? (1 << 29) : 0);
  const LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
  ::PostMessageW(focus, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
  ::PostMessageW(focus, alt ? WM_SYSKEYUP : WM_KEYUP, vk, up);
  PumpMessages();
}

void ChooseInFileDialog(HWND dialog, const std::string& text) {
  HWND field = nullptr;
  for (int id : {0x47c /* cmb13 */, 0x480 /* edt1 */}) {
    if (HWND control = ::GetDlgItem(dialog, id); control != nullptr && ::IsWindowVisible(control)) {
      field = control;
      break;
    }
  }
  ASSERT_NE(field, nullptr);
  ::SetWindowTextW(field, Widen(text).c_str());
  Click(dialog, IDOK);
}

std::string WindowText(HWND hwnd) { return CWnd(hwnd).GetWindowText(); }

std::string ClassName(HWND hwnd) {
  wchar_t name[256] = {};
  ::GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  return Narrow(name);
}

// ------------------------------------------------------------- responder

namespace {
ModalResponder* g_responder = nullptr;

bool IsMessageBox(HWND hwnd) {
  if (ClassName(hwnd) != "#32770" || CDialog::FromHandle(hwnd) != nullptr) return false;
  for (HWND child = ::GetWindow(hwnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const std::string cls = ClassName(child);
    if (cls != "Static" && cls != "Button") return false;
  }
  return true;
}

UINT IconStyleOf(HICON icon) {
  if (icon == nullptr) return 0;
  const struct {
    LPCSTR id;
    UINT style;
  } icons[] = {{IDI_HAND, MB_ICONSTOP}, {IDI_QUESTION, MB_ICONQUESTION},
               {IDI_EXCLAMATION, MB_ICONWARNING}, {IDI_ASTERISK, MB_ICONINFORMATION}};
  for (const auto& row : icons) {
    if (::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(row.id)) == icon) return row.style;
  }
  return MB_USERICON;  // an icon, but none of the standard ones
}

}  // namespace

ModalResponder::ModalResponder() {
  g_responder = this;
  hook_ = ::SetWindowsHookExW(WH_CBT, CbtProc, nullptr, ::GetCurrentThreadId());
  EXPECT_NE(hook_, nullptr);
}

ModalResponder::~ModalResponder() {
  if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
  if (g_responder == this) g_responder = nullptr;
}

void ModalResponder::AnswerNext(int buttonId) { answers_.push_back(buttonId); }

void ModalResponder::OnNextDialog(std::function<void(HWND)> callback) { callbacks_.push_back(std::move(callback)); }

void ModalResponder::OnEveryDialog(const std::string& caption, std::function<void(HWND)> callback) {
  by_caption_[caption] = std::move(callback);
}

LRESULT CALLBACK ModalResponder::CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  if (g_responder != nullptr) {
    HWND hwnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE) {
      try {
        g_responder->OnActivate(hwnd);
      } catch (...) {
        ADD_FAILURE() << "exception in the modal responder";
      }
    } else if (code == HCBT_DESTROYWND) {
      auto& seen = g_responder->seen_;
      seen.erase(std::remove(seen.begin(), seen.end(), hwnd), seen.end());
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void ModalResponder::OnActivate(HWND hwnd) {
  if (std::find(seen_.begin(), seen_.end(), hwnd) != seen_.end()) return;
  if (ClassName(hwnd) != "#32770") return;
  CDialog* dlg = CDialog::FromHandle(hwnd);
  if (dlg != nullptr && std::find(g_harnessDialogs.begin(), g_harnessDialogs.end(), dlg) != g_harnessDialogs.end()) {
    return;  // a dialog the test runs itself
  }
  seen_.push_back(hwnd);

  if (IsMessageBox(hwnd)) {
    CapturedBox box;
    box.caption = WindowText(hwnd);
    box.owner = ::GetWindow(hwnd, GW_OWNER);
    std::string longest;
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
      const int id = ::GetDlgCtrlID(child);
      if (ClassName(child) == "Button") {
        box.buttons.push_back(id);
        continue;
      }
      const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
      if ((style & SS_TYPEMASK) == SS_ICON) {
        box.icon = IconStyleOf(reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)));
      } else if (id == 0xFFFF) {
        box.text = WindowText(child);
      } else if (WindowText(child).size() > longest.size()) {
        longest = WindowText(child);
      }
    }
    if (box.text.empty()) box.text = longest;
    const bool hasOk = std::find(box.buttons.begin(), box.buttons.end(), IDOK) != box.buttons.end();
    box.answer = hasOk ? IDOK : IDCANCEL;
    if (!answers_.empty()) {
      box.answer = answers_.front();
      answers_.erase(answers_.begin());
    }
    boxes_.push_back(box);
    // Posted: the box's own loop presses the button once it runs.
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(box.answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, box.answer)));
    return;
  }

  dialogs_.push_back(WindowText(hwnd));
  std::function<void(HWND)> callback;
  if (const auto it = by_caption_.find(dialogs_.back()); it != by_caption_.end()) {
    callback = it->second;
  } else if (!callbacks_.empty()) {
    callback = std::move(callbacks_.front());
    callbacks_.erase(callbacks_.begin());
  }
  CallFromLoop(nullptr, hwnd, [hwnd, callback] {
    if (callback) callback(hwnd);
    CloseIfOpen(hwnd);
  });
}

void ListFolderTest::SetUp() {
  previous_ = CurrentDirectory();
  folder_ = JoinPath(TempFolder(), name_);
  MakeFolder(folder_);
  ASSERT_TRUE(ChangeDirectory(folder_));
  RemoveList();
  RemovePath(kWindowSettingsFile);
}

void ListFolderTest::TearDown() {
  RemoveList();
  RemovePath(kWindowSettingsFile);  // what the main window saves when it closes
  ChangeDirectory(previous_);
  ::RemoveDirectoryW(Widen(folder_).c_str());
}

void ListFolderTest::RemoveList() { RemovePath("list.dat"); }

void ListFolderTest::PutList(const std::string& bytes) { WriteBytes("list.dat", bytes); }

std::string ListFolderTest::ReadList() { return ReadBytes("list.dat"); }

// ----------------------------------------------------------------- files

std::string TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
  std::string folder = Narrow(std::wstring_view(buffer, length < std::size(buffer) ? length : 0));
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

bool MakeFolder(const std::string& path) { return ::CreateDirectoryW(Win32Path(path).c_str(), nullptr) != FALSE; }

bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes) {
  const HANDLE h = ::CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() ||
                  (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
  ::CloseHandle(h);
  return ok;
}

std::string ReadBytes(const std::string& path) {
  const HANDLE h = ::CreateFileW(Win32Path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  ::CloseHandle(h);
  return bytes;
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesW(Win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemovePath(const std::string& path) {
  const std::wstring wide = Win32Path(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileW(wide.c_str());
    return;
  }
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((wide + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") RemovePath(JoinPath(path, Narrow(name)));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(wide.c_str());
}

TempTree::TempTree() {
  static int serial = 0;
  root_ = JoinPath(TempFolder(), "vxt" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++serial));
  MakeFolder(root_);
}

TempTree::~TempTree() { RemovePath(root_); }

std::string TempTree::Folder(const std::string& relative) const {
  const std::string path = Path(relative);
  EXPECT_TRUE(MakeFolder(path)) << path;
  return path;
}

std::string TempTree::File(const std::string& relative, DWORD attributes, const std::string& bytes) const {
  const std::string path = Path(relative);
  EXPECT_TRUE(WriteBytes(path, bytes, attributes)) << path;
  return path;
}

}  // namespace vx::test
