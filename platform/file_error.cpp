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
    {platform::kErrorFileNotFound, FileErrorKind::kFileNotFound},
    {platform::kErrorInvalidHandle, FileErrorKind::kFileNotFound},
    {platform::kErrorNoMoreFiles, FileErrorKind::kFileNotFound},
    {platform::kErrorPathNotFound, FileErrorKind::kBadPath},
    {platform::kErrorInvalidDrive, FileErrorKind::kBadPath},
    {platform::kErrorNotSameDevice, FileErrorKind::kBadPath},
    {platform::kErrorTooManyOpenFiles, FileErrorKind::kTooManyOpenFiles},
    {platform::kErrorAccessDenied, FileErrorKind::kAccessDenied},
    {platform::kErrorInvalidAccess, FileErrorKind::kAccessDenied},
    {platform::kErrorWriteProtect, FileErrorKind::kAccessDenied},
    {platform::kErrorBadFormat, FileErrorKind::kInvalidFile},
    {platform::kErrorCurrentDirectory, FileErrorKind::kRemoveCurrentDir},
    {platform::kErrorNoSpoolSpace, FileErrorKind::kDirectoryFull},  // historically "directory full"
    {platform::kErrorBadLength, FileErrorKind::kBadSeek},
    {platform::kErrorSeek, FileErrorKind::kBadSeek},
    {platform::kErrorSectorNotFound, FileErrorKind::kBadSeek},
    {platform::kErrorReadFault, FileErrorKind::kBadSeek},
    {platform::kErrorBadUnit, FileErrorKind::kHardIO},
    {platform::kErrorNotReady, FileErrorKind::kHardIO},
    {platform::kErrorBadCommand, FileErrorKind::kHardIO},
    {platform::kErrorCrc, FileErrorKind::kHardIO},
    {platform::kErrorSharingViolation, FileErrorKind::kSharingViolation},
    {platform::kErrorLockViolation, FileErrorKind::kLockViolation},
    {platform::kErrorHandleDiskFull, FileErrorKind::kDiskFull},
    {platform::kErrorDiskFull, FileErrorKind::kDiskFull},
    {platform::kErrorHandleEof, FileErrorKind::kEndOfFile},

    // Further codes.
    {platform::kErrorBadNetPath, FileErrorKind::kFileNotFound},
    {platform::kErrorBadNetName, FileErrorKind::kFileNotFound},
    {platform::kErrorInvalidName, FileErrorKind::kBadPath},
    {platform::kErrorBadPathname, FileErrorKind::kBadPath},
    {platform::kErrorFilenameExcedRange, FileErrorKind::kBadPath},
    {platform::kErrorDirectory, FileErrorKind::kBadPath},
    {platform::kErrorNetworkAccessDenied, FileErrorKind::kAccessDenied},
    // A name that is taken cannot be created: to the user this is a file
    // they may not write, not an unknown failure.
    {platform::kErrorFileExists, FileErrorKind::kAccessDenied},
    {platform::kErrorAlreadyExists, FileErrorKind::kAccessDenied},
    {platform::kErrorCantAccessFile, FileErrorKind::kAccessDenied},
    {platform::kErrorCannotMake, FileErrorKind::kDirectoryFull},
    {platform::kErrorNegativeSeek, FileErrorKind::kBadSeek},
    {platform::kErrorSeekOnDevice, FileErrorKind::kBadSeek},
    {platform::kErrorWriteFault, FileErrorKind::kHardIO},
    {platform::kErrorGenFailure, FileErrorKind::kHardIO},
    {platform::kErrorIoDevice, FileErrorKind::kHardIO},
    {platform::kErrorUserMappedFile, FileErrorKind::kSharingViolation},
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
