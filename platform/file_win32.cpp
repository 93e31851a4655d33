// Win32 implementation of the file layer: ANSI API, paths in the ANSI code
// page, exclusive opens with share mode 0.
#include <windows.h>

#include <cstdio>

#include "platform/file.h"
#include "platform/file_fault.h"

namespace vx::platform {
namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Raw(HANDLE h) { return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h); }

SysError LastError() {
  const DWORD e = ::GetLastError();
  return e == 0 ? 31 : static_cast<SysError>(e);
}

// Opens a regular file; a folder opened by mistake is refused as access denied.
std::intptr_t OpenHandle(const std::string& path, DWORD access, DWORD creation, SysError* error) {
  const HANDLE h = ::CreateFileA(path.c_str(), access, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = LastError();
    return -1;
  }
  *error = kOk;
  return Raw(h);
}

// The position of the last separator of a path, or npos. The path is
// walked by characters of the ANSI code page, so the second byte of a
// double-byte character (0x5C in 表 or ソ) is never taken for a backslash.
std::size_t LastSeparator(const std::string& path) {
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (::IsDBCSLeadByte(c) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      last = i;
    }
  }
  return last;
}

}  // namespace

File File::OpenReadExclusive(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kOpenRead)) != kOk) return f;
  f.handle_ = OpenHandle(path, GENERIC_READ, OPEN_EXISTING, error);
  return f;
}

File File::CreateExclusive(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kCreate)) != kOk) return f;
  f.handle_ = OpenHandle(path, GENERIC_WRITE, CREATE_ALWAYS, error);
  return f;
}

std::string TempNameBeside(const std::string& target) {
  const std::string tag = TempTag();
  std::string candidate = target + tag + kTempSuffix;
  if (candidate.size() >= MAX_PATH) {
    const std::size_t slash = LastSeparator(target);
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    candidate = folder + "vx" + tag.substr(1) + kTempSuffix;
  }
  return candidate;
}

File File::CreateTempBeside(const std::string& target, std::string* temp_path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kCreateTemp)) != kOk) return f;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = TempNameBeside(target);
    f.handle_ = OpenHandle(candidate, GENERIC_WRITE, CREATE_NEW, error);
    if (f.IsOpen()) {
      *temp_path = candidate;
      return f;
    }
    if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS) return f;
  }
  return f;
}

bool File::IsOpen() const { return handle_ != -1; }

SysError File::Size(std::uint64_t* size) const {
  LARGE_INTEGER li;
  if (!::GetFileSizeEx(H(handle_), &li)) return LastError();
  *size = static_cast<std::uint64_t>(li.QuadPart);
  return kOk;
}

SysError File::Read(void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (SysError e = TakeFileFault(FileOp::kRead)) return e;
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  DWORD read = 0;
  if (!::ReadFile(H(handle_), buffer, want, &read, nullptr)) return LastError();
  *got = read;
  return kOk;
}

SysError File::Write(const void* data, std::size_t n) {
  if (SysError e = TakeFileFault(FileOp::kWrite)) return e;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD written = 0;
    if (!::WriteFile(H(handle_), p, want, &written, nullptr)) return LastError();
    if (written == 0) return ERROR_DISK_FULL;
    p += written;
    n -= written;
  }
  return kOk;
}

SysError File::Flush(bool durable) {
  if (SysError e = TakeFileFault(FileOp::kFlush)) return e;
  if (durable && !::FlushFileBuffers(H(handle_))) return LastError();
  return kOk;
}

SysError File::Close() {
  if (handle_ == -1) return kOk;
  const HANDLE h = H(handle_);
  handle_ = -1;
  SysError e = TakeFileFault(FileOp::kClose);
  if (!::CloseHandle(h) && e == kOk) e = LastError();
  return e;
}

SysError ReplaceFile(const std::string& from, const std::string& to) {
  if (SysError e = TakeFileFault(FileOp::kReplace)) return e;
  // Windows refuses to replace a read-only file; not every implementation of
  // the API does, so the rule is kept here.
  const DWORD attrs = ::GetFileAttributesA(to.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
  if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastError();
  return kOk;
}

SysError ReplaceContent(const std::string& replacement, const std::string& target) {
  if (SysError e = TakeFileFault(FileOp::kReplace)) return e;
  const DWORD attrs = ::GetFileAttributesA(target.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) {
    if (attrs & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    const DWORD keep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD wanted = attrs & keep;
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileAttributesA(replacement.c_str(), wanted)) return LastError();
  }
  if (!::MoveFileExA(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastError();
  return kOk;
}

SysError MoveFile(const std::string& from, const std::string& to) {
  if (SysError e = TakeFileFault(FileOp::kMove)) return e;
  if (!::MoveFileA(from.c_str(), to.c_str())) return LastError();
  return kOk;
}

SysError DeleteFile(const std::string& path) {
  if (SysError e = TakeFileFault(FileOp::kDelete)) return e;
  if (!::DeleteFileA(path.c_str())) return LastError();
  return kOk;
}

SysError LinkFile(const std::string& existing, const std::string& link) {
  if (SysError e = TakeFileFault(FileOp::kLink)) return e;
  if (!::CreateHardLinkA(link.c_str(), existing.c_str(), nullptr)) return LastError();
  return kOk;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  if (n == 0) return path;
  if (n < MAX_PATH) return std::string(buffer, n);
  std::string big(n, '\0');
  const DWORD m = ::GetFullPathNameA(path.c_str(), n, big.data(), nullptr);
  if (m == 0 || m >= n) return path;
  big.resize(m);
  return big;
}

SysError QueryFileInfo(const std::string& path, FileInfo* info) {
  *info = FileInfo{};
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD e = ::GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? kOk : static_cast<SysError>(e);
  }
  info->exists = true;
  info->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (!info->directory)
    info->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return kOk;
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// FILETIME counts 100 ns steps from 1601-01-01; FileTime counts from 1970.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;

SysError GetModifiedTime(const std::string& path, FileTime* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return LastError();
  const std::int64_t ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                                       data.ftLastWriteTime.dwLowDateTime) -
                             kFileTimeTo1970;
  // Floor division, so that a time before 1970 keeps nanoseconds in 0..999999999.
  std::int64_t seconds = ticks / 10000000, rest = ticks % 10000000;
  if (rest < 0) rest += 10000000, --seconds;
  time->seconds = seconds;
  time->nanoseconds = static_cast<std::uint32_t>(rest * 100);
  return kOk;
}

SysError SetModifiedTime(const std::string& path, const FileTime& time) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(time.seconds * 10000000 + time.nanoseconds / 100 + kFileTimeTo1970);
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(ticks);
  written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  const SysError e = ::SetFileTime(h, nullptr, nullptr, &written) ? kOk : LastError();
  ::CloseHandle(h);
  return e;
}

SysError GetFileIdentity(const std::string& path, FileIdentity* identity) {
  // No access rights and full sharing: works while another program holds the file.
  const HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION bhfi;
  const BOOL ok = ::GetFileInformationByHandle(h, &bhfi);
  const SysError e = ok ? kOk : LastError();
  ::CloseHandle(h);
  if (!ok) return e;
  identity->volume = bhfi.dwVolumeSerialNumber;
  identity->index = (static_cast<std::uint64_t>(bhfi.nFileIndexHigh) << 32) | bhfi.nFileIndexLow;
  return kOk;
}

std::string FinalPath(const std::string& path) { return path; }

SysError CopyAccess(const std::string&, const std::string&) { return kOk; }

}  // namespace vx::platform
