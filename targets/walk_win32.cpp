// The folder listing of Windows: find-first/find-next over "<folder>\*",
// entries in the order the file system reports them, the search open until
// the listing goes away (a walk keeps each level's open while it walks the
// level's subfolders). The folder is given in its extended-length form, so
// that a folder at any depth is listed, and each name comes back as the
// file system stores it.
#include <windows.h>

#include "platform/wide.h"
#include "targets/path_text.h"
#include "targets/walk.h"

namespace vx {

namespace {

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The open search, closed whatever ends the walk of its folder (an
// exception in a visitor included).
class FindListing : public FolderListing {
 public:
  FindListing(HANDLE find, const WIN32_FIND_DATAW& first) : find_(find), data_(first) {}
  ~FindListing() override { ::FindClose(find_); }
  FindListing(const FindListing&) = delete;
  FindListing& operator=(const FindListing&) = delete;

  bool Next(FolderEntry* entry) override {
    for (;;) {
      if (pending_) {
        pending_ = false;
      } else if (!::FindNextFileW(find_, &data_)) {
        return false;
      }
      const bool folder = (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (folder && IsDotEntry(data_.cFileName)) continue;
      // A name with an unpaired surrogate (NTFS keeps any 16-bit units) has
      // no UTF-8 form: it is given as shown, marked, never as a path.
      entry->exact = NarrowExact(data_.cFileName, &entry->name);
      if (!entry->exact) entry->name = Narrow(data_.cFileName);
      entry->folder = folder;
      return true;
    }
  }

 private:
  HANDLE find_;
  WIN32_FIND_DATAW data_;
  bool pending_ = true;  // data_ holds find-first's entry, not yet given
};

class Win32Folders : public FolderSystem {
 public:
  std::unique_ptr<FolderListing> List(const std::string& folder) const override {
    // "*" is every name. The basic information leaves out the short names
    // the walk never uses, which spares the file system their lookup.
    const std::wstring pattern = Win32Path(JoinPath(folder, "*"));
    WIN32_FIND_DATAW data;
    const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
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
