// The canonical written form of a path named on the command line: absolute,
// every component written the way the file system stores it (long name,
// stored letter case), and one extra leading backslash, the folder mark,
// when it names a folder:
//
//   sub\readme.txt    (in C:\Tools)  ->  C:\Tools\Sub\ReadMe.txt
//   c:\progra~1\data                 ->  \c:\Program Files\Data
//   C:\Docs\re*.txt                  ->  C:\Docs\ReadMe.txt   (first match)
//   C:\Docs\missing.txt, C:\Docs\, C:\  ->  (empty)
//
// The drive prefix is kept as the full-path operation writes it. A network
// path keeps its \\server\share as given; the components after it are
// canonicalised like the others.
//
// The file system is reached through a PathLookup, so the walk itself is
// portable; the program passes the Windows file system.
#pragma once

#include <string>

#include "platform/encoding.h"

namespace vx {

struct FoundEntry {
  std::string name;        // as stored: long name, stored letter case
  bool directory = false;  // attribute bit 0x10
};

class PathLookup {
 public:
  virtual ~PathLookup() = default;
  // The first entry that find-first reports for `pattern` (a path, with
  // wildcards allowed in its last component); false if none. The search is
  // closed before this returns.
  virtual bool FindFirst(const std::string& pattern, FoundEntry* found) const = 0;
  // The absolute form of `path` (platform::FullPath): resolved against the
  // working directory, forward slashes turned into backslashes, "." and ".."
  // removed, every other component written as given.
  virtual std::string FullPath(const std::string& path) const = 0;
};

// Empty when find-first finds nothing for `path` or when it ends in a
// backslash (a bare drive root included). Paths are UTF-8, of any length
// the file system takes.
std::string CanonicalizePath(const std::string& path, const PathLookup& fs);

// Whether a canonical path carries the folder mark. A network file path
// begins with two backslashes of its own, and its folder form with three.
bool HasFolderMark(const std::string& canonical);

#ifdef _WIN32
// The Windows file system (FindFirstFileW, GetFullPathNameW).
const PathLookup& WindowsFileSystem();
#endif

}  // namespace vx
