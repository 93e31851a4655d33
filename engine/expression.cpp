#include "engine/expression.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "engine/decode.h"
#include "engine/pattern_text.h"
#include "engine/regex_match.h"
#include "engine/rewrite.h"
#include "platform/unicode.h"

namespace vx {
namespace {

// A replacement template as typed, parsed into parts: literal text in the
// typed code page and references to groups. Parsed once, when the run's
// texts are checked, and kept for every file of the run (the process keeps
// the templates it parsed, as it keeps the compiled expressions); each file
// only puts the literal parts into its own code page and line breaks.
struct TemplatePart {
  // Literal text: the runs of it between its line breaks ("\\n", which
  // stands for the file's own line break).
  std::vector<std::string> lines = {std::string()};
  int group = -1;          // a group by number; -1: the text (or a name)
  std::string name;        // a group by name, when not empty
  std::size_t offset = 0;  // the reference's place, in characters of the typed text

  bool literal() const { return group < 0 && name.empty(); }
  // The literal text with `line_break` for its line breaks.
  std::string Text(std::string_view line_break) const {
    std::string text = lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i) (text += line_break) += lines[i];
    return text;
  }
};

using Template = std::vector<TemplatePart>;

// The walk over a typed text by characters, counting them.
struct TypedWalk {
  std::string_view text;
  LeadBytes lead;
  bool utf8;
  std::size_t Length(std::size_t i) const {
    if (!utf8) return CharLength(text, i, lead);
    std::size_t n = 1;
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    return n;
  }
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsDigit(c) || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The regex replacement's syntax: the escapes of the literal texts ("\\n",
// "\\t", "\\\\"), "\\$" and "$$" for a dollar, "\\0".."\\9", "$0".."$99",
// "${n}", "$&" and "${name}" for groups. A "$" that begins none of these is
// itself.
Template ParseTemplate(std::string_view typed, CodePage code_page) {
  const TypedWalk walk{typed.substr(0, typed.find('\0')), WalkOf(code_page).lead(), code_page == CodePage::kUtf8};
  const std::string_view t = walk.text;
  Template parts(1);
  const auto reference = [&](int group, std::string name, std::size_t offset) {
    TemplatePart& part = parts.emplace_back();
    part.group = group;
    part.name = std::move(name);
    part.offset = offset;
    parts.emplace_back();
  };
  const auto text = [&]() -> std::string& { return parts.back().lines.back(); };
  std::size_t chars = 0;
  for (std::size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (c == '\\' && i + 1 < t.size()) {
      const char d = t[i + 1];
      if (d == 'n' || d == 't' || d == '\\' || d == '$' || IsDigit(d)) {
        if (d == 'n') parts.back().lines.emplace_back();
        if (d == 't') text() += '\t';
        if (d == '\\' || d == '$') text() += d;
        if (IsDigit(d)) reference(d - '0', {}, chars);
        i += 2;
        chars += 2;
        continue;
      }
    } else if (c == '$' && i + 1 < t.size()) {
      const char d = t[i + 1];
      std::size_t end = i + 1;
      if (d == '$') {
        text() += '$';
        i += 2;
        chars += 2;
        continue;
      }
      if (d == '&') {
        reference(0, {}, chars);
        i += 2;
        chars += 2;
        continue;
      }
      if (IsDigit(d)) {
        while (end < t.size() && IsDigit(t[end])) ++end;
        const std::string_view digits = t.substr(i + 1, end - i - 1);
        reference(digits.size() > 6 ? 1 << 30 : std::stoi(std::string(digits)), {}, chars);
        chars += end - i;
        i = end;
        continue;
      }
      if (d == '{') {
        end = i + 2;
        while (end < t.size() && IsNameChar(t[end])) ++end;
        const std::string_view inside = t.substr(i + 2, end - i - 2);
        if (end < t.size() && t[end] == '}' && !inside.empty()) {
          if (IsDigit(inside[0])) {
            bool digits = true;
            for (const char k : inside) digits = digits && IsDigit(k);
            if (digits) {
              reference(inside.size() > 6 ? 1 << 30 : std::stoi(std::string(inside)), {}, chars);
              chars += end + 1 - i;
              i = end + 1;
              continue;
            }
          } else {
            reference(-1, std::string(inside), chars);
            chars += end + 1 - i;
            i = end + 1;
            continue;
          }
        }
      }
    }
    const std::size_t n = walk.Length(i);
    text().append(t, i, n);
    i += n;
    ++chars;
  }
  return parts;
}

// The parsed template of a typed replacement, from the templates the
// process keeps.
std::shared_ptr<const Template> TemplateOf(const std::string& typed, CodePage code_page) {
  using Key = std::pair<std::string, CodePage>;
  static std::mutex mutex;
  static std::map<Key, std::shared_ptr<const Template>> kept;
  Key key{typed, code_page};
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = kept.find(key); found != kept.end()) return found->second;
  }
  auto parsed = std::make_shared<const Template>(ParseTemplate(typed, code_page));
  const std::lock_guard<std::mutex> lock(mutex);
  if (kept.size() >= 256) kept.clear();  // the holders keep theirs
  return kept.emplace(std::move(key), std::move(parsed)).first->second;
}

bool ToUtf8(std::string_view text, CodePage code_page, std::string* out) {
  if (code_page == CodePage::kUtf8) {
    out->assign(text);
    return IsUtf8(*out);
  }
  return ConvertText(text, code_page, CodePage::kUtf8, out);
}

int WidthFor(CodePage file) { return file == CodePage::kUtf8 ? 8 : 16; }

// The patterns a pair's search text stands for under the options (UTF-8):
// the expression, or each alternative of a literal text. Empty ones find
// nothing and are left out. False when the text has no UTF-8 form.
bool PatternsOf(const ReplacePair& pair, CodePage typed, std::string_view line_break, const MatchOptions& options,
                std::vector<std::string>* patterns) {
  patterns->clear();
  std::vector<std::string> sources;
  if (options.regex) {
    sources.emplace_back(pair.search.substr(0, pair.search.find('\0')));
  } else {
    sources = SplitAlternatives(DecodeText(pair.search, true, WalkOf(typed).lead(), line_break));
  }
  for (const std::string& source : sources) {
    if (source.empty()) continue;
    std::string utf8;
    if (!ToUtf8(source, typed, &utf8)) return false;
    std::string pattern =
        options.regex ? WithLineRules(options.fold ? FoldPattern(utf8) : utf8) : LiteralPattern(utf8, options.fold);
    patterns->push_back(options.word ? WordPattern(pattern) : std::move(pattern));
  }
  return true;
}

}  // namespace

std::optional<PatternError> CheckPatterns(const std::vector<ReplacePair>& pairs, CodePage typed,
                                          const MatchOptions& options) {
  if (options.plain()) return std::nullopt;
  std::vector<std::string> patterns;
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const ReplacePair& pair = pairs[k];
    if (!PatternsOf(pair, typed, kCrLf, options, &patterns))
      return PatternError{k, false, 0, "the search text has no Unicode form"};
    if (patterns.empty()) continue;
    Expression::Error error;
    // The expression as typed first, so that a fault's place is its own.
    if (options.regex) {
      std::string utf8;
      ToUtf8(pair.search.substr(0, pair.search.find('\0')), typed, &utf8);
      if (!Expression::Get(utf8, options.ignore_case, 8, &error))
        return PatternError{k, false, error.offset, error.reason};
    }
    std::shared_ptr<const Expression> expression;
    for (const std::string& pattern : patterns) {
      expression = Expression::Get(pattern, options.ignore_case, 8, &error);
      if (!expression) return PatternError{k, false, 0, error.reason};
    }
    if (!options.regex) continue;
    for (const TemplatePart& part : *TemplateOf(pair.replace, typed)) {
      if (!part.name.empty() && expression->GroupNumber(part.name) < 0)
        return PatternError{k, true, part.offset, "no group named " + part.name};
      if (part.name.empty() && part.group >= 0 && static_cast<std::uint32_t>(part.group) > expression->group_count())
        return PatternError{k, true, part.offset, "no group " + std::to_string(part.group)};
    }
  }
  return std::nullopt;
}

FileTexts ExpressionTexts(const std::vector<ReplacePair>& pairs, CodePage typed, CodePage file,
                          std::string_view line_break, const MatchOptions& options) {
  FileTexts texts;
  texts.code_page = file;
  std::vector<std::string> patterns;
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const ReplacePair& pair = pairs[k];
    texts.replacements.emplace_back();
    std::vector<ReplacementPiece>& pieces = texts.pieces.emplace_back();
    if (!PatternsOf(pair, typed, line_break, options, &patterns)) continue;
    std::shared_ptr<const Expression> expression;
    for (const std::string& pattern : patterns) {
      if ((expression = Expression::Get(pattern, options.ignore_case, WidthFor(file))))
        texts.alternatives.push_back({{}, k, false, expression});
    }
    if (!expression) continue;
    // The replacement: in literal mode its text as a whole; as a template,
    // its parts, each literal one put into the file's code page and line
    // breaks.
    const auto put_text = [&](const std::string& text) {
      if (text.empty()) return;
      std::string converted;
      if (!ConvertText(text, typed, file, &converted)) texts.unrepresentable = true;
      pieces.push_back({std::move(converted), -1});
    };
    if (!options.regex) {
      put_text(DecodeText(pair.replace, false, WalkOf(typed).lead(), line_break));
      continue;
    }
    for (const TemplatePart& part : *TemplateOf(pair.replace, typed)) {
      if (part.literal())
        put_text(part.Text(line_break));
      else
        pieces.push_back({{}, part.name.empty() ? part.group : expression->GroupNumber(part.name)});
    }
  }
  return texts;
}

std::string FormatPatternError(const PatternError& error, CodePage log) {
  std::string text = "正規表現が正しくありません。\n";
  text += error.in_replacement ? "置換文字列の " : "検索文字列の ";
  text += std::to_string(error.offset + 1);
  text += "文字目：";
  std::string converted;
  if (log != CodePage::kCp932 && log != CodePage::kNone && ConvertText(text, CodePage::kCp932, log, &converted))
    text = converted;
  return text + error.reason;
}

}  // namespace vx
