#include "ui/program.h"

#include <windows.h>

#include "targets/path_text.h"

namespace vx {

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

std::string ProgramTitle() {
  const std::string path = ProgramPath();
  const std::size_t slash = FindLastBackslash(path);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');  // a second byte is never 0x2E: a plain search is exact
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

std::string CurrentDirectory() {
  std::string dir(MAX_PATH, '\0');
  DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), dir.data());
  if (length >= dir.size()) {  // longer than MAX_PATH: the size it needs
    dir.resize(length);
    length = ::GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), dir.data());
    if (length >= dir.size()) length = 0;
  }
  dir.resize(length);
  return dir;
}

std::string WindowsFolderPath(const std::string& name) {
  char folder[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryA(folder, MAX_PATH);
  return JoinPath(std::string(folder, length < MAX_PATH ? length : 0), name);
}

void ChangeToProgramDirectory() {
  const std::string folder = FolderOf(ProgramPath());
  if (!folder.empty()) ::SetCurrentDirectoryA(folder.c_str());
}

}  // namespace vx
