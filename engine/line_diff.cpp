#include "engine/line_diff.h"

#include <algorithm>
#include <cstdint>
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
  // `lines`: how many different lines the two sequences hold (each number
  // is below it).
  Differ(const std::vector<int>& a, const std::vector<int>& b, std::size_t lines)
      : a_(a), b_(b), removed(a.size(), false), added(b.size(), false), counts_(lines, 0) {}

  void Compare(int a0, int a1, int b0, int b1) {
    while (a0 < a1 && b0 < b1 && a_[a0] == b_[b0]) ++a0, ++b0;
    while (a0 < a1 && b0 < b1 && a_[a1 - 1] == b_[b1 - 1]) --a1, --b1;
    if (a0 == a1 || b0 == b1 || SearchCannotSucceed(a0, a1, b0, b1) || !SplitAndCompare(a0, a1, b0, b1)) {
      std::fill(removed.begin() + a0, removed.begin() + a1, true);
      std::fill(added.begin() + b0, added.begin() + b1, true);
    }
  }

  const std::vector<int>& a_;
  const std::vector<int>& b_;
  std::vector<bool> removed, added;

 private:
  // Whether the two ranges surely differ by more edits than the search
  // goes to (it meets at half their number), so that it would settle all
  // the same: a line of one range can match only a copy of it in the
  // other, so the edits are at least n + m less twice the lines they
  // share, counted with their copies. (A file rewritten on nearly every
  // line is settled at once instead of after the whole search.)
  bool SearchCannotSucceed(int a0, int a1, int b0, int b1) {
    const std::int64_t n = a1 - a0, m = b1 - b0, most = 2 * static_cast<std::int64_t>(kMostCostlySearch);
    if (n + m < most) return false;
    for (int i = a0; i < a1; ++i) ++counts_[static_cast<std::size_t>(a_[i])];
    std::int64_t shared = 0;
    for (int j = b0; j < b1; ++j) {
      int& left = counts_[static_cast<std::size_t>(b_[j])];
      if (left > 0) --left, ++shared;
    }
    for (int i = a0; i < a1; ++i) counts_[static_cast<std::size_t>(a_[i])] = 0;
    return n + m - 2 * shared >= most;
  }

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

  std::vector<int> counts_;  // SearchCannotSucceed's, all 0 between calls
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

// The lines of two texts and which of them a shortest edit script (or, for
// very many changes, a longer one) removes and adds.
struct LineScript {
  std::vector<std::string_view> old_lines, new_lines;
  std::vector<bool> removed, added;
};

LineScript CompareLines(std::string_view before, std::string_view after) {
  LineScript script;
  script.old_lines = SplitLines(before);
  script.new_lines = SplitLines(after);
  std::unordered_map<std::string_view, int> numbers;
  auto number = [&](const std::vector<std::string_view>& lines) {
    std::vector<int> out;
    out.reserve(lines.size());
    for (std::string_view line : lines) out.push_back(numbers.try_emplace(line, static_cast<int>(numbers.size())).first->second);
    return out;
  };
  const std::vector<int> a = number(script.old_lines), b = number(script.new_lines);
  Differ differ(a, b, numbers.size());
  differ.Compare(0, static_cast<int>(a.size()), 0, static_cast<int>(b.size()));
  script.removed = std::move(differ.removed);
  script.added = std::move(differ.added);
  return script;
}

// The script as operations in text order: at each step a removed old line,
// else an added new line, else a line both keep.
std::vector<Op> Operations(const LineScript& script, std::vector<std::size_t>* changes) {
  const int n = static_cast<int>(script.old_lines.size()), m = static_cast<int>(script.new_lines.size());
  std::vector<Op> ops;
  for (int i = 0, j = 0; i < n || j < m;) {
    if (i < n && script.removed[i]) {
      if (changes) changes->push_back(ops.size());
      ops.push_back({'-', i++, j});
    } else if (j < m && script.added[j]) {
      if (changes) changes->push_back(ops.size());
      ops.push_back({'+', i, j++});
    } else {
      ops.push_back({' ', i++, j++});
    }
  }
  return ops;
}

}  // namespace

std::string UnifiedDiffHunks(std::string_view before, std::string_view after, std::size_t context) {
  const LineScript script = CompareLines(before, after);
  const std::vector<std::string_view>& old_lines = script.old_lines;
  const std::vector<std::string_view>& new_lines = script.new_lines;
  std::vector<std::size_t> changes;
  const std::vector<Op> ops = Operations(script, &changes);

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

std::string WithoutLineBreak(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(line);
}

}  // namespace

std::vector<ChangedLine> ChangedLines(std::string_view before, std::string_view after) {
  // The changes of the script, as UnifiedDiffHunks(before, after, 0) gives
  // them: each run of removed lines then added lines, between kept ones.
  const LineScript script = CompareLines(before, after);
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
  for (const Op& op : Operations(script, nullptr)) {
    if (op.kind == '-') {
      gone.push_back({false, static_cast<std::size_t>(op.old_line) + 1, WithoutLineBreak(script.old_lines[op.old_line])});
    } else if (op.kind == '+') {
      come.push_back({true, static_cast<std::size_t>(op.new_line) + 1, WithoutLineBreak(script.new_lines[op.new_line])});
    } else {
      flush();
    }
  }
  flush();
  return out;
}

}  // namespace vx
