// POSIX implementation of the file layer. Errors are mapped onto Windows
// system error numbers so the callers' messages are the same everywhere.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/file_fault.h"

namespace vx::platform {
namespace {

SysError MapErrno(int e) {
  switch (e) {
    case 0: return kOk;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: case ENAMETOOLONG: case ELOOP: return kErrorPathNotFound;
    case EMFILE: case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES: case EPERM: case EROFS: case EISDIR: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EXDEV: return kErrorNotSameDevice;
    case EBUSY: case EWOULDBLOCK: case ETXTBSY: return kErrorSharingViolation;
    case EIO: return kErrorIoDevice;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG: return kErrorDiskFull;
    case EEXIST: case ENOTEMPTY: return kErrorFileExists;
    case EINVAL: return kErrorInvalidParameter;
    default: return kErrorGenFailure;
  }
}

SysError LastError() { return MapErrno(errno); }

// As LastError, but a missing folder on the way reads as a bad path
// (kErrorPathNotFound) rather than a missing file, as Windows tells them apart.
SysError LastPathError(const std::string& path) {
  const int e = errno;
  if (e == ENOENT) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
      struct stat st;
      const std::string folder = path.substr(0, slash);
      if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorPathNotFound;
    }
  }
  return MapErrno(e);
}

// Gives `path` the owner and group of `st` where allowed, and `mode`.
SysError KeepAccess(const std::string& path, const struct stat& st, mode_t mode) {
  // The owner first: chown may clear the set-id bits that chmod then restores.
  if (::chown(path.c_str(), st.st_uid, st.st_gid) != 0) {
    // Not allowed for others' files unless privileged: keep our own owner.
  }
  if (::chmod(path.c_str(), mode) != 0) return LastError();
  return kOk;
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// Opens and takes a non-blocking advisory lock: exclusive, the nearest POSIX
// equivalent of share mode 0, or shared, of read sharing. A lock that
// cannot be had reads as a sharing violation.
std::intptr_t OpenLocked(const std::string& path, int flags, SysError* error, int lock = LOCK_EX) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = LastPathError(path);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    *error = kErrorAccessDenied;
    return -1;
  }
  if (::flock(fd, lock | LOCK_NB) != 0) {
    *error = LastError();
    ::close(fd);
    return -1;
  }
  *error = kOk;
  return fd;
}

}  // namespace

File File::OpenReadExclusive(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kOpenRead)) != kOk) return f;
  f.handle_ = OpenLocked(path, O_RDONLY, error);
  return f;
}

File File::OpenReadShared(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kOpenRead)) != kOk) return f;
  f.handle_ = OpenLocked(path, O_RDONLY, error, LOCK_SH);
  return f;
}

File File::CreateExclusive(const std::string& path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kCreate)) != kOk) return f;
  // Truncate only once the lock is held, so a file another program holds
  // is never cut.
  f.handle_ = OpenLocked(path, O_WRONLY | O_CREAT, error);
  if (f.IsOpen() && ::ftruncate(Fd(f.handle_), 0) != 0) {
    *error = LastError();
    f.Close();
  }
  return f;
}

std::string TempNameBeside(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::size_t name = target.size() - folder.size();
  const std::string tag = TempTag();
  if (name + tag.size() + sizeof kTempSuffix - 1 > NAME_MAX) return folder + "vx" + tag.substr(1) + kTempSuffix;
  return target + tag + kTempSuffix;
}

File File::CreateTempBeside(const std::string& target, std::string* temp_path, SysError* error) {
  File f;
  if ((*error = TakeFileFault(FileOp::kCreateTemp)) != kOk) return f;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = TempNameBeside(target);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX | LOCK_NB);
      f.handle_ = fd;
      *temp_path = candidate;
      *error = kOk;
      return f;
    }
    if (errno != EEXIST) {
      *error = LastPathError(candidate);
      return f;
    }
  }
  *error = kErrorFileExists;
  return f;
}

bool File::IsOpen() const { return handle_ >= 0; }

SysError File::Size(std::uint64_t* size) const {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) return LastError();
  *size = static_cast<std::uint64_t>(st.st_size);
  return kOk;
}

SysError File::Rewind() {
  if (SysError e = TakeFileFault(FileOp::kRead)) return e;
  return ::lseek(Fd(handle_), 0, SEEK_SET) == 0 ? kOk : LastError();
}

SysError File::Read(void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (SysError e = TakeFileFault(FileOp::kRead)) return e;
  for (;;) {
    const ssize_t r = ::read(Fd(handle_), buffer, n);
    if (r >= 0) {
      *got = static_cast<std::size_t>(r);
      return kOk;
    }
    if (errno != EINTR) return LastError();
  }
}

SysError File::Write(const void* data, std::size_t n) {
  if (SysError e = TakeFileFault(FileOp::kWrite)) return e;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(Fd(handle_), p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (w == 0) return kErrorDiskFull;
    p += w;
    n -= static_cast<std::size_t>(w);
    written_ += static_cast<std::uint64_t>(w);
  }
#ifdef SYNC_FILE_RANGE_WRITE
  // Otherwise the bytes of a large file wait in memory until the file takes
  // its name, and that rename (on ext4, at least) waits while they all go
  // out. Started now, the disk writes them while the rest is still being
  // read and written. It only starts the writing: it changes when the
  // bytes go out, not what is written, so its result is not needed.
  constexpr std::uint64_t kPushEvery = std::uint64_t{8} << 20;
  if (written_ - pushed_ >= kPushEvery) {
    ::sync_file_range(Fd(handle_), static_cast<off_t>(pushed_), static_cast<off_t>(written_ - pushed_),
                      SYNC_FILE_RANGE_WRITE);
    pushed_ = written_;
  }
#endif
  return kOk;
}

SysError File::Flush(bool durable) {
  if (SysError e = TakeFileFault(FileOp::kFlush)) return e;
  if (durable && ::fsync(Fd(handle_)) != 0) return LastError();
  return kOk;
}

SysError File::SetModifiedTime(const FileTime& time) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = static_cast<time_t>(time.seconds);
  times[1].tv_nsec = static_cast<long>(time.nanoseconds);
  if (::futimens(Fd(handle_), times) != 0) return LastError();
  return kOk;
}

SysError File::Close() {
  if (handle_ < 0) return kOk;
  const int fd = Fd(handle_);
  handle_ = -1;
  SysError e = TakeFileFault(FileOp::kClose);
  if (::close(fd) != 0 && e == kOk && errno != EINTR) e = LastError();
  return e;
}

SysError ReplaceFile(const std::string& from, const std::string& to) {
  if (SysError e = TakeFileFault(FileOp::kReplace)) return e;
  struct stat st;
  if (::stat(to.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return kErrorAccessDenied;
  if (::rename(from.c_str(), to.c_str()) != 0) return LastPathError(from);
  return kOk;
}

SysError ReplaceContent(const std::string& replacement, const std::string& target) {
  if (SysError e = TakeFileFault(FileOp::kReplace)) return e;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return kErrorAccessDenied;
    if (SysError e = KeepAccess(replacement, st, st.st_mode & 07777)) return e;
  }
  if (::rename(replacement.c_str(), target.c_str()) != 0) return LastPathError(replacement);
  return kOk;
}

SysError MoveFile(const std::string& from, const std::string& to) {
  if (SysError e = TakeFileFault(FileOp::kMove)) return e;
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return kOk;
  if (errno == EEXIST) return kErrorAlreadyExists;  // as MoveFileW says
  if (errno != EINVAL && errno != ENOSYS) return LastPathError(from);
#endif
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return kErrorAlreadyExists;
  if (::rename(from.c_str(), to.c_str()) != 0) return LastPathError(from);
  return kOk;
}

SysError DeleteFile(const std::string& path) {
  if (SysError e = TakeFileFault(FileOp::kDelete)) return e;
  if (::unlink(path.c_str()) != 0) return LastPathError(path);
  return kOk;
}

SysError LinkFile(const std::string& existing, const std::string& link) {
  if (SysError e = TakeFileFault(FileOp::kLink)) return e;
  if (::link(existing.c_str(), link.c_str()) != 0) return errno == EEXIST ? kErrorAlreadyExists : LastPathError(existing);
  return kOk;
}

std::string FullPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  std::string full = cwd;
  if (full.empty() || full.back() != '/') full += '/';
  return full + path;
}

SysError QueryFileInfo(const std::string& path, FileInfo* info) {
  *info = FileInfo{};
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? kOk : LastError();
  }
  info->exists = true;
  info->directory = S_ISDIR(st.st_mode);
  info->read_only = !(st.st_mode & S_IWUSR);
  info->size = info->directory ? 0 : static_cast<std::uint64_t>(st.st_size);
  return kOk;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

SysError GetModifiedTime(const std::string& path, FileTime* time) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return LastPathError(path);
  time->seconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  time->nanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
  return kOk;
}

SysError SetModifiedTime(const std::string& path, const FileTime& time) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = static_cast<time_t>(time.seconds);
  times[1].tv_nsec = static_cast<long>(time.nanoseconds);
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return LastPathError(path);
  return kOk;
}

SysError GetFileIdentity(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return LastError();
  identity->volume = static_cast<std::uint64_t>(st.st_dev);
  identity->index = static_cast<std::uint64_t>(st.st_ino);
  return kOk;
}

SysError GetFileIndex(const std::string& path, std::uint64_t* index) {
  FileIdentity identity;
  if (SysError e = GetFileIdentity(path, &identity)) return e;
  *index = identity.index;
  return kOk;
}

std::string FinalPath(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string result = real;
  std::free(real);
  return result;
}

// A link is found by its name: the open file cannot tell.
std::string File::FinalPath(const std::string& path) const { return platform::FinalPath(path); }

SysError CopyAccess(const std::string& from, const std::string& to) {
  struct stat st;
  if (::stat(from.c_str(), &st) != 0) return LastError();
  return KeepAccess(to, st, (st.st_mode & 07777) | S_IWUSR);
}

std::string NameKey(std::string_view path) { return std::string(path); }

}  // namespace vx::platform
