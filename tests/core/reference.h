// Plain models of the engine's rules, written differently from the engine:
// the oracles of the differential tests and the fuzzers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/decode.h"
#include "platform/encoding.h"
#include "engine/rewrite.h"
#include "engine/scan.h"

namespace vx {

// Whether the alternative stands at text[p...] character by character, a
// double-byte character of code page 932 also in another form: any two that
// the conversion decodes to the same character.
inline bool SameInAnyForm(std::string_view text, std::size_t p, std::string_view alternative, const TextWalk& walk) {
  if (text.size() - p < alternative.size()) return false;
  for (std::size_t i = 0; i < alternative.size();) {
    const std::size_t length = walk.CharLength(alternative, i);
    const std::string_view want = alternative.substr(i, length), have = text.substr(p + i, length);
    if (want != have) {
      std::string a, b;
      if (length != 2 || !ConvertText(want, CodePage::kCp932, CodePage::kUtf16Le, &a) ||
          !ConvertText(have, CodePage::kCp932, CodePage::kUtf16Le, &b) || a != b)
        return false;
    }
    i += length;
  }
  return true;
}

// The scanner's contract as the plain forward character walk that defines
// it: the bytes from the segment start to the next match, or text.size().
inline std::size_t FindNextMatchReference(std::string_view text, std::string_view alternative, const TextWalk& walk,
                                          std::size_t* scan_end = nullptr, bool any_form = false) {
  std::size_t p = 0;
  if (CanMatch(alternative, walk)) {
    while (p < text.size()) {
      if (any_form ? SameInAnyForm(text, p, alternative, walk) : text.substr(p, alternative.size()) == alternative) {
        if (scan_end) *scan_end = p + alternative.size();
        return p;
      }
      p += walk.CharLength(text, p);
    }
  }
  if (scan_end) *scan_end = text.size();
  return text.size();
}

// Replaces every match of `alternative`, left to right without overlap, in a
// whole text held in memory, by the reference walk. Returns the count.
inline std::size_t ReplaceAllReference(std::string* text, std::string_view alternative, std::string_view replacement,
                                       const TextWalk& walk) {
  std::string out;
  std::size_t count = 0;
  std::string_view rest = *text;
  while (!rest.empty()) {
    std::size_t end = 0;
    const std::size_t n = FindNextMatchReference(rest, alternative, walk, &end);
    out.append(rest.substr(0, n));
    if (n == rest.size()) break;
    out.append(replacement);
    ++count;
    rest.remove_prefix(end);
  }
  *text = std::move(out);
  return count;
}

namespace reference {

// Decoding in one left-to-right character walk. Equivalent to the five
// whole-text steps: every escape starts with a backslash outside the lead
// set and is replaced by bytes outside it, so the walk keeps its alignment.
inline std::string Decode(std::string_view typed, bool is_search, const LeadBytes& lead,
                          std::string_view line_break = "\r\n") {
  typed = typed.substr(0, typed.find('\0'));
  std::string out;
  for (std::size_t i = 0; i < typed.size();) {
    const unsigned char c = static_cast<unsigned char>(typed[i]);
    if (lead.IsLead(c)) {
      out.append(typed.substr(i, 2));
      i += 2;
      continue;
    }
    const char next = i + 1 < typed.size() ? typed[i + 1] : '\0';
    if (c == '\\' && next == '\\') {
      out += '\\';
    } else if (c == '\\' && next == 'n') {
      out += line_break;
    } else if (c == '\\' && next == 't') {
      out += '\t';
    } else if (c == '\\' && next == '|' && is_search) {
      out += '\x1A';
    } else {
      out += c == 0x01 ? '\\' : static_cast<char>(c);
      i += 1;
      continue;
    }
    i += 2;
  }
  return out;
}

// Whether a text's line ends are all LF: it holds an LF and no CR LF. Then
// "\\n" stands for LF alone.
inline bool LfOnly(std::string_view text) {
  return text.find('\n') != std::string_view::npos && text.find("\r\n") == std::string_view::npos;
}

// The rewrite as defined: one whole-text pass per alternative, in order.
// Returns -1 instead when a pass could make the text longer than `limit`
// (replacements that hold their own search text grow it geometrically).
inline std::int64_t PassByPass(std::string* text, const std::vector<ReplacePair>& pairs, const TextWalk& walk,
                               std::size_t limit = std::string().max_size(), std::string_view line_break = "\r\n") {
  std::int64_t count = 0;
  for (const ReplacePair& pair : pairs) {
    const std::string search = Decode(pair.search, true, walk.lead(), line_break);
    const std::string replace = Decode(pair.replace, false, walk.lead(), line_break);
    std::size_t from = 0;
    for (;;) {
      const std::size_t cut = search.find('\x1A', from);
      const std::string alternative = search.substr(from, cut - from);
      if (!alternative.empty() && text->size() / alternative.size() * replace.size() > limit - text->size())
        return -1;
      count += static_cast<std::int64_t>(ReplaceAllReference(text, alternative, replace, walk));
      if (cut == std::string::npos) break;
      from = cut + 1;
    }
  }
  return count;
}

// The plain definition: decode each sequence to its scalar value and check
// its range and length.
inline bool IsStrictUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    unsigned value = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      value = value << 6 | (t & 0x3F);
    }
    static const unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[n] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return false;
    i += n;
  }
  return true;
}

}  // namespace reference
}  // namespace vx
