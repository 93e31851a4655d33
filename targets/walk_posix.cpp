// The folder listing of POSIX systems: all entries read at once and sorted
// by the bytes of their names, so a walk's order does not depend on the
// file system or the locale.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "targets/walk.h"

namespace vx {

namespace {

class SortedListing : public FolderListing {
 public:
  explicit SortedListing(std::vector<FolderEntry> entries) : entries_(std::move(entries)) {}
  bool Next(FolderEntry* entry) override {
    if (next_ == entries_.size()) return false;
    *entry = std::move(entries_[next_++]);
    return true;
  }

 private:
  std::vector<FolderEntry> entries_;
  std::size_t next_ = 0;
};

class Directory {
 public:
  explicit Directory(const std::string& path) : dir_(::opendir(path.c_str())) {}
  ~Directory() {
    if (dir_) ::closedir(dir_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

class PosixFolders : public FolderSystem {
 public:
  std::unique_ptr<FolderListing> List(const std::string& folder) const override {
    Directory dir(folder);
    if (!dir.get()) return nullptr;
    std::vector<FolderEntry> entries;
    while (const dirent* d = ::readdir(dir.get())) {
      const char* name = d->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      // The type the folder records spares a call per entry; only where it
      // records none is the entry itself asked (never through a link).
      unsigned char type = d->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st;
        if (::fstatat(::dirfd(dir.get()), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      if (type == DT_DIR || type == DT_REG) entries.push_back({name, type == DT_DIR});
    }
    // std::string compares as unsigned bytes: the byte order of the names.
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return std::make_unique<SortedListing>(std::move(entries));
  }

  std::string FullPath(const std::string& folder) const override { return platform::FullPath(folder); }

  std::string Join(const std::string& folder, const std::string& name) const override {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
  }

  bool Identity(const std::string& folder, platform::FileIdentity* identity) const override {
    return platform::GetFileIdentity(folder, identity) == platform::kOk;
  }
};

}  // namespace

const FolderSystem& PlatformFolders() {
  static const PosixFolders folders;
  return folders;
}

const NameRules& PlatformNameRules() {
  static const NameRules rules = NameRules::Posix();
  return rules;
}

}  // namespace vx
