// Shows one of the program's dialogs long enough for a screenshot of the
// virtual display (scripts/screenshot-dialogs).
#pragma once

#include <windows.h>

#include <functional>

#include "ui/dialog.h"

namespace vx::test {

// Runs `dlg` modally; once it is drawn (and `ready` says so, for a window
// that shows itself or its content later), prints its window rectangle as
// "x y width height" (screen pixels) on a line of its own on stdout, keeps
// it open for `ms` milliseconds, then ends it.
void ShowForScreenshot(CDialog& dlg, DWORD ms, const std::function<bool()>& ready = {});

}  // namespace vx::test
