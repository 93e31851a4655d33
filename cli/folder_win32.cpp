#include <windows.h>

#include "cli/target_files.h"
#include "cli/terminal.h"
#include "targets/canonical.h"
#include "targets/path_text.h"

namespace vx::cli {

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA data;
  const HANDLE find = ::FindFirstFileA(JoinPath(folder, "*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries->push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return vx::JoinPath(folder, name, AnsiLeadBytes());
}

// As the window takes its command-line arguments: every component in its
// stored long name and case, a wildcard resolved to its first match.
std::string CanonicalPath(const std::string& path) {
  const std::string canonical = CanonicalizePath(path, AnsiLeadBytes(), WindowsFileSystem());
  return HasFolderMark(canonical) ? canonical.substr(1) : canonical;
}

}  // namespace vx::cli
