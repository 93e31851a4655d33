// The target list's tie to the Windows platform: the canonical form of a
// command-line path on the real file system.
#pragma once

#include <string>

namespace vx {

// CanonicalizePath (targets/canonical.h) on the Windows file system
// (FindFirstFileA, GetFullPathNameA), with the ANSI code page's lead bytes.
std::string CanonicalizePath(const std::string& path);

}  // namespace vx
