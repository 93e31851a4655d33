// The format of the replace list file: a text file of lines, search text and
// replacement text of each pair in turn, no header. Its texts are in code
// page 932, or in UTF-8 when the file begins with the UTF-8 byte-order mark
// (kUtf8Mark, no part of the first text); see ListFileDecoder and
// StoredTextBytes for how the two are read and chosen.
//
// Reading splits the bytes into texts:
//  - CR LF counts as one line feed; a CR not followed by LF is a plain byte;
//  - the first byte 0x1A ends the file (it and everything after are ignored);
//  - a line ends at a line feed; nothing else is stripped;
//  - a last line without a line end is a text; the end of the file right
//    after a line feed starts no further text;
//  - lines of any length are read whole;
//  - a zero byte ends its line's text: the rest of that line is dropped;
//  - an empty line is an empty text.
// Writing puts every pair as two lines, each ended by CR LF, the last line
// included; an empty list is a file of 0 bytes. Texts are kept exactly as
// typed (escape sequences undecoded).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"
#include "platform/file.h"

namespace vx {

// One pair of the replace list, both texts in their typed form.
struct ListPair {
  std::string search;
  std::string replace;
  bool operator==(const ListPair&) const = default;
};

// Splits the bytes of the file into texts as they arrive, so the texts
// completed before a read error are known.
class ListTextSplitter {
 public:
  // Takes the next bytes of the file and appends every text they complete.
  void Feed(std::string_view bytes, std::vector<std::string>* texts);
  // The file has ended: appends the last line if it had no line end.
  void Finish(std::vector<std::string>* texts);
  // True once the byte 0x1A has been met: nothing after it counts.
  bool ended() const { return ended_; }

 private:
  void Append(char c);
  void EndLine(std::vector<std::string>* texts);

  std::string line_;
  bool in_line_ = false;     // a byte of the current line has been seen
  bool cut_ = false;         // a zero byte has ended the current line's text
  bool pending_cr_ = false;  // a CR whose following byte is still to come
  bool ended_ = false;
};

// All texts of a whole file.
std::vector<std::string> SplitListTexts(std::string_view bytes);

// Reads chunks from `read` (which sets *got to 0 at the end of the file) and
// splits them into `texts`. Returns the first read error, with `texts`
// holding the texts completed before it; kOk at the end of the file.
using ListChunkReader = std::function<platform::SysError(char* buffer, std::size_t n, std::size_t* got)>;
platform::SysError ReadListTexts(const ListChunkReader& read, std::vector<std::string>* texts);

// The main window's drop-down lists: odd texts go to the search list, even
// ones to the replacement list, so an odd number of texts leaves the search
// list one entry longer.
struct ListColumns {
  std::vector<std::string> search;
  std::vector<std::string> replace;
};
ListColumns PairTextsForComboBoxes(const std::vector<std::string>& texts);

// The editor's rows: a last search text without a partner becomes a row with
// an empty replacement.
std::vector<ListPair> PairTextsForEditor(const std::vector<std::string>& texts);

// The bytes of the file for these rows, the texts as they are held.
std::string SerializeReplaceList(const std::vector<ListPair>& rows);

// ------------------------------------------------------------ code pages
//
// The caller holds its texts in one code page (`held`): vextrane-cli's raw
// texts are code page 932 bytes, the window's texts are UTF-8.

// The mark that begins a file in UTF-8.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The texts of a list file as the caller holds them.
struct ListTexts {
  std::vector<std::string> texts;
  // The indexes (0-based, file order) of the texts the held code page does
  // not give exactly: a byte that begins no character of the file's code
  // page (a stray lead byte in an old list, a broken UTF-8 sequence), or a
  // character the held code page has no form for. Each such byte or
  // character is held as U+FFFD (held UTF-8) or "?" (any other code page).
  // Such a text is for showing: saved back or run, it would not be the
  // file's text.
  std::vector<std::size_t> inexact;
  CodePage file = CodePage::kCp932;  // what the file's texts are in
};

// Takes a file's bytes as they arrive: the mark, the split into texts (as
// ListTextSplitter) and each text converted from the file's code page into
// the held one.
class ListFileDecoder {
 public:
  explicit ListFileDecoder(CodePage held) : held_(held) {}
  void Feed(std::string_view bytes, ListTexts* out);
  void Finish(ListTexts* out);
  bool ended() const { return splitter_.ended(); }

 private:
  void FeedText(std::string_view bytes, ListTexts* out);
  void HoldNewTexts(ListTexts* out);

  CodePage held_;
  std::string head_;        // the first bytes, until they show whether the mark is there
  bool head_known_ = false;
  ListTextSplitter splitter_;
  std::vector<std::string> split_;  // texts split, not yet converted
};

// All texts of a whole file, held in `held`.
ListTexts DecodeListFile(std::string_view bytes, CodePage held);
// Reads a file in chunks as ReadListTexts does, into *out; the texts
// completed before a read error stay.
platform::SysError ReadListFile(const ListChunkReader& read, CodePage held, ListTexts* out);

// `text`, in code page `from`, converted into `to`: exactly, or, where it
// cannot be, with U+FFFD (`to` UTF-8) or "?" in place of each byte that
// begins no character of `from` and of each character `to` has no form for;
// then the result is false. A UTF-8 text is checked even when `to` is UTF-8.
bool HoldText(std::string_view text, CodePage from, CodePage to, std::string* out);

// The bytes of a text file the program saves (the replace list, the result
// log), from its text held in `held`: the text in code page 932, byte for
// byte as it has always been written, when all of it converts exactly; else
// kUtf8Mark and the text in UTF-8. Held code page 932 is written as it is.
std::string StoredTextBytes(std::string_view text, CodePage held);

// The bytes of the file for these rows held in `held` (StoredTextBytes of
// SerializeReplaceList).
std::string EncodeReplaceList(const std::vector<ListPair>& rows, CodePage held);

// The first byte of a text that reading would not give back as part of it
// (a line feed, 0x1A or a zero byte), or npos. Saved, such a text would cut
// its own line and shift or drop every text after it at the next load.
std::size_t FindUnstorableByte(std::string_view text);

}  // namespace vx
