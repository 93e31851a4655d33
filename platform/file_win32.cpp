// Win32 implementation of the file layer: the "W" functions, each path a
// UTF-8 text given in its extended-length form (PathOf), so that a name is
// reached exactly as it is written, whatever its characters, trailing dots
// and spaces included, and at any length the file system allows.
// Exclusive opens with share mode 0.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/file_fault.h"
#include "platform/unicode.h"
#include "platform/wide.h"

namespace vx::platform {

static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrorTooManyOpenFiles == ERROR_TOO_MANY_OPEN_FILES);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrorBadFormat == ERROR_BAD_FORMAT);
static_assert(kErrorInvalidAccess == ERROR_INVALID_ACCESS);
static_assert(kErrorInvalidDrive == ERROR_INVALID_DRIVE);
static_assert(kErrorCurrentDirectory == ERROR_CURRENT_DIRECTORY);
static_assert(kErrorNotSameDevice == ERROR_NOT_SAME_DEVICE);
static_assert(kErrorNoMoreFiles == ERROR_NO_MORE_FILES);
static_assert(kErrorWriteProtect == ERROR_WRITE_PROTECT);
static_assert(kErrorBadUnit == ERROR_BAD_UNIT);
static_assert(kErrorNotReady == ERROR_NOT_READY);
static_assert(kErrorBadCommand == ERROR_BAD_COMMAND);
static_assert(kErrorCrc == ERROR_CRC);
static_assert(kErrorBadLength == ERROR_BAD_LENGTH);
static_assert(kErrorSeek == ERROR_SEEK);
static_assert(kErrorSectorNotFound == ERROR_SECTOR_NOT_FOUND);
static_assert(kErrorWriteFault == ERROR_WRITE_FAULT);
static_assert(kErrorReadFault == ERROR_READ_FAULT);
static_assert(kErrorGenFailure == ERROR_GEN_FAILURE);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrorLockViolation == ERROR_LOCK_VIOLATION);
static_assert(kErrorHandleEof == ERROR_HANDLE_EOF);
static_assert(kErrorHandleDiskFull == ERROR_HANDLE_DISK_FULL);
static_assert(kErrorBadNetPath == ERROR_BAD_NETPATH);
static_assert(kErrorNoSpoolSpace == ERROR_NO_SPOOL_SPACE);
static_assert(kErrorNetworkAccessDenied == ERROR_NETWORK_ACCESS_DENIED);
static_assert(kErrorBadNetName == ERROR_BAD_NET_NAME);
static_assert(kErrorFileExists == ERROR_FILE_EXISTS);
static_assert(kErrorCannotMake == ERROR_CANNOT_MAKE);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorDiskFull == ERROR_DISK_FULL);
static_assert(kErrorInvalidName == ERROR_INVALID_NAME);
static_assert(kErrorNegativeSeek == ERROR_NEGATIVE_SEEK);
static_assert(kErrorSeekOnDevice == ERROR_SEEK_ON_DEVICE);
static_assert(kErrorBadPathname == ERROR_BAD_PATHNAME);
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(kErrorFilenameExcedRange == ERROR_FILENAME_EXCED_RANGE);
static_assert(kErrorDirectory == ERROR_DIRECTORY);
static_assert(kErrorIoDevice == ERROR_IO_DEVICE);
static_assert(kErrorUserMappedFile == ERROR_USER_MAPPED_FILE);
static_assert(kErrorCantAccessFile == ERROR_CANT_ACCESS_FILE);

namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Raw(HANDLE h) { return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h); }

SysError LastError() {
  const DWORD e = ::GetLastError();
  return e == 0 ? kErrorGenFailure : static_cast<SysError>(e);
}

// The path a file function is given: Win32Path's extended-length form. A
// path that is no strict UTF-8 gives an empty one, which every file
// function refuses (as a path not found): widened, each bad byte would be
// U+FFFD, and that names another file.
std::wstring PathOf(const std::string& path) { return IsUtf8(path) ? Win32Path(path) : std::wstring(); }

// A text the system writes into a buffer of ours, asked for by its length
// first: `ask(buffer, size)` gives the length written (no terminating zero)
// when it fits, the size it needs (with the zero) when it does not, and 0
// on failure. Asked again while it grows meanwhile. Empty on failure.
template <class Ask>
std::wstring AskText(Ask ask) {
  std::wstring text;
  DWORD size = ask(nullptr, 0);
  for (int tries = 0; size != 0 && tries < 8; ++tries) {
    text.resize(size);
    const DWORD got = ask(text.data(), size);
    if (got < size) {
      text.resize(got);
      return text;
    }
    size = got;
  }
  return std::wstring();
}

// A handle of a file, closed when it goes.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ~ScopedHandle() {
    if (ok()) ::CloseHandle(h_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// A handle that asks or changes a file's attributes and times only: no
// access to its content, full sharing, so it works while another program
// holds the file; a folder opens too. On failure, GetLastError says why.
ScopedHandle OpenAttributes(const std::string& path, DWORD access) {
  return ScopedHandle(::CreateFileW(PathOf(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The identity of an open file.
SysError IdentityOf(HANDLE h, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION bhfi;
  if (!::GetFileInformationByHandle(h, &bhfi)) return LastError();
  identity->volume = bhfi.dwVolumeSerialNumber;
  identity->index = (static_cast<std::uint64_t>(bhfi.nFileIndexHigh) << 32) | bhfi.nFileIndexLow;
  return kOk;
}

// Opens a regular file; a folder opened by mistake is refused as access denied.
std::intptr_t OpenHandle(const std::string& path, DWORD access, DWORD creation, SysError* error, DWORD share = 0) {
  const HANDLE h = ::CreateFileW(PathOf(path).c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// The parts `what` of a security descriptor, asked for by `ask(buffer,
// size, &need)`; empty where the file system keeps none.
template <class Ask>
std::vector<char> AskSecurity(Ask ask) {
  // Room for a file's usual descriptor, so that one call mostly does.
  std::vector<char> sd(1024);
  DWORD need = 0;
  if (ask(sd.data(), static_cast<DWORD>(sd.size()), &need)) return sd;
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || need == 0) return {};
  sd.resize(need);
  if (!ask(sd.data(), need, &need)) sd.clear();
  return sd;
}

// Of the file `path` (each call opens it anew), and of the file open as `h`.
std::vector<char> SecurityOf(const std::string& path, SECURITY_INFORMATION what) {
  const std::wstring wide = PathOf(path);
  return AskSecurity([&](void* sd, DWORD size, DWORD* need) { return ::GetFileSecurityW(wide.c_str(), what, sd, size, need); });
}
std::vector<char> SecurityOf(HANDLE h, SECURITY_INFORMATION what) {
  return AskSecurity([&](void* sd, DWORD size, DWORD* need) { return ::GetKernelObjectSecurity(h, what, sd, size, need); });
}

// Whether two security descriptors name the same owner and group.
bool SameOwnerAndGroup(std::vector<char>& a, std::vector<char>& b) {
  PSID owner_a = nullptr, owner_b = nullptr, group_a = nullptr, group_b = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(a.data(), &owner_a, &defaulted) ||
      !::GetSecurityDescriptorOwner(b.data(), &owner_b, &defaulted) ||
      !::GetSecurityDescriptorGroup(a.data(), &group_a, &defaulted) ||
      !::GetSecurityDescriptorGroup(b.data(), &group_b, &defaulted)) {
    return false;
  }
  const auto same = [](PSID x, PSID y) { return x != nullptr && y != nullptr && ::EqualSid(x, y); };
  return same(owner_a, owner_b) && same(group_a, group_b);
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

// Gives the new file `to` who may read and change the file `from`, through
// `h` where it is open with READ_CONTROL and WRITE_DAC (else through its
// path). The DACL is copied only where it differs: a new file in the same
// folder already has what the folder hands down, and a file locked down by
// an ACL of its own must not come out with the folder's, which can be
// wider. The owner and group follow where this process may set them
// (another owner takes a privilege; without it the new file stays ours).
SysError CopySecurity(const std::string& from, const std::string& to, HANDLE h = INVALID_HANDLE_VALUE) {
  constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  std::vector<char> wanted = SecurityOf(from, kWhat);
  if (wanted.empty()) return kOk;  // no security on this file system
  const bool open = h != INVALID_HANDLE_VALUE;
  std::vector<char> has = open ? SecurityOf(h, kWhat) : SecurityOf(to, kWhat);
  const std::wstring wide_to = PathOf(to);
  if (has.empty() || !SameDacl(wanted, has)) {
    if (!(open ? ::SetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, wanted.data())
               : ::SetFileSecurityW(wide_to.c_str(), DACL_SECURITY_INFORMATION, wanted.data())))
      return LastError();
  }
  // Setting the owner takes WRITE_OWNER, which an open of its own asks for.
  if (has.empty() || !SameOwnerAndGroup(wanted, has))
    ::SetFileSecurityW(wide_to.c_str(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, wanted.data());
  return kOk;
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
  const std::wstring wide_from = PathOf(from), wide_to = PathOf(to);
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

// Gives `to` the attributes `attributes` and the creation time `created`,
// through `h` where it is open with FILE_WRITE_ATTRIBUTES (else through an
// open of its own). Should the creation time not be taken, the attributes
// are set alone: a failure costs only that date.
SysError SetAttributesAndCreationTime(const std::string& to, HANDLE h, DWORD attributes, const FILETIME& created) {
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.CreationTime.LowPart = created.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(created.dwHighDateTime);
  basic.FileAttributes = attributes;
  const auto set = [&](HANDLE with) {
    return with != INVALID_HANDLE_VALUE && ::SetFileInformationByHandle(with, FileBasicInfo, &basic, sizeof basic);
  };
  if (h != INVALID_HANDLE_VALUE ? set(h) : set(OpenAttributes(to, FILE_WRITE_ATTRIBUTES).get())) return kOk;
  if (!::SetFileAttributesW(PathOf(to).c_str(), attributes)) return LastError();
  return kOk;
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

// The file system's limits on a name: 255 UTF-16 units a component, and
// 32,767 a path, the extended-length prefix and the terminating zero with it.
constexpr std::size_t kMaxNameUnits = 255;
constexpr std::size_t kMaxPathUnits = 32767;

std::string TempNameBeside(const std::string& target) {
  const std::string tag = TempTag();
  const std::size_t slash = LastSeparator(target);
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = target.substr(folder.size()) + tag + kTempSuffix;
  if (Widen(name).size() > kMaxNameUnits || Win32Path(folder + name).size() >= kMaxPathUnits)
    return folder + "vx" + tag.substr(1) + kTempSuffix;
  return folder + name;
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
  const std::wstring wide_to = PathOf(to);
  const DWORD attrs = ::GetFileAttributesW(wide_to.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
  if (!::MoveFileExW(PathOf(from).c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastError();
  return kOk;
}

// ReplaceFileW would carry the target's identity over by itself, but it is
// no single step: without a backup name, a failure half-way leaves the
// target's name empty (and some implementations remove the old file before
// the new one has its name). So the identity is carried over here, onto the
// complete new file, which then takes the name in one rename.
SysError ReplaceContent(const std::string& replacement, const std::string& target) {
  if (SysError e = TakeFileFault(FileOp::kReplace)) return e;
  const std::wstring wide_target = PathOf(target), wide_replacement = PathOf(replacement);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (::GetFileAttributesExW(wide_target.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD attrs = data.dwFileAttributes;
    if (attrs & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    // The streams first, while the new file is as this process made it.
    if (SysError e = CopyStreams(target, replacement)) return e;
    // Then who may use it, and last its attributes (a system file could
    // refuse the steps above), through one open made before either where
    // the file system gives it.
    const ScopedHandle h = OpenAttributes(replacement, READ_CONTROL | WRITE_DAC | FILE_WRITE_ATTRIBUTES);
    if (SysError e = CopySecurity(target, replacement, h.get())) return e;
    const DWORD keep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD wanted = attrs & keep;
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    if (SysError e = SetAttributesAndCreationTime(replacement, h.get(), wanted, data.ftCreationTime)) return e;
  }
  if (!::MoveFileExW(wide_replacement.c_str(), wide_target.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastError();
  return kOk;
}

SysError MoveFile(const std::string& from, const std::string& to) {
  if (SysError e = TakeFileFault(FileOp::kMove)) return e;
  if (!::MoveFileW(PathOf(from).c_str(), PathOf(to).c_str())) return LastError();
  return kOk;
}

SysError DeleteFile(const std::string& path) {
  if (SysError e = TakeFileFault(FileOp::kDelete)) return e;
  if (!::DeleteFileW(PathOf(path).c_str())) return LastError();
  return kOk;
}

SysError LinkFile(const std::string& existing, const std::string& link) {
  if (SysError e = TakeFileFault(FileOp::kLink)) return e;
  if (!::CreateHardLinkW(PathOf(link).c_str(), PathOf(existing).c_str(), nullptr)) return LastError();
  return kOk;
}

std::string FullPath(const std::string& path) {
  if (!IsUtf8(path)) return path;  // no file has that name; the call that follows says so
  // An absolute path is cleaned as its extended-length form is, every name
  // kept exactly; only a relative one needs the working directory.
  const std::string extended = ExtendedPath(path);
  if (extended.compare(0, 4, "\\\\?\\") == 0) return PlainPath(extended);
  if (extended.compare(0, 4, "\\\\.\\") == 0) return path;  // a device
  const std::wstring wide = Widen(path);
  const std::wstring full =
      AskText([&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(wide.c_str(), size, buffer, nullptr); });
  std::string text;
  if (full.empty() || !NarrowExact(full, &text)) return path;
  return PlainPath(text);
}

SysError QueryFileInfo(const std::string& path, FileInfo* info) {
  *info = FileInfo{};
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(PathOf(path).c_str(), GetFileExInfoStandard, &data)) {
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
  return ::GetFileAttributesW(PathOf(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// FILETIME counts 100 ns steps from 1601-01-01; FileTime counts from 1970.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;

SysError GetModifiedTime(const std::string& path, FileTime* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(PathOf(path).c_str(), GetFileExInfoStandard, &data)) return LastError();
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

namespace {

FILETIME ToFileTime(const FileTime& time) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(time.seconds * 10000000 + time.nanoseconds / 100 + kFileTimeTo1970);
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(ticks);
  written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return written;
}

}  // namespace

SysError SetModifiedTime(const std::string& path, const FileTime& time) {
  const FILETIME written = ToFileTime(time);
  const ScopedHandle h = OpenAttributes(path, FILE_WRITE_ATTRIBUTES);
  if (!h.ok()) return LastError();
  return ::SetFileTime(h.get(), nullptr, nullptr, &written) ? kOk : LastError();
}

// A time set on the handle stays: the writes before it do not move it
// when the file is closed.
SysError File::SetModifiedTime(const FileTime& time) {
  const FILETIME written = ToFileTime(time);
  return ::SetFileTime(H(handle_), nullptr, nullptr, &written) ? kOk : LastError();
}

SysError GetFileIdentity(const std::string& path, FileIdentity* identity) {
  const ScopedHandle h = OpenAttributes(path, 0);
  if (!h.ok()) return LastError();
  return IdentityOf(h.get(), identity);
}

// The index alone, without the volume's serial number that
// GetFileInformationByHandle asks the volume for.
SysError GetFileIndex(const std::string& path, std::uint64_t* index) {
  const ScopedHandle h = OpenAttributes(path, 0);
  if (!h.ok()) return LastError();
  IO_STATUS_BLOCK io{};
  FILE_INTERNAL_INFORMATION internal{};
  if (::NtQueryInformationFile(h.get(), &io, &internal, sizeof internal, FileInternalInformation) >= 0) {
    *index = static_cast<std::uint64_t>(internal.IndexNumber.QuadPart);
    return kOk;
  }
  FileIdentity identity;
  if (SysError e = IdentityOf(h.get(), &identity)) return e;
  *index = identity.index;
  return kOk;
}

namespace {

// FinalPath of the file open as `h` under the name `path`.
std::string FinalPathOf(HANDLE h, const std::string& path) {
  const std::wstring final = AskText(
      [h](wchar_t* buffer, DWORD size) { return ::GetFinalPathNameByHandleW(h, buffer, size, VOLUME_NAME_DOS); });
  // "\\?\C:\..." or "\\?\UNC\server\share\...": given back as the user
  // knows it. A volume without a drive letter stays as named, and so does a
  // link to a name no UTF-8 text can stand for.
  std::string text;
  if (final.empty() || !NarrowExact(final, &text)) return path;
  const bool drive = text.compare(0, 4, "\\\\?\\") == 0 && text.size() > 6 && text[5] == ':';
  if (!drive && text.compare(0, 8, "\\\\?\\UNC\\") != 0) return path;
  text = PlainPath(text);
  if (text == path) return text;
  // Another name (a link's target, another letter case, a long name for a
  // short one) is taken only where it leads to this very file: not every
  // implementation gives a name back exactly (Wine drops trailing dots and
  // spaces).
  FileIdentity named, final_identity;
  if (IdentityOf(h, &named) != kOk || GetFileIdentity(text, &final_identity) != kOk || !(named == final_identity)) {
    return path;
  }
  return text;
}

}  // namespace

std::string FinalPath(const std::string& path) {
  const ScopedHandle h = OpenAttributes(path, 0);
  if (!h.ok()) return path;  // the open that follows reports why
  return FinalPathOf(h.get(), path);
}

std::string File::FinalPath(const std::string& path) const { return FinalPathOf(H(handle_), path); }

SysError CopyAccess(const std::string& from, const std::string& to) {
  if (SysError e = CopySecurity(from, to)) return e;
  // The new file stays writable by its owner, also where the rights of a
  // read-only file are its read-only attribute (Wine: no write bits).
  const std::wstring wide_to = PathOf(to);
  const DWORD attrs = ::GetFileAttributesW(wide_to.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_READONLY)) return kOk;
  const DWORD wanted = attrs & ~FILE_ATTRIBUTE_READONLY;
  if (!::SetFileAttributesW(wide_to.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL)) return LastError();
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
