// Cuts a fuzzer's input into the values a target needs. Every input is
// valid: what runs short reads as zero bytes and empty texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/encoding.h"

namespace vx::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }
  // The bytes up to the next `end` byte (dropped), or all that is left.
  std::string Text(char end) {
    const std::size_t at = rest_.find(end);
    const std::string text(rest_.substr(0, at));
    rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
    return text;
  }
  std::string Rest() {
    const std::string text(rest_);
    rest_ = {};
    return text;
  }

 private:
  std::string_view rest_;
};

// Code page 932 lead bytes for an even selector, none for an odd one.
inline LeadBytes LeadFor(std::uint8_t selector) {
  return selector % 2 == 0 ? LeadBytes::Cp932() : LeadBytes();
}

// The same, and for selectors 2 and 3 (mod 4) the units of UTF-16LE and BE.
inline TextWalk WalkFor(std::uint8_t selector) {
  if (selector % 4 >= 2) return TextWalk::Utf16(selector % 4 == 3);
  return LeadFor(selector);
}

#define VX_FUZZ_CHECK(condition)                                                   \
  do {                                                                             \
    if (!(condition)) {                                                            \
      __builtin_printf("check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      __builtin_trap();                                                            \
    }                                                                              \
  } while (0)

}  // namespace vx::fuzz
