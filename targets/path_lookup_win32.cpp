#include <windows.h>

#include "platform/file.h"
#include "targets/canonical.h"

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

const PathLookup& WindowsFileSystem() {
  static const Win32PathLookup lookup;
  return lookup;
}

}  // namespace vx
