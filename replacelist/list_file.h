// Reading and saving the replace list file "list.dat", opened by its relative
// name in the working directory (the program's folder).
//
// Failures come back as a ListFileError: the system error code and the name
// to show in the file-error message; the window that called raises it as a
// FileError (ToFileError) and so shows that message.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/file_error.h"
#include "replacelist/list_format.h"

namespace vx {

inline constexpr char kReplaceListFile[] = "list.dat";

struct ListFileError {
  platform::SysError code = platform::kOk;
  std::string name;           // for %1: the name as opened, or the full path
  bool read_failure = false;  // a read error: a general failure, whatever the code
  explicit operator bool() const { return code != platform::kOk; }
};

// The file error the user is shown for a failure.
FileError ToFileError(const ListFileError& error);

// Every function takes the code page the caller holds its texts in (`held`):
// code page 932 by default (vextrane-cli's raw texts), UTF-8 for the window.
// The file is read as code page 932, or as UTF-8 when it begins with the
// UTF-8 byte-order mark; it is written in code page 932 when every text
// fits, byte for byte as before, else in UTF-8 with the mark (list_format.h:
// ListFileDecoder, StoredTextBytes).
//
// `inexact`, where given, receives the indexes (file order) of the texts the
// held code page does not give exactly (ListTexts::inexact): each shows
// U+FFFD or "?" where the file has a byte or character it cannot hold. A
// caller must neither run nor save such a text as if it were the file's.

// Reads the texts of the list, sharing the file with other readers (an
// indexer or a virus scanner that has it open does not stop the read). A
// missing file is an empty list and no error. A file that exists and cannot
// be opened gives {its code, the name as given}. A read error gives {its
// code, full path, read_failure}; the texts completed before it stay in
// *texts.
ListFileError ReadReplaceListTexts(std::vector<std::string>* texts, const std::string& name = kReplaceListFile,
                                   CodePage held = CodePage::kCp932, std::vector<std::size_t>* inexact = nullptr);

// The main window's load: the two drop-down lists, the search list one entry
// longer with an odd number of texts. The window never saves them, so a file
// that cannot be opened is only an empty list; on a read error *columns
// holds the entries read so far.
ListFileError LoadReplaceListColumns(ListColumns* columns, const std::string& name = kReplaceListFile,
                                     CodePage held = CodePage::kCp932, std::vector<std::size_t>* inexact = nullptr);

// The editor's load: its rows, a last search text without a partner as a row
// with an empty replacement. Every failure, an open failure included, comes
// back: whatever the editor then saved would replace the whole list. Text k
// of `inexact` is row k / 2, the search text for an even k.
ListFileError LoadReplaceListRows(std::vector<ListPair>* rows, const std::string& name = kReplaceListFile,
                                  CodePage held = CodePage::kCp932, std::vector<std::size_t>* inexact = nullptr);

// Saves the rows so that the file is never left half written: the new
// content goes to a temporary file beside it, is flushed to the disk, and
// then takes the file's name.
//  - The file refuses to be replaced (read-only or a folder: access denied;
//    held open by another program: sharing violation) or the temporary file
//    cannot be created: {that code, the name as given}. Nothing is written.
//  - A later write, flush, close or the replace fails: {its code (a short
//    write counts as disk full), full path}.
// On any failure the file keeps its old content and no temporary file is
// left behind.
ListFileError SaveReplaceListRows(const std::vector<ListPair>& rows, const std::string& name = kReplaceListFile,
                                  CodePage held = CodePage::kCp932);

}  // namespace vx
