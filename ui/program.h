// Facts about the running program: its folder and its name, and the working
// directory. Paths are UTF-8, of any length, without the extended-length
// prefix. (The ANSI code page's lead bytes, AnsiLeadBytes(), are in
// platform/encoding.h.)
#pragma once

#include <string>

#include "platform/encoding.h"

namespace vx {

// Full path of the running executable (GetModuleFileNameW).
std::string ProgramPath();

// The executable's file name without folder and extension: the caption of
// the file-error message box.
std::string ProgramTitle();

// The working directory (GetCurrentDirectoryW); empty if it cannot be had.
std::string CurrentDirectory();

// Makes `folder` the working directory (SetCurrentDirectoryW); false if it
// cannot be (an empty folder included).
bool ChangeDirectory(const std::string& folder);

// Full path of a file in the Windows folder (GetSystemWindowsDirectoryW),
// where the system's own programs are found.
std::string WindowsFolderPath(const std::string& name);

// Makes the executable's folder the working directory. The path is cut at
// its last backslash; an executable in a drive's root gives the root
// ("C:\"). A failure is not reported.
void ChangeToProgramDirectory();

}  // namespace vx
