// The folder walk: every file below a folder, depth first, handed to a
// visitor one at a time. The window's folder add and vextrane-cli both walk
// through here, so the two take the same files in the same order.
//
// The order is the platform's: Windows, as find-first/find-next reports the
// entries of "<folder>\*" (each level's search stays open while its
// subfolders are walked); POSIX, by the bytes of the names, regular files
// and folders only (a symbolic link is not followed). Never taken: "." and
// "..", a leftover of a cut-short rewrite (kTempSuffix), a folder the walk is
// already inside (reached again through a link or junction), and what the
// filter leaves out; nor a name that no UTF-8 text can stand for (the
// visitor may hear of it).
//
// Only the folder named is made absolute (FolderSystem::FullPath); below it
// each path is its folder's joined to the name as listed, so a name with
// trailing dots or spaces is kept exactly as the file system stores it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/file.h"
#include "targets/name_mask.h"
#include "targets/target_filter.h"

namespace vx {

// One entry of a folder, as the platform lists it.
struct FolderEntry {
  std::string name;
  bool folder = false;
  // False for a name that no UTF-8 text can stand for (Windows: one with an
  // unpaired surrogate, which NTFS allows); `name` then shows it, each such
  // unit as U+FFFD, and names another file or none.
  bool exact = true;
};

// The entries of one open folder, in the walk's order.
class FolderListing {
 public:
  virtual ~FolderListing() = default;
  // The next entry; false at the end. "." and ".." are never given.
  virtual bool Next(FolderEntry* entry) = 0;
};

// The file system as the walk sees it (tests put in one of their own).
class FolderSystem {
 public:
  virtual ~FolderSystem() = default;
  // Opens the listing of `folder`; null if it cannot be listed.
  virtual std::unique_ptr<FolderListing> List(const std::string& folder) const = 0;
  // The folder an entry's path is joined to: its absolute form.
  virtual std::string FullPath(const std::string& folder) const = 0;
  // folder + one separator + name.
  virtual std::string Join(const std::string& folder, const std::string& name) const = 0;
  // Which folder a path finally names, links followed; false if unknown.
  virtual bool Identity(const std::string& folder, platform::FileIdentity* identity) const = 0;
};

// The running platform's file system (names and paths in UTF-8 on Windows).
const FolderSystem& PlatformFolders();
// How the running platform's file system spells names, for masks.
const NameRules& PlatformNameRules();

struct FolderVisitor {
  std::function<void(const std::string& path)> file;  // a file taken, its full path
  std::function<bool()> stopped;                      // asked before each entry: true ends the walk
  // Optional: an entry passed over because no UTF-8 text can stand for its
  // name, a file or a folder (not entered). `shown` is its path as shown
  // (U+FFFD in place of what cannot be held), for a line to the user and
  // never to be opened; `error` is kErrorInvalidName, for a FileError.
  std::function<void(const std::string& shown, platform::SysError error)> unnamable;
};

// Walks `folder` (itself entered whatever the filter says). Returns false if
// the visitor stopped it.
bool WalkFolder(const std::string& folder, const TargetFilter& filter, const FolderVisitor& visitor,
                const FolderSystem& system = PlatformFolders());

}  // namespace vx
