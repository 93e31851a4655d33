// The set of byte values that begin a double-byte character in the ANSI code
// page. Taken once at start-up and handed to whoever walks text by characters.
#pragma once

#include <array>
#include <cstdint>

namespace vx {

class LeadBytes {
 public:
  // Single-byte code page: every byte is a character of its own.
  LeadBytes() = default;
  // Code page 932 (Shift-JIS): 0x81-0x9F and 0xE0-0xFC.
  static LeadBytes Cp932();
  // Adds the inclusive range [first, last].
  LeadBytes& AddRange(std::uint8_t first, std::uint8_t last);

  bool IsLead(unsigned char byte) const { return table_[byte]; }
  bool empty() const { return count_ == 0; }

 private:
  std::array<bool, 256> table_{};
  int count_ = 0;
};

}  // namespace vx
