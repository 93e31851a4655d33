#include "targets/canonical.h"

#include "targets/path_text.h"

namespace vx {

namespace {

bool IsNetworkPath(const std::string& path) { return path.size() >= 2 && path[0] == '\\' && path[1] == '\\'; }

// Length of the part of a full path that is copied without lookups: the
// drive letter and colon, or \\server\share of a network path (all of it if
// the path ends there).
std::size_t PrefixLength(const std::string& path) {
  if (!IsNetworkPath(path)) return 2;
  const std::size_t server_end = FindNextBackslash(path, 2);
  if (server_end == std::string::npos) return path.size();
  const std::size_t share_end = FindNextBackslash(path, server_end + 1);
  return share_end == std::string::npos ? path.size() : share_end;
}

}  // namespace

std::string CanonicalizePath(const std::string& path, const PathLookup& fs) {
  std::string result;
  if (path.empty() || EndsWithBackslash(path)) return result;
  FoundEntry entry;
  if (!fs.FindFirst(path, &entry)) return result;
  const std::string full = fs.FullPath(path);
  const std::size_t last = FindLastBackslash(full);
  if (last == std::string::npos) return result;

  // The folder part as written, one backslash, the entry's stored name.
  const std::string found = full.substr(0, last) + '\\' + entry.name;
  if (entry.directory) result.push_back('\\');  // the folder mark

  const std::size_t prefix = PrefixLength(found);
  result.append(found, 0, prefix);
  if (prefix >= found.size()) return result;

  // Every component after the prefix is replaced by its stored name. A
  // component that is not found (the file system changed meanwhile) keeps
  // the name it is written with.
  std::size_t at = prefix;
  for (;;) {
    result += '\\';
    const std::size_t next = FindNextBackslash(found, at + 1);
    const std::string part = next == std::string::npos ? found : found.substr(0, next);
    FoundEntry component;
    if (fs.FindFirst(part, &component)) {
      result += component.name;
    } else {
      result.append(part, at + 1, std::string::npos);
    }
    if (next == std::string::npos) break;
    at = next;
  }
  return result;
}

bool HasFolderMark(const std::string& canonical) {
  if (canonical.size() < 2 || canonical[0] != '\\') return false;
  return canonical[1] != '\\' || (canonical.size() >= 3 && canonical[2] == '\\');
}

}  // namespace vx
