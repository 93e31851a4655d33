// Expressions and replacement templates on real files: whatever the texts,
// the check before the run decides, and a run it lets through ends with the
// file rewritten as a dry run said, or left exactly as it was (a match past
// the engine's limits included); it never crashes or hangs.
// Input: an options byte (bit 0 regex, 1 ignore case, 2 word, 3 fold, 4 the
// texts in UTF-8 rather than code page 932, 5 no detection, 6 the real run
// reads and matches a few bytes at a time, where the dry run has the whole
// file in one window: the two agree), the search text
// up to a 0x00 byte, the replacement up to a 0x00 byte, then the file.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "engine/expression.h"
#include "engine/regex_match.h"
#include "engine/replace_chain.h"
#include "engine/rewrite.h"
#include "fuzz_input.h"
#include "platform/unicode.h"

namespace {

// A folder of this process's own, in memory where there is one (a rename
// over a file on disk waits for the disk).
const std::string& FilePath() {
  static const std::string path = [] {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
    const std::filesystem::path dir = base / ("vx-fuzz-regex-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir, ec);
    static const std::filesystem::path* const kept = new std::filesystem::path(dir);  // outlives the statics
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(*kept, ignored);
    });
    return (dir / "target.txt").string();
  }();
  return path;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vx::fuzz::FuzzInput in(data, size);
  const std::uint8_t bits = in.Byte();
  vx::MatchOptions match;
  match.regex = bits & 1;
  match.ignore_case = bits & 2;
  match.word = bits & 4;
  match.fold = bits & 8;
  const vx::FileReading reading{bits & 16 ? vx::CodePage::kUtf8 : vx::CodePage::kAnsi, !(bits & 32)};
  const std::vector<vx::ReplacePair> pairs = {{in.Text('\0'), in.Text('\0')}};
  const std::string content = in.Rest();

  // The line rules' form of an expression compiles whenever it does.
  if (match.regex && vx::IsUtf8(pairs[0].search) &&
      vx::Expression::Get(pairs[0].search, match.ignore_case, 8)) {
    VX_FUZZ_CHECK(vx::Expression::Get(vx::WithLineRules(pairs[0].search), match.ignore_case, 8) != nullptr);
    VX_FUZZ_CHECK(vx::Expression::Get(vx::WithLineRules(pairs[0].search), match.ignore_case, 16) != nullptr);
  }
  // Literal alternatives, each applied to what the one before made, can
  // grow a text without bound (fuzz_rewrite covers them).
  if (!match.regex && (pairs[0].search.find('\x1A') != std::string::npos ||
                       pairs[0].search.find("\\|") != std::string::npos))
    return 0;
  if (vx::CheckPatterns(pairs, reading.texts, match)) return 0;  // reported before any file is touched

  const std::string& path = FilePath();
  vx::StringSink preview;
  vx::RewriteOptions options;
  options.match = match;
  options.dry_run = true;
  options.preview = &preview;
  Write(path, content);
  const vx::RewriteOutcome dry = vx::RewriteFile(path, pairs, reading, options);
  VX_FUZZ_CHECK(Read(path) == content);

  options.dry_run = false;
  options.preview = nullptr;
  if (bits & 64) options.buffer_bytes = 1 + content.size() % 7;
  const vx::RewriteOutcome real = vx::RewriteFile(path, pairs, reading, options);
  // (A match near the engine's limits may pass them in one way of reading.)
  if ((bits & 64) && (real.status == vx::RewriteStatus::kTooComplex) != (dry.status == vx::RewriteStatus::kTooComplex))
    return 0;
  VX_FUZZ_CHECK(real.status == dry.status);
  switch (real.status) {
    case vx::RewriteStatus::kDone:
      VX_FUZZ_CHECK(real.count == dry.count);
      VX_FUZZ_CHECK(Read(path) == preview.text);
      break;
    case vx::RewriteStatus::kNotText:
    case vx::RewriteStatus::kUnrepresentable:
    case vx::RewriteStatus::kTooComplex:
      VX_FUZZ_CHECK(Read(path) == content);  // left exactly as it was
      break;
    default:
      VX_FUZZ_CHECK(false);  // nothing else can befall a file in a folder of its own
  }
  return 0;
}
