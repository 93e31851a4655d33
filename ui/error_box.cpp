#include "ui/error_box.h"

#include <windows.h>

#include <string>

#include "platform/wide.h"
#include "ui/program.h"

namespace vx {

namespace {

void ShowStopBox(const wchar_t* text) noexcept {
  try {
    const std::wstring caption = Widen(ProgramTitle());
    ::MessageBoxW(::GetActiveWindow(), text, caption.c_str(), MB_ICONSTOP | MB_OK);
  } catch (...) {
    ::MessageBoxW(::GetActiveWindow(), text, nullptr, MB_ICONSTOP | MB_OK);
  }
}

}  // namespace

std::wstring FileErrorText(const FileError& error) {
  // The message's own text is code page 932, the file's name UTF-8: each is
  // widened from its own. The name goes in as it is (a "%1" in it stays).
  const std::string message = FileErrorMessageTemplate(error.kind());
  const std::size_t at = message.find("%1");
  const std::wstring name = error.name().empty() ? WidenCp932(kUntitledFileName) : Widen(error.name());
  return WidenCp932(message.substr(0, at)) + name + WidenCp932(message.substr(at + 2));
}

void ShowFileError(const FileError& error) noexcept {
  try {
    const std::wstring text = FileErrorText(error);
    ShowStopBox(text.c_str());
  } catch (...) {
    ShowUnexpectedError(true);
  }
}

void ShowUnexpectedError(bool outOfMemory) noexcept {
  ShowStopBox(outOfMemory ? L"メモリが不足しています。" : L"予期しないエラーが発生しました。");
}

}  // namespace vx
