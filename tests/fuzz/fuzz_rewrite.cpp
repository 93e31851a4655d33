// The streamed replacement chain and the escape decoding against their plain
// models (tests/core/reference.h): the chain, fed in pieces of the chosen
// size, must give the text and count of replacing each alternative of each
// pair over the whole text, one pass after another.
// Input: a selector byte (lead-byte set), a byte for the piece size, the
// typed search text up to a 0x00 byte, the typed replacement up to a 0x00
// byte, then the text.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/replace_chain.h"
#include "fuzz_input.h"
#include "tests/core/reference.h"

using vx::fuzz::FuzzInput;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const vx::LeadBytes lead = vx::fuzz::LeadFor(in.Byte());
  const std::size_t piece = 1 + in.Byte() % 64;
  const std::string search = in.Text('\0');
  const std::string replace = in.Text('\0');
  const std::string text = in.Rest();

  VX_FUZZ_CHECK(vx::DecodeText(search, true, lead) == vx::reference::Decode(search, true, lead));
  VX_FUZZ_CHECK(vx::DecodeText(replace, false, lead) == vx::reference::Decode(replace, false, lead));

  // The pair and its reverse: the second pair works on what the first made.
  const std::vector<vx::ReplacePair> pairs = {{search, replace}, {replace, search}};
  std::string expected = text;
  const std::int64_t expected_count = vx::reference::PassByPass(&expected, pairs, lead, std::size_t{1} << 20);
  if (expected_count < 0) return 0;  // a text that would grow too large to check quickly

  vx::StringSink sink;
  const vx::CodePage code_page = lead.empty() ? vx::CodePage::kNone : vx::CodePage::kCp932;
  vx::ReplaceChain chain(vx::TextsFor(pairs, code_page, code_page), lead, &sink, piece);
  for (std::size_t at = 0; at < text.size(); at += piece)
    chain.Feed(text.data() + at, std::min(piece, text.size() - at));
  chain.Finish();
  VX_FUZZ_CHECK(chain.count() == expected_count);
  VX_FUZZ_CHECK(sink.text == expected);
  return 0;
}
