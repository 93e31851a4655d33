// The system's part of the encodings elsewhere than on Windows: code page
// 932 stands for the ANSI code page, and iconv converts, without
// transliteration, so that what has no exact form fails.
#include <iconv.h>

#include <cerrno>

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

}  // namespace vx
