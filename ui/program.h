// Facts about the running program: its folder, its name, the code page's
// lead bytes (AnsiLeadBytes, shared with the folder walk).
#pragma once

#include <string>

#include "targets/path_text.h"

namespace vx {

// Full path of the running executable (GetModuleFileNameA).
std::string ProgramPath();

// The executable's file name without folder and extension: the caption of
// the file-error message box.
std::string ProgramTitle();

// Makes the executable's folder the working directory. The path is cut at
// its last backslash, found character by character; an executable in a
// drive's root gives the root ("C:\"). A failure is not reported.
void ChangeToProgramDirectory();

}  // namespace vx
