// Facts about the running program: its folder and its name. (The ANSI code
// page's lead bytes, AnsiLeadBytes(), are in platform/encoding.h.)
#pragma once

#include <string>

#include "platform/encoding.h"

namespace vx {

// Full path of the running executable (GetModuleFileNameA).
std::string ProgramPath();

// The executable's file name without folder and extension: the caption of
// the file-error message box.
std::string ProgramTitle();

// The working directory (GetCurrentDirectoryA); empty if it cannot be had.
std::string CurrentDirectory();

// Full path of a file in the Windows folder (GetSystemWindowsDirectoryA),
// where the system's own programs are found.
std::string WindowsFolderPath(const std::string& name);

// Makes the executable's folder the working directory. The path is cut at
// its last backslash, found character by character; an executable in a
// drive's root gives the root ("C:\"). A failure is not reported.
void ChangeToProgramDirectory();

}  // namespace vx
