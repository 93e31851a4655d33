// The parts of the file layer that are the same on every platform.
#include "platform/file.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <thread>
#include <unordered_map>
#include <utility>

namespace vx::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), written_(other.written_), pushed_(other.pushed_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    written_ = other.written_;
    pushed_ = other.pushed_;
  }
  return *this;
}

// The random part of a temporary name, ".1a2b3c4d". Each thread draws from a
// generator of its own, seeded differently even where random_device is weak.
std::string TempTag() {
  static std::atomic<std::uint64_t> threads{0};
  thread_local std::mt19937_64 rng{std::random_device{}() ^
                                   std::hash<std::thread::id>{}(std::this_thread::get_id()) ^
                                   static_cast<std::uint64_t>(std::time(nullptr)) ^
                                   (threads.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ULL};
  char tag[16];
  std::snprintf(tag, sizeof tag, ".%08llx", static_cast<unsigned long long>(rng() & 0xffffffffULL));
  return tag;
}

SysError CheckReplaceable(const std::string& path, FileInfo* info) {
  if (SysError error = QueryFileInfo(path, info); error != kOk) return error;
  if (!info->exists) return kOk;
  if (info->read_only || info->directory) return kErrorAccessDenied;
  SysError error = kOk;
  File probe = File::OpenReadExclusive(path, &error);  // closed again at once
  return error;
}

std::vector<std::optional<FileIdentity>> GetFileIdentities(const std::vector<std::string>& paths) {
  std::vector<std::optional<FileIdentity>> identities(paths.size());
  std::unordered_map<std::uint64_t, std::size_t> with_index;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::uint64_t index = 0;
    if (GetFileIndex(paths[i], &index) != kOk) continue;
    identities[i] = FileIdentity{0, index};
    ++with_index[index];
  }
  // Only files that share an index can be one file.
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!identities[i] || with_index[identities[i]->index] < 2) continue;
    FileIdentity whole;
    if (GetFileIdentity(paths[i], &whole) == kOk)
      identities[i] = whole;
    else
      identities[i].reset();
  }
  return identities;
}

}  // namespace vx::platform
