// The target list's ties to the Windows platform: the canonical form of a
// command-line path on the real file system, and the program start that
// opens an entry in the text editor.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

// CanonicalizePath (targets/canonical.h) on the Windows file system
// (FindFirstFileA, GetFullPathNameA), with the ANSI code page's lead bytes.
std::string CanonicalizePath(const std::string& path);

// Starts a program from a command line (WinExec). Replaceable, so that a
// test can see the command line without starting the editor.
using StartProgramFn = UINT(WINAPI*)(LPCSTR commandLine, UINT show);
extern StartProgramFn g_pfnStartProgram;

}  // namespace vx
