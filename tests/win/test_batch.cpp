// The batch run on the real main window: Start over the target list, the
// result box, the rewritten files, and the focus afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/expression.h"
#include "platform/file_fault.h"
#include "res/resource.h"
#include "ui/program.h"
#include "ui/main_dialog.h"
#include "ui/preview_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/result_dialog.h"
#include "win/harness/harness.h"
#include "win/harness/screenshot.h"

namespace {

using vx::test::PumpUntil;
using vx::test::U8;
using vx::test::WindowText;

// A log (or a caption) as the program's code page 932 literals give it, as
// the window shows it: in UTF-8.
std::string Shown(const std::string& cp932) { return vx::test::Utf8FromCp932(cp932); }

// The head of the log, code page 932.
std::string LogHead(int total) { return "置換結果ログ\n\n総置換え数  " + std::to_string(total) + "個\n\n"; }

std::string ReadFile(const std::string& path) { return vx::test::ReadBytes(path); }

void WriteFile(const std::string& path, const std::string& bytes) { vx::test::WriteBytes(path, bytes); }

bool Exists(const std::string& path) { return vx::test::PathExists(path); }

// A scratch folder that is also the working directory while it lives, so
// the window reads its list.dat from there.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    char name[MAX_PATH] = {};
    ::GetTempFileNameA(temp, "vxb", 0, name);
    ::DeleteFileA(name);
    ::CreateDirectoryA(name, nullptr);
    folder_ = name;
    ::GetCurrentDirectoryA(MAX_PATH, previous_);
    ::SetCurrentDirectoryA(folder_.c_str());
  }
  ~ScratchFolder() {
    ::SetCurrentDirectoryA(previous_);
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder_ + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        ::DeleteFileA(Path(data.cFileName).c_str());
      } while (::FindNextFileA(find, &data));
      ::FindClose(find);
    }
    ::RemoveDirectoryA(folder_.c_str());
  }
  std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

 private:
  std::string folder_;
  char previous_[MAX_PATH] = {};
};

// Presses Start as the user would (the button's own enabling rules are not
// under test here); `responder` answers what the run shows.
void PressStart(vx::CMainDialog& dlg, const vx::test::ModalResponder&) {
  ::EnableWindow(dlg.GetDlgItem(IDC_START), TRUE);
  vx::test::Click(dlg, IDC_START);
}

// The same, returning the boxes the run showed.
std::vector<vx::test::CapturedBox> PressStart(vx::CMainDialog& dlg) {
  vx::test::ModalResponder responder;
  PressStart(dlg, responder);
  return responder.boxes();
}

bool FocusInSearchField(const vx::CMainDialog& dlg) {
  const HWND focus = ::GetFocus();
  return focus == dlg.m_cbSearch.m_hWnd || focus == dlg.m_cbSearch.GetEditHwnd();
}

TEST(BatchRun, StartRewritesTheListedFilesAndShowsTheLog) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), gone = dir.Path("gone.txt");
  WriteFile(a, "abc abc\r\n");
  WriteFile(b, "\x95\x5C" "b");  // 表 (second byte 0x5C) and b
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {a, gone, b}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "b\\|\\n");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), U8(u8"置"));
    ::SetFocus(dlg.m_lbTargets);  // somewhere else than the search field

    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, U8(u8"置換完了"));
    EXPECT_EQ(boxes[0].text, Shown("置換結果ログ\n\n総置換え数  4個\n\n" + a + "  置換え数　3個\n" + gone +
                                   "  ファイルが不正です。\n" + b + "  置換え数　1個\n"));
    EXPECT_EQ(boxes[0].icon, 0u);
    EXPECT_EQ(boxes[0].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(boxes[0].owner, dlg.m_hWnd);
    // After the box: the keyboard focus is in the search field.
    const HWND focus = ::GetFocus();
    EXPECT_TRUE(focus == dlg.m_cbSearch.m_hWnd || focus == dlg.m_cbSearch.GetEditHwnd());
  });
  EXPECT_EQ(ReadFile(a), "a置c a置c置");
  EXPECT_EQ(ReadFile(b), "\x95\x5C" "置");
  EXPECT_EQ(ReadFile(a + ".bak"), "abc abc\r\n");
  EXPECT_EQ(ReadFile(b + ".bak"), "\x95\x5C" "b");
  EXPECT_FALSE(Exists(gone));
}

// A Japanese text typed in the search field (UTF-8, as the window holds
// it) is found and replaced in a UTF-8 and a UTF-16LE file, each in
// its own encoding, and the log names the encoding.
TEST(BatchRun, JapaneseTextReplacedInUtf8AndUtf16Files) {
  ScratchFolder dir;
  const std::string utf8 = dir.Path("utf8.txt"), utf16 = dir.Path("utf16.txt");
  // 置換 then a line break: UTF-8 E7 BD AE E6 8F 9B; UTF-16 U+7F6E U+63DB.
  WriteFile(utf8, "\xE7\xBD\xAE\xE6\x8F\x9B\r\n");
  WriteFile(utf16, std::string("\xFF\xFE\x6E\x7F\xDB\x63\r\0\n\0", 10));
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {utf8, utf16}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), U8(u8"置換\\n"));
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), U8(u8"表"));
    ::CheckDlgButton(dlg, IDC_MAKE_BACKUP, BST_UNCHECKED);
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Shown("置換結果ログ\n\n総置換え数  2個\n\n" + utf8 + "  置換え数　1個（UTF-8）\n" + utf16 +
                                   "  置換え数　1個（UTF-16LE）\n"));
  });
  // 表: UTF-8 E8 A1 A8; UTF-16 U+8868.
  EXPECT_EQ(ReadFile(utf8), "\xE8\xA1\xA8");
  EXPECT_EQ(ReadFile(utf16), std::string("\xFF\xFE\x68\x88", 4));
}

// Texts outside code page 932, typed into the fields as the user types them
// (EM_REPLACESEL), are replaced exactly into UTF-8 files; a Shift-JIS file
// takes what code page 932 holds, byte for byte as before, and is left alone
// with its line when the replacement has no form in it.
TEST(BatchRun, TextsOutsideCodePage932AreTypedAndReplacedExactly) {
  const std::string mark = "\xEF\xBB\xBF";
  const struct {
    const char* what;
    std::string before;
    std::string search, replace;
    std::string after;
    int total;
    std::string line;  // after the path, code page 932 as the log's literals
  } rows[] = {
      {"an emoji into UTF-8", U8(u8"smile :) 한\r\n"), ":)", U8(u8"😀"), U8(u8"smile 😀 한\r\n"), 1,
       "  置換え数　1個（UTF-8）\n"},
      {"Korean for an emoji", U8(u8"가한나 한"), U8(u8"한"), U8(u8"😀"), U8(u8"가😀나 😀"), 2, "  置換え数　2個（UTF-8）\n"},
      {"beyond U+FFFF both ways, after a mark", mark + U8(u8"😀𠮷😀"), U8(u8"😀"), U8(u8"中文简体"),
       mark + U8(u8"中文简体𠮷中文简体"), 2, "  置換え数　2個（UTF-8 BOM付き）\n"},
      {"Shift-JIS: a Japanese text as before", "\x95\x5C\x8E\xA6", U8(u8"示"), U8(u8"①"), "\x95\x5C\x87\x40", 1,
       "  置換え数　1個\n"},
      {"Shift-JIS: a search text it cannot hold finds nothing", "\x95\x5C\x8E\xA6", U8(u8"😀"), "x",
       "\x95\x5C\x8E\xA6", 0, "  置換え数　0個\n"},
      {"Shift-JIS: a replacement it cannot hold leaves it alone", "\x95\x5C\x8E\xA6", U8(u8"表"), U8(u8"한"),
       "\x95\x5C\x8E\xA6", 0, "  置換文字列をこのファイルの文字コードで表せません。\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchFolder dir;
    const std::string f = dir.Path("f.txt");
    WriteFile(f, row.before);
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      dlg.m_lbTargets.AddString(f);
      vx::test::TypeText(dlg.m_cbSearch.GetEditHwnd(), row.search);
      vx::test::TypeText(dlg.m_cbReplace.GetEditHwnd(), row.replace);
      ASSERT_EQ(dlg.m_cbSearch.GetWindowText(), row.search);
      ASSERT_EQ(dlg.m_cbReplace.GetWindowText(), row.replace);
      ::CheckDlgButton(dlg, IDC_MAKE_BACKUP, BST_UNCHECKED);
      const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, Shown(LogHead(row.total) + f + row.line));
    });
    EXPECT_EQ(ReadFile(f), row.after);
  }
}

// Files whose names code page 932 cannot hold are rewritten and backed up
// under their own names, and the log names them as they are.
TEST(BatchRun, FilesNamedOutsideCodePage932AreRewritten) {
  ScratchFolder dir;
  std::vector<std::string> paths;
  std::string log;
  for (const char* name : {U8(u8"café.txt"), U8(u8"cafe.txt"), U8(u8"한국어.txt"), U8(u8"😀.txt"), U8(u8"𠮷野家.txt"),
                           U8(u8"中文简体.txt"), U8(u8"e\u0301.txt")}) {
    paths.push_back(dir.Path(name));
    WriteFile(paths.back(), "old");
    log += paths.back() + U8(u8"  置換え数　1個\n");
  }
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : paths) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "old");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "new");
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Shown(LogHead(static_cast<int>(paths.size()))) + log);
  });
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ReadFile(path + ".bak"), "old");
  }
}

TEST(BatchRun, AllPairsComeFromListDatThroughTheDropDownLists) {
  ScratchFolder dir;
  // Three texts: the pair (a, 1) and a search text c without a partner,
  // which is applied with an empty replacement.
  WriteFile(dir.Path("list.dat"), "a\r\n1\r\nc\r\n");
  const std::string f = dir.Path("f.txt");
  WriteFile(f, "abcabc");
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ASSERT_EQ(dlg.m_cbSearch.GetCount(), 2);
    ASSERT_EQ(dlg.m_cbReplace.GetCount(), 1);
    dlg.m_lbTargets.AddString(f);
    ::CheckDlgButton(dlg, IDC_AUTO_ALL, BST_CHECKED);
    ::CheckDlgButton(dlg, IDC_MAKE_BACKUP, BST_UNCHECKED);
    // Neither the fields nor a list.dat changed since count in this mode:
    // the run takes the pairs the drop-down lists hold.
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "b");
    WriteFile(dir.Path("list.dat"), "b\r\n2\r\n");

    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, U8(u8"置換完了"));
    EXPECT_EQ(boxes[0].text, Shown("置換結果ログ\n\n総置換え数  4個\n\n" + f + "  置換え数　4個\n"));
  });
  EXPECT_EQ(ReadFile(f), "1b1b");
  EXPECT_FALSE(Exists(f + ".bak"));
}

TEST(BatchRun, EmptyListShowsTheHeadOnlyAndMovesTheFocus) {
  ScratchFolder dir;
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    ::SetFocus(dlg.GetDlgItem(IDC_ABOUT));
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, U8(u8"置換結果ログ\n\n総置換え数  0個\n\n"));
    const HWND focus = ::GetFocus();
    EXPECT_TRUE(focus == dlg.m_cbSearch.m_hWnd || focus == dlg.m_cbSearch.GetEditHwnd());
  });
}

// A file reached twice (here by its short name) is rewritten once, and the
// backup the run made of a listed file is not rewritten in turn.
TEST(BatchRun, EachFileOnceAndTheRunsOwnBackupLeftAlone) {
  ScratchFolder dir;
  const std::string f = dir.Path("version-file.txt");
  WriteFile(f, "version=1.2");
  char short_name[MAX_PATH] = {};
  ASSERT_GT(::GetShortPathNameA(f.c_str(), short_name, MAX_PATH), 0u);
  ASSERT_NE(std::string(short_name), f);
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {f, std::string(short_name), f + ".bak"}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "1.2");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "1.2.1");
    const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Shown("置換結果ログ\n\n総置換え数  1個\n\n" + f + "  置換え数　1個\n" + short_name +
                                   "  このファイルは既に置換しました。\n" + f +
                                   ".bak  このファイルは今回作成したバックアップです。\n"));
  });
  EXPECT_EQ(ReadFile(f), "version=1.2.1");
  EXPECT_EQ(ReadFile(f + ".bak"), "version=1.2");
  EXPECT_FALSE(Exists(f + ".bak.bak"));
}

// ------------------------------------------------------------- long runs

// Holds a run where its worker opens the file number `n` (from 0) to read
// it, through the file layer's hook, until the test lets it go on. The run
// does the files of one folder in list order, on one thread.
class HoldAtOpen {
 public:
  explicit HoldAtOpen(int n) {
    s_holdAt = n;
    s_reached = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    s_release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  // From now on: the opens before count (the window's list.dat is one).
  void Arm() const {
    s_opens = 0;
    vx::platform::SetFileOpHook(&Hook);
  }
  ~HoldAtOpen() {
    Release();
    vx::platform::SetFileOpHook(nullptr);
    ::CloseHandle(s_reached);
    ::CloseHandle(s_release);
  }
  bool Reached() const { return ::WaitForSingleObject(s_reached, 0) == WAIT_OBJECT_0; }
  void Release() const { ::SetEvent(s_release); }

 private:
  static void Hook(vx::platform::FileOp op) {
    if (op != vx::platform::FileOp::kOpenRead || s_opens++ != s_holdAt) return;
    ::SetEvent(s_reached);
    ::WaitForSingleObject(s_release, 30000);
  }
  static inline std::atomic<int> s_opens{0};
  static inline int s_holdAt = 0;
  static inline HANDLE s_reached = nullptr;
  static inline HANDLE s_release = nullptr;
};


std::string WithCrLf(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

HWND Item(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

// The dialogs a responder saw, but for the progress window (which a slow
// machine may show for a short run too).
std::vector<std::string> DialogsButProgress(const vx::test::ModalResponder& responder) {
  std::vector<std::string> out;
  for (const std::string& caption : responder.dialogs()) {
    if (caption != U8(u8"置換中")) out.push_back(caption);
  }
  return out;
}

// Waits, inside the progress window's loop, until the run has ended it.
bool WaitOutRun(HWND progress) {
  return PumpUntil([&] {
    const vx::CDialog* dialog = vx::CDialog::FromHandle(progress);
    return dialog == nullptr || dialog->IsEnded();
  });
}

// A run long enough to show the progress window: its controls while the
// run waits in the middle, the main window disabled meanwhile, then Cancel.
// Every file is then either done with its backup or untouched without one,
// and the log has the files done, in order, and the number not done.
TEST(BatchRun, ProgressWindowShowsTheRunAndCancelStopsIt) {
  ScratchFolder dir;
  constexpr int kFiles = 20, kHeld = 6;
  std::vector<std::string> files;
  for (int i = 0; i < kFiles; ++i) {
    files.push_back(dir.Path("f" + std::to_string(100 + i) + ".txt"));
    WriteFile(files.back(), "x");
  }
  const HoldAtOpen hold(kHeld);
  vx::test::ModalResponder responder;
  vx::CMainDialog dlg;
  bool seen = false;
  responder.OnNextDialog([&](HWND progress) {
    seen = true;
    ASSERT_TRUE(PumpUntil([&] { return hold.Reached(); }));
    EXPECT_EQ(WindowText(progress), U8(u8"置換中"));
    EXPECT_FALSE(::IsWindowEnabled(dlg));
    // The window follows the run a few times a second.
    EXPECT_TRUE(PumpUntil([&] { return WindowText(Item(progress, IDC_PROGRESS_FILES)) == U8(u8"6 / 20 ファイル"); }))
        << WindowText(Item(progress, IDC_PROGRESS_FILES));
    EXPECT_EQ(WindowText(Item(progress, IDC_PROGRESS_FILE)), files[kHeld]);
    EXPECT_EQ(WindowText(Item(progress, IDC_PROGRESS_COUNT)), U8(u8"総置換え数  6個"));
    EXPECT_EQ(::SendMessageA(Item(progress, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0), kHeld);
    EXPECT_EQ(::SendMessageA(Item(progress, IDC_PROGRESS_BAR), PBM_GETRANGE, FALSE, 0), kFiles);
    EXPECT_EQ(WindowText(Item(progress, IDCANCEL)), U8(u8"中止(&C)"));
    // Its minimise box puts the program away (the main window), the run going on.
    ::SendMessageA(progress, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(::IsIconic(dlg));
    ::ShowWindow(dlg, SW_RESTORE);
    EXPECT_FALSE(::IsIconic(dlg));

    vx::test::Click(progress, IDCANCEL);
    EXPECT_FALSE(::IsWindowEnabled(Item(progress, IDCANCEL)));
    EXPECT_TRUE(::IsWindow(progress));  // until the file in hand is settled
    hold.Release();
    EXPECT_TRUE(WaitOutRun(progress));
  });
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : files) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "y");
    hold.Arm();
    PressStart(dlg, responder);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(::IsWindowEnabled(dlg));
    EXPECT_TRUE(FocusInSearchField(dlg));
  });

  int done = 0;
  std::string lines;
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const bool rewritten = ReadFile(path) == "y";
    if (rewritten) {
      EXPECT_EQ(ReadFile(path + ".bak"), "x");
      lines += path + "  置換え数　1個\n";
      ++done;
    } else {
      EXPECT_EQ(ReadFile(path), "x");
      EXPECT_FALSE(Exists(path + ".bak"));
    }
  }
  // The held file was either finished or left alone; none after it began.
  EXPECT_TRUE(done == kHeld || done == kHeld + 1) << done;
  ASSERT_EQ(responder.boxes().size(), 1u);
  EXPECT_EQ(responder.boxes()[0].caption, U8(u8"置換完了"));
  EXPECT_EQ(responder.boxes()[0].text, Shown(LogHead(done) + lines + "中止しました。処理していないファイル：" +
                                             std::to_string(kFiles - done) + "個\n"));
}

// Up to 30 file lines the log is the message box; beyond, the result window
// with the same log.
TEST(BatchRun, ALogOfMoreThanThirtyLinesGoesToTheResultWindow) {
  ScratchFolder dir;
  for (const int lines : {30, 31}) {
    SCOPED_TRACE(lines);
    vx::test::ModalResponder responder;
    responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);  // a slow machine: the run shows its progress
    std::string log = LogHead(0), shown;
    responder.OnNextDialog([&](HWND result) { shown = WindowText(Item(result, IDC_RESULT_LOG)); });
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      for (int i = 0; i < lines; ++i) {
        const std::string missing = dir.Path("missing" + std::to_string(i) + ".txt");
        dlg.m_lbTargets.AddString(missing);
        log += missing + "  ファイルが不正です。\n";
      }
      vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
      PressStart(dlg, responder);
      EXPECT_TRUE(FocusInSearchField(dlg));
    });
    if (lines <= 30) {
      ASSERT_EQ(responder.boxes().size(), 1u);
      EXPECT_EQ(responder.boxes()[0].text, Shown(log));
      EXPECT_TRUE(DialogsButProgress(responder).empty());
    } else {
      EXPECT_TRUE(responder.boxes().empty());
      EXPECT_EQ(DialogsButProgress(responder), std::vector<std::string>{U8(u8"置換完了")});
      EXPECT_EQ(shown, WithCrLf(Shown(log)));
    }
  }
}

// The result window: the total and the error count at the top, the whole
// log (select all, Escape in it), the error filter, Save, and a size that
// the controls follow.
TEST(BatchRun, ResultWindowShowsFiltersAndSavesTheLog) {
  ScratchFolder dir;
  std::string log, errors;
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) {
    paths.push_back(dir.Path("r" + std::to_string(100 + i) + ".txt"));
    if (i % 8 == 3) {  // five missing files
      errors += paths.back() + "  ファイルが不正です。\n";
      log += paths.back() + "  ファイルが不正です。\n";
    } else {
      WriteFile(paths.back(), "xx");
      log += paths.back() + "  置換え数　2個\n";
    }
  }
  log = WithCrLf(LogHead(70) + log);
  errors = WithCrLf(errors);
  const std::string saved = dir.Path("log.txt");

  vx::test::ModalResponder responder;
  responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
  responder.OnNextDialog([&](HWND result) {
    const HWND edit = Item(result, IDC_RESULT_LOG);
    EXPECT_EQ(WindowText(Item(result, IDC_RESULT_TOTAL)), U8(u8"総置換え数  70個"));
    EXPECT_EQ(WindowText(Item(result, IDC_RESULT_ERRORS)), U8(u8"エラーのファイル  5個"));
    EXPECT_EQ(WindowText(edit), Shown(log));
    EXPECT_TRUE(::GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY);

    vx::test::Click(result, IDC_RESULT_ERRORS_ONLY);
    EXPECT_EQ(WindowText(edit), Shown(errors));
    vx::test::Click(result, IDC_RESULT_ERRORS_ONLY);
    EXPECT_EQ(WindowText(edit), Shown(log));

    // Save writes the whole log, whatever the filter shows: in code page
    // 932, byte for byte as it always has, while all of it fits.
    vx::test::Click(result, IDC_RESULT_ERRORS_ONLY);
    responder.OnNextDialog([&](HWND save) { vx::test::ChooseInFileDialog(save, saved); });
    vx::test::Click(result, IDC_RESULT_SAVE);
    EXPECT_EQ(ReadFile(saved), log);

    // Larger: the log grows with the window, the buttons keep to its corner.
    RECT log0, ok0, log1, ok1, window;
    ::GetWindowRect(edit, &log0);
    ::GetWindowRect(Item(result, IDOK), &ok0);
    ::GetWindowRect(result, &window);
    ::SetWindowPos(result, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 60,
                   SWP_NOMOVE | SWP_NOZORDER);
    ::GetWindowRect(edit, &log1);
    ::GetWindowRect(Item(result, IDOK), &ok1);
    EXPECT_EQ(log1.right - log1.left, log0.right - log0.left + 100);
    EXPECT_EQ(log1.bottom - log1.top, log0.bottom - log0.top + 60);
    EXPECT_EQ(ok1.left - ok0.left, 100);
    EXPECT_EQ(ok1.top - ok0.top, 60);

    // Ctrl+A in the log selects all of it; Escape there closes the window.
    ::SetFocus(edit);
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    vx::test::PressKey('A');
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    DWORD start = 1, end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, static_cast<DWORD>(::GetWindowTextLengthW(edit)));  // in characters
    vx::test::PressKey(VK_ESCAPE);
    EXPECT_TRUE(vx::CDialog::FromHandle(result)->IsEnded());
  });
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : paths) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    ::SetFocus(dlg.m_lbTargets);
    PressStart(dlg, responder);
    EXPECT_TRUE(FocusInSearchField(dlg));
  });
  EXPECT_TRUE(responder.boxes().empty());
  const std::vector<std::string> dialogs = DialogsButProgress(responder);
  ASSERT_EQ(dialogs.size(), 2u);  // the result window and the save dialog
  EXPECT_EQ(dialogs[0], U8(u8"置換完了"));
}

// Names outside code page 932 in the result window, and its Save: the log
// in UTF-8 after its mark, CR LF, when code page 932 cannot hold all of it.
TEST(BatchRun, TheResultWindowShowsAndSavesNamesOutsideCodePage932) {
  ScratchFolder dir;
  std::vector<std::string> paths;
  std::string log = Shown(LogHead(0));
  for (int i = 0; i < 31; ++i) {
    paths.push_back(dir.Path(U8(u8"gone 😀 한 ") + std::to_string(i) + ".txt"));
    log += paths.back() + U8(u8"  ファイルが不正です。\n");
  }
  const std::string saved = dir.Path("log.txt");
  std::string shown;
  vx::test::ModalResponder responder;
  responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
  responder.OnNextDialog([&](HWND result) {
    shown = WindowText(Item(result, IDC_RESULT_LOG));
    responder.OnNextDialog([&](HWND save) { vx::test::ChooseInFileDialog(save, saved); });
    vx::test::Click(result, IDC_RESULT_SAVE);
  });
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : paths) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    PressStart(dlg, responder);
  });
  EXPECT_EQ(shown, WithCrLf(log));
  EXPECT_EQ(ReadFile(saved), "\xEF\xBB\xBF" + WithCrLf(log));
}

// ------------------------------------------------------- matching options

// The four check boxes set how the run matches; the texts are the fields'.
TEST(BatchRun, TheMatchingCheckBoxesDriveTheRun) {
  const std::string kUtf8Note = "（UTF-8）";
  const struct {
    const char* name;
    std::vector<int> boxes;
    std::string search, replace, before, after;
    int count;
    std::string note = "";
  } rows[] = {
      {"regex", {IDC_REGEX}, "(\\w+)=(\\w+)", "$2=$1", "key=value\r\nk2=v2\r\n", "value=key\r\nv2=k2\r\n", 2},
      {"regex, ^ on every line", {IDC_REGEX}, "^", "> ", "a\r\nb\r\n", "> a\r\n> b\r\n", 2},
      {"ignore case", {IDC_IGNORE_CASE}, "abc", "x", "ABC abc aBc", "x x x", 3},
      {"ignore case, full-width", {IDC_IGNORE_CASE}, U8(u8"ａｂ"), "x", "\x82\x60\x82\x82", "x", 1},
      {"word", {IDC_WORD}, "ID", "X", U8(u8"ユーザーIDを IDs _ID"), U8(u8"ユーザーXを IDs _ID"), 1, kUtf8Note},
      {"fold", {IDC_FOLD}, U8(u8"ﾃﾞｰﾀ"), "D", "\x83\x66\x81\x5B\x83\x5E \x82\xC5\x81\x5B\x82\xBD", "D D", 2},
      {"regex and word", {IDC_REGEX, IDC_WORD}, "ab|abc", "X", "abc ab", "X X", 2},
      {"none: the literal text as before", {}, "(\\w+)", "x", "a(\\w+)b", "axb", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchFolder dir;
    const std::string f = dir.Path("f.txt");
    WriteFile(f, row.before);
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      dlg.m_lbTargets.AddString(f);
      for (int id : row.boxes) vx::test::Click(dlg, id);
      vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), row.search);
      vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), row.replace);
      ::CheckDlgButton(dlg, IDC_MAKE_BACKUP, BST_UNCHECKED);
      const std::vector<vx::test::CapturedBox> boxes = PressStart(dlg);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, Shown(LogHead(row.count) + f + "  置換え数　" + std::to_string(row.count) + "個" +
                                     row.note + "\n"));
    });
    EXPECT_EQ(ReadFile(f), row.after);
  }
}

// "更新日時を保持(&S)": a rewritten file keeps its modification time; without
// it the time is the rewrite's.
TEST(BatchRun, KeepTimesGivesTheRewrittenFileItsOldTime) {
  ScratchFolder dir;
  const std::string kept = dir.Path("kept.txt"), fresh = dir.Path("fresh.txt");
  const FILETIME old_time = {0x12345670u, 0x01C13F00u};  // 2001, with odd 100 ns units
  for (const std::string& f : {kept, fresh}) {
    WriteFile(f, "abc");
    const HANDLE h = ::CreateFileA(f.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::SetFileTime(h, nullptr, nullptr, &old_time));
    ::CloseHandle(h);
  }
  for (const bool keep : {true, false}) {
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      dlg.m_lbTargets.AddString(keep ? kept : fresh);
      if (keep) vx::test::Click(dlg, IDC_KEEP_TIMES);
      EXPECT_EQ(::IsDlgButtonChecked(dlg, IDC_KEEP_TIMES), keep ? BST_CHECKED : BST_UNCHECKED);
      vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "b");
      vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "B");
      ASSERT_EQ(PressStart(dlg).size(), 1u);
    });
  }
  for (const std::string& f : {kept, fresh}) {
    EXPECT_EQ(ReadFile(f), "aBc");
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExA(f.c_str(), GetFileExInfoStandard, &data));
    const bool same = data.ftLastWriteTime.dwLowDateTime == old_time.dwLowDateTime &&
                      data.ftLastWriteTime.dwHighDateTime == old_time.dwHighDateTime;
    EXPECT_EQ(same, f == kept) << f;
  }
}

// A bad expression, or a replacement naming a group the expression lacks,
// is told before the run: the engine's message in a box, no progress window,
// no file touched, and the field at fault has the focus.
TEST(BatchRun, ABadPatternIsToldAndNothingIsTouched) {
  const struct {
    const char* name;
    std::string search, replace;
    bool all_pairs, in_replacement;
  } rows[] = {
      {"an unclosed group", "a(", "x", false, false},
      {"a group the expression lacks", "(a)", "$2", false, true},
      {"group 12 of one", "(a)", "$12", false, true},
      {"a bad pair of the list", "", "", true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchFolder dir;
    WriteFile(dir.Path("list.dat"), "a\r\nx\r\n[a\r\ny\r\n");
    const std::string f = dir.Path("f.txt");
    WriteFile(f, "a(a)[a");
    vx::MatchOptions regex;
    regex.regex = true;
    const std::vector<vx::ReplacePair> pairs =
        row.all_pairs ? std::vector<vx::ReplacePair>{{"a", "x"}, {"[a", "y"}}
                      : std::vector<vx::ReplacePair>{{row.search, row.replace}};
    const std::optional<vx::PatternError> error = vx::CheckPatterns(pairs, vx::CodePage::kUtf8, regex);
    ASSERT_TRUE(error) << "the engine takes the texts as they are";
    vx::test::ModalResponder responder;
    vx::CMainDialog dlg;
    vx::test::RunModal(dlg, [&] {
      dlg.m_lbTargets.AddString(f);
      vx::test::Click(dlg, IDC_REGEX);
      if (row.all_pairs) vx::test::Click(dlg, IDC_AUTO_ALL);
      vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), row.search);
      vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), row.replace);
      PressStart(dlg, responder);
      ASSERT_EQ(responder.boxes().size(), 1u);
      const vx::test::CapturedBox& box = responder.boxes()[0];
      EXPECT_EQ(box.text, vx::FormatPatternError(*error, vx::CodePage::kUtf8));
      EXPECT_EQ(box.text.rfind(U8(u8"正規表現が正しくありません。\n"), 0), 0u);
      EXPECT_EQ(box.caption, vx::ProgramTitle());
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONSTOP));
      EXPECT_EQ(box.owner, dlg.m_hWnd);
      EXPECT_TRUE(responder.dialogs().empty()) << "no progress window";
      if (!row.all_pairs) {
        const HWND field = row.in_replacement ? dlg.m_cbReplace.GetEditHwnd() : dlg.m_cbSearch.GetEditHwnd();
        const HWND focus = ::GetFocus();
        EXPECT_TRUE(focus == field || ::GetParent(field) == focus);
      }
    });
    EXPECT_EQ(ReadFile(f), "a(a)[a");
    EXPECT_FALSE(Exists(f + ".bak"));
  }
}

// A main-window command as the user gives it: the button, enabled, pressed.
void Press(vx::CMainDialog& dlg, int id) {
  if (HWND button = dlg.GetDlgItem(id)) {
    ::EnableWindow(button, TRUE);
    vx::test::Click(button);
  } else {
    vx::test::SendCommand(dlg, id, BN_CLICKED);
  }
}

// The main window's Undo as it stands: the button when there is one (a
// disabled button ignores the press), else its command.
void PressUndo(vx::CMainDialog& dlg) {
  if (HWND button = dlg.GetDlgItem(IDC_UNDO)) {
    vx::test::Click(button);
  } else {
    vx::test::SendCommand(dlg, IDC_UNDO, BN_CLICKED);
  }
}

std::wstring ListText(HWND list, int row, int column) {
  wchar_t buffer[1024] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 1024;
  ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

// The state image of a row as the list draws it: 1 a box, 2 ticked, 3 greyed.
int CheckImage(HWND list, int row) {
  const UINT state = static_cast<UINT>(::SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
  return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
}

void FocusRow(HWND list, int row) {
  LVITEMW item{};
  item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void PressSpace(HWND list) {
  ::SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0x00390001);
  ::SendMessageW(list, WM_KEYUP, VK_SPACE, 0xC0390001);
  vx::test::PumpMessages();
}

// The preview: one row per file that would change (ticked) or get an error
// line (greyed, its reason), none for a file without a match; the totals of
// the ticked rows; the space key unticks; the selected file's lines; and
// 置換 rewrites exactly the ticked files.
TEST(BatchPreview, ListsTheFilesTicksThemAndReplacesTheTickedOnes) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), bin = dir.Path("bin.dat"), d = dir.Path("d.txt"),
                    gone = dir.Path("gone.txt");
  WriteFile(a, "x1\nx2 x\n");
  WriteFile(b, "none\n");
  WriteFile(bin, std::string("x\0\0\0\x01\x02x", 8));
  WriteFile(d, "keep\r\nx\r\nkeep\r\n");
  vx::test::ModalResponder responder;
  responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
  bool seen = false;
  responder.OnNextDialog([&](HWND window) {
    seen = true;
    EXPECT_EQ(WindowText(window), U8(u8"置換のプレビュー"));
    auto* preview = static_cast<vx::CPreviewDialog*>(vx::CDialog::FromHandle(window));
    ASSERT_NE(preview, nullptr);
    const HWND list = Item(window, IDC_PREVIEW_LIST);
    EXPECT_TRUE(::GetWindowLongPtrW(list, GWL_STYLE) & LVS_OWNERDATA);
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
    const std::wstring rows[][2] = {{vx::Widen(a), L"置換え数　3個"},
                                    {vx::Widen(bin), L"テキストファイルではありません。"},
                                    {vx::Widen(d), L"置換え数　1個"},
                                    {vx::Widen(gone), L"ファイルが不正です。"}};
    const int images[] = {2, 3, 2, 3};
    for (int row = 0; row < 4; ++row) {
      SCOPED_TRACE(row);
      EXPECT_EQ(ListText(list, row, 0), rows[row][0]);
      EXPECT_EQ(ListText(list, row, 1), rows[row][1]);
      EXPECT_EQ(CheckImage(list, row), images[row]);
    }
    const HWND totals = Item(window, IDC_PREVIEW_TOTALS);
    EXPECT_EQ(WindowText(totals), U8(u8"置換するファイル  2個    置換え数  4個"));
    // The first row is selected: its lines, each old one above the new one.
    EXPECT_EQ(WindowText(Item(window, IDC_PREVIEW_LINES)),
              "     1 - x1\r\n     1 + y1\r\n     2 - x2 x\r\n     2 + y2 y\r\n");
    FocusRow(list, 2);
    EXPECT_EQ(WindowText(Item(window, IDC_PREVIEW_LINES)), "     2 - x\r\n     2 + y\r\n");
    // An error row has no lines; nor has no row, once the change is over.
    FocusRow(list, 1);
    EXPECT_EQ(WindowText(Item(window, IDC_PREVIEW_LINES)), "");
    FocusRow(list, 2);
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    EXPECT_EQ(WindowText(Item(window, IDC_PREVIEW_LINES)), "     2 - x\r\n     2 + y\r\n");
    vx::test::PumpMessages();
    EXPECT_EQ(WindowText(Item(window, IDC_PREVIEW_LINES)), "");

    // Space on the first row unticks it; on an error row it does nothing.
    FocusRow(list, 0);
    PressSpace(list);
    EXPECT_EQ(CheckImage(list, 0), 1);
    EXPECT_FALSE(preview->IsTicked(0));
    EXPECT_EQ(WindowText(totals), U8(u8"置換するファイル  1個    置換え数  1個"));
    FocusRow(list, 1);
    PressSpace(list);
    EXPECT_EQ(CheckImage(list, 1), 3);
    EXPECT_EQ(WindowText(totals), U8(u8"置換するファイル  1個    置換え数  1個"));
    // Twice on a row: ticked again, then unticked once more by the third.
    FocusRow(list, 0);
    PressSpace(list);
    EXPECT_EQ(WindowText(totals), U8(u8"置換するファイル  2個    置換え数  4個"));
    PressSpace(list);
    EXPECT_EQ(WindowText(totals), U8(u8"置換するファイル  1個    置換え数  1個"));
    vx::test::Click(window, IDOK);
  });
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {a, b, bin, d, gone}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "y");
    Press(dlg, IDC_PREVIEW);
  });
  EXPECT_TRUE(seen);
  ASSERT_EQ(responder.boxes().size(), 1u);
  EXPECT_EQ(responder.boxes()[0].caption, U8(u8"置換完了"));
  EXPECT_EQ(responder.boxes()[0].text, Shown(LogHead(1) + d + "  置換え数　1個\n"));
  EXPECT_EQ(ReadFile(a), "x1\nx2 x\n");
  EXPECT_FALSE(Exists(a + ".bak"));
  EXPECT_EQ(ReadFile(d), "keep\r\ny\r\nkeep\r\n");
  EXPECT_EQ(ReadFile(d + ".bak"), "keep\r\nx\r\nkeep\r\n");
}

// キャンセル in the preview writes nothing and shows no log.
TEST(BatchPreview, CancelWritesNothing) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt");
  WriteFile(a, "x x\n");
  vx::test::ModalResponder responder;
  responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
  responder.OnNextDialog([&](HWND window) { vx::test::Click(window, IDCANCEL); });
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    dlg.m_lbTargets.AddString(a);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    Press(dlg, IDC_PREVIEW);
    EXPECT_TRUE(dlg.m_undoRecord.empty());
  });
  EXPECT_TRUE(responder.boxes().empty());
  EXPECT_EQ(DialogsButProgress(responder), std::vector<std::string>{U8(u8"置換のプレビュー")});
  EXPECT_EQ(ReadFile(a), "x x\n");
  EXPECT_FALSE(Exists(a + ".bak"));
}

// A file changed on more lines than the field shows: the first of them,
// then a line that says how many more there are; the row's count is all
// of them.
TEST(BatchPreview, ManyChangedLinesShowTheFirstAndTheirNumber) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt");
  std::string text;
  for (int i = 1; i <= 400; ++i) text += "x" + std::to_string(i) + "\n";
  WriteFile(a, text);
  vx::test::ModalResponder responder;
  responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
  bool seen = false;
  responder.OnNextDialog([&](HWND window) {
    seen = true;
    EXPECT_EQ(ListText(Item(window, IDC_PREVIEW_LIST), 0, 1), L"置換え数　400個");
    const std::string shown = WindowText(Item(window, IDC_PREVIEW_LINES));
    // 400 lines changed: 800 lines, of which the first pairs are shown.
    const std::size_t most = vx::CPreviewDialog::kMostShownLines;
    ASSERT_TRUE(most % 2 == 0 && most < 800);
    std::string expected;
    for (std::size_t i = 1; i <= most / 2; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "%6zu - x%zu\r\n%6zu + y%zu\r\n", i, i, i, i);
      expected += line;
    }
    expected += U8(u8"（以下 ") + std::to_string(800 - most) + U8(u8" 行は省略）\r\n");
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(::SendMessageW(Item(window, IDC_PREVIEW_LINES), EM_GETFIRSTVISIBLELINE, 0, 0), 0);  // shown from its start
    vx::test::Click(window, IDCANCEL);
  });
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    dlg.m_lbTargets.AddString(a);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "y");
    Press(dlg, IDC_PREVIEW);
  });
  EXPECT_TRUE(seen);
  EXPECT_EQ(ReadFile(a), text);
}

// A ticked file that changes on disk while the preview is open, at the
// same size, is left alone with its line; the other ticked file is rewritten.
TEST(BatchPreview, AFileChangedWhileThePreviewIsOpenIsLeftAlone) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt");
  WriteFile(a, "x1\n");
  WriteFile(b, "x2\n");
  vx::test::ModalResponder responder;
  responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
  responder.OnNextDialog([&](HWND window) {
    WriteFile(a, "x9\n");
    vx::test::Click(window, IDOK);
  });
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {a, b}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "y");
    Press(dlg, IDC_PREVIEW);
  });
  ASSERT_EQ(responder.boxes().size(), 1u);
  EXPECT_EQ(responder.boxes()[0].text, Shown(LogHead(1) + a + "  プレビューの後で変更されたため、置換しませんでした。\n" +
                                             b + "  置換え数　1個\n"));
  EXPECT_EQ(ReadFile(a), "x9\n");
  EXPECT_EQ(ReadFile(b), "y2\n");
}

// The undo from the main window after a short run (the log in the message
// box): asked first (キャンセル restores nothing), then every file back
// from its backup but the one changed since and the one whose backup
// changed, each with its line; the backups stay, and it is offered once.
TEST(BatchUndo, TheMainWindowUndoesTheLastRunOnce) {
  ScratchFolder dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), c = dir.Path("c.txt");
  for (const std::string& path : {a, b, c}) WriteFile(path, "x\n");
  vx::CMainDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const std::string& path : {a, b, c}) dlg.m_lbTargets.AddString(path);
    vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
    vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "y");
    EXPECT_EQ(PressStart(dlg).size(), 1u);
    EXPECT_EQ(dlg.m_undoRecord.size(), 3u);
    if (HWND undo = dlg.GetDlgItem(IDC_UNDO)) {
      EXPECT_TRUE(::IsWindowEnabled(undo));
    }

    {
      vx::test::ModalResponder responder;
      responder.AnswerNext(IDCANCEL);
      PressUndo(dlg);
      ASSERT_EQ(responder.boxes().size(), 1u);
      EXPECT_EQ(responder.boxes()[0].caption, U8(u8"元に戻す"));
      EXPECT_EQ(responder.boxes()[0].buttons, (std::vector<int>{IDOK, IDCANCEL}));
      EXPECT_EQ(responder.boxes()[0].owner, dlg.m_hWnd);
    }
    EXPECT_EQ(ReadFile(a), "y\n");
    EXPECT_EQ(dlg.m_undoRecord.size(), 3u);

    WriteFile(b, "z\n");         // the file changed since the run (same size)
    WriteFile(c + ".bak", "w\n");  // the backup changed
    vx::test::ModalResponder responder;
    responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
    PressUndo(dlg);
    ASSERT_EQ(responder.boxes().size(), 2u);
    EXPECT_EQ(responder.boxes()[1].caption, U8(u8"元に戻す"));
    EXPECT_EQ(responder.boxes()[1].text, Shown(LogHead(0) + a + "  元に戻しました。\n" + b +
                                               "  置換後に変更されたため、元に戻しませんでした。\n" + c +
                                               "  置換後に変更されたため、元に戻しませんでした。\n"));
    EXPECT_TRUE(dlg.m_undoRecord.empty());
    if (HWND undo = dlg.GetDlgItem(IDC_UNDO)) {
      EXPECT_FALSE(::IsWindowEnabled(undo));
    }
    // Offered once: the command does nothing now.
    vx::test::ModalResponder after;
    PressUndo(dlg);
    EXPECT_TRUE(after.boxes().empty());
  });
  EXPECT_EQ(ReadFile(a), "x\n");
  EXPECT_EQ(ReadFile(a + ".bak"), "x\n");
  EXPECT_EQ(ReadFile(b), "z\n");
  EXPECT_EQ(ReadFile(c), "y\n");
  EXPECT_EQ(ReadFile(c + ".bak"), "w\n");
}

// A long run's result window: with backups, 元に戻す asks and undoes, and
// the undo's own log comes in a result window without the button; without
// backups the button is off and the note says why.
TEST(BatchUndo, TheResultWindowOffersTheUndoOnlyWithBackups) {
  ScratchFolder dir;
  constexpr int kFiles = 32;
  std::vector<std::string> files;
  for (int i = 0; i < kFiles; ++i) files.push_back(dir.Path("u" + std::to_string(100 + i) + ".txt"));
  for (const bool backups : {true, false}) {
    SCOPED_TRACE(backups);
    for (const std::string& path : files) WriteFile(path, "x\n");
    vx::test::ModalResponder responder;
    responder.OnEveryDialog(U8(u8"置換中"), WaitOutRun);
    std::string undoLog, undoCaption;
    bool undoButtonShown = true;
    responder.OnNextDialog([&](HWND result) {
      const HWND undo = Item(result, IDC_RESULT_UNDO);
      EXPECT_EQ(WindowText(undo), U8(u8"元に戻す(&U)"));
      EXPECT_EQ(::IsWindowEnabled(undo) != FALSE, backups);
      EXPECT_EQ(WindowText(Item(result, IDC_RESULT_UNDO_NOTE)),
                backups ? "" : U8(u8"バックアップを作成しなかったため、元に戻せません。"));
      if (!backups) return;
      responder.OnNextDialog([&](HWND log) {
        undoCaption = WindowText(log);
        undoLog = WindowText(Item(log, IDC_RESULT_LOG));
        undoButtonShown = ::IsWindowVisible(Item(log, IDC_RESULT_UNDO)) != FALSE;
      });
      vx::test::Click(undo);
    });
    vx::CMainDialog dlg;
    dlg.m_bMakeBackup = backups ? 1 : 0;
    vx::test::RunModal(dlg, [&] {
      for (const std::string& path : files) dlg.m_lbTargets.AddString(path);
      vx::test::ReplaceText(dlg.m_cbSearch.GetEditHwnd(), "x");
      vx::test::ReplaceText(dlg.m_cbReplace.GetEditHwnd(), "y");
      PressStart(dlg, responder);
      EXPECT_TRUE(dlg.m_undoRecord.empty());  // undone, or nothing to undo
    });
    if (backups) {
      ASSERT_EQ(responder.boxes().size(), 1u);  // the question
      EXPECT_EQ(responder.boxes()[0].buttons, (std::vector<int>{IDOK, IDCANCEL}));
      EXPECT_EQ(undoCaption, U8(u8"元に戻す"));
      EXPECT_FALSE(undoButtonShown);
      for (const std::string& path : files) {
        EXPECT_EQ(ReadFile(path), "x\n");
        EXPECT_NE(undoLog.find(path + U8(u8"  元に戻しました。")), std::string::npos) << path;
        vx::test::RemovePath(path + ".bak");
      }
    } else {
      EXPECT_TRUE(responder.boxes().empty());
      for (const std::string& path : files) EXPECT_EQ(ReadFile(path), "y\n");
    }
  }
}

}  // namespace

// test_batch --screenshot progress|result: the progress window in the middle
// of a run (its files take their time), or the result window of a long log,
// for the README.
int main(int argc, char** argv) {
  const std::string shot = argc == 3 && std::string(argv[1]) == "--screenshot" ? argv[2] : "";
  const std::string folder = U8(u8"C:\\Users\\yamada\\Documents\\営業部\\2026年度\\見積書\\顧客別\\");
  if (shot == "progress") {
    std::vector<vx::BatchFile> files;
    for (int i = 0; i < 2000; ++i) files.push_back({folder + U8(u8"見積書_") + std::to_string(1000 + i) + ".txt", {{U8(u8"旧社名"), U8(u8"新社名")}}, true});
    vx::BatchSettings settings;
    settings.rewrite = [](const std::string&, const std::vector<vx::ReplacePair>&, const vx::FileReading&,
                          const vx::RewriteOptions&) {
      ::Sleep(4);
      vx::RewriteOutcome outcome;
      outcome.count = 3;
      return outcome;
    };
    vx::CProgressDialog dlg(std::move(files), settings, 4);
    vx::test::ShowForScreenshot(dlg, 3000, [&] { return ::IsWindowVisible(dlg) != FALSE; });
    return 0;
  }
  if (shot == "result") {
    vx::BatchReport report;
    for (int i = 0; i < 120; ++i) {
      vx::BatchEntry entry{folder + U8(u8"見積書_") + std::to_string(1000 + i) + ".txt", {}};
      if (i % 17 == 5) {
        entry.outcome.status = vx::RewriteStatus::kOpenFailed;
      } else {
        entry.outcome.count = i % 4;
        report.total += entry.outcome.count;
      }
      report.entries.push_back(entry);
    }
    vx::CResultDialog dlg(report);
    vx::test::ShowForScreenshot(dlg, 3000);
    return 0;
  }
  if (shot == "result-undo" || shot == "result-nobackup") {
    // A run's result window with its undo offered, or off for want of backups.
    const bool backups = shot == "result-undo";
    vx::BatchReport report;
    for (int i = 0; i < 60; ++i) {
      vx::BatchEntry entry{folder + U8(u8"見積書_") + std::to_string(1000 + i) + ".txt", {}};
      entry.outcome.count = 1 + i % 3;
      if (backups) {
        entry.outcome.backup = entry.path + ".bak";
        entry.outcome.read.known = entry.outcome.written.known = true;
      }
      report.total += entry.outcome.count;
      report.entries.push_back(entry);
    }
    vx::CResultDialog dlg(report, nullptr, backups ? vx::UndoOffer::kOffered : vx::UndoOffer::kNoBackups);
    vx::test::ShowForScreenshot(dlg, 3000);
    return 0;
  }
  if (shot == "preview") {
    // The preview of a run over real files: rows ticked, one greyed with its
    // reason, the first row's changed lines.
    vx::test::TempTree tree;
    std::vector<vx::BatchFile> files;
    const vx::ReplacePair pair{U8(u8"旧社名"), U8(u8"新社名")};
    for (int i = 0; i < 40; ++i) {
      std::string text = U8(u8"御見積書\r\n");
      for (int line = 0; line < 12; ++line) {
        text += line % (3 + i % 4) == 1 ? U8(u8"株式会社旧社名 御中\r\n") : U8(u8"品名・数量・単価\r\n");
      }
      if (i == 3) text = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
      files.push_back({tree.File(U8(u8"見積書_") + std::to_string(1000 + i) + ".txt", FILE_ATTRIBUTE_NORMAL, text), {pair}, true, {}});
    }
    vx::BatchSettings settings;
    settings.reading = vx::FileReading{vx::CodePage::kUtf8, true};
    settings.options.dry_run = true;
    settings.options.digests = true;
    const vx::BatchReport report = vx::ProcessFiles(files, settings, 1);
    vx::CPreviewDialog dlg(files, report, settings);
    vx::test::ShowForScreenshot(dlg, 3000);
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
