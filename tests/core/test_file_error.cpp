// System error codes to kinds to the texts the user sees.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_error.h"

namespace {

using vx::FileErrorKind;

TEST(FileError, EveryMainCodeHasItsKindAndMessage) {
  struct Row {
    vx::platform::SysError code;
    FileErrorKind kind;
    std::string message;  // for the name "a.txt"
  } rows[] = {
      {2, FileErrorKind::kFileNotFound, "a.txt が見つかりませんでした。"},
      {6, FileErrorKind::kFileNotFound, "a.txt が見つかりませんでした。"},
      {18, FileErrorKind::kFileNotFound, "a.txt が見つかりませんでした。"},
      {3, FileErrorKind::kBadPath, "a.txt には無効なﾊﾟｽが含まれています。"},
      {15, FileErrorKind::kBadPath, "a.txt には無効なﾊﾟｽが含まれています。"},
      {17, FileErrorKind::kBadPath, "a.txt には無効なﾊﾟｽが含まれています。"},
      {4, FileErrorKind::kTooManyOpenFiles, "開いているﾌｧｲﾙが多すぎるため、a.txt を開けませんでした。"},
      {5, FileErrorKind::kAccessDenied, "a.txt へのｱｸｾｽは拒否されました。"},
      {12, FileErrorKind::kAccessDenied, "a.txt へのｱｸｾｽは拒否されました。"},
      {19, FileErrorKind::kAccessDenied, "a.txt へのｱｸｾｽは拒否されました。"},
      {11, FileErrorKind::kInvalidFile, "a.txt へ無効なﾌｧｲﾙ ﾊﾝﾄﾞﾙが関連付けられていました。"},
      {16, FileErrorKind::kRemoveCurrentDir, "現在のﾃﾞｨﾚｸﾄﾘ a.txt は削除できませんでした。"},
      {62, FileErrorKind::kDirectoryFull, "a.txt を作成できませんでした。そのﾃﾞｨﾚｸﾄﾘはいっぱいです。"},
      {24, FileErrorKind::kBadSeek, "a.txt のｼｰｸに失敗しました。"},
      {25, FileErrorKind::kBadSeek, "a.txt のｼｰｸに失敗しました。"},
      {27, FileErrorKind::kBadSeek, "a.txt のｼｰｸに失敗しました。"},
      {30, FileErrorKind::kBadSeek, "a.txt のｼｰｸに失敗しました。"},
      {20, FileErrorKind::kHardIO, "a.txt へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが報告されました。"},
      {21, FileErrorKind::kHardIO, "a.txt へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが報告されました。"},
      {22, FileErrorKind::kHardIO, "a.txt へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが報告されました。"},
      {23, FileErrorKind::kHardIO, "a.txt へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが報告されました。"},
      {32, FileErrorKind::kSharingViolation, "a.txt へのｱｸｾｽ中に共有違反が発生しました。"},
      {33, FileErrorKind::kLockViolation, "a.txt へのｱｸｾｽ中にﾛｯｸ違反が発生しました。"},
      {39, FileErrorKind::kDiskFull, "a.txt へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。"},
      {112, FileErrorKind::kDiskFull, "a.txt へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。"},
      {38, FileErrorKind::kEndOfFile, "a.txt の末尾以降にｱｸｾｽしようとしました。"},
      {0, FileErrorKind::kGeneric, "a.txt へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"},
      {1, FileErrorKind::kGeneric, "a.txt へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"},
      {87, FileErrorKind::kGeneric, "a.txt へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"},
      {0xFFFFFFFFu, FileErrorKind::kGeneric, "a.txt へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(vx::FileErrorKindOf(row.code), row.kind) << row.code;
    const vx::FileError error(row.code, "a.txt");
    EXPECT_EQ(error.kind(), row.kind) << row.code;
    EXPECT_EQ(error.code(), row.code);
    EXPECT_EQ(error.Message(), row.message) << row.code;
  }
}

TEST(FileError, FurtherCodesGoToTheNearestKind) {
  struct Row {
    vx::platform::SysError code;
    FileErrorKind kind;
  } rows[] = {
      {53, FileErrorKind::kFileNotFound},   {67, FileErrorKind::kFileNotFound},
      {123, FileErrorKind::kBadPath},       {161, FileErrorKind::kBadPath},
      {206, FileErrorKind::kBadPath},       {267, FileErrorKind::kBadPath},
      {65, FileErrorKind::kAccessDenied},   {80, FileErrorKind::kAccessDenied},
      {183, FileErrorKind::kAccessDenied},  {1920, FileErrorKind::kAccessDenied},
      {82, FileErrorKind::kDirectoryFull},  {131, FileErrorKind::kBadSeek},
      {132, FileErrorKind::kBadSeek},       {29, FileErrorKind::kHardIO},
      {31, FileErrorKind::kHardIO},         {1117, FileErrorKind::kHardIO},
      {1224, FileErrorKind::kSharingViolation},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::FileErrorKindOf(row.code), row.kind) << row.code;
}

TEST(FileError, TheNameStandsWhereTheMessageSaysAndIsTakenAsItIs) {
  struct Row {
    std::string name, message;
  } rows[] = {
      {"", "無題のﾌｧｲﾙ へのｱｸｾｽは拒否されました。"},
      {"C:\\表\\list.dat", "C:\\表\\list.dat へのｱｸｾｽは拒否されました。"},
      {"%1.txt", "%1.txt へのｱｸｾｽは拒否されました。"},   // not expanded again
      {"a b", "a b へのｱｸｾｽは拒否されました。"},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::FileError(5, row.name).Message(), row.message) << row.name;
  EXPECT_EQ(std::string(vx::kUntitledFileName), "\x96\xB3\x91\xE8\x82\xCC\xCC\xA7\xB2\xD9");  // cp932 bytes
}

TEST(FileError, AKindCanBeGivenWithoutACode) {
  // A short write is a full disk; a failed line read a general failure.
  const vx::FileError full(FileErrorKind::kDiskFull, "C:\\t\\list.dat");
  EXPECT_EQ(full.kind(), FileErrorKind::kDiskFull);
  EXPECT_EQ(full.code(), 0u);
  EXPECT_EQ(full.Message(), "C:\\t\\list.dat へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。");
  EXPECT_EQ(vx::FileError(FileErrorKind::kGeneric, "x", 1234).code(), 1234u);
}

}  // namespace
