#include <windows.h>

#include "cli/target_files.h"
#include "platform/file.h"

namespace vx::cli {

namespace {

// Whether the path ends in a backslash, reading it by characters: the second
// byte of a double-byte character is never a separator.
bool EndsInSeparator(const std::string& path) {
  bool last_was_separator = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    last_was_separator = path[i] == '\\' || path[i] == '/';
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) ++i;
  }
  return last_was_separator;
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(JoinPath(folder, "*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries->push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return EndsInSeparator(folder) ? folder + name : folder + "\\" + name;
}

std::string CanonicalPath(const std::string& path) {
  if (path.empty()) return std::string();
  return platform::FullPath(path);
}

}  // namespace vx::cli
