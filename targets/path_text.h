// Backslash handling in code page 932 paths. Every search walks the text by
// characters: the second byte of a double-byte character is never taken for
// a separator, even where its value is 0x5C (表 is 0x95 0x5C, ソ 0x83 0x5C).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

}  // namespace vx
