// The files of one run of the command-line tool: each path named on the
// command line is a file, or a folder that stands for every file below it
// (walked as the window walks a folder, with the run's masks).
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "targets/name_mask.h"
#include "targets/target_index.h"

namespace vx::cli {

class TargetFiles {
 public:
  enum class Added { kFile, kFolder, kNothing };

  explicit TargetFiles(NameMasks masks = {}) : masks_(std::move(masks)) {}

  // Takes a path as given: a file is appended whatever the masks say; a
  // folder appends every file below it that the masks take; a path that
  // names nothing adds nothing.
  Added Add(const std::string& path);

  // Called instead of appending a file that is listed already: a path the
  // file system takes for the same name (TargetIndex, as the window has it),
  // or the same file under another name.
  std::function<void(const std::string& path)> on_duplicate;

  const std::vector<std::string>& files() const { return files_; }

 private:
  void AddFile(const std::string& path);

  NameMasks masks_;
  std::vector<std::string> files_;
  TargetIndex index_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> identities_;
};

// The form a command-line path takes in the list, without a folder mark:
// POSIX: the real path; Windows: the window's canonical form. Empty if the
// path names nothing.
std::string CanonicalPath(const std::string& path);

}  // namespace vx::cli
