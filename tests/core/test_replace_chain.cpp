#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "engine/replace_chain.h"
#include "reference.h"

namespace vx {
namespace {

// The typed pairs as texts of a code page 932 file (or of single bytes).
FileTexts Typed(const std::vector<ReplacePair>& pairs, const LeadBytes& lead) {
  const CodePage code_page = lead.empty() ? CodePage::kNone : CodePage::kCp932;
  return TextsFor(pairs, code_page, code_page);
}

// Keeps the output and counts the pieces that do not come placed as a file
// places them: each at its own offset in the output within a 64-byte line.
class PlacedSink : public StringSink {
 public:
  void Put(const char* data, std::size_t n) override {
    misplaced += reinterpret_cast<std::uintptr_t>(data) % 64 != text.size() % 64;
    StringSink::Put(data, n);
  }
  int misplaced = 0;
};

// Feeds `text` in pieces of random sizes, after a byte-order mark of 0 to 3
// bytes passed on as it is, and returns the chain's output after the mark.
std::string RunChain(const std::string& text, const FileTexts& texts, const TextWalk& walk, std::size_t chunk,
                     std::mt19937& rng, std::int64_t* count) {
  PlacedSink sink;
  ReplaceChain chain(texts, walk, &sink, chunk);
  const std::string mark = std::string("\xEF\xBB\xBF").substr(0, rng() % 4);
  chain.PassOn(mark.data(), mark.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = std::min<std::size_t>(text.size() - at, 1 + rng() % (2 * chunk + 3));
    chain.Feed(text.data() + at, n);
    at += n;
  }
  chain.Finish();
  *count = chain.count();
  EXPECT_EQ(sink.misplaced, 0);
  EXPECT_EQ(sink.text.substr(0, mark.size()), mark);
  return sink.text.substr(mark.size());
}

TEST(ReplaceChain, EmptyAlternativesHaveNoStage) {
  const LeadBytes lead = LeadBytes::Cp932();
  StringSink sink;
  ReplaceChain chain(Typed({{"", "x"}, {"a\\|\\|b\\|", "y"}}, lead), lead, &sink);
  EXPECT_EQ(chain.stage_count(), 2u);
  chain.Feed("abc", 3);
  chain.Finish();
  EXPECT_EQ(sink.text, "yyc");
  EXPECT_EQ(chain.count(), 2);
}

// Read in as a file is, in pieces of whole lines, the input lands on a line
// every time, as the output leaves on its own offset: the kernel's copies
// into and out of the chain run at full speed.
TEST(ReplaceChain, ReadsLandOnALine) {
  const LeadBytes lead = LeadBytes::Cp932();
  PlacedSink sink;
  ReplaceChain chain(Typed({{"\x82\xCC", "xyz"}, {"AB", ""}}, lead), lead, &sink, 4096);
  std::mt19937 rng(64);
  std::string text;
  for (int piece = 0; piece < 64; ++piece) {
    char* at = chain.InputSpace(4096);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at) % 64, 0u) << "piece " << piece;
    for (int i = 0; i < 4096; i += 2) std::memcpy(at + i, rng() % 8 ? "aA" : rng() % 2 ? "\x82\xCC" : "BA", 2);
    text.append(at, 4096);
    chain.Commit(4096);
  }
  chain.Finish();
  std::size_t count = ReplaceAllReference(&text, "\x82\xCC", "xyz", lead);
  count += ReplaceAllReference(&text, "AB", "", lead);
  EXPECT_EQ(chain.count(), static_cast<std::int64_t>(count));
  EXPECT_TRUE(sink.text == text);
  EXPECT_EQ(sink.misplaced, 0);
}

// A long replace list applied at once: thousands of stages, each working
// off what the one before produced.
TEST(ReplaceChain, ThousandsOfPairs) {
  const LeadBytes lead = LeadBytes::Cp932();
  std::vector<ReplacePair> pairs;
  for (int i = 0; i < 3000; ++i) pairs.push_back({i % 2 ? "b" : "a", i % 2 ? "a" : "b"});
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "a\x82\x9F" "c";
  std::string expected = text;
  const std::int64_t expected_count = reference::PassByPass(&expected, pairs, lead);
  for (std::size_t chunk : {std::size_t{50}, std::size_t{1} << 18}) {
    StringSink sink;
    ReplaceChain chain(Typed(pairs, lead), lead, &sink, chunk);
    chain.Feed(text.data(), text.size());
    chain.Finish();
    EXPECT_EQ(chain.count(), expected_count);
    EXPECT_EQ(chain.count(), 3000 * 5000);
    EXPECT_TRUE(sink.text == expected);
  }
}

// The chain against the pass-by-pass definition on random text, with every
// buffer size from one byte up, so matches and characters straddle every
// kind of edge between the pieces.
TEST(ReplaceChain, AgreesWithPassByPass) {
  std::mt19937 rng(7);
  const LeadBytes cp932 = LeadBytes::Cp932(), none;
  const char* const kTyped[] = {"\x82\x9F", "A", "\\\\", "\x9F\x82", "\x82", "AA", "A\\|\x82\x9F", "\x95\x5C" "A",
                                "\x82\x82\x82", "\\n", "\x9F\\|A\x82\\|\\|\x82\x9F\x82", "\r\n\x82", "AAAAAAA"};
  const char* const kReplacements[] = {"", "A", "\x82", "\x82\x9F", "AA\x9F", "\\n", "AAAAAAAA"};
  static const unsigned char kBytes[] = {0x82, 0x9F, 0x41, 0x5C, 0x95, 0x0D, 0x0A, 0x61, 0xE0, 0x40};
  for (int round = 0; round < 20000; ++round) {
    const LeadBytes& lead = round % 5 == 0 ? none : cp932;
    std::string text(rng() % (round % 20 == 0 ? 3000 : 120), '\0');
    for (char& c : text) c = static_cast<char>(kBytes[rng() % std::size(kBytes)]);
    std::vector<ReplacePair> pairs;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k)
      pairs.push_back({kTyped[rng() % std::size(kTyped)], kReplacements[rng() % std::size(kReplacements)]});
    std::string expected = text;
    const std::int64_t expected_count = reference::PassByPass(&expected, pairs, lead);
    std::int64_t count = -1;
    const std::size_t chunk = 1 + rng() % 24;
    const std::string got = RunChain(text, Typed(pairs, lead), lead, chunk, rng, &count);
    ASSERT_EQ(count, expected_count) << "round " << round << " chunk " << chunk;
    ASSERT_EQ(got, expected) << "round " << round << " chunk " << chunk;
  }
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// UTF-16 through pieces of every size from one byte up: a match is found on
// units counted from the start of the text however the pieces and the
// stages' kept bytes cut the units and the surrogate pairs, and never on a
// unit's second byte.
TEST(ReplaceChain, Utf16AgreesWithTheReferenceAtEveryEdge) {
  std::mt19937 rng(1200);
  static const char* const kUnits[] = {"\x41\x00", "\x00\x41", "\x41\x41", "\x3D\xD8", "\x00\xDE", "\x42\x30"};
  const auto units = [&](std::size_t n) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k) s.append(kUnits[rng() % std::size(kUnits)], 2);
    return s;
  };
  for (int round = 0; round < 5000; ++round) {
    const TextWalk walk = TextWalk::Utf16(round % 2 != 0);
    const std::string text = units(rng() % (round % 20 == 0 ? 1500 : 60));
    FileTexts texts;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k) {
      // Cut from the text (at odd offsets too) or made up; the replacement of
      // 0 to 3 units, odd and even bytes of it alike.
      std::string alternative = units(1 + rng() % 3);
      if (text.size() > 4 && rng() % 2) alternative = text.substr(rng() % (text.size() - 4), 2 + rng() % 3);
      texts.alternatives.push_back({alternative, texts.replacements.size()});
      texts.replacements.push_back(units(rng() % 4));
    }
    std::string expected = text;
    std::int64_t expected_count = 0;
    for (const FileTexts::Alternative& a : texts.alternatives)
      expected_count += static_cast<std::int64_t>(ReplaceAllReference(&expected, a.text, texts.replacements[a.pair], walk));
    std::int64_t count = -1;
    const std::size_t chunk = 1 + rng() % 12;
    const std::string got = RunChain(text, texts, walk, chunk, rng, &count);
    ASSERT_EQ(count, expected_count) << "round " << round << " chunk " << chunk;
    ASSERT_EQ(got, expected) << "round " << round << " chunk " << chunk;
  }
}

}  // namespace
}  // namespace vx
