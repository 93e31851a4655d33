// The replace list reader: any bytes are read without a crash, the same
// texts whether the file comes whole or in pieces of any size, and writing
// the rows read and reading them again gives the same rows and bytes.
// Input: a byte for the piece size, then the file's bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "replacelist/list_format.h"

using vx::fuzz::FuzzInput;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::size_t piece = 1 + in.Byte() % 32;
  const std::string file = in.Rest();

  const std::vector<std::string> texts = vx::SplitListTexts(file);
  for (const std::string& text : texts) {
    // No text holds a line feed, the end-of-file byte or a zero byte.
    VX_FUZZ_CHECK(text.find_first_of(std::string("\n\x1A\0", 3)) == std::string::npos);
  }

  std::vector<std::string> streamed;
  std::size_t at = 0;
  const auto status = vx::ReadListTexts(
      [&](char* buffer, std::size_t n, std::size_t* got) {
        *got = std::min({n, piece, file.size() - at});
        std::memcpy(buffer, file.data() + at, *got);
        at += *got;
        return vx::platform::kOk;
      },
      &streamed);
  VX_FUZZ_CHECK(status == vx::platform::kOk);
  VX_FUZZ_CHECK(streamed == texts);

  const auto columns = vx::PairTextsForComboBoxes(texts);
  VX_FUZZ_CHECK(columns.search.size() == (texts.size() + 1) / 2);
  VX_FUZZ_CHECK(columns.replace.size() == texts.size() / 2);

  const std::vector<vx::ListPair> rows = vx::PairTextsForEditor(texts);
  const std::string saved = vx::SerializeReplaceList(rows);
  const std::vector<vx::ListPair> again = vx::PairTextsForEditor(vx::SplitListTexts(saved));
  VX_FUZZ_CHECK(again == rows);
  VX_FUZZ_CHECK(vx::SerializeReplaceList(again) == saved);
  return 0;
}
