// Backslash handling in code page 932 paths. Every search walks the text by
// characters: the second byte of a double-byte character is never taken for
// a separator, even where its value is 0x5C (表 is 0x95 0x5C, ソ 0x83 0x5C).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/lead_bytes.h"

namespace vx {

// Index of the first backslash at or after `from`, or npos. `from` must be
// the start of a character (0, or just after a backslash found earlier).
std::size_t FindNextBackslash(std::string_view path, std::size_t from, const LeadBytes& lead);

// Index of the last backslash that is a character of its own, or npos.
std::size_t FindLastBackslash(std::string_view path, const LeadBytes& lead);

// Whether the last character of `path` is a backslash.
bool EndsWithBackslash(std::string_view path, const LeadBytes& lead);

// folder + one backslash + name. No backslash is added when the folder
// already ends in one (a drive root such as "C:\"); a folder whose last
// character merely ends in byte 0x5C still gets its separator.
std::string JoinPath(std::string_view folder, std::string_view name, const LeadBytes& lead);

// The folder of a file's full path: the path cut at its last backslash. A
// file in a drive's root gives the root with its backslash ("C:\"): the bare
// "C:" would name the drive's current directory instead. Empty when the path
// holds no backslash.
std::string FolderOf(std::string_view path, const LeadBytes& lead);

// The key under which the target list files a path for its duplicate test:
// Windows file names do not differ by letter case, so the ASCII letters are
// folded to upper case, character by character (the second byte of a
// double-byte character is kept as it is, even where it looks like a letter).
std::string FoldPathKey(std::string_view path, const LeadBytes& lead);

// Whether a file name ends in the suffix of the rewrite's temporary files
// (platform::kTempSuffix), ignoring letter case: a leftover of a run that
// was cut short.
bool HasTempSuffix(std::string_view name);

// The full paths in the result buffer of a multi-selection file dialog in
// the explorer style. One selected file: the buffer holds its full path.
// Several: the folder, then each file name, each ended by a zero byte, and
// one more zero byte at the end; each path is folder + one backslash + name
// (no second backslash after a drive root). Never reads past `size` bytes.
std::vector<std::string> SplitMultiSelection(const char* buffer, std::size_t size, const LeadBytes& lead);

#ifdef _WIN32
// The lead-byte set of the ANSI code page (GetCPInfo(CP_ACP)), taken on the
// first call (at start-up) and kept for the life of the process.
const LeadBytes& AnsiLeadBytes();
#endif

// Splits a command line into its argument vector by the platform's rules:
// blanks and tabs separate arguments; double quotes group (a doubled quote
// inside quotes is a literal quote); 2n backslashes before a quote give n
// backslashes and the quote groups, 2n+1 give n backslashes and a literal
// quote; other backslashes are literal. A double-byte character is never
// split: its second byte is never a backslash or a quote. Argument 0 (the
// program) ends at the first blank, or at its closing quote, with no escapes.
std::vector<std::string> SplitCommandLine(std::string_view line, const LeadBytes& lead);

}  // namespace vx
