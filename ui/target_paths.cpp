#include "ui/target_paths.h"

#include "platform/file.h"
#include "targets/canonical.h"
#include "ui/program.h"

namespace vx {

namespace {

class Win32PathLookup : public PathLookup {
 public:
  bool FindFirst(const std::string& pattern, FoundEntry* found) const override {
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    found->name = data.cFileName;
    found->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ::FindClose(find);
    return true;
  }
  std::string FullPath(const std::string& path) const override { return platform::FullPath(path); }
};

}  // namespace

std::string CanonicalizePath(const std::string& path) {
  return CanonicalizePath(path, AnsiLeadBytes(), Win32PathLookup());
}

StartProgramFn g_pfnStartProgram = ::WinExec;

}  // namespace vx
