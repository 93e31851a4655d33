#include "engine/line_diff.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace vx {

CodePage LinesText(Encoding encoding, CodePage code_page, std::string* text) {
  text->erase(0, std::min(MarkLength(encoding), text->size()));
  switch (encoding) {
    case Encoding::kCodePage: return code_page;
    case Encoding::kUtf8:
    case Encoding::kUtf8Bom: return CodePage::kUtf8;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: {
      std::string utf8;
      const CodePage from = encoding == Encoding::kUtf16Le ? CodePage::kUtf16Le : CodePage::kUtf16Be;
      if (!ConvertText(*text, from, CodePage::kUtf8, &utf8)) return CodePage::kNone;
      *text = std::move(utf8);
      return CodePage::kUtf8;
    }
  }
  return code_page;
}

namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

// How far the search for a shortest edit script goes before it settles for
// a longer one: its time grows with the number of lines times this.
constexpr int kMostCostlySearch = 4096;

// The shortest edit script between two sequences of line numbers (equal
// lines, equal numbers), by the linear-space divide and conquer of Myers'
// O(ND) algorithm: find a point of a shortest path in the middle, then solve
// the two halves. It marks the lines that go and the lines that come.
class Differ {
 public:
  Differ(const std::vector<int>& a, const std::vector<int>& b)
      : a_(a), b_(b), removed(a.size(), false), added(b.size(), false) {}

  void Compare(int a0, int a1, int b0, int b1) {
    while (a0 < a1 && b0 < b1 && a_[a0] == b_[b0]) ++a0, ++b0;
    while (a0 < a1 && b0 < b1 && a_[a1 - 1] == b_[b1 - 1]) --a1, --b1;
    if (a0 == a1 || b0 == b1 || !SplitAndCompare(a0, a1, b0, b1)) {
      std::fill(removed.begin() + a0, removed.begin() + a1, true);
      std::fill(added.begin() + b0, added.begin() + b1, true);
    }
  }

  const std::vector<int>& a_;
  const std::vector<int>& b_;
  std::vector<bool> removed, added;

 private:
  // Searches from both ends at once until the paths meet; false if they do
  // not within kMostCostlySearch steps (or the two ranges share no line).
  bool SplitAndCompare(int a0, int a1, int b0, int b1) {
    const int n = a1 - a0, m = b1 - b0;
    const int max_d = (n + m + 1) / 2;
    const int offset = max_d + 1;
    const int length = 2 * max_d + 3;
    std::vector<int> forward(length, -1), backward(length, -1);
    forward[offset + 1] = 0;
    backward[offset + 1] = 0;
    const int delta = n - m;
    const bool front = delta % 2 != 0;  // which search sees the meeting first
    int k1start = 0, k1end = 0, k2start = 0, k2end = 0;
    const auto split = [&](int x, int y) {
      if ((x == 0 && y == 0) || (x == n && y == m)) return false;  // no progress: settle
      Compare(a0, a0 + x, b0, b0 + y);
      Compare(a0 + x, a1, b0 + y, b1);
      return true;
    };
    for (int d = 0; d < std::min(max_d, kMostCostlySearch); ++d) {
      for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
        const int at = offset + k1;
        int x = (k1 == -d || (k1 != d && forward[at - 1] < forward[at + 1])) ? forward[at + 1] : forward[at - 1] + 1;
        int y = x - k1;
        while (x < n && y < m && a_[a0 + x] == b_[b0 + y]) ++x, ++y;
        forward[at] = x;
        if (x > n) {
          k1end += 2;
        } else if (y > m) {
          k1start += 2;
        } else if (front) {
          const int other = offset + delta - k1;
          if (other >= 0 && other < length && backward[other] != -1 && x >= n - backward[other]) return split(x, y);
        }
      }
      for (int k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
        const int at = offset + k2;
        int x = (k2 == -d || (k2 != d && backward[at - 1] < backward[at + 1])) ? backward[at + 1]
                                                                                : backward[at - 1] + 1;
        int y = x - k2;
        while (x < n && y < m && a_[a1 - x - 1] == b_[b1 - y - 1]) ++x, ++y;
        backward[at] = x;
        if (x > n) {
          k2end += 2;
        } else if (y > m) {
          k2start += 2;
        } else if (!front) {
          const int other = offset + delta - k2;
          if (other >= 0 && other < length && forward[other] != -1) {
            const int x1 = forward[other];
            const int y1 = x1 - (other - offset);
            if (x1 >= n - x) return split(x1, y1);
          }
        }
      }
    }
    return false;
  }
};

struct Op {
  char kind;  // ' ', '-' or '+'
  int old_line, new_line;  // 0-based positions in the two texts when the op is reached
};

// "start,count" of one side of a hunk header, as unified diffs write it: a
// single line is its number alone, and an empty side names the line before.
std::string Range(int start, int count) {
  if (count == 1) return std::to_string(start + 1);
  return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

}  // namespace

std::string UnifiedDiffHunks(std::string_view before, std::string_view after, std::size_t context) {
  const std::vector<std::string_view> old_lines = SplitLines(before), new_lines = SplitLines(after);
  std::unordered_map<std::string_view, int> numbers;
  auto number = [&](const std::vector<std::string_view>& lines) {
    std::vector<int> out;
    out.reserve(lines.size());
    for (std::string_view line : lines) out.push_back(numbers.try_emplace(line, static_cast<int>(numbers.size())).first->second);
    return out;
  };
  const std::vector<int> a = number(old_lines), b = number(new_lines);
  Differ differ(a, b);
  differ.Compare(0, static_cast<int>(a.size()), 0, static_cast<int>(b.size()));

  std::vector<Op> ops;
  std::vector<std::size_t> changes;
  for (int i = 0, j = 0; i < static_cast<int>(a.size()) || j < static_cast<int>(b.size());) {
    if (i < static_cast<int>(a.size()) && differ.removed[i]) {
      changes.push_back(ops.size());
      ops.push_back({'-', i++, j});
    } else if (j < static_cast<int>(b.size()) && differ.added[j]) {
      changes.push_back(ops.size());
      ops.push_back({'+', i, j++});
    } else {
      ops.push_back({' ', i++, j++});
    }
  }

  std::string out;
  const auto line_of = [&](const Op& op) { return op.kind == '+' ? new_lines[op.new_line] : old_lines[op.old_line]; };
  for (std::size_t c = 0; c < changes.size();) {
    // A hunk takes the changes whose unchanged lines between them fit in two contexts.
    std::size_t last = c;
    while (last + 1 < changes.size() && changes[last + 1] - changes[last] - 1 <= 2 * context) ++last;
    const std::size_t begin = changes[c] > context ? changes[c] - context : 0;
    const std::size_t end = std::min(ops.size(), changes[last] + context + 1);
    int old_count = 0, new_count = 0;
    for (std::size_t k = begin; k < end; ++k) {
      old_count += ops[k].kind != '+';
      new_count += ops[k].kind != '-';
    }
    out += "@@ -" + Range(ops[begin].old_line, old_count) + " +" + Range(ops[begin].new_line, new_count) + " @@\n";
    for (std::size_t k = begin; k < end; ++k) {
      const std::string_view line = line_of(ops[k]);
      out += ops[k].kind;
      out += line;
      if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
    }
    c = last + 1;
  }
  return out;
}

}  // namespace vx

namespace vx {

namespace {

// The number after `at` in a hunk header, moving `at` past it.
std::size_t ReadNumber(std::string_view text, std::size_t* at) {
  std::size_t n = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') n = n * 10 + static_cast<std::size_t>(text[(*at)++] - '0');
  return n;
}

std::string WithoutLineBreak(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(line);
}

}  // namespace

std::vector<ChangedLine> ChangedLines(std::string_view before, std::string_view after) {
  const std::string hunks = UnifiedDiffHunks(before, after, 0);
  std::vector<ChangedLine> out;
  std::vector<ChangedLine> gone, come;
  const auto flush = [&] {
    for (std::size_t k = 0; k < std::max(gone.size(), come.size()); ++k) {
      if (k < gone.size()) out.push_back(std::move(gone[k]));
      if (k < come.size()) out.push_back(std::move(come[k]));
    }
    gone.clear();
    come.clear();
  };
  std::size_t old_line = 0, new_line = 0;
  const std::string_view text(hunks);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    const std::string_view line = text.substr(at, end - at);
    at = end;
    if (line.starts_with("@@ -")) {
      flush();
      // "@@ -a[,b] +c[,d] @@": an empty side's number is that of the line before.
      std::size_t p = 4;
      old_line = ReadNumber(line, &p);
      std::size_t old_count = 1;
      if (p < line.size() && line[p] == ',') ++p, old_count = ReadNumber(line, &p);
      p += 2;  // " +"
      new_line = ReadNumber(line, &p);
      std::size_t new_count = 1;
      if (p < line.size() && line[p] == ',') ++p, new_count = ReadNumber(line, &p);
      if (old_count == 0) ++old_line;
      if (new_count == 0) ++new_line;
    } else if (line.starts_with("-")) {
      gone.push_back({false, old_line++, WithoutLineBreak(line.substr(1))});
    } else if (line.starts_with("+")) {
      come.push_back({true, new_line++, WithoutLineBreak(line.substr(1))});
    } else if (line.starts_with(" ")) {
      flush();
      ++old_line, ++new_line;
    }
    // "\ No newline at end of file" belongs to the line before it.
  }
  flush();
  return out;
}

}  // namespace vx
