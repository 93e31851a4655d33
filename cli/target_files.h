// The files of one run of the command-line tool: each path named on the
// command line is a file, or a folder that stands for every file below it.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vx::cli {

class TargetFiles {
 public:
  enum class Added { kFile, kFolder, kNothing };

  // Takes a path as given: a file is appended; a folder appends every file
  // below it, depth first; a path that names nothing adds nothing.
  Added Add(const std::string& path);

  // Called instead of appending a file that is listed already: the same
  // path, or the same file under another spelling.
  std::function<void(const std::string& path)> on_duplicate;

  const std::vector<std::string>& files() const { return files_; }

 private:
  void AddFile(const std::string& path);
  void AddFolder(const std::string& folder);

  std::vector<std::string> files_;
  std::set<std::string> paths_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> identities_;
};

// One entry of a folder, as the platform lists it.
struct FolderEntry {
  std::string name;
  bool folder = false;
};

// The entries of `folder` in the order a run takes them, without "." and
// "..". POSIX: by the bytes of their names; regular files and folders only
// (a symbolic link is not followed, so a folder tree cannot loop). Windows:
// in the order find-first/find-next reports them, every entry.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);
// `folder` and `name` with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
// The form a command-line path takes in the list, without a folder mark:
// POSIX: the real path; Windows: the window's canonical form. Empty if the
// path names nothing.
std::string CanonicalPath(const std::string& path);

}  // namespace vx::cli
