#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "cli/target_files.h"

namespace vx::cli {

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (lstat(JoinPath(folder, name).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      entries->push_back({name, true});
    } else if (S_ISREG(st.st_mode)) {
      entries->push_back({name, false});
    }
  }
  closedir(dir);
  // std::string compares as unsigned bytes: the byte order of the names.
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// The real path: absolute, without "." and "..", symbolic links resolved, so
// a link named on the command line has the file it points to rewritten
// rather than replaced by a copy.
std::string CanonicalPath(const std::string& path) {
  if (path.empty()) return std::string();
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return std::string();
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace vx::cli
