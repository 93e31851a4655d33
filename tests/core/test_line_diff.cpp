// The unified diff of vextrane-cli --diff: its exact form on a table of
// cases, and against a plain longest-common-subsequence reference on random
// texts (the diff applied gives the new text, with no more changed lines
// than a shortest edit script has).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/line_diff.h"

namespace {

TEST(LineDiff, UnifiedForm) {
  struct Row {
    const char* name;
    std::string before, after;
    std::size_t context;
    std::string hunks;
  } rows[] = {
      {"equal", "a\nb\n", "a\nb\n", 3, ""},
      {"both empty", "", "", 3, ""},
      {"one line changed, CR LF kept", "a\r\nb\r\nc\r\n", "a\r\nB\r\nc\r\n", 3,
       "@@ -1,3 +1,3 @@\n a\r\n-b\r\n+B\r\n c\r\n"},
      {"no context", "a\nb\nc\n", "a\nB\nc\n", 0, "@@ -2 +2 @@\n-b\n+B\n"},
      {"into an empty text", "", "x\n", 3, "@@ -0,0 +1 @@\n+x\n"},
      {"all gone", "x\ny\n", "", 3, "@@ -1,2 +0,0 @@\n-x\n-y\n"},
      {"a line break more", "ab", "a\nb", 0, "@@ -1 +1,2 @@\n-ab\n\\ No newline at end of file\n+a\n+b\n"
                                             "\\ No newline at end of file\n"},
      {"last line gains its break", "a\nb", "a\nb\n", 1,
       "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
      {"changes far apart: two hunks", "1\n2\n3\n4\n5\n6\n7\n", "X\n2\n3\n4\n5\n6\nY\n", 1,
       "@@ -1,2 +1,2 @@\n-1\n+X\n 2\n@@ -6,2 +6,2 @@\n 6\n-7\n+Y\n"},
      {"changes near: one hunk", "1\n2\n3\n4\n", "X\n2\n3\nY\n", 1, "@@ -1,4 +1,4 @@\n-1\n+X\n 2\n 3\n-4\n+Y\n"},
      {"a line inserted", "a\nc\n", "a\nb\nc\n", 1, "@@ -1,2 +1,3 @@\n a\n+b\n c\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::UnifiedDiffHunks(row.before, row.after, row.context), row.hunks) << row.name;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

// Applies the hunks to `before`, checking each context and removed line.
std::string Apply(const std::string& before, const std::string& hunks) {
  const std::vector<std::string> old_lines = Lines(before);
  std::vector<std::string> diff = Lines(hunks);
  std::string out;
  std::size_t next = 0;  // the first old line not yet copied
  for (std::size_t k = 0; k < diff.size(); ++k) {
    std::string line = diff[k];
    if (k + 1 < diff.size() && diff[k + 1] == "\\ No newline at end of file\n") {
      line.pop_back();
      ++k;
    }
    if (line.rfind("@@ -", 0) == 0) {
      std::size_t start = std::stoul(line.substr(4));
      const std::size_t comma = line.find(',');
      const bool empty = comma < line.find(' ', 4) && line.substr(comma + 1, 2) == "0 ";
      if (!empty) --start;  // 1-based, but an empty side names the line before
      while (next < start) out += old_lines[next++];
    } else if (line[0] == ' ' || line[0] == '-') {
      EXPECT_EQ(line.substr(1), old_lines.at(next)) << hunks;
      if (line[0] == ' ') out += old_lines[next];
      ++next;
    } else if (line[0] == '+') {
      out += line.substr(1);
    }
  }
  while (next < old_lines.size()) out += old_lines[next++];
  return out;
}

std::size_t LongestCommon(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::vector<std::size_t>> t(a.size() + 1, std::vector<std::size_t>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;)
    for (std::size_t j = b.size(); j-- > 0;) t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1 : std::max(t[i + 1][j], t[i][j + 1]);
  return t[0][0];
}

// The preview window's lines: each old line right above the line that
// takes its place, with the numbers of both texts.
TEST(LineDiff, ChangedLinesPairOldAboveNew) {
  using L = vx::ChangedLine;
  struct Row {
    const char* name;
    std::string before, after;
    std::vector<L> lines;
  } rows[] = {
      {"equal", "a\nb\n", "a\nb\n", {}},
      {"one line, CR LF dropped", "a\r\nb\r\nc\r\n", "a\r\nB\r\nc\r\n", {{false, 2, "b"}, {true, 2, "B"}}},
      {"two runs apart", "a\nb\nc\nd\n", "A\nb\nc\nD\n",
       {{false, 1, "a"}, {true, 1, "A"}, {false, 4, "d"}, {true, 4, "D"}}},
      {"a run of two, paired", "x\na\nb\ny\n", "x\nA\nB\ny\n",
       {{false, 2, "a"}, {true, 2, "A"}, {false, 3, "b"}, {true, 3, "B"}}},
      {"a line split in two", "ab", "a\nb", {{false, 1, "ab"}, {true, 1, "a"}, {true, 2, "b"}}},
      {"a line gone, numbers after it move", "a\nb\nc\nd\n", "a\nc\nD\n",
       {{false, 2, "b"}, {false, 4, "d"}, {true, 3, "D"}}},
      {"into an empty text", "", "x\n", {{true, 1, "x"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(vx::ChangedLines(row.before, row.after), row.lines);
  }
}

// Long texts, past where the search for a shortest script is cut short.
// A text changed on every line is settled at once: every line gone and
// come, each old line above its new one. One that shares nearly all its
// lines is still searched, also with changes at both ends (nothing to
// trim), and gets only its changed lines. One changed on every third line
// has more changes than the search goes to: its script is longer, but it
// still turns the old text into the new one.
TEST(LineDiff, LongTexts) {
  // `lines` lines, "<x or s> <number>": x on every `every`-th (0: none), first and last around them.
  const auto text = [](const char* first, char x, int every, int lines, const char* last) {
    std::string t = first;
    for (int i = 0; i < lines; ++i) t += std::string(1, every != 0 && i % every == 0 ? x : 's') + " " + std::to_string(i) + "\n";
    return t + last;
  };
  struct Row {
    const char* name;
    std::string before, after;
    std::size_t changed;  // lines gone and come; 0: not a shortest script
  } rows[] = {
      {"every line changed", text("", 'x', 1, 6000, ""), text("", 'y', 1, 6000, ""), 12000},
      {"both ends changed", text("a\n", 'x', 0, 6000, "b\n"), text("A\n", 'y', 0, 6000, "B\n"), 4},
      {"every third line changed", text("", 'x', 3, 30000, ""), text("", 'y', 3, 30000, ""), 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string hunks = vx::UnifiedDiffHunks(row.before, row.after, 0);
    EXPECT_EQ(Apply(row.before, hunks), row.after);
    std::size_t changed = 0;
    for (const std::string& line : Lines(hunks)) changed += line[0] == '-' || line[0] == '+';
    if (row.changed != 0) EXPECT_EQ(changed, row.changed);
    EXPECT_EQ(vx::ChangedLines(row.before, row.after).size(), changed);
  }
  const std::vector<vx::ChangedLine> lines = vx::ChangedLines(rows[0].before, rows[0].after);
  ASSERT_EQ(lines.size(), 12000u);
  EXPECT_EQ(lines[0], (vx::ChangedLine{false, 1, "x 0"}));
  EXPECT_EQ(lines[1], (vx::ChangedLine{true, 1, "y 0"}));
  EXPECT_EQ(lines.back(), (vx::ChangedLine{true, 6000, "y 5999"}));
}

TEST(LineDiff, AppliesAndIsShortestAgainstAReference) {
  std::mt19937 rng(20260);
  const char* pieces[] = {"a\n", "b\n", "c\r\n", "\n", "d"};
  for (int round = 0; round < 2000; ++round) {
    auto text = [&] {
      std::string t;
      for (std::size_t n = rng() % 14; n > 0; --n) t += pieces[rng() % std::size(pieces)];
      return t;
    };
    const std::string before = text(), after = text();
    const std::size_t context = rng() % 4;
    const std::string hunks = vx::UnifiedDiffHunks(before, after, context);
    ASSERT_EQ(Apply(before, hunks), after) << before << "|" << after << "|" << hunks;
    std::size_t changed = 0;
    for (const std::string& line : Lines(hunks)) changed += line[0] == '-' || line[0] == '+';
    const std::vector<std::string> a = Lines(before), b = Lines(after);
    ASSERT_EQ(changed, a.size() + b.size() - 2 * LongestCommon(a, b)) << before << "|" << after << "|" << hunks;
  }
}

}  // namespace
