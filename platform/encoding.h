// What the program knows about text encodings, in one place for every layer:
// the lead-byte sets of the code pages and the walk by characters they
// define, the encodings a file can be in and how they are found, their names
// in the result log, exact conversions between them, and the lossy ones
// for what is only shown.
//
// It sits in platform/ beside the file layer; the conversions and the ANSI
// code page come from the system
// (encoding_win32.cpp: the Win32 code page functions; encoding_posix.cpp:
// iconv, with code page 932 as the ANSI code page and the locale's set
// for what is shown).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// The set of byte values that begin a double-byte character in a code page.
class LeadBytes {
 public:
  // Single-byte code page: every byte is a character of its own.
  LeadBytes() = default;
  // Code page 932 (Shift-JIS): 0x81-0x9F and 0xE0-0xFC.
  static LeadBytes Cp932() {
    LeadBytes lead;
    lead.AddRange(0x81, 0x9F).AddRange(0xE0, 0xFC);
    return lead;
  }
  // Adds the inclusive range [first, last].
  LeadBytes& AddRange(std::uint8_t first, std::uint8_t last) {
    for (unsigned b = first; b <= last; ++b) {
      count_ += !table_[b];
      table_[b] = true;
    }
    return *this;
  }

  bool IsLead(unsigned char byte) const { return table_[byte]; }
  bool empty() const { return count_ == 0; }

 private:
  std::array<bool, 256> table_{};
  int count_ = 0;
};

// The walk by characters: the length of the character that starts at
// text[i], 2 for a lead byte with a byte after it, else 1 (a lead byte at
// the very end stands alone).
inline std::size_t CharLength(std::string_view text, std::size_t i, const LeadBytes& lead) {
  return lead.IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// The lead-byte set of the ANSI code page (Windows: GetCPInfo(CP_ACP);
// elsewhere code page 932), taken on the first call and kept for the life of
// the process.
const LeadBytes& AnsiLeadBytes();

// A code page: what typed texts are in, what a run can take every file in,
// and what conversions take and give. kAnsi is the ANSI code page, whatever
// it is (932 here); kNone is bytes taken as they are, each a character.
enum class CodePage : std::uint8_t { kCp932, kUtf8, kNone, kAnsi, kUtf16Le, kUtf16Be };

// What a file is found to be. kCodePage is the run's own code page: the ANSI
// code page where files are detected (also every pure-ASCII file), or the
// one a run forces on every file.
enum class Encoding : std::uint8_t { kCodePage, kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

// The code page a file's text is in, given the run's own.
CodePage CodePageOf(Encoding encoding, CodePage run);
// The length of the encoding's byte-order mark (0 for none).
std::size_t MarkLength(Encoding encoding);
// How the result log names the encoding after a count, in code page 932:
// "（UTF-8）", ...; empty for the run's own code page.
std::string_view LogName(Encoding encoding);

// Where matches may start in a text: on the characters of a code page with
// a lead-byte set (none for UTF-8: a UTF-8 text within valid UTF-8 can start
// nowhere but on a character), or on the two-byte code units of UTF-16
// counted from the start of the file.
class TextWalk {
 public:
  TextWalk(const LeadBytes& lead = {}) : lead_(lead) {}  // NOLINT: a lead-byte set is a walk
  static TextWalk Utf16(bool big_endian) {
    TextWalk walk;
    walk.unit_ = 2;
    walk.big_endian_ = big_endian;
    return walk;
  }

  const LeadBytes& lead() const { return lead_; }
  // 1 for bytes, 2 for UTF-16's units.
  std::size_t unit() const { return unit_; }
  bool big_endian() const { return big_endian_; }
  // The UTF-16 unit at byte i (i + 1 < size).
  unsigned Unit16(const char* text, std::size_t i) const {
    const auto a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + 1]);
    return big_endian_ ? (a << 8 | b) : (b << 8 | a);
  }
  // The length of the character at text[i], i on a character start: for
  // UTF-16, 4 for a surrogate pair, else 2 (or what is left).
  std::size_t CharLength(std::string_view text, std::size_t i) const;

 private:
  LeadBytes lead_;
  std::size_t unit_ = 1;
  bool big_endian_ = false;
};

// The walk of a code page's text.
TextWalk WalkOf(CodePage code_page);

// Converts `text` exactly: false when a byte sequence of it is not valid in
// `from`, or one of its characters has no form in `to`; nothing is ever
// approximated (no best-fit, no default character, no transliteration). The
// same code page, or kNone on either side, leaves the bytes as they are.
bool ConvertText(std::string_view text, CodePage from, CodePage to, std::string* out);

// Use: for what is shown (a terminal, a window's list, redirected output),
// never for a name or a file's text, which take ConvertText.
// Converts `text` from `from` to `to` whatever it holds: a character that
// has no form in `to` becomes '?', never a look-alike; a byte sequence that
// is no character of `from` shows as the system decodes it (Windows: the
// system's guess, U+FFFD in UTF-8; elsewhere '?' for each). kNone on either
// side is the system's own encoding for showing: Windows, the ANSI code
// page; elsewhere, the locale's character set (LC_CTYPE; UTF-8 for the plain
// C locale, as terminals send there); there, text in the locale's set that
// goes to it stays as it is.
std::string ConvertForShowing(std::string_view text, CodePage from, CodePage to);

#if !defined(_WIN32)
// Converts `text` from the locale's character set (as above) to `to`
// (kUtf8, kCp932 or kAnsi; kNone: as it is); false where a byte sequence
// is no character of the locale's set or has no form in `to` (a
// conversion the system calls inexact still counts). What the terminal's
// arguments are taken by.
bool ConvertFromLocale(std::string_view text, CodePage to, std::string* out);
#endif

// Characters that code page 932 writes in more than one way: the NEC row 13
// and the IBM extensions repeat characters of the JIS rows and of each other
// (∵ is 81 E6, 87 9A and FA 5B; also ≒, ∫, Ⅰ, ⅰ, ￢ and hundreds of kanji).
// Each double-byte character that has other forms belongs to a group, the
// forms of one character; the table is read once from the conversion of
// every double-byte code (so it is exactly what the system's code page 932
// decodes alike). A text given as Unicode finds every form in a file; a text
// converted into code page 932 takes the system's own form.
class Cp932Forms {
 public:
  static const Cp932Forms& Get();
  // The group of the double-byte character lead, trail; 0 when it has a
  // single form.
  std::uint16_t GroupOf(unsigned char lead, unsigned char trail) const { return group_[lead << 8 | trail]; }
  std::size_t group_count() const { return members_.size() - 1; }
  // The forms of group g (1 <= g <= group_count()), each lead << 8 | trail.
  const std::vector<std::uint16_t>& Members(std::uint16_t g) const { return members_[g]; }

 private:
  Cp932Forms();
  std::array<std::uint16_t, 65536> group_{};
  std::vector<std::vector<std::uint16_t>> members_{1};
};

// The characters of a byte code page (one with a lead-byte set, or kNone:
// each byte a character of its own, U+0000-U+00FF) as single UTF-16 units,
// read once per code page from the system's conversion of every single
// byte and double-byte code. 0 stands for a byte or code with no
// one-unit form (U+0000 is never text here).
class CodePageUnits {
 public:
  static const CodePageUnits& For(CodePage code_page);
  std::uint16_t Single(unsigned char byte) const { return units_[byte]; }
  std::uint16_t Double(unsigned char lead, unsigned char trail) const { return units_[lead << 8 | trail]; }
  // Either by its code: a single byte, or lead << 8 | trail (no lead byte
  // is below 0x80, so the two never meet).
  std::uint16_t Code(unsigned code) const { return units_[code]; }
  const LeadBytes& lead() const { return lead_; }

 private:
  explicit CodePageUnits(CodePage code_page);
  LeadBytes lead_;
  std::vector<std::uint16_t> units_ = std::vector<std::uint16_t>(65536);
};

// Whether a code page is code page 932 (kAnsi: where the ANSI code page is).
bool IsCp932(CodePage code_page);

// Finds a file's encoding and whether its line ends are LF only, from its
// bytes as they are read, piece by piece:
//  1. a byte-order mark: EF BB BF UTF-8, FF FE UTF-16LE, FE FF UTF-16BE
//     (FF FE 00 00 is UTF-32LE: not text);
//  2. no mark: UTF-8 when the whole file is strict UTF-8 (no overlong forms,
//     no surrogates, nothing above U+10FFFF) with a multi-byte sequence;
//  3. else the run's code page.
// A zero byte makes a file not text, except in UTF-16, where a zero unit
// (U+0000) or an odd length does. A run that forces its code page finds
// only zero bytes and line ends.
// Use: Take(first piece, holding the file's first 4 bytes or all of it),
// Take(...) for every later piece, Finish() at the end; the answers stand
// for the bytes taken so far.
class EncodingDetector {
 public:
  // find_encoding false: every file in the run's code page.
  explicit EncodingDetector(bool find_encoding);

  void Take(const char* data, std::size_t n);
  void Finish();

  bool not_text() const { return not_text_; }
  Encoding encoding() const;
  // Whether encoding() can no longer change: a mark, an invalid byte
  // sequence (the run's code page for good), or the end.
  bool encoding_settled() const;
  // Whether the line ends so far are LF only: an LF and no CR LF (in units).
  bool lf_only() const { return lf_ && !crlf_; }
  // Whether lf_only() can no longer change: a CR LF was found.
  bool line_ends_settled() const { return crlf_; }

  // Strict UTF-8, piece by piece, as step 2 above checks it (public for the
  // tests). Each kernel is the same check: the plain one, and vector ones
  // where the processor has them (kBest picks the fastest).
  class Utf8Check {
   public:
    enum class Kernel { kBest, kPlain, kSsse3, kAvx2 };
    explicit Utf8Check(Kernel kernel = Kernel::kBest);
    // Whether the kernel can run on this processor.
    static bool Available(Kernel kernel);
    // False once the bytes so far cannot begin valid UTF-8.
    bool Take(const char* data, std::size_t n);
    // False when the text is not valid UTF-8 (also a sequence left open).
    bool Finish();
    bool valid() const { return valid_; }
    // A byte above 0x7F seen (in valid UTF-8: a multi-byte sequence).
    bool high() const { return high_; }

   private:
    bool (*check_)(const unsigned char*, std::size_t);
    unsigned char open_[4] = {};  // a sequence cut by the end of a piece
    std::size_t open_size_ = 0, open_need_ = 0;
    bool valid_ = true, high_ = false;
  };

 private:
  void TakeUnits(const char* data, std::size_t n);
  void TakeBytes(const char* data, std::size_t n);

  bool find_encoding_;
  bool started_ = false, finished_ = false;
  Encoding mark_ = Encoding::kCodePage;
  Utf8Check utf8_;
  bool not_text_ = false;
  bool lf_ = false, crlf_ = false;
  unsigned last_unit_ = 0;      // the unit (or byte) before the next piece
  int odd_byte_ = -1;           // UTF-16: the first byte of a unit cut by a piece's end
};

}  // namespace vx
