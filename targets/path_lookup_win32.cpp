// The command-line lookups on Windows: find-first over a path given in its
// extended-length form, so that a path of any length is found and each
// name comes back as the file system stores it.
#include <windows.h>

#include "platform/file.h"
#include "platform/wide.h"
#include "targets/canonical.h"

namespace vx {

namespace {

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

class Win32PathLookup : public PathLookup {
 public:
  // A wildcard matches the "." and ".." entries of the folder too, and the
  // search lists them first: they are passed over, so "docs\*" names the
  // first file or folder in docs. A name that no UTF-8 text can stand for
  // (an unpaired surrogate) is not found: written with U+FFFD it would name
  // another file.
  bool FindFirst(const std::string& pattern, FoundEntry* found) const override {
    if (!IsUtf8(pattern)) return false;
    WIN32_FIND_DATAW data;
    const HANDLE find = ::FindFirstFileW(Win32Path(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool named = !IsDotEntry(data.cFileName);
    while (!named && ::FindNextFileW(find, &data)) named = !IsDotEntry(data.cFileName);
    ::FindClose(find);
    if (!named || !NarrowExact(data.cFileName, &found->name)) return false;
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
