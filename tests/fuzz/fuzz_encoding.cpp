// Finding a file's encoding against the plain definition: each UTF-8 kernel,
// fed in pieces of the chosen size, must agree with the definition
// (tests/core/reference.h), and the detector must find the same in pieces
// as on the whole text.
// Input: a byte for the piece size, then the text.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "platform/encoding.h"
#include "tests/core/reference.h"

using vx::fuzz::FuzzInput;

namespace {

struct Found {
  bool not_text;
  vx::Encoding encoding;
  bool lf_only;
  bool operator==(const Found&) const = default;
};

Found Detect(const std::string& text, std::size_t piece) {
  vx::EncodingDetector detector(true);
  const std::size_t head = std::min(text.size(), std::max<std::size_t>(piece, 4));
  detector.Take(text.data(), head);
  for (std::size_t at = head; at < text.size() && !detector.not_text(); at += piece)
    detector.Take(text.data() + at, std::min(piece, text.size() - at));
  detector.Finish();
  return {detector.not_text(), detector.not_text() ? vx::Encoding::kCodePage : detector.encoding(),
          !detector.not_text() && detector.lf_only()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::size_t piece = 1 + in.Byte() % 64;
  const std::string text = in.Rest();

  using Check = vx::EncodingDetector::Utf8Check;
  const bool valid = vx::reference::IsStrictUtf8(text);
  for (const Check::Kernel kernel : {Check::Kernel::kPlain, Check::Kernel::kSsse3, Check::Kernel::kAvx2}) {
    if (!Check::Available(kernel)) continue;
    Check check(kernel);
    for (std::size_t at = 0; at < text.size(); at += piece) check.Take(text.data() + at, std::min(piece, text.size() - at));
    VX_FUZZ_CHECK(check.Finish() == valid);
  }
  VX_FUZZ_CHECK(Detect(text, piece) == Detect(text, text.size() + 1));
  return 0;
}
