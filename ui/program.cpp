#include "ui/program.h"

#include <windows.h>

#include <algorithm>

#include "platform/wide.h"
#include "targets/path_text.h"

namespace vx {

namespace {

// Reads a path from a call that takes a buffer and its size in units and
// returns the length it wrote: `get(buffer, size)`. A result of size or more
// (cut short, or the size it needs) asks again with a larger buffer.
template <class Get>
std::string ReadPath(Get get) {
  std::wstring buffer(256, L'\0');  // a first guess, grown until the path fits
  for (int tries = 0; tries < 16; ++tries) {
    const DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return PlainPath(Narrow(buffer));
    }
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, length + 1));
  }
  return std::string();
}

}  // namespace

std::string ProgramPath() {
  // GetModuleFileNameW cuts the path to the buffer and returns its size.
  return ReadPath([](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, buffer, size); });
}

std::string ProgramTitle() {
  const std::string path = ProgramPath();
  const std::size_t slash = FindLastBackslash(path);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');  // no byte of a UTF-8 character is 0x2E: a plain search is exact
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

std::string CurrentDirectory() {
  // Too small a buffer: GetCurrentDirectoryW returns the size it needs.
  return ReadPath([](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
}

bool ChangeDirectory(const std::string& folder) {
  return !folder.empty() && ::SetCurrentDirectoryW(Widen(folder).c_str()) != FALSE;
}

std::string WindowsFolderPath(const std::string& name) {
  const std::string folder =
      ReadPath([](wchar_t* buffer, DWORD size) { return ::GetSystemWindowsDirectoryW(buffer, size); });
  return JoinPath(folder, name);
}

void ChangeToProgramDirectory() { ChangeDirectory(FolderOf(ProgramPath())); }

}  // namespace vx
