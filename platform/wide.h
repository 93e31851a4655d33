// The edge between the program's UTF-8 texts and the Win32 "W" functions
// (Windows only; the conversions themselves are platform/unicode.h's).
//
//   Widen(text)      UTF-8 -> UTF-16, for a window text or a message
//   Narrow(wide)     UTF-16 -> UTF-8, for what a window or the system gives
//   NarrowExact      the same, false for an unpaired surrogate (a name or an
//                    argument that no UTF-8 text can stand for)
//   Win32Path(path)  the UTF-16 path the file functions are given: the
//                    extended-length form of an absolute path, so that no
//                    length limit but the file system's applies
//   WidenCp932(s)    a code page 932 text (a literal of the program's own, a
//                    line of the result log) -> UTF-16
//   WidenForShowing  text of a code page -> UTF-16, and NarrowForShowing,
//   NarrowForShowing UTF-16 -> a code page of the system by its number: for
//                    what is shown only (platform/encoding.h's
//                    ConvertForShowing, with their definitions)
#pragma once

#include <string>
#include <string_view>

#include "platform/encoding.h"
#include "platform/unicode.h"

namespace vx {

inline std::wstring Widen(std::string_view text) {
  std::wstring wide;
  wide.reserve(text.size());
  AppendUtf16(text, &wide, false);
  return wide;
}

inline std::string Narrow(std::wstring_view wide) {
  std::string text;
  text.reserve(wide.size());
  AppendUtf8(wide, &text, false);
  return text;
}

inline bool NarrowExact(std::wstring_view wide, std::string* text) {
  text->clear();
  return AppendUtf8(wide, text, true);
}

inline std::wstring Win32Path(std::string_view path) { return Widen(ExtendedPath(path)); }

inline std::wstring WidenCp932(std::string_view text) {
  std::string units;
  // Text that is not all code page 932 (it should be) is shown as UTF-8.
  if (!ConvertText(text, CodePage::kCp932, CodePage::kUtf16Le, &units)) return Widen(text);
  return std::wstring(reinterpret_cast<const wchar_t*>(units.data()), units.size() / sizeof(wchar_t));
}

// For showing, as ConvertForShowing: `text` in `from` (kNone: the ANSI
// code page) as UTF-16. A byte sequence that is no character of `from`
// shows as the system decodes it, U+FFFD in UTF-8.
std::wstring WidenForShowing(std::string_view text, CodePage from);

// For showing: UTF-16 in a code page of the system by its number (the
// console's output code page, which may be one that CodePage does not
// name), a character that has no form there as '?' (a surrogate pair as
// one), never as a look-alike; CP_UTF8, an unpaired surrogate as U+FFFD.
// A code page that takes no mark (ISO-2022 and the like) is written by the
// system's own rule.
std::string NarrowForShowing(std::wstring_view wide, unsigned code_page);

}  // namespace vx
