#include <windows.h>

#include "cli/canonical_path.h"
#include "targets/canonical.h"
#include "targets/path_text.h"

namespace vx::cli {

// As the window takes its command-line arguments: every component in its
// stored long name and case, a wildcard resolved to its first match.
std::string CanonicalPath(const std::string& path) {
  const std::string canonical = CanonicalizePath(path, WindowsFileSystem());
  return HasFolderMark(canonical) ? canonical.substr(1) : canonical;
}

}  // namespace vx::cli
