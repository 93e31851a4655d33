// The folder listing of Windows: find-first/find-next over "<folder>\*.*",
// entries in the order the file system reports them, the search open until
// the listing goes away (a walk keeps each level's open while it walks the
// level's subfolders).
#include <windows.h>

#include "targets/canonical.h"
#include "targets/path_text.h"
#include "targets/walk.h"

namespace vx {

namespace {

// The open search, closed whatever ends the walk of its folder (an
// exception in a visitor included).
class FindListing : public FolderListing {
 public:
  FindListing(HANDLE find, const WIN32_FIND_DATAA& first) : find_(find), data_(first) {}
  ~FindListing() override { ::FindClose(find_); }
  FindListing(const FindListing&) = delete;
  FindListing& operator=(const FindListing&) = delete;

  bool Next(FolderEntry* entry) override {
    for (;;) {
      if (pending_) {
        pending_ = false;
      } else if (!::FindNextFileA(find_, &data_)) {
        return false;
      }
      const bool folder = (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const char* name = data_.cFileName;
      if (folder && name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      entry->name = name;
      entry->folder = folder;
      return true;
    }
  }

 private:
  HANDLE find_;
  WIN32_FIND_DATAA data_;
  bool pending_ = true;  // data_ holds find-first's entry, not yet given
};

class Win32Folders : public FolderSystem {
 public:
  std::unique_ptr<FolderListing> List(const std::string& folder) const override {
    const std::string pattern = JoinPath(folder, "*.*");
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<FindListing>(find, data);
  }

  std::string FullPath(const std::string& folder) const override { return platform::FullPath(folder); }

  std::string Join(const std::string& folder, const std::string& name) const override {
    return JoinPath(folder, name);
  }

  bool Identity(const std::string& folder, platform::FileIdentity* identity) const override {
    return platform::GetFileIdentity(folder, identity) == platform::kOk;
  }
};

}  // namespace

const FolderSystem& PlatformFolders() {
  static const Win32Folders folders;
  return folders;
}

const NameRules& PlatformNameRules() {
  static const NameRules rules = NameRules::Windows();
  return rules;
}

}  // namespace vx
