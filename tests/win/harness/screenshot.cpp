#include "win/harness/screenshot.h"

#include <cstdio>

#include "win/harness/harness.h"

namespace vx::test {

void ShowForScreenshot(CDialog& dlg, DWORD ms, const std::function<bool()>& ready) {
  RunModal(dlg, [&] {
    PumpMessages();
    if (ready) PumpUntil(ready);
    ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT rect;
    ::GetWindowRect(dlg, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fflush(stdout);
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpMessages();
    }
  });
}

}  // namespace vx::test
