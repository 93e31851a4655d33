// Driving the program's real dialogs in tests, under Wine or Windows.
//
// Run a dialog and act on it from inside its own modal loop:
//
//   vx::CMainDialog dlg;
//   vx::test::RunModal(dlg, [&] {
//     EXPECT_FALSE(IsWindowEnabled(dlg.GetDlgItem(IDC_START)));
//     vx::test::TypeText(dlg.m_cbSearch.GetEditHwnd(), "表示");  // EN_UPDATE, CBN_EDITUPDATE, ...
//     vx::test::Click(dlg, IDC_ADD_FILES);                       // BM_CLICK: BN_CLICKED
//     vx::test::PressKey(VK_RETURN);   // posted to the focus, then run through the loop
//   });
//
// The body runs once the dialog is initialised and its loop is running; when
// it returns, a dialog that has not been ended is ended with IDCANCEL. Note
// that a dialog ended inside the body (EndDialog, OK, Exit) still exists
// until the body returns: its loop ends at its next turn. RunModal
// makes the dialog the application's main window while it runs (unless one
// is set), so dialogs and message boxes it opens are owned by it.
//
// Message boxes and nested dialogs are answered by a ModalResponder:
//
//   vx::test::ModalResponder responder;      // hooks this thread while alive
//   responder.AnswerNext(IDYES);             // the next box gets IDYES (default: OK)
//   responder.OnNextDialog([&](HWND editor) { ... ; vx::test::Click(editor, IDOK); });
//   ... something that opens them ...
//   ASSERT_EQ(responder.boxes().size(), 1u);
//   EXPECT_EQ(responder.boxes()[0].text, "...");
//   EXPECT_EQ(responder.boxes()[0].icon, MB_ICONSTOP);
//
// A nested dialog's callback runs inside that dialog's own modal loop; when
// it returns, a dialog not ended yet is ended with IDCANCEL (the platform's
// dialogs, such as the file dialog, get the IDCANCEL command). A nested dialog
// without a callback is ended with IDCANCEL at once (and recorded). To reach
// a nested dialog's object: static_cast<vx::CListEditDialog*>(
// vx::CDialog::FromHandle(hwnd)).
//
// Texts and paths are UTF-8, like the program's (vx::FromU8(u8"...") for a
// literal); the harness talks to the windows with the W functions, so a
// character outside code page 932 goes in and comes back whole. File
// contents are bytes.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/dialog.h"
#include "ui/shell.h"

namespace vx::test {

// A UTF-8 literal as the char text the harness and the program take, where
// a const char* is wanted (a table's column): U8(u8"置換完了").
inline const char* U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// A code page 932 text (a narrow literal, a log as the program's literals
// and a saved file give it) in UTF-8, as a window shows it.
std::string Utf8FromCp932(std::string_view text);

// Runs dlg.DoModal() with `body` executed inside its modal loop; returns the
// dialog's result.
INT_PTR RunModal(CDialog& dlg, const std::function<void()>& body);

// Processes every message now queued for this thread the way the running
// modal loop does (pre-translation, dialog keyboard handling, dispatch).
// Use it after posting input; Click and PressKey call it themselves.
void PumpMessages();

// Pumps (as PumpMessages) until `done` is true or `timeoutMs` has passed,
// sleeping a little between turns; returns whether `done` came true. For
// waiting on work of other threads (a batch run) from inside a modal loop.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);

// BM_CLICK on a button: the real press, with its notifications (a disabled
// button ignores it). Then pumps.
void Click(HWND button);
void Click(HWND dialog, int id);

// Sends WM_COMMAND(id, code) from the control's window to its dialog, for
// notifications no message can provoke directly.
void SendCommand(HWND dialog, int id, UINT code);

// Selects entry `index` of a combo box's list (CB_SETCURSEL) and sends the
// CBN_SELCHANGE the user's choice would send.
void SelectComboItem(HWND dialog, int id, int index);

// Types `text` at the caret of an edit field (a combo box's field: pass
// CComboBox::GetEditHwnd()) with EM_REPLACESEL, which sends the notifications
// typing sends. Double-byte text arrives intact, unlike WM_CHAR pairs.
void TypeText(HWND edit, const std::string& text);
// Replaces the whole text of an edit field (select all, then TypeText).
void ReplaceText(HWND edit, const std::string& text);

// Posts a key press (WM_KEYDOWN, WM_KEYUP; with alt, WM_SYSKEYDOWN/UP and the
// context bit) to the window with the focus, then pumps.
void PressKey(UINT vk, bool alt = false);

// Types `text` into a file dialog's name field (the platform's Open or Save
// As dialog) and presses its OK button.
void ChooseInFileDialog(HWND dialog, const std::string& text);

std::string WindowText(HWND hwnd);
std::string ClassName(HWND hwnd);

// One message box seen by a ModalResponder.
struct CapturedBox {
  std::string caption;
  std::string text;
  UINT icon = 0;             // MB_ICONSTOP, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFORMATION or 0
  std::vector<int> buttons;  // ids of its buttons (IDOK, IDYES, ...)
  HWND owner = nullptr;
  int answer = 0;            // the button pressed
};

class ModalResponder {
 public:
  ModalResponder();
  ~ModalResponder();
  ModalResponder(const ModalResponder&) = delete;
  ModalResponder& operator=(const ModalResponder&) = delete;

  // The button the next message box gets (queued, one per box). Without a
  // queued answer a box gets IDOK, or IDCANCEL if it has no OK button.
  void AnswerNext(int buttonId);
  // The callback for the next nested dialog (queued, one per dialog).
  void OnNextDialog(std::function<void(HWND dialog)> callback);
  // The callback for every nested dialog with this caption, ahead of the
  // queue (for a window that may or may not come up, such as a progress
  // window that shows only when work takes long).
  void OnEveryDialog(const std::string& caption, std::function<void(HWND dialog)> callback);

  const std::vector<CapturedBox>& boxes() const { return boxes_; }
  // Captions of the nested dialogs seen, in order.
  const std::vector<std::string>& dialogs() const { return dialogs_; }

 private:
  static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
  void OnActivate(HWND hwnd);

  HHOOK hook_ = nullptr;
  std::vector<int> answers_;
  std::vector<std::function<void(HWND)>> callbacks_;
  std::map<std::string, std::function<void(HWND)>> by_caption_;
  std::vector<CapturedBox> boxes_;
  std::vector<std::string> dialogs_;
  std::vector<HWND> seen_;
};

// A shell that records what the dialogs hand it and starts nothing:
//
//   vx::test::RecordingShell shell;
//   dlg.m_pShell = &shell;          // or CAboutDialog about(shell);
//   ... a double click, a click on a link ...
//   EXPECT_EQ(shell.calls()[0].text, "...");
class RecordingShell : public Shell {
 public:
  struct Call {
    bool open = false;     // OpenTarget; false: StartProgram
    HWND owner = nullptr;  // OpenTarget's owner
    std::string text;      // the command line or the target
    int show = 0;
  };
  bool StartProgram(const std::string& commandLine, UINT show) override {
    calls_.push_back({false, nullptr, commandLine, static_cast<int>(show)});
    return true;
  }
  bool OpenTarget(HWND owner, const std::string& target, int show) override {
    calls_.push_back({true, owner, target, show});
    return true;
  }
  const std::vector<Call>& calls() const { return calls_; }
  void Clear() { calls_.clear(); }

 private:
  std::vector<Call> calls_;
};

// A fixture that runs each test in a fresh folder of its own under the temp
// folder, made the working directory (where list.dat and options.dat are
// looked for), and goes back and removes the folder's list.dat, options.dat
// and the folder afterwards.
class ListFolderTest : public ::testing::Test {
 protected:
  explicit ListFolderTest(const char* name) : name_(name) {}
  void SetUp() override;
  void TearDown() override;

  // Removes list.dat, also when read-only.
  static void RemoveList();
  static void PutList(const std::string& bytes);
  static std::string ReadList();

  std::string previous_;
  std::string folder_;

 private:
  const char* name_;
};

// Files by their UTF-8 paths, of any name and length (the W functions with
// the extended-length form of an absolute path).
std::string TempFolder();  // the temporary folder, no backslash at its end
bool MakeFolder(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
std::string ReadBytes(const std::string& path);  // "" if it cannot be read
bool PathExists(const std::string& path);
void RemovePath(const std::string& path);  // a file, or a folder with all it holds; read-only too

// A fresh folder under the temporary folder, removed with all it holds.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
  // Makes the folder, or the file holding `bytes`; returns its full path.
  std::string Folder(const std::string& relative) const;
  std::string File(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL,
                   const std::string& bytes = "x") const;

 private:
  std::string root_;
};

}  // namespace vx::test
