#include "ui/target_paths.h"

#include "targets/canonical.h"
#include "ui/program.h"

namespace vx {

std::string CanonicalizePath(const std::string& path) {
  return CanonicalizePath(path, WindowsFileSystem());
}

}  // namespace vx
