// File errors: the failure of a file operation, as the user is told about it.
//
// A FileError carries the system error code (Windows numbering, see file.h)
// and the name of the file. The name is whatever the failing step knows the
// file by: the name as the program passed it when a file cannot be opened or
// created, the full path when a later read, write or close failed, or empty
// when the failing operation names no file.
//
// Any code may throw a FileError. A dialog's event handler that throws one is
// ended, and the dialog shows FileErrorMessage() in a message box (ui/).
//
// The mapping below is portable: code -> kind -> message.
#pragma once

#include <exception>
#include <string>

#include "platform/file.h"

namespace vx {

enum class FileErrorKind {
  kGeneric,            // every code not assigned below
  kFileNotFound,       // 2, 6, 18
  kBadPath,            // 3, 15, 17
  kTooManyOpenFiles,   // 4
  kAccessDenied,       // 5, 12, 19
  kInvalidFile,        // 11
  kRemoveCurrentDir,   // 16
  kDirectoryFull,      // 62
  kBadSeek,            // 24, 25, 27, 30
  kHardIO,             // 20, 21, 22, 23
  kSharingViolation,   // 32
  kLockViolation,      // 33
  kDiskFull,           // 39, 112
  kEndOfFile,          // 38
};

// The kind of failure a system error code stands for.
FileErrorKind FileErrorKindOf(platform::SysError code);

// The message of a kind, with %1 where the file's name goes.
const char* FileErrorMessageTemplate(FileErrorKind kind);

// Shown in place of the name when the failing operation names no file.
inline constexpr const char kUntitledFileName[] = "無題のﾌｧｲﾙ";

// The message of a kind for one file (an empty name gives kUntitledFileName).
std::string FileErrorMessage(FileErrorKind kind, const std::string& name);

class FileError : public std::exception {
 public:
  // A failure reported by the system: the kind follows from the code.
  FileError(platform::SysError code, std::string name);
  // A failure the program detects itself (a short write counts as disk
  // full, a failed line read as a general failure); code is informational.
  FileError(FileErrorKind kind, std::string name, platform::SysError code = 0);

  FileErrorKind kind() const { return kind_; }
  platform::SysError code() const { return code_; }
  const std::string& name() const { return name_; }
  // The text the user sees.
  std::string Message() const { return FileErrorMessage(kind_, name_); }
  const char* what() const noexcept override { return "file error"; }

 private:
  FileErrorKind kind_;
  platform::SysError code_;
  std::string name_;
};

}  // namespace vx
