#include "engine/decode.h"

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
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == second) {
      out.append(with);
      i += 2;
    } else if (lead.IsLead(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      out.append(text, i, 2);
      i += 2;
    } else {
      out += c;
      i += 1;
    }
  }
  return out;
}

}  // namespace

std::string DecodeText(std::string_view typed, bool is_search, const LeadBytes& lead) {
  std::string text(typed.substr(0, typed.find('\0')));
  text = ReplaceEscape(text, '\\', std::string_view(&kEscapePlaceholder, 1), lead);
  text = ReplaceEscape(text, 'n', "\r\n", lead);
  text = ReplaceEscape(text, 't', "\t", lead);
  if (is_search) text = ReplaceEscape(text, '|', std::string_view(&kAlternativeSeparator, 1), lead);
  // The placeholders back to backslashes: each one that begins a character.
  for (std::size_t i = 0; i < text.size(); i += lead.IsLead(static_cast<unsigned char>(text[i])) ? 2 : 1) {
    if (text[i] == kEscapePlaceholder) text[i] = '\\';
  }
  return text;
}

DecodedTexts DecodeEscapes(std::string_view typed_search, std::string_view typed_replace, const LeadBytes& lead) {
  return DecodedTexts{DecodeText(typed_search, true, lead), DecodeText(typed_replace, false, lead)};
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

}  // namespace vx
