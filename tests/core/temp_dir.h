// Scratch folders and whole-file helpers for the tests that work on real files.
// Paths are UTF-8 texts, as everywhere in the program (on Windows too, where
// the standard library's own narrow paths are in another code page).
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/unicode.h"

namespace vx::test {

// The standard library's form of a UTF-8 path: on Windows its extended-length
// form, so that the file named is the one the program reaches (no trailing
// dot or space dropped, no length limit).
inline std::filesystem::path FsPath(const std::string& utf8) {
#ifdef _WIN32
  const std::string text = ExtendedPath(utf8);
#else
  const std::string& text = utf8;
#endif
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("vxtest-" + std::to_string(rd()) + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    // Reached as every file is (FsPath): a name with a trailing dot that the
    // removal could not reach would keep it trying for ever.
    const std::filesystem::path folder = FsPath(Utf8(path_));
    // Read-only files left by a test must not keep the folder alive.
    for (auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(folder, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return Utf8(path_ / FsPath(name)); }
  const std::filesystem::path& path() const { return path_; }
  // Names of the entries in the folder, sorted.
  std::string Listing() const {
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(Utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    std::string out;
    for (auto& n : names) out += n + ";";
    return out;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void SetReadOnly(const std::string& path, bool read_only) {
  using std::filesystem::perms;
  std::filesystem::permissions(FsPath(path), perms::owner_write | perms::group_write | perms::others_write,
                               read_only ? std::filesystem::perm_options::remove
                                         : std::filesystem::perm_options::add);
}

}  // namespace vx::test
