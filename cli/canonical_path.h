// The form a path named on vextrane-cli's command line takes in its list.
#pragma once

#include <string>

namespace vx::cli {

// Without a folder mark: POSIX: the real path; Windows: the window's
// canonical form. Empty if the path names nothing.
std::string CanonicalPath(const std::string& path);

}  // namespace vx::cli
