#include "cli/target_files.h"

#include "platform/file.h"
#include "targets/path_text.h"

namespace vx::cli {

TargetFiles::Added TargetFiles::Add(const std::string& path) {
  const std::string full = CanonicalPath(path);
  platform::FileInfo info;
  if (full.empty() || platform::QueryFileInfo(full, &info) != platform::kOk || !info.exists) return Added::kNothing;
  if (info.directory) {
    AddFolder(full);
    return Added::kFolder;
  }
  AddFile(full);
  return Added::kFile;
}

void TargetFiles::AddFile(const std::string& path) {
  platform::FileIdentity id;
  const bool known = platform::GetFileIdentity(path, &id) == platform::kOk;
  if (paths_.count(path) != 0 || (known && identities_.count({id.volume, id.index}) != 0)) {
    if (on_duplicate) on_duplicate(path);
    return;
  }
  paths_.insert(path);
  if (known) identities_.insert({id.volume, id.index});
  files_.push_back(path);
}

void TargetFiles::AddFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return;
  for (const FolderEntry& entry : entries) {
    const std::string path = JoinPath(folder, entry.name);
    if (entry.folder) {
      AddFolder(path);
    } else if (!HasTempSuffix(entry.name)) {
      // A leftover of a rewrite that was cut short is no target of its own.
      AddFile(path);
    }
  }
}

}  // namespace vx::cli
