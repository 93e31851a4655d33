// The main window's own settings, kept between runs in "options.dat" beside
// list.dat (opened by its relative name in the working directory, the
// program's folder): the matching options, the two folder masks and the
// kept-times option. list.dat keeps its format; this file has one of its own.
//
// The file is UTF-8 with a byte-order mark, one "key=value" a line, CR LF:
//
//   regex=0
//   ignore_case=1
//   word=0
//   fold=0
//   keep_times=0
//   include=*.txt;*.csv
//   exclude=old;*.bak
//
// Read back leniently, so that a file edited by hand or written by another
// version never stops the window: the mark may be missing, LF alone ends a
// line too, a line that is no "key=value" (or starts with '#' or ';'), an
// unknown key and a value that is not what its key takes (a flag other than
// 0 or 1, a mask that is no UTF-8 or holds a zero byte) are passed over, and
// what is not given keeps its default. A missing file is all defaults.
#pragma once

#include <string>
#include <string_view>

#include "engine/expression.h"
#include "platform/file.h"

namespace vx {

inline constexpr char kWindowSettingsFile[] = "options.dat";

struct WindowSettings {
  MatchOptions match;
  std::string include_mask;  // file-name patterns to take in folders (UTF-8); empty: every file
  std::string exclude_mask;  // patterns of files and folders to leave out (UTF-8)
  bool keep_times = false;   // rewritten files keep their modification time

  bool operator==(const WindowSettings&) const = default;
};

// The settings a file's bytes give (the rules above).
WindowSettings ParseWindowSettings(std::string_view bytes);

// The file's bytes for `settings`. A mask is written up to its first line
// break, which no single-line field holds.
std::string FormatWindowSettings(const WindowSettings& settings);

enum class SettingsRead {
  kRead,        // the file was read (what it did not give is a default)
  kMissing,     // there is no such file: every setting is a default
  kUnreadable,  // it exists but could not be read: defaults, and it is best left as it is
};

// Reads the file into *settings (defaults where it gives nothing).
SettingsRead LoadWindowSettings(WindowSettings* settings, const std::string& name = kWindowSettingsFile);

// Saves the settings so that the file is never left half written (the new
// content is written beside it and then takes its name, as list.dat is
// saved). Fails with the system error code, and `failed_name` receives the
// name to show in the file-error message: the name as given when the file
// or its temporary file cannot be made, its full path for a later failure.
platform::SysError SaveWindowSettings(const WindowSettings& settings, std::string* failed_name,
                                      const std::string& name = kWindowSettingsFile);

}  // namespace vx
