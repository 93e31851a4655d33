// Win32 implementation of the file layer: ANSI API, paths in the ANSI code
// page, exclusive opens with share mode 0.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/file_fault.h"
#include "platform/wide.h"

namespace vx::platform {
namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Raw(HANDLE h) { return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h); }

SysError LastError() {
  const DWORD e = ::GetLastError();
  return e == 0 ? 31 : static_cast<SysError>(e);
}

// Opens a regular file; a folder opened by mistake is refused as access denied.
std::intptr_t OpenHandle(const std::string& path, DWORD access, DWORD creation, SysError* error, DWORD share = 0) {
  const HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = LastError();
    return -1;
  }
  *error = kOk;
  return Raw(h);
}

// The position of the last separator of a path, or npos. Paths are UTF-8,
// where no byte of a multi-byte character is a separator.
std::size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/:"); }

// The parts `what` of the security descriptor of `path`; empty where the
// file system keeps none.
std::vector<char> SecurityOf(const std::string& path, SECURITY_INFORMATION what) {
  DWORD need = 0;
  ::GetFileSecurityA(path.c_str(), what, nullptr, 0, &need);
  std::vector<char> sd(need);
  if (need == 0 || !::GetFileSecurityA(path.c_str(), what, sd.data(), need, &need)) sd.clear();
  return sd;
}

// Whether two security descriptors grant the same: the same DACL, entry by
// entry, equally protected from inheritance.
bool SameDacl(std::vector<char>& a, std::vector<char>& b) {
  BOOL present_a = FALSE, present_b = FALSE, defaulted = FALSE;
  PACL acl_a = nullptr, acl_b = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control_a = 0, control_b = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorDacl(a.data(), &present_a, &acl_a, &defaulted) ||
      !::GetSecurityDescriptorDacl(b.data(), &present_b, &acl_b, &defaulted) ||
      !::GetSecurityDescriptorControl(a.data(), &control_a, &revision) ||
      !::GetSecurityDescriptorControl(b.data(), &control_b, &revision)) {
    return false;
  }
  if (!present_a || !present_b || !acl_a || !acl_b) return present_a == present_b && !acl_a == !acl_b;
  if ((control_a ^ control_b) & SE_DACL_PROTECTED || acl_a->AceCount != acl_b->AceCount) return false;
  for (WORD i = 0; i < acl_a->AceCount; ++i) {
    void* ace_a = nullptr;
    void* ace_b = nullptr;
    if (!::GetAce(acl_a, i, &ace_a) || !::GetAce(acl_b, i, &ace_b)) return false;
    const WORD size = static_cast<ACE_HEADER*>(ace_a)->AceSize;
    if (size != static_cast<ACE_HEADER*>(ace_b)->AceSize || std::memcmp(ace_a, ace_b, size) != 0) return false;
  }
  return true;
}

// Gives the new file `to` who may read and change the file `from`. The DACL
// is copied only where it differs: a new file in the same folder already
// has what the folder hands down, and a file locked down by an ACL of its
// own must not come out with the folder's, which can be wider. The owner
// and group follow where this process may set them (another owner takes a
// privilege; without it the new file stays ours).
SysError CopySecurity(const std::string& from, const std::string& to) {
  std::vector<char> wanted =
      SecurityOf(from, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  if (wanted.empty()) return kOk;  // no security on this file system
  std::vector<char> has = SecurityOf(to, DACL_SECURITY_INFORMATION);
  if (has.empty() || !SameDacl(wanted, has)) {
    if (!::SetFileSecurityA(to.c_str(), DACL_SECURITY_INFORMATION, wanted.data())) return LastError();
  }
  ::SetFileSecurityA(to.c_str(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, wanted.data());
  return kOk;
}

std::wstring Wide(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// Copies one named stream ("file:name:$DATA") of `from` onto `to`.
SysError CopyStream(const std::wstring& from, const std::wstring& to) {
  const HANDLE in = ::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return LastError();
  const HANDLE out = ::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  SysError error = out == INVALID_HANDLE_VALUE ? LastError() : kOk;
  char buffer[16384];
  for (DWORD got = 0; error == kOk;) {
    if (!::ReadFile(in, buffer, sizeof buffer, &got, nullptr)) error = LastError();
    if (error != kOk || got == 0) break;
    DWORD written = 0;
    if (!::WriteFile(out, buffer, got, &written, nullptr) || written != got) error = LastError();
  }
  if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  ::CloseHandle(in);
  return error;
}

// Copies the alternate data streams of `from` (the mark of a downloaded
// file among them) onto `to`. A file system without streams has none.
SysError CopyStreams(const std::string& from, const std::string& to) {
  const std::wstring wide_from = Wide(from), wide_to = Wide(to);
  WIN32_FIND_STREAM_DATA stream;
  const HANDLE find = ::FindFirstStreamW(wide_from.c_str(), FindStreamInfoStandard, &stream, 0);
  if (find == INVALID_HANDLE_VALUE) return kOk;
  SysError error = kOk;
  do {
    const std::wstring name = stream.cStreamName;  // ":name:$DATA"; the file's own data is "::$DATA"
    if (name != L"::$DATA") error = CopyStream(wide_from + name, wide_to + name);
  } while (error == kOk && ::FindNextStreamW(find, &stream));
  ::FindClose(find);
  return error;
}

// Gives `to` the creation time of `from`. A failure costs only that date.
void CopyCreationTime(const std::string& from, const std::string& to) {
  const HANDLE in = ::CreateFileA(from.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return;
  FILETIME created{};
  const BOOL got = ::GetFileTime(in, &created, nullptr, nullptr);
  ::CloseHandle(in);
  if (!got) return;
  const HANDLE out = ::CreateFileA(to.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  ::SetFileTime(out, &created, nullptr, nullptr);
  ::CloseHandle(out);
}

}  // namespace

File File::OpenReadExclusive(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kOpenRead)) != kOk) return f;
  f.handle_ = OpenHandle(path, GENERIC_READ, OPEN_EXISTING, error);
  return f;
}

File File::OpenReadShared(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kOpenRead)) != kOk) return f;
  f.handle_ = OpenHandle(path, GENERIC_READ, OPEN_EXISTING, error, FILE_SHARE_READ);
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

SysError File::Rewind() {
  if (SysError e = TakeFileFault(FileOp::kRead)) return e;
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(H(handle_), zero, nullptr, FILE_BEGIN) ? kOk : LastError();
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

// ReplaceFileA would carry the target's identity over by itself, but it is
// no single step: without a backup name, a failure half-way leaves the
// target's name empty (and some implementations remove the old file before
// the new one has its name). So the identity is carried over here, onto the
// complete new file, which then takes the name in one rename.
SysError ReplaceContent(const std::string& replacement, const std::string& target) {
  if (SysError e = TakeFileFault(FileOp::kReplace)) return e;
  const DWORD attrs = ::GetFileAttributesA(target.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) {
    if (attrs & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (SysError e = CopySecurity(target, replacement)) return e;
    if (SysError e = CopyStreams(target, replacement)) return e;
    CopyCreationTime(target, replacement);
    // Last: a read-only or system file could refuse the steps above.
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

std::string FinalPath(const std::string& path) {
  // No access rights and full sharing: a file another program holds still
  // answers.
  const HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;  // the open that follows reports why
  std::string final(MAX_PATH + 8, '\0');
  DWORD n = ::GetFinalPathNameByHandleA(h, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
  if (n >= final.size()) {
    final.resize(n + 1);
    n = ::GetFinalPathNameByHandleA(h, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
  }
  ::CloseHandle(h);
  if (n == 0 || n >= final.size()) return path;
  final.resize(n);
  // Back to the form every other call here takes: "\\?\C:\..." as "C:\...",
  // "\\?\UNC\server\share\..." as "\\server\share\...". A volume without a
  // drive letter, or a path past the ANSI calls' limit, stays as named.
  if (final.compare(0, 8, "\\\\?\\UNC\\") == 0) {
    final = "\\\\" + final.substr(8);
  } else if (final.compare(0, 4, "\\\\?\\") == 0 && final.size() > 6 && final[5] == ':') {
    final.erase(0, 4);
  } else {
    return path;
  }
  return final.size() < MAX_PATH ? final : path;
}

SysError CopyAccess(const std::string& from, const std::string& to) {
  if (SysError e = CopySecurity(from, to)) return e;
  // The new file stays writable by its owner, also where the rights of a
  // read-only file are its read-only attribute (Wine: no write bits).
  const DWORD attrs = ::GetFileAttributesA(to.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_READONLY)) return kOk;
  const DWORD wanted = attrs & ~FILE_ATTRIBUTE_READONLY;
  if (!::SetFileAttributesA(to.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL)) return LastError();
  return kOk;
}

std::string NameKey(std::string_view path) {
  const std::wstring wide = Widen(path);
  if (wide.empty()) return std::string();
  // The invariant upper-casing, as the file system compares names: no
  // locale's rules (a Turkish dotless i) change what a name is.
  std::wstring upper(wide.size(), L'\0');
  const int n = static_cast<int>(wide.size());
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), n, upper.data(), n, nullptr, nullptr, 0) != n)
    return std::string(path);
  return Narrow(upper);
}

}  // namespace vx::platform
