// UTF-8 and UTF-16, the two forms of Unicode text the program holds: paths
// and typed texts are UTF-8 inside, the Win32 "W" functions take UTF-16.
// Pure functions, the same on every platform, so they are tested natively.
//
// The conversions between code pages (code page 932, the ANSI code page)
// are ConvertText's, in platform/encoding.h; on Windows, platform/wide.h
// gives these two verbs for std::wstring and forms the paths of the Win32
// file functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vx {

// The replacement character, for text that is shown, never for a name.
inline constexpr char32_t kReplacementChar = 0xFFFD;

// Appends the UTF-16 form of UTF-8 `text` to *out. With `exact`, false at
// the first byte sequence that is no strict UTF-8 (overlong, a surrogate,
// above U+10FFFF, cut short), *out then holding what came before; without,
// each such sequence becomes U+FFFD and the result is always true.
template <class Units>
bool AppendUtf16(std::string_view text, Units* out, bool exact);

// Appends the UTF-8 form of UTF-16 `units` to *out. With `exact`, false at
// an unpaired surrogate; without, each one becomes U+FFFD.
template <class Unit>
bool AppendUtf8(std::basic_string_view<Unit> units, std::string* out, bool exact);

// Whether `text` is strict UTF-8 as above.
bool IsUtf8(std::string_view text);

// A UTF-8 literal as the char string paths and texts are held in
// (u8"..." literals are char8_t in C++20).
inline std::string FromU8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// The form of an absolute Windows path that the file functions take
// whatever its length ("extended-length"): "C:\a" -> "\\?\C:\a",
// "\\server\share\a" -> "\\?\UNC\server\share\a". Forward slashes become
// backslashes, "." components go and ".." takes the one before it (the
// prefix turns off the system's own clean-up), empty components (doubled
// separators) go; trailing dots and spaces stay: a name that holds them is
// found as it is written. A path that has the prefix already (or the
// device prefix \\.\) stays as it is, and so does a relative one ("a.txt",
// "\a.txt", "C:a.txt"), which only the working directory completes.
std::string ExtendedPath(std::string_view path);

// The path as the user knows it: the extended-length prefix taken off
// ("\\?\C:\a" -> "C:\a", "\\?\UNC\server\share" -> "\\server\share").
std::string PlainPath(std::string_view path);

// ---------------------------------------------------------------------------

namespace unicode_detail {
// The code point of the UTF-8 sequence at text[*i], *i moved past it;
// kReplacementChar with *i moved one byte on, and *bad set, for a sequence
// that is no strict UTF-8.
char32_t DecodeUtf8(std::string_view text, std::size_t* i, bool* bad);
void EncodeUtf8(char32_t c, std::string* out);
}  // namespace unicode_detail

template <class Units>
bool AppendUtf16(std::string_view text, Units* out, bool exact) {
  using Unit = typename Units::value_type;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out->push_back(static_cast<Unit>(byte));
      ++i;
      continue;
    }
    bool bad = false;
    const char32_t c = unicode_detail::DecodeUtf8(text, &i, &bad);
    if (bad && exact) return false;
    if (c >= 0x10000) {
      out->push_back(static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10)));
      out->push_back(static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out->push_back(static_cast<Unit>(c));
    }
  }
  return true;
}

template <class Unit>
bool AppendUtf8(std::basic_string_view<Unit> units, std::string* out, bool exact) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = static_cast<char32_t>(units[i]) & 0xFFFF;
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c < 0xE000) {
      const char32_t low = i + 1 < units.size() ? static_cast<char32_t>(units[i + 1]) & 0xFFFF : 0;
      if (c < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        if (exact) return false;
        c = kReplacementChar;
      }
    }
    unicode_detail::EncodeUtf8(c, out);
  }
  return true;
}

}  // namespace vx
