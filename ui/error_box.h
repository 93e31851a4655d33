// Message boxes for failures that end an event handler.
#pragma once

#include <string>

#include "platform/file_error.h"

namespace vx {

// The file-error message as the user reads it: error.Message() with the
// file's name (UTF-8) in its place, whatever characters it holds.
std::wstring FileErrorText(const FileError& error);

// The file-error message: a message box owned by the active window, stop
// icon, OK only, captioned with the program's name (ProgramTitle), holding
// FileErrorText(error). Never throws.
void ShowFileError(const FileError& error) noexcept;

// For any other exception that reaches a dialog procedure: out of memory, or
// an unexpected failure. Same owner, caption and icon. Never throws.
void ShowUnexpectedError(bool outOfMemory) noexcept;

}  // namespace vx
