// The calls that hand something to another program: the text editor for a
// target-list entry, the shell for the About box's links. The dialogs hold a
// Shell; the system's is theirs unless a test gives them one that records.
// Texts are UTF-8, so a command line or a target holds any character.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

class Shell {
 public:
  virtual ~Shell() = default;
  // Starts a program from a command line (CreateProcessW, shown as `show`)
  // without waiting for it. The command line names the program by its full
  // path: nothing is looked up on the search path.
  virtual bool StartProgram(const std::string& commandLine, UINT show) = 0;
  // Opens a target, a web address or a mailto: link, with the program the
  // system has for it (ShellExecuteW, "open").
  virtual bool OpenTarget(HWND owner, const std::string& target, int show) = 0;
};

// The system's shell, shared by every dialog.
Shell& SystemShell();

}  // namespace vx
