// The format of the replace list file: a text file of lines, search text and
// replacement text of each pair in turn, code page 932, no header.
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

// The bytes of the file for these rows.
std::string SerializeReplaceList(const std::vector<ListPair>& rows);

// The first byte of a text that reading would not give back as part of it
// (a line feed, 0x1A or a zero byte), or npos. Saved, such a text would cut
// its own line and shift or drop every text after it at the next load.
std::size_t FindUnstorableByte(std::string_view text);

}  // namespace vx
