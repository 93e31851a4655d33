#include "ui/error_box.h"

#include <windows.h>

#include <string>

#include "ui/program.h"

namespace vx {

namespace {

void ShowStopBox(const char* text) noexcept {
  try {
    const std::string caption = ProgramTitle();
    ::MessageBoxA(::GetActiveWindow(), text, caption.c_str(), MB_ICONSTOP | MB_OK);
  } catch (...) {
    ::MessageBoxA(::GetActiveWindow(), text, nullptr, MB_ICONSTOP | MB_OK);
  }
}

}  // namespace

void ShowFileError(const FileError& error) noexcept {
  try {
    const std::string text = error.Message();
    ShowStopBox(text.c_str());
  } catch (...) {
    ShowUnexpectedError(true);
  }
}

void ShowUnexpectedError(bool outOfMemory) noexcept {
  ShowStopBox(outOfMemory ? "メモリが不足しています。" : "予期しないエラーが発生しました。");
}

}  // namespace vx
