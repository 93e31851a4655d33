#include "cli/target_files.h"

#include "platform/file.h"
#include "targets/walk.h"

namespace vx::cli {

TargetFiles::Added TargetFiles::Add(const std::string& path) {
  const std::string full = CanonicalPath(path);
  platform::FileInfo info;
  if (full.empty() || platform::QueryFileInfo(full, &info) != platform::kOk || !info.exists) return Added::kNothing;
  if (info.directory) {
    FolderVisitor visitor;
    visitor.file = [this](const std::string& file) { AddFile(file); };
    WalkFolder(full, masks_, visitor);
    return Added::kFolder;
  }
  AddFile(full);
  return Added::kFile;
}

void TargetFiles::AddFile(const std::string& path) {
  // The window's rule, a name the file system takes for one already listed,
  // and the same file under a second name (a link, a backup that is still a
  // second name of its file).
  platform::FileIdentity id;
  const bool known = platform::GetFileIdentity(path, &id) == platform::kOk;
  if (index_.Contains(path) || (known && identities_.count({id.volume, id.index}) != 0)) {
    if (on_duplicate) on_duplicate(path);
    return;
  }
  index_.Insert(path);
  if (known) identities_.insert({id.volume, id.index});
  files_.push_back(path);
}

}  // namespace vx::cli
