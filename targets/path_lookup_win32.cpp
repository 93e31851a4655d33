#include <windows.h>

#include "platform/file.h"
#include "targets/canonical.h"
#include "targets/path_text.h"

namespace vx {

namespace {

bool IsDotEntry(const char* name) { return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')); }

class Win32PathLookup : public PathLookup {
 public:
  // A wildcard matches the "." and ".." entries of the folder too, and the
  // search lists them first: they are passed over, so "docs\*" names the
  // first file or folder in docs.
  bool FindFirst(const std::string& pattern, FoundEntry* found) const override {
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool named = !IsDotEntry(data.cFileName);
    while (!named && ::FindNextFileA(find, &data)) named = !IsDotEntry(data.cFileName);
    ::FindClose(find);
    if (!named) return false;
    found->name = data.cFileName;
    found->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
