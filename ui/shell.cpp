#include "ui/shell.h"

#include <shellapi.h>

namespace vx {

namespace {

class SystemShellImpl : public Shell {
 public:
  bool StartProgram(const std::string& commandLine, UINT show) override {
    return ::WinExec(commandLine.c_str(), show) > 31;
  }
  bool OpenTarget(HWND owner, const std::string& target, int show) override {
    const HINSTANCE result = ::ShellExecuteA(owner, "open", target.c_str(), nullptr, nullptr, show);
    return reinterpret_cast<INT_PTR>(result) > 32;
  }
};

}  // namespace

Shell& SystemShell() {
  static SystemShellImpl shell;
  return shell;
}

}  // namespace vx
