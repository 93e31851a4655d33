#include "engine/decode.h"

#include "engine/rewrite.h"

namespace vx {
namespace {

// One whole-text replacement of a two-byte escape. Candidates are tested only
// at character boundaries; the scan resumes after the replaced bytes, so
// inserted bytes are never looked at again within the step.
std::string ReplaceEscape(const std::string& text, char second, std::string_view with, const LeadBytes& lead) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == second) {
      out.append(with);
      i += 2;
    } else {
      const std::size_t n = CharLength(text, i, lead);
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

}  // namespace

std::string DecodeText(std::string_view typed, bool is_search, const LeadBytes& lead, std::string_view line_break) {
  std::string text(typed.substr(0, typed.find('\0')));
  text = ReplaceEscape(text, '\\', std::string_view(&kEscapePlaceholder, 1), lead);
  text = ReplaceEscape(text, 'n', line_break, lead);
  text = ReplaceEscape(text, 't', "\t", lead);
  if (is_search) text = ReplaceEscape(text, '|', std::string_view(&kAlternativeSeparator, 1), lead);
  // The placeholders back to backslashes: each one that begins a character.
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i, lead)) {
    if (text[i] == kEscapePlaceholder) text[i] = '\\';
  }
  return text;
}

DecodedTexts DecodeEscapes(std::string_view typed_search, std::string_view typed_replace, const LeadBytes& lead,
                           std::string_view line_break) {
  return DecodedTexts{DecodeText(typed_search, true, lead, line_break),
                      DecodeText(typed_replace, false, lead, line_break)};
}

std::vector<std::string> SplitAlternatives(std::string_view decoded_search) {
  std::vector<std::string> alternatives;
  for (;;) {
    const std::size_t cut = decoded_search.find(kAlternativeSeparator);
    alternatives.emplace_back(decoded_search.substr(0, cut));
    if (cut == std::string_view::npos) return alternatives;
    decoded_search.remove_prefix(cut + 1);
  }
}

FileTexts TextsFor(const std::vector<ReplacePair>& pairs, CodePage typed, CodePage file,
                   std::string_view line_break, const MatchOptions& options) {
  if (!options.plain()) return ExpressionTexts(pairs, typed, file, line_break, options);
  const LeadBytes lead = WalkOf(typed).lead();
  const bool unicode = typed == CodePage::kUtf8 || typed == CodePage::kUtf16Le || typed == CodePage::kUtf16Be;
  const bool any_form = unicode && IsCp932(file);
  FileTexts texts;
  texts.code_page = file;
  texts.replacements.reserve(pairs.size());
  for (const ReplacePair& pair : pairs) {
    const DecodedTexts decoded = DecodeEscapes(pair.search, pair.replace, lead, line_break);
    const std::size_t index = texts.replacements.size();
    const std::size_t before = texts.alternatives.size();
    for (const std::string& alternative : SplitAlternatives(decoded.search)) {
      std::string converted;
      if (!alternative.empty() && ConvertText(alternative, typed, file, &converted))
        texts.alternatives.push_back({std::move(converted), index, any_form});
    }
    std::string replacement;
    if (!ConvertText(decoded.replace, typed, file, &replacement) && texts.alternatives.size() > before)
      texts.unrepresentable = true;
    texts.replacements.push_back(std::move(replacement));
  }
  return texts;
}

bool UsesLineBreak(const std::vector<ReplacePair>& pairs, CodePage typed) {
  const LeadBytes lead = WalkOf(typed).lead();
  for (const ReplacePair& pair : pairs) {
    for (const bool search : {true, false}) {
      const std::string& text = search ? pair.search : pair.replace;
      // Most texts hold no "\\n" at all: only those need decoding to tell.
      if (text.find("\\n") == std::string::npos) continue;
      if (DecodeText(text, search, lead, kCrLf) != DecodeText(text, search, lead, kLf)) return true;
    }
  }
  return false;
}

}  // namespace vx
