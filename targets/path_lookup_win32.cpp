#include <windows.h>

#include "platform/file.h"
#include "targets/canonical.h"
#include "targets/path_text.h"

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

const LeadBytes& AnsiLeadBytes() {
  static const LeadBytes lead = [] {
    LeadBytes set;
    CPINFO info{};
    if (::GetCPInfo(CP_ACP, &info)) {
      for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        set.AddRange(info.LeadByte[i], info.LeadByte[i + 1]);
      }
    }
    return set;
  }();
  return lead;
}

const PathLookup& WindowsFileSystem() {
  static const Win32PathLookup lookup;
  return lookup;
}

}  // namespace vx
