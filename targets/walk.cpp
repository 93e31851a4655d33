#include "targets/walk.h"

#include <algorithm>
#include <vector>

#include "targets/path_text.h"

namespace vx {

namespace {

class Walk {
 public:
  Walk(const TargetFilter& filter, const FolderVisitor& visitor, const FolderSystem& system)
      : filter_(filter), visitor_(visitor), system_(system) {}

  // False once the visitor has stopped the walk. `folder` is absolute: the
  // folder named, made so, or a folder's path joined to a listed name (never
  // made absolute again: that could change the name).
  bool Folder(const std::string& folder) {
    // A folder the walk is inside already is a loop (a link or a junction
    // back up the tree): entering it would list the same files until the
    // path grew too long. Two folders whose identity is unknown are never
    // taken for one.
    platform::FileIdentity identity;
    const bool known = system_.Identity(folder, &identity);
    if (known && std::find(inside_.begin(), inside_.end(), identity) != inside_.end()) return true;

    const std::unique_ptr<FolderListing> listing = system_.List(folder);
    if (!listing) return true;
    if (known) inside_.push_back(identity);
    bool going = true;
    FolderEntry entry;
    while (going && listing->Next(&entry)) {
      if (visitor_.stopped && visitor_.stopped()) {
        going = false;
        break;
      }
      if (entry.folder) {
        if (!filter_.EntersFolder(entry.name)) continue;
        if (entry.exact) {
          going = Folder(system_.Join(folder, entry.name));
        } else {
          Unnamable(folder, entry);
        }
        continue;
      }
      // A temporary file left behind by a rewrite that was cut short is no
      // target of its own.
      if (HasTempSuffix(entry.name) || !filter_.TakesFile(entry.name)) continue;
      if (entry.exact) {
        visitor_.file(system_.Join(folder, entry.name));
      } else {
        Unnamable(folder, entry);
      }
    }
    if (known) inside_.pop_back();
    return going;
  }

 private:
  // An entry the walk would take but cannot name: the visitor hears of it.
  void Unnamable(const std::string& folder, const FolderEntry& entry) const {
    if (visitor_.unnamable) visitor_.unnamable(system_.Join(folder, entry.name), platform::kErrorInvalidName);
  }

  const TargetFilter& filter_;
  const FolderVisitor& visitor_;
  const FolderSystem& system_;
  std::vector<platform::FileIdentity> inside_;
};

}  // namespace

bool WalkFolder(const std::string& folder, const TargetFilter& filter, const FolderVisitor& visitor,
                const FolderSystem& system) {
  return Walk(filter, visitor, system).Folder(system.FullPath(folder));
}

}  // namespace vx
