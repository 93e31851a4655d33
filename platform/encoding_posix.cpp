// The system's part of the encodings elsewhere than on Windows: code page
// 932 stands for the ANSI code page, and iconv converts, without
// transliteration, so that what has no exact form fails.
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>

#include "platform/encoding.h"

namespace vx {

namespace {

const char* IconvName(CodePage code_page) {
  switch (code_page) {
    case CodePage::kCp932:
    case CodePage::kAnsi: return "CP932";
    case CodePage::kUtf8: return "UTF-8";
    case CodePage::kUtf16Le: return "UTF-16LE";
    case CodePage::kUtf16Be: return "UTF-16BE";
    case CodePage::kNone: break;
  }
  return nullptr;
}

constexpr int kCodePages = 6;

// Opening a conversion costs more than converting a short text, and a run
// converts the same texts for file after file: each thread keeps the ones
// it opened.
class Conversions {
 public:
  ~Conversions() {
    for (auto& row : open_)
      for (iconv_t cd : row)
        if (cd != kNone) iconv_close(cd);
  }
  iconv_t Get(CodePage from, CodePage to) {
    iconv_t& cd = open_[static_cast<int>(from)][static_cast<int>(to)];
    if (cd == kNone) cd = iconv_open(IconvName(to), IconvName(from));
    return cd;
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  iconv_t open_[kCodePages][kCodePages] = {
      {kNone, kNone, kNone, kNone, kNone, kNone}, {kNone, kNone, kNone, kNone, kNone, kNone},
      {kNone, kNone, kNone, kNone, kNone, kNone}, {kNone, kNone, kNone, kNone, kNone, kNone},
      {kNone, kNone, kNone, kNone, kNone, kNone}, {kNone, kNone, kNone, kNone, kNone, kNone}};
};

}  // namespace

bool IsCp932(CodePage code_page) { return code_page == CodePage::kCp932 || code_page == CodePage::kAnsi; }

const LeadBytes& AnsiLeadBytes() {
  static const LeadBytes lead = LeadBytes::Cp932();
  return lead;
}

namespace {

bool Iconv(std::string_view text, CodePage from, CodePage to, std::string* out) {
  thread_local Conversions conversions;
  const iconv_t cd = conversions.Get(from, to);
  out->clear();
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state
  std::string source(text);
  char* in = source.data();
  std::size_t in_left = source.size();
  out->resize(text.size() * 2 + 8);
  std::size_t used = 0;
  for (;;) {
    char* dst = out->data() + used;
    std::size_t dst_left = out->size() - used;
    const std::size_t rc = in_left ? iconv(cd, &in, &in_left, &dst, &dst_left) : iconv(cd, nullptr, nullptr, &dst, &dst_left);
    used = out->size() - dst_left;
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno != E2BIG) return false;  // invalid, cut short, or no form in `to`
      out->resize(out->size() * 2);
      continue;
    }
    // A positive count is of conversions that were not exact.
    if (rc != 0) return false;
    if (in_left == 0) break;
  }
  out->resize(used);
  return true;
}

}  // namespace

bool ConvertText(std::string_view text, CodePage from, CodePage to, std::string* out) {
  const auto same = [](CodePage a, CodePage b) {
    const auto ansi = [](CodePage c) { return c == CodePage::kAnsi ? CodePage::kCp932 : c; };
    return ansi(a) == ansi(b);
  };
  if (same(from, to) || from == CodePage::kNone || to == CodePage::kNone) {
    out->assign(text);
    return true;
  }
  // Into Unicode every character has its form. Out of it, some of iconv's
  // mappings go one way only (U+00A5 to the 932 byte 0x5C, which reads
  // back as a backslash): only a conversion that reads back as the text
  // itself is exact.
  if (!Iconv(text, from, to, out)) return false;
  if (to != CodePage::kCp932 && to != CodePage::kAnsi) return true;
  std::string back;
  return Iconv(*out, to, from, &back) && back == text;
}

namespace {

// The locale's character set as iconv names it, read once. The plain C
// locale claims ASCII; terminals today send UTF-8 there, and UTF-8 is a
// superset of ASCII.
const std::string& LocaleCharset() {
  static const std::string charset = [] {
    std::setlocale(LC_CTYPE, "");
    std::string codeset = nl_langinfo(CODESET);
    if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII") return std::string("UTF-8");
    return codeset;
  }();
  return charset;
}

// A code page by iconv's name for showing: kNone the locale's set.
const char* ShownName(CodePage code_page) {
  if (code_page == CodePage::kNone) return LocaleCharset().c_str();
  const char* name = IconvName(code_page);
  return name ? name : "CP932";
}

// How much of `text` (n bytes left) to skip where it cannot be converted
// from `from`: in UTF-8 the lead byte and the continuation bytes after it
// (one '?' for an emoji, as Windows writes it); else one byte.
std::size_t SkipLength(const char* text, std::size_t n, const char* from) {
  if (std::strcmp(from, "UTF-8") != 0) return 1;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  std::size_t i = 1;
  while (i < length && i < n && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  return i;
}

enum class Stop { kAtFault, kMarkAndGoOn };

// Converts `in` between two sets by iconv's names. At a byte sequence that
// cannot be converted, kAtFault fails; kMarkAndGoOn writes '?' for it and
// goes on (and a set iconv does not know leaves the text as it is).
bool Recode(std::string_view in, const char* from, const char* to, Stop stop, std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (stop == Stop::kAtFault) return false;
    out->assign(in);
    return true;
  }
  std::string source(in);
  char* src = source.data();
  std::size_t src_left = source.size();
  char buffer[4096];
  bool ok = true;
  for (;;) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t rc = src_left == 0 ? iconv(cd, nullptr, nullptr, &dst, &dst_left)
                                         : iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buffer, dst - buffer);
    if (rc != static_cast<std::size_t>(-1)) {
      if (src_left == 0) break;
      continue;
    }
    if (errno == E2BIG) continue;
    if (stop == Stop::kAtFault) {
      ok = false;
      break;
    }
    out->push_back('?');  // EILSEQ or EINVAL: skip the character that stops it
    const std::size_t skip = SkipLength(src, src_left, from);
    src += skip;
    src_left -= skip;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

std::string ConvertForShowing(std::string_view text, CodePage from, CodePage to) {
  const char* source = ShownName(from);
  const char* target = ShownName(to);
  // The locale's own bytes (paths) go to it as they are.
  if (from == CodePage::kNone && std::strcmp(source, target) == 0) return std::string(text);
  std::string out;
  Recode(text, source, target, Stop::kMarkAndGoOn, &out);
  return out;
}

bool ConvertFromLocale(std::string_view text, CodePage to, std::string* out) {
  switch (to) {
    case CodePage::kNone: out->assign(text); return true;
    case CodePage::kUtf8: return Recode(text, LocaleCharset().c_str(), "UTF-8", Stop::kAtFault, out);
    case CodePage::kCp932:
    case CodePage::kAnsi: return Recode(text, LocaleCharset().c_str(), "CP932", Stop::kAtFault, out);
    default: return false;
  }
}

}  // namespace vx
