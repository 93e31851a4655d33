// The system's part of the encodings on Windows: the ANSI code page's lead
// bytes, and conversions through UTF-16 by the code page functions, asked
// never to approximate (no best-fit characters, no default character).
#include <windows.h>

#include "platform/encoding.h"
#include "platform/wide.h"

namespace vx {

namespace {

UINT Number(CodePage code_page) {
  switch (code_page) {
    case CodePage::kCp932: return 932;
    case CodePage::kUtf8: return CP_UTF8;
    default: return CP_ACP;
  }
}

bool ToWide(std::string_view text, CodePage from, std::wstring* wide) {
  if (from == CodePage::kUtf16Le || from == CodePage::kUtf16Be) {
    if (text.size() % 2) return false;
    wide->resize(text.size() / 2);
    for (std::size_t i = 0; i < wide->size(); ++i) {
      const auto a = static_cast<unsigned char>(text[2 * i]), b = static_cast<unsigned char>(text[2 * i + 1]);
      (*wide)[i] = static_cast<wchar_t>(from == CodePage::kUtf16Be ? (a << 8 | b) : (b << 8 | a));
    }
    return true;
  }
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(Number(from), MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<std::size_t>(n));
  return ::MultiByteToWideChar(Number(from), MB_ERR_INVALID_CHARS, text.data(), size, wide->data(), n) == n;
}

bool FromWide(const std::wstring& wide, CodePage to, std::string* out) {
  if (to == CodePage::kUtf16Le || to == CodePage::kUtf16Be) {
    out->resize(wide.size() * 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
      const auto unit = static_cast<unsigned>(wide[i]);
      (*out)[2 * i + (to == CodePage::kUtf16Be)] = static_cast<char>(unit & 0xFF);
      (*out)[2 * i + (to != CodePage::kUtf16Be)] = static_cast<char>(unit >> 8);
    }
    return true;
  }
  const int size = static_cast<int>(wide.size());
  // UTF-8 takes no best-fit flag and no default character: it refuses a
  // lone surrogate instead.
  const bool utf8 = to == CodePage::kUtf8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* const used = utf8 ? nullptr : &used_default;
  const int n = ::WideCharToMultiByte(Number(to), flags, wide.data(), size, nullptr, 0, nullptr, used);
  if (n <= 0 || used_default) return false;
  out->resize(static_cast<std::size_t>(n));
  return ::WideCharToMultiByte(Number(to), flags, wide.data(), size, out->data(), n, nullptr, used) == n &&
         !used_default;
}

}  // namespace

bool IsCp932(CodePage code_page) {
  return code_page == CodePage::kCp932 || (code_page == CodePage::kAnsi && ::GetACP() == 932);
}

const LeadBytes& AnsiLeadBytes() {
  static const LeadBytes lead = [] {
    LeadBytes set;
    CPINFO info{};
    if (::GetCPInfo(CP_ACP, &info)) {
      for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        set.AddRange(info.LeadByte[i], info.LeadByte[i + 1]);
      }
    }
    return set;
  }();
  return lead;
}

bool ConvertText(std::string_view text, CodePage from, CodePage to, std::string* out) {
  if (from == to || from == CodePage::kNone || to == CodePage::kNone || text.empty()) {
    out->assign(text);
    return true;
  }
  std::wstring wide;
  out->clear();
  return ToWide(text, from, &wide) && FromWide(wide, to, out);
}

namespace {

// Appends `units` of UTF-16 in `code_page`, a character that has no form
// there as '?', never as a look-alike (no best fit); -1 if one had none.
int EncodeOrMark(UINT code_page, const wchar_t* wide, int units, std::string* out) {
  static constexpr char kMark[] = "?";
  BOOL used_mark = FALSE;
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  const char* mark = kMark;
  BOOL* used = &used_mark;
  int n = ::WideCharToMultiByte(code_page, flags, wide, units, nullptr, 0, mark, used);
  if (n <= 0) {
    // A code page that takes no flags and no mark (ISO-2022 and the like)
    // is written by the system's own rule.
    flags = 0;
    mark = nullptr;
    used = nullptr;
    n = ::WideCharToMultiByte(code_page, flags, wide, units, nullptr, 0, mark, used);
    if (n <= 0) return 0;
  }
  const std::size_t at = out->size();
  out->resize(at + static_cast<std::size_t>(n));
  ::WideCharToMultiByte(code_page, flags, wide, units, out->data() + at, n, mark, used);
  return used_mark ? -1 : n;
}

}  // namespace

std::wstring WidenForShowing(std::string_view text, CodePage from) {
  if (from == CodePage::kUtf8) return Widen(text);  // a stray byte as U+FFFD
  std::wstring wide;
  if (ToWide(text, from == CodePage::kNone ? CodePage::kAnsi : from, &wide) || text.empty()) return wide;
  // Bytes that are no text of their code page (a file's stray byte in a
  // diff) show as the system shows them, each as its best guess.
  const UINT code_page = from == CodePage::kCp932 ? 932 : CP_ACP;
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  wide.assign(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string NarrowForShowing(std::wstring_view wide, unsigned code_page) {
  std::string out;
  if (wide.empty()) return out;
  if (code_page == CP_UTF8) return Narrow(wide);
  if (EncodeOrMark(code_page, wide.data(), static_cast<int>(wide.size()), &out) >= 0) return out;
  // Something had no form there: character by character, so that a
  // surrogate pair, which the system marks unit by unit, is one '?'.
  out.clear();
  for (std::size_t i = 0; i < wide.size();) {
    const bool pair = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] < 0xE000;
    const int units = pair ? 2 : 1;
    const std::size_t at = out.size();
    if (EncodeOrMark(code_page, wide.data() + i, units, &out) < 0) {
      out.resize(at);
      out += '?';
    }
    i += static_cast<std::size_t>(units);
  }
  return out;
}

std::string ConvertForShowing(std::string_view text, CodePage from, CodePage to) {
  const std::wstring wide = WidenForShowing(text, from);
  if (to == CodePage::kUtf16Le || to == CodePage::kUtf16Be) {
    std::string out;
    FromWide(wide, to, &out);
    return out;
  }
  return NarrowForShowing(wide, Number(to));
}

}  // namespace vx
