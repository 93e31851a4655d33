#include "targets/target_intake.h"

#include "platform/file.h"
#include "targets/path_text.h"

namespace vx {

TargetIntake::Added TargetIntake::Add(const std::string& path, const TargetFilter& filter, const TargetSink& sink) {
  platform::FileInfo info;
  if (path.empty() || platform::QueryFileInfo(path, &info) != platform::kOk || !info.exists) return Added::kNothing;
  if (info.directory) {
    AddFolder(path, filter, sink);
    return Added::kFolder;
  }
  AddFile(path, sink);
  return Added::kFile;
}

void TargetIntake::AddFile(const std::string& path, const TargetSink& sink) {
  if (sink.before_test) sink.before_test();
  Identity identity;
  const bool known = IdentityOf(path, &identity);
  if (index_.Contains(path) || (known && keys_.count(identity) != 0)) {
    if (sink.duplicate) sink.duplicate(path);
    return;
  }
  // Filed before it is handed on: the sink may let messages through, and an
  // add nested there must find it listed.
  index_.Insert(path);
  if (known) {
    const std::string key = FoldPathKey(path);
    keys_.emplace(identity, key);
    identities_.emplace(key, identity);
  }
  if (!sink.take(path)) Forget(path);
}

bool TargetIntake::AddFolder(const std::string& folder, const TargetFilter& filter, const TargetSink& sink) {
  FolderVisitor visitor;
  visitor.file = [&](const std::string& path) { AddFile(path, sink); };
  visitor.stopped = sink.stopped;
  return WalkFolder(folder, filter, visitor);
}

void TargetIntake::Forget(const std::string& path) {
  index_.Erase(path);
  if (identities_.empty()) return;
  const auto it = identities_.find(FoldPathKey(path));
  if (it == identities_.end()) return;
  keys_.erase(it->second);
  identities_.erase(it);
}

void TargetIntake::Reset(const std::vector<std::string>& listed) {
  index_.Clear();
  keys_.clear();
  identities_.clear();
  for (const std::string& path : listed) {
    Identity identity;
    const bool known = IdentityOf(path, &identity);
    if (!index_.Insert(path) || !known || keys_.count(identity) != 0) continue;
    const std::string key = FoldPathKey(path);
    keys_.emplace(identity, key);
    identities_.emplace(key, identity);
  }
}

bool TargetIntake::IdentityOf(const std::string& path, Identity* identity) const {
  if (rule_ != Duplicates::kNameOrFile) return false;
  platform::FileIdentity id;
  if (platform::GetFileIdentity(path, &id) != platform::kOk) return false;
  *identity = {id.volume, id.index};
  return true;
}

}  // namespace vx
