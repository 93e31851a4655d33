// Plain models of the engine's rules, written differently from the engine:
// the oracles of the differential tests and the fuzzers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/decode.h"
#include "engine/lead_bytes.h"
#include "engine/rewrite.h"
#include "engine/scan.h"

namespace vx {

// The scanner's contract as the plain forward character walk that defines
// it: the bytes from the segment start to the next match, or text.size().
inline std::size_t FindNextMatchReference(std::string_view text, std::string_view alternative, const LeadBytes& lead,
                                          std::size_t* scan_end = nullptr) {
  std::size_t p = 0;
  if (!alternative.empty()) {
    while (p < text.size()) {
      if (text.substr(p, alternative.size()) == alternative) {
        if (scan_end) *scan_end = p + alternative.size();
        return p;
      }
      p += lead.IsLead(static_cast<unsigned char>(text[p])) ? 2 : 1;
    }
  }
  if (scan_end) *scan_end = text.size();
  return text.size();
}

// Replaces every match of `alternative`, left to right without overlap, in a
// whole text held in memory, by the reference walk. Returns the count.
inline std::size_t ReplaceAllReference(std::string* text, std::string_view alternative, std::string_view replacement,
                                       const LeadBytes& lead) {
  std::string out;
  std::size_t count = 0;
  std::string_view rest = *text;
  while (!rest.empty()) {
    std::size_t end = 0;
    const std::size_t n = FindNextMatchReference(rest, alternative, lead, &end);
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
inline std::string Decode(std::string_view typed, bool is_search, const LeadBytes& lead) {
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
      out += "\r\n";
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

// The rewrite as defined: one whole-text pass per alternative, in order.
// Returns -1 instead when a pass could make the text longer than `limit`
// (replacements that hold their own search text grow it geometrically).
inline std::int64_t PassByPass(std::string* text, const std::vector<ReplacePair>& pairs, const LeadBytes& lead,
                               std::size_t limit = std::string().max_size()) {
  std::int64_t count = 0;
  for (const ReplacePair& pair : pairs) {
    const std::string search = Decode(pair.search, true, lead);
    const std::string replace = Decode(pair.replace, false, lead);
    std::size_t from = 0;
    for (;;) {
      const std::size_t cut = search.find('\x1A', from);
      const std::string alternative = search.substr(from, cut - from);
      if (!alternative.empty() && text->size() / alternative.size() * replace.size() > limit - text->size())
        return -1;
      count += static_cast<std::int64_t>(ReplaceAllReference(text, alternative, replace, lead));
      if (cut == std::string::npos) break;
      from = cut + 1;
    }
  }
  return count;
}

}  // namespace reference
}  // namespace vx
