// Escape decoding plus the scanner against the plain forward character walk.
// Input: a selector byte (lead-byte set, or UTF-16's units; its top bit: in
// code page 932, every form of a character the code page writes twice), the
// typed search text up to a 0x00 byte, then the text to search.
#include <cstdint>
#include <string>

#include "engine/decode.h"
#include "core/reference.h"
#include "engine/scan.h"
#include "fuzz_input.h"

using vx::fuzz::FuzzInput;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t selector = in.Byte();
  const vx::TextWalk walk = vx::fuzz::WalkFor(selector);
  const bool any_form = (selector & 0x80) != 0 && walk.unit() == 1 && !walk.lead().empty();
  const vx::LeadBytes& lead = walk.lead();
  const std::string typed = in.Text('\0');
  const std::string text = in.Rest();

  const std::string decoded = vx::DecodeText(typed, true, lead);
  // Decoding never makes a zero byte (the typed text ends at its first one)
  // and never grows the text: every escape is two bytes for one.
  VX_FUZZ_CHECK(decoded.find('\0') == std::string::npos);
  VX_FUZZ_CHECK(decoded.size() <= typed.size());
  const auto alternatives = vx::SplitAlternatives(decoded);
  std::size_t separators = 0;
  for (char c : decoded) separators += c == vx::kAlternativeSeparator;
  VX_FUZZ_CHECK(alternatives.size() == separators + 1);

  for (const std::string& alternative : alternatives) {
    // Walk the text segment by segment, as the rewrite does.
    std::size_t start = 0;
    for (;;) {
      const std::string_view segment = std::string_view(text).substr(start);
      std::size_t end_fast = 0, end_ref = 0;
      const std::size_t fast = vx::FindNextMatch(segment, alternative, walk, &end_fast, any_form);
      const std::size_t ref = vx::FindNextMatchReference(segment, alternative, walk, &end_ref, any_form);
      VX_FUZZ_CHECK(fast == ref);
      VX_FUZZ_CHECK(end_fast == end_ref);
      if (fast == segment.size()) break;
      VX_FUZZ_CHECK(any_form || segment.compare(fast, alternative.size(), alternative) == 0);
      start += end_fast;
    }
  }
  return 0;
}
