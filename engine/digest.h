// What a file held, told by a strong hash: SHA-256 and the size, taken as
// the bytes stream past (the run's record of what it read and wrote, which
// a later step checks the file against).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vx {

struct ContentDigest {
  std::array<std::uint8_t, 32> sha256{};
  std::uint64_t size = 0;
  bool known = false;  // false: never taken
  bool operator==(const ContentDigest&) const = default;
};

class Sha256 {
 public:
  Sha256();
  void Add(const void* data, std::size_t n);
  ContentDigest Finish();  // the digest of everything added; then starts over

 private:
  void Block(const std::uint8_t* block);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_size_ = 0;
  std::uint64_t total_ = 0;
};

// The digest of bytes held in memory.
ContentDigest DigestOf(std::string_view bytes);

}  // namespace vx
