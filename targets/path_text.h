// Backslash handling in Windows paths, held as UTF-8: no byte of a
// multi-byte UTF-8 character is ever 0x5C, so every backslash byte is a
// separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"

namespace vx {

// Index of the first backslash at or after `from`, or npos. `from` must be
// the start of a character (0, or just after a backslash found earlier).
std::size_t FindNextBackslash(std::string_view path, std::size_t from);

// Index of the last backslash that is a character of its own, or npos.
std::size_t FindLastBackslash(std::string_view path);

// Whether the last character of `path` is a backslash.
bool EndsWithBackslash(std::string_view path);

// folder + one backslash + name. No backslash is added when the folder
// already ends in one (a drive root such as "C:\"); a folder whose last
// character merely ends in byte 0x5C still gets its separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder of a file's full path: the path cut at its last backslash. A
// file in a drive's root gives the root with its backslash ("C:\"): the bare
// "C:" would name the drive's current directory instead. Empty when the path
// holds no backslash.
std::string FolderOf(std::string_view path);

// The path that `path` names as seen from `folder` (an absolute folder, as
// the working directory is written): an absolute or network path as it is;
// a relative one joined to the folder; one from the root ("\docs") on the
// folder's drive or share; one on a drive's current folder ("C:docs") in
// the folder when it is on that drive, else as it is. Dots and forward
// slashes are left for the full-path operation. An empty folder gives the
// path as it is.
std::string ResolvePath(std::string_view folder, std::string_view path);

// The key under which the target list files a path for its duplicate test:
// two paths have the same key when the file system takes them for the same
// name (platform::NameKey: on Windows, letter case folded by the system's
// own upper-casing of Unicode; elsewhere the bytes as they are).
std::string FoldPathKey(std::string_view path);

// Whether a file name ends in the suffix of the rewrite's temporary files
// (platform::kTempSuffix), ignoring letter case: a leftover of a run that
// was cut short.
bool HasTempSuffix(std::string_view name);

// The full paths in the result buffer of a multi-selection file dialog in
// the explorer style. One selected file: the buffer holds its full path.
// Several: the folder, then each file name, each ended by a zero byte, and
// one more zero byte at the end; each path is folder + one backslash + name
// (no second backslash after a drive root). Never reads past `size` bytes.
std::vector<std::string> SplitMultiSelection(const char* buffer, std::size_t size);

// Splits a command line into its argument vector by the platform's rules:
// blanks and tabs separate arguments; double quotes group (a doubled quote
// inside quotes is a literal quote); 2n backslashes before a quote give n
// backslashes and the quote groups, 2n+1 give n backslashes and a literal
// quote; other backslashes are literal. A double-byte character is never
// split: no byte of one is a backslash or a quote. Argument 0 (the
// program) ends at the first blank, or at its closing quote, with no escapes.
std::vector<std::string> SplitCommandLine(std::string_view line);

}  // namespace vx
