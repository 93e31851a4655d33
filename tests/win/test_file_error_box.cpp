// A file error thrown by an event handler ends that handler and is shown as
// the file-error message; the window stays open. Exercised through the real
// dialog procedure and the real message box.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/file_error.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
#include "win/harness/harness.h"

namespace {

// The main window with its About button bound to a handler that fails.
class FailingDialog : public vx::CMainDialog {
 public:
  std::function<void()> fail;
  bool handlerFinished = false;
  int initFailures = 0;  // > 0: OnInitDialog throws a FileError

 protected:
  BOOL OnInitDialog() override {
    CMainDialog::OnInitDialog();
    if (initFailures > 0) throw vx::FileError(2, "list.dat");
    return TRUE;
  }
  const EventTable& GetEventTable() const override { return kTable; }

 private:
  void FailNow() {
    fail();
    handlerFinished = true;
  }
  static const EventTable kTable;
};

const vx::CDialog::EventTable FailingDialog::kTable = {
    vx::CommandEvent(IDC_ABOUT, BN_CLICKED, &FailingDialog::FailNow),
};

// This program's file name without folder and extension.
const std::string kCaption = "test_file_error_box";

TEST(FileErrorBox, HandlerFailuresAreShownAndTheWindowStaysOpen) {
  struct Row {
    std::function<void()> fail;
    std::string text;
  } rows[] = {
      {[] { throw vx::FileError(2, "list.dat"); }, vx::test::U8(u8"list.dat が見つかりませんでした。")},
      {[] { throw vx::FileError(5, "C:\\data\\list.dat"); }, vx::test::U8(u8"C:\\data\\list.dat へのｱｸｾｽは拒否されました。")},
      {[] { throw vx::FileError(112, vx::test::U8(u8"C:\\表\\a.txt")); }, vx::test::U8(u8"C:\\表\\a.txt へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。")},
      // A name outside code page 932 is shown as it is; a "%1" in it stays.
      {[] { throw vx::FileError(5, vx::test::U8(u8"C:\\😀\\한 %1.txt")); },
       vx::test::U8(u8"C:\\😀\\한 %1.txt へのｱｸｾｽは拒否されました。")},
      {[] { throw vx::FileError(32, "b.txt"); }, vx::test::U8(u8"b.txt へのｱｸｾｽ中に共有違反が発生しました。")},
      {[] { throw vx::FileError(9999, ""); }, vx::test::U8(u8"無題のﾌｧｲﾙ へのｱｸｾｽ中に不明なｴﾗｰが発生しました。")},
      {[] { throw vx::FileError(vx::FileErrorKind::kDiskFull, "c.txt"); },
       vx::test::U8(u8"c.txt へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。")},
      // Other exceptions never reach user32 either.
      {[] { throw std::runtime_error("boom"); }, vx::test::U8(u8"予期しないエラーが発生しました。")},
      {[] { throw std::bad_alloc(); }, vx::test::U8(u8"メモリが不足しています。")},
  };
  vx::test::ModalResponder responder;
  FailingDialog dlg;
  vx::test::RunModal(dlg, [&] {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.text);
      const std::size_t before = responder.boxes().size();
      dlg.fail = row.fail;
      dlg.handlerFinished = false;
      vx::test::Click(dlg, IDC_ABOUT);
      ASSERT_EQ(responder.boxes().size(), before + 1);
      const vx::test::CapturedBox& box = responder.boxes().back();
      EXPECT_EQ(box.text, row.text);
      EXPECT_EQ(box.caption, kCaption);
      EXPECT_EQ(box.icon, UINT{MB_ICONSTOP});
      EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
      EXPECT_EQ(box.owner, dlg.m_hWnd);  // the active window
      EXPECT_FALSE(dlg.handlerFinished) << "the rest of the handler must not run";
      EXPECT_TRUE(dlg.IsModalLoopRunning());
      EXPECT_TRUE(::IsWindowVisible(dlg));
      EXPECT_TRUE(::IsWindowEnabled(dlg));
    }
  });
}

TEST(FileErrorBox, FailureDuringInitialisationSkipsTheCentring) {
  vx::test::ModalResponder responder;
  FailingDialog dlg;
  dlg.initFailures = 1;
  vx::test::RunModal(dlg, [&] {
    ASSERT_EQ(responder.boxes().size(), 1u);
    EXPECT_EQ(responder.boxes()[0].text, vx::test::U8(u8"list.dat が見つかりませんでした。"));
    EXPECT_EQ(responder.boxes()[0].icon, UINT{MB_ICONSTOP});
    // The window opens at its template position, the screen's top-left corner.
    RECT window;
    ::GetWindowRect(dlg, &window);
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    // And works as usual.
    EXPECT_TRUE(::IsWindowVisible(dlg));
    EXPECT_EQ(::SendDlgItemMessageA(dlg, IDC_MAKE_BACKUP, BM_GETCHECK, 0, 0), BST_CHECKED);
  });
}

}  // namespace
