// Thin file-system layer under the portable core. Two implementations:
// file_win32.cpp (the Win32 "W" functions, every path a UTF-8 text given
// in its extended-length form, so any name and any length the file system
// allows is reached) and file_posix.cpp. No windows.h here: callers stay
// portable.
//
// Errors are system error codes in Windows numbering on every platform
// (kErrorFileNotFound = 2, kErrorAccessDenied = 5, kErrorDiskFull = 112,
// ...); the POSIX implementation maps errno onto them, so the file-error
// messages work the same everywhere. 0 means success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// windows.h maps these names onto its A/W functions; here they are ours.
// (A Windows source includes windows.h before this header.)
#undef MoveFile
#undef DeleteFile
#undef ReplaceFile

namespace vx::platform {

struct FileTime;

using SysError = std::uint32_t;
inline constexpr SysError kOk = 0;

// The system error codes the program names, each the value of windows.h's
// ERROR_ macro of the same name (file_win32.cpp checks them against it).
inline constexpr SysError kErrorFileNotFound = 2;
inline constexpr SysError kErrorPathNotFound = 3;
inline constexpr SysError kErrorTooManyOpenFiles = 4;
inline constexpr SysError kErrorAccessDenied = 5;
inline constexpr SysError kErrorInvalidHandle = 6;
inline constexpr SysError kErrorNotEnoughMemory = 8;
inline constexpr SysError kErrorBadFormat = 11;
inline constexpr SysError kErrorInvalidAccess = 12;
inline constexpr SysError kErrorInvalidDrive = 15;
inline constexpr SysError kErrorCurrentDirectory = 16;
inline constexpr SysError kErrorNotSameDevice = 17;
inline constexpr SysError kErrorNoMoreFiles = 18;
inline constexpr SysError kErrorWriteProtect = 19;
inline constexpr SysError kErrorBadUnit = 20;
inline constexpr SysError kErrorNotReady = 21;
inline constexpr SysError kErrorBadCommand = 22;
inline constexpr SysError kErrorCrc = 23;
inline constexpr SysError kErrorBadLength = 24;
inline constexpr SysError kErrorSeek = 25;
inline constexpr SysError kErrorSectorNotFound = 27;
inline constexpr SysError kErrorWriteFault = 29;
inline constexpr SysError kErrorReadFault = 30;
inline constexpr SysError kErrorGenFailure = 31;
inline constexpr SysError kErrorSharingViolation = 32;
inline constexpr SysError kErrorLockViolation = 33;
inline constexpr SysError kErrorHandleEof = 38;
inline constexpr SysError kErrorHandleDiskFull = 39;
inline constexpr SysError kErrorBadNetPath = 53;
inline constexpr SysError kErrorNoSpoolSpace = 62;
inline constexpr SysError kErrorNetworkAccessDenied = 65;
inline constexpr SysError kErrorBadNetName = 67;
inline constexpr SysError kErrorFileExists = 80;
inline constexpr SysError kErrorCannotMake = 82;
inline constexpr SysError kErrorInvalidParameter = 87;
inline constexpr SysError kErrorDiskFull = 112;
inline constexpr SysError kErrorInvalidName = 123;
inline constexpr SysError kErrorNegativeSeek = 131;
inline constexpr SysError kErrorSeekOnDevice = 132;
inline constexpr SysError kErrorBadPathname = 161;
inline constexpr SysError kErrorAlreadyExists = 183;
inline constexpr SysError kErrorFilenameExcedRange = 206;
inline constexpr SysError kErrorDirectory = 267;
inline constexpr SysError kErrorIoDevice = 1117;
inline constexpr SysError kErrorUserMappedFile = 1224;
inline constexpr SysError kErrorCantAccessFile = 1920;

// An open file, closed by the destructor. Move-only.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading with no sharing: the open fails while
  // another program holds the file, and nobody else can open it meanwhile
  // (Windows: share mode 0; POSIX: the nearest equivalent, an exclusive
  // non-blocking advisory lock).
  static File OpenReadExclusive(const std::string& path, SysError* error);
  // Opens an existing file for reading, sharing it with other readers: the
  // open fails only while another program writes to the file or holds it
  // without sharing (Windows: share mode FILE_SHARE_READ; POSIX: a shared
  // non-blocking advisory lock).
  static File OpenReadShared(const std::string& path, SysError* error);
  // Creates (or truncates) a file for writing with no sharing.
  static File CreateExclusive(const std::string& path, SysError* error);
  // Creates a new, uniquely named temporary file in the folder of `target`
  // (same file system, so it can take the target's name by a rename), open
  // for writing with no sharing. Its name is TempNameBeside's.
  static File CreateTempBeside(const std::string& target, std::string* temp_path, SysError* error);

  bool IsOpen() const;
  SysError Size(std::uint64_t* size) const;
  // Reads up to n bytes; *got is 0 at the end of the file.
  SysError Read(void* buffer, std::size_t n, std::size_t* got);
  // Goes back to the start, to read the file again.
  SysError Rewind();
  // Writes all n bytes or fails (a short write counts as disk full). On
  // Linux, each further few MiB of a large file are started on their way to
  // the disk at once, so that the disk works while the rest is written.
  SysError Write(const void* data, std::size_t n);
  // Pushes buffered data to the operating system; with durable, to the disk.
  SysError Flush(bool durable);
  // Sets the file's modification time, as SetModifiedTime does, through the
  // open file: once its content is written, right before it is closed
  // (later writes would move the time again on POSIX).
  SysError SetModifiedTime(const FileTime& time);
  // FinalPath of the file open here under the name `path`, without opening
  // it again.
  std::string FinalPath(const std::string& path) const;
  SysError Close();

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t written_ = 0;  // POSIX: bytes written, and those started on their way to the disk
  std::uint64_t pushed_ = 0;
};

// Suffix of the temporary files made by File::CreateTempBeside. Folder adds
// recognise leftovers by it.
inline constexpr const char kTempSuffix[] = ".vxtmp";

// A fresh name for a temporary file in the folder of `target`, ending in
// kTempSuffix: the target's name plus a random tag ("a.txt.1a2b3c4d.vxtmp"),
// or, where that name would pass the platform's limits, a short one in the
// same folder ("vx1a2b3c4d.vxtmp"). The limits are the file system's: a
// name of at most 255 units (Windows: UTF-16 units; POSIX: bytes), and on
// Windows a whole path under 32,767 units. Safe to call from several
// threads at once; the name is not reserved (a create or link that finds
// it taken tries the next one).
std::string TempNameBeside(const std::string& target);
// The random part of such a name (used by TempNameBeside).
std::string TempTag();

// Renames `from` to `to`, replacing `to` if it exists, atomically where the
// platform allows (Windows: MoveFileExW with MOVEFILE_REPLACE_EXISTING). A
// read-only `to` is refused with kErrorAccessDenied on every platform
// (POSIX: a regular file without the owner write bit), as Windows does.
SysError ReplaceFile(const std::string& from, const std::string& to);
// Gives the file `replacement` the name `target` in one step, as ReplaceFile
// does, but the file at `target` keeps who it is: its attributes, owner and
// access rights (POSIX: owner, group and permission bits; Windows: also the
// security descriptor, the creation time and alternate data streams, carried
// over onto `replacement` before the rename). A read-only `target` is
// refused with kErrorAccessDenied.
SysError ReplaceContent(const std::string& replacement, const std::string& target);
// Renames `from` to `to`; fails if `to` exists.
SysError MoveFile(const std::string& from, const std::string& to);
SysError DeleteFile(const std::string& path);
// Gives the file `existing` the second name `link` (a hard link, Windows:
// CreateHardLinkW); fails if `link` exists or the file system has no hard
// links. Both names then stand for the same file until one is replaced.
SysError LinkFile(const std::string& existing, const std::string& link);
// The absolute form of a path, as the user knows it (no \\?\ prefix).
// Windows: an absolute path as ExtendedPath cleans it ("." and ".." resolved,
// separators made backslashes), every name kept exactly, trailing dots and
// spaces too; a relative one completed from the working directory by
// GetFullPathNameW, which reads it as Windows reads a typed name (trailing
// dots and spaces dropped). A name found in a folder is never put through
// it: it is joined to its folder as it is.
std::string FullPath(const std::string& path);
// The file a path finally names: the path itself, or for a symbolic link
// the file it points to, so that the file is rewritten where it is and the
// link stays a link. Windows: every name as the file system stores it,
// without the \\?\ prefix ("C:\...", "\\server\share\...").
std::string FinalPath(const std::string& path);

// What a path names, without opening it. A missing path is no error:
// exists is false and the result is kOk.
struct FileInfo {
  bool exists = false;
  bool directory = false;
  bool read_only = false;  // Windows: the read-only attribute; POSIX: no owner write bit
  std::uint64_t size = 0;
};
SysError QueryFileInfo(const std::string& path, FileInfo* info);
bool FileExists(const std::string& path);

// The identity of a file: two paths name the same file exactly when their
// identities are equal (volume and file index; POSIX: device and inode).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};
SysError GetFileIdentity(const std::string& path, FileIdentity* identity);
// The index part of a file's identity alone: files with different indices
// are different files. Cheaper than the whole identity where asking for a
// file's volume costs more than opening the file (Wine).
SysError GetFileIndex(const std::string& path, std::uint64_t* index);
// The identities of many files at once, for telling which of them are one
// file: each as GetFileIdentity gives it, except that the volume of a file
// whose index no other file in `paths` has is not asked for and stays 0.
// None for a file that cannot be opened.
std::vector<std::optional<FileIdentity>> GetFileIdentities(const std::vector<std::string>& paths);

// When a file's content last changed: seconds and nanoseconds since
// 1970-01-01 UTC (Windows keeps steps of 100 ns).
struct FileTime {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
  bool operator==(const FileTime&) const = default;
};
// The modification time of the file a path names (a link followed).
SysError GetModifiedTime(const std::string& path, FileTime* time);
// Sets it; the other times of the file stay as they are.
SysError SetModifiedTime(const std::string& path, const FileTime& time);

// Whether the file at `path` may be replaced by a new one: kOk if nothing is
// there; kErrorAccessDenied for a read-only file or a folder; the open's
// error (a sharing violation) while another program holds the file. *info
// tells what is there.
SysError CheckReplaceable(const std::string& path, FileInfo* info);

// Gives the new file `to` who may read and change the file `from`, writable
// by its owner (POSIX: owner and group where allowed, and the permission
// bits; Windows: the DACL where it differs from the one the new file got
// from its folder, and the owner and group where allowed). For a rewritten
// file that takes the name while the old one becomes its backup.
SysError CopyAccess(const std::string& from, const std::string& to);

// The key under which the file system files a name or path: two paths
// spell the same name exactly when their keys are equal (Windows: letter
// case folded by the system's own upper-casing of Unicode, so "café.txt"
// and "CAFÉ.TXT" are one name and "cafe.txt" another; POSIX: the bytes).
std::string NameKey(std::string_view path);

}  // namespace vx::platform
