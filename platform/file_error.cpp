#include "platform/file_error.h"

#include <utility>

namespace vx {

namespace {

struct CodeKind {
  platform::SysError code;
  FileErrorKind kind;
};

// The main codes of each kind first, then further codes that clearly belong
// to one kind. Anything not listed is a general failure.
constexpr CodeKind kCodeKinds[] = {
    {2, FileErrorKind::kFileNotFound},      // ERROR_FILE_NOT_FOUND
    {6, FileErrorKind::kFileNotFound},      // ERROR_INVALID_HANDLE
    {18, FileErrorKind::kFileNotFound},     // ERROR_NO_MORE_FILES
    {3, FileErrorKind::kBadPath},           // ERROR_PATH_NOT_FOUND
    {15, FileErrorKind::kBadPath},          // ERROR_INVALID_DRIVE
    {17, FileErrorKind::kBadPath},          // ERROR_NOT_SAME_DEVICE
    {4, FileErrorKind::kTooManyOpenFiles},  // ERROR_TOO_MANY_OPEN_FILES
    {5, FileErrorKind::kAccessDenied},      // ERROR_ACCESS_DENIED
    {12, FileErrorKind::kAccessDenied},     // ERROR_INVALID_ACCESS
    {19, FileErrorKind::kAccessDenied},     // ERROR_WRITE_PROTECT
    {11, FileErrorKind::kInvalidFile},      // ERROR_BAD_FORMAT
    {16, FileErrorKind::kRemoveCurrentDir}, // ERROR_CURRENT_DIRECTORY
    {62, FileErrorKind::kDirectoryFull},    // ERROR_SPOOL_FILE_NOT_FOUND (historic "directory full")
    {24, FileErrorKind::kBadSeek},          // ERROR_BAD_LENGTH
    {25, FileErrorKind::kBadSeek},          // ERROR_SEEK
    {27, FileErrorKind::kBadSeek},          // ERROR_SECTOR_NOT_FOUND
    {30, FileErrorKind::kBadSeek},          // ERROR_READ_FAULT
    {20, FileErrorKind::kHardIO},           // ERROR_BAD_UNIT
    {21, FileErrorKind::kHardIO},           // ERROR_NOT_READY
    {22, FileErrorKind::kHardIO},           // ERROR_BAD_COMMAND
    {23, FileErrorKind::kHardIO},           // ERROR_CRC
    {32, FileErrorKind::kSharingViolation}, // ERROR_SHARING_VIOLATION
    {33, FileErrorKind::kLockViolation},    // ERROR_LOCK_VIOLATION
    {39, FileErrorKind::kDiskFull},         // ERROR_HANDLE_DISK_FULL
    {112, FileErrorKind::kDiskFull},        // ERROR_DISK_FULL
    {38, FileErrorKind::kEndOfFile},        // ERROR_HANDLE_EOF

    // Further codes.
    {53, FileErrorKind::kFileNotFound},       // ERROR_BAD_NETPATH
    {67, FileErrorKind::kFileNotFound},       // ERROR_BAD_NET_NAME
    {123, FileErrorKind::kBadPath},           // ERROR_INVALID_NAME
    {161, FileErrorKind::kBadPath},           // ERROR_BAD_PATHNAME
    {206, FileErrorKind::kBadPath},           // ERROR_FILENAME_EXCED_RANGE
    {267, FileErrorKind::kBadPath},           // ERROR_DIRECTORY
    {65, FileErrorKind::kAccessDenied},       // ERROR_NETWORK_ACCESS_DENIED
    // A name that is taken cannot be created: to the user this is a file
    // they may not write, not an unknown failure.
    {80, FileErrorKind::kAccessDenied},       // ERROR_FILE_EXISTS
    {183, FileErrorKind::kAccessDenied},      // ERROR_ALREADY_EXISTS
    {1920, FileErrorKind::kAccessDenied},     // ERROR_CANT_ACCESS_FILE
    {82, FileErrorKind::kDirectoryFull},      // ERROR_CANNOT_MAKE
    {131, FileErrorKind::kBadSeek},           // ERROR_NEGATIVE_SEEK
    {132, FileErrorKind::kBadSeek},           // ERROR_SEEK_ON_DEVICE
    {29, FileErrorKind::kHardIO},             // ERROR_WRITE_FAULT
    {31, FileErrorKind::kHardIO},             // ERROR_GEN_FAILURE
    {1117, FileErrorKind::kHardIO},           // ERROR_IO_DEVICE
    {1224, FileErrorKind::kSharingViolation}, // ERROR_USER_MAPPED_FILE
};

}  // namespace

FileErrorKind FileErrorKindOf(platform::SysError code) {
  for (const CodeKind& row : kCodeKinds) {
    if (row.code == code) return row.kind;
  }
  return FileErrorKind::kGeneric;
}

const char* FileErrorMessageTemplate(FileErrorKind kind) {
  switch (kind) {
    case FileErrorKind::kGeneric: break;
    case FileErrorKind::kFileNotFound: return "%1 が見つかりませんでした。";
    case FileErrorKind::kBadPath: return "%1 には無効なﾊﾟｽが含まれています。";
    case FileErrorKind::kTooManyOpenFiles: return "開いているﾌｧｲﾙが多すぎるため、%1 を開けませんでした。";
    case FileErrorKind::kAccessDenied: return "%1 へのｱｸｾｽは拒否されました。";
    case FileErrorKind::kInvalidFile: return "%1 へ無効なﾌｧｲﾙ ﾊﾝﾄﾞﾙが関連付けられていました。";
    case FileErrorKind::kRemoveCurrentDir: return "現在のﾃﾞｨﾚｸﾄﾘ %1 は削除できませんでした。";
    case FileErrorKind::kDirectoryFull: return "%1 を作成できませんでした。そのﾃﾞｨﾚｸﾄﾘはいっぱいです。";
    case FileErrorKind::kBadSeek: return "%1 のｼｰｸに失敗しました。";
    case FileErrorKind::kHardIO: return "%1 へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが報告されました。";
    case FileErrorKind::kSharingViolation: return "%1 へのｱｸｾｽ中に共有違反が発生しました。";
    case FileErrorKind::kLockViolation: return "%1 へのｱｸｾｽ中にﾛｯｸ違反が発生しました。";
    case FileErrorKind::kDiskFull: return "%1 へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。";
    case FileErrorKind::kEndOfFile: return "%1 の末尾以降にｱｸｾｽしようとしました。";
  }
  return "%1 へのｱｸｾｽ中に不明なｴﾗｰが発生しました。";
}

std::string FileErrorMessage(FileErrorKind kind, const std::string& name) {
  // Every template holds %1 exactly once. The name is inserted as it is: a
  // "%1" inside a file name is not expanded again.
  const std::string text = FileErrorMessageTemplate(kind);
  const std::size_t at = text.find("%1");
  return text.substr(0, at) + (name.empty() ? kUntitledFileName : name) + text.substr(at + 2);
}

FileError::FileError(platform::SysError code, std::string name)
    : kind_(FileErrorKindOf(code)), code_(code), name_(std::move(name)) {}

FileError::FileError(FileErrorKind kind, std::string name, platform::SysError code)
    : kind_(kind), code_(code), name_(std::move(name)) {}

}  // namespace vx
