#include <cstdlib>

#include "cli/canonical_path.h"

namespace vx::cli {

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
