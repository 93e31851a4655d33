// The target list's tie to the Windows platform: the canonical form of a
// command-line path on the real file system, and the names the system hands
// the window (its command line, the file dialog's selection) as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx {

// CanonicalizePath (targets/canonical.h) on the Windows file system.
std::string CanonicalizePath(const std::string& path);

// Stands in a narrowed name for an unpaired surrogate, which no UTF-8 text
// can hold: the byte 0xFF, never part of UTF-8, so such a name is known and
// left out, never taken for another (U+FFFD or a look-alike would be).
inline constexpr char kUnpairedSurrogateMark = '\xFF';

// `wide` as UTF-8, each unpaired surrogate as kUnpairedSurrogateMark.
std::string NarrowNames(std::wstring_view wide);
// Whether a name narrowed so held an unpaired surrogate.
inline bool HoldsUnpairedSurrogate(std::string_view name) {
  return name.find(kUnpairedSurrogateMark) != std::string_view::npos;
}

// The argument vector of the program's command line (GetCommandLineW),
// split by SplitCommandLine's rules. An argument holding an unpaired
// surrogate names no file the program can hold: it is left out, as an
// argument that names nothing is skipped. Argument 0 is always there.
std::vector<std::string> CommandLineArguments(std::wstring_view line);

// The full paths in the Add Files dialog's result buffer of `size` units
// (the explorer form, as SplitMultiSelection reads it); a path holding an
// unpaired surrogate is left out.
std::vector<std::string> SelectedPaths(const wchar_t* buffer, std::size_t size);

}  // namespace vx
