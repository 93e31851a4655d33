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
  const std::size_t slash = FindLastBackslash(path, AnsiLeadBytes());
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');  // a second byte is never 0x2E: a plain search is exact
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

void ChangeToProgramDirectory() {
  const std::string folder = FolderOf(ProgramPath(), AnsiLeadBytes());
  if (!folder.empty()) ::SetCurrentDirectoryA(folder.c_str());
}

}  // namespace vx
