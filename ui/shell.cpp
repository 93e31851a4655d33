#include "ui/shell.h"

#include <shellapi.h>

#include "platform/wide.h"

namespace vx {

namespace {

class SystemShellImpl : public Shell {
 public:
  bool StartProgram(const std::string& commandLine, UINT show) override {
    // CreateProcessW may write into the command line it is given.
    std::wstring line = Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return false;
    }
    // Not waited for.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
  }
  bool OpenTarget(HWND owner, const std::string& target, int show) override {
    const HINSTANCE result = ::ShellExecuteW(owner, L"open", Widen(target).c_str(), nullptr, nullptr, show);
    return reinterpret_cast<INT_PTR>(result) > 32;
  }
};

}  // namespace

Shell& SystemShell() {
  static SystemShellImpl shell;
  return shell;
}

}  // namespace vx
