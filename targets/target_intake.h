// The intake of a target list, one for the window and vextrane-cli: what a
// path the user names adds to the list. A file named is taken as it is,
// whatever the filter says; a folder stands for every file below it that
// the filter takes (the folder walk, depth first); a path that names
// nothing adds nothing. Each file passes the duplicate test before it is
// handed on: a path the file system takes for one already listed
// (TargetIndex), and, where asked, the same file under a second name (a
// link, a backup that is still a second name of its file).
//
// Use:
//   TargetIntake intake(TargetIntake::Duplicates::kNameOrFile);
//   TargetSink sink;
//   sink.take = [&](const std::string& path) { files.push_back(path); return true; };
//   sink.duplicate = [&](const std::string& path) { Warn(path); };
//   if (intake.Add(path, filter, sink) == TargetIntake::Added::kNothing) ...
//
// The list itself is the caller's (a vector, a list box); the intake keeps
// the index of what it let through, and the caller tells it of every entry
// it removes (Forget) or of a list changed behind its back (Reset).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "targets/target_filter.h"
#include "targets/target_index.h"
#include "targets/walk.h"

namespace vx {

// Where the intake hands its files.
struct TargetSink {
  // A file new to the list, its path as given or as the walk made it:
  // append it. It is filed as listed already (an add nested in here finds
  // it); false if it could not be appended, and it is not.
  std::function<bool(const std::string& path)> take;
  // Optional: a file refused as listed already, the path as it came.
  std::function<void(const std::string& path)> duplicate;
  // Optional: asked before each entry of a folder; true ends the walk.
  std::function<bool()> stopped;
  // Optional: called before each file's duplicate test, where the caller
  // can bring the intake in step with a list that others change too.
  std::function<void()> before_test;
};

class TargetIntake {
 public:
  enum class Added { kFile, kFolder, kNothing };
  // kName: the window's rule, the same name (TargetIndex). kNameOrFile:
  // that, or the same file under another name (its file identity).
  enum class Duplicates { kName, kNameOrFile };

  explicit TargetIntake(Duplicates rule = Duplicates::kName) : rule_(rule) {}

  // A path as given: what it names decides, a file (AddFile) or a folder
  // (AddFolder); nothing (or an empty path) adds nothing.
  Added Add(const std::string& path, const TargetFilter& filter, const TargetSink& sink);
  // A file named one by one: taken unless it is a duplicate, whatever the
  // filter says and whether it exists or not.
  void AddFile(const std::string& path, const TargetSink& sink);
  // Every file below `folder` that the filter takes. False if the sink
  // stopped the walk; a folder that cannot be listed adds nothing.
  bool AddFolder(const std::string& folder, const TargetFilter& filter, const TargetSink& sink);

  // An entry removed from the list: a later add of it is new again.
  void Forget(const std::string& path);
  // The list as it stands now, filed anew.
  void Reset(const std::vector<std::string>& listed);
  // How many entries are filed.
  std::size_t size() const { return index_.size(); }

 private:
  using Identity = std::pair<std::uint64_t, std::uint64_t>;  // volume, index
  // The file's identity when the rule asks for it and the system gives one.
  bool IdentityOf(const std::string& path, Identity* identity) const;

  Duplicates rule_;
  TargetIndex index_;
  // kNameOrFile: each listed file's identity, and the key it is filed under.
  std::map<Identity, std::string> keys_;
  std::unordered_map<std::string, Identity> identities_;
};

}  // namespace vx
