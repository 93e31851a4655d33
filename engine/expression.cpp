#include "engine/expression.h"

#include "engine/rewrite.h"

namespace vx {

std::optional<PatternError> CheckPatterns(const std::vector<ReplacePair>&, CodePage, const MatchOptions&) {
  return std::nullopt;
}

std::string FormatPatternError(const PatternError& error, CodePage log) {
  std::string text = "正規表現が正しくありません。\n";
  std::string converted;
  if (log != CodePage::kCp932 && ConvertText(text, CodePage::kCp932, log, &converted)) text = converted;
  return text + error.reason;
}

}  // namespace vx
