// A small file system of its own for a scenario (POSIX, root): a tmpfs
// mounted on a fresh folder, unmounted on every path out of the scenario.
#pragma once

#ifndef _WIN32

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "reliability.h"

namespace vx::reliability {

// A tmpfs mounted on a folder of its own for as long as the object lives;
// unmounted on every path out of the scenario.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& options) {
    std::filesystem::create_directory(dir_.Path("fs"));
    root_ = dir_.Path("fs");
    if (::mount("vx-reliability", root_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
      mounted_ = true;
    else
      error_ = std::strerror(errno);
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(root_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  const std::string& root() const { return root_; }

 private:
  TempDir dir_;
  std::string root_;
  bool mounted_ = false;
  std::string error_;
};

#define VX_MOUNT_OR_SKIP(fs)                                                                    \
  if (!(fs).mounted())                                                                          \
  GTEST_SKIP() << "cannot mount a tmpfs here (" << (fs).error() << "): run as root to test a full disk"

}  // namespace vx::reliability

#endif  // _WIN32
