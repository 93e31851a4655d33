#include "ui/target_paths.h"

#include <algorithm>

#include "platform/wide.h"
#include "targets/canonical.h"
#include "targets/path_text.h"

namespace vx {

std::string CanonicalizePath(const std::string& path) { return CanonicalizePath(path, WindowsFileSystem()); }

std::string NarrowNames(std::wstring_view wide) {
  std::string text;
  std::size_t run = 0;  // where the units still to narrow begin
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const unsigned unit = wide[i];
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    const bool paired = unit < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
    if (paired) {
      ++i;
      continue;
    }
    text += Narrow(wide.substr(run, i - run));
    text += kUnpairedSurrogateMark;
    run = i + 1;
  }
  text += Narrow(wide.substr(run));
  return text;
}

std::vector<std::string> CommandLineArguments(std::wstring_view line) {
  std::vector<std::string> arguments = SplitCommandLine(NarrowNames(line));
  if (arguments.size() > 1) {
    arguments.erase(std::remove_if(arguments.begin() + 1, arguments.end(),
                                   [](const std::string& argument) { return HoldsUnpairedSurrogate(argument); }),
                    arguments.end());
  }
  return arguments;
}

std::vector<std::string> SelectedPaths(const wchar_t* buffer, std::size_t size) {
  // The selection ends at its first two zero units; the rest of the buffer
  // is left as it was (zero).
  std::size_t used = 0;
  while (used < size && !(buffer[used] == L'\0' && (used + 1 == size || buffer[used + 1] == L'\0'))) ++used;
  const std::string names = NarrowNames(std::wstring_view(buffer, std::min(size, used + 2)));
  std::vector<std::string> paths = SplitMultiSelection(names.data(), names.size());
  paths.erase(std::remove_if(paths.begin(), paths.end(), [](const std::string& path) { return HoldsUnpairedSurrogate(path); }),
              paths.end());
  return paths;
}

}  // namespace vx
