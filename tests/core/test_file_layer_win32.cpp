// The Win32 file layer against other Windows programs' handles and file
// attributes. Built for Windows only (run under Wine).
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include "engine/rewrite.h"
#include "platform/file.h"
#include "outcome.h"
#include "temp_dir.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// A handle as another program would hold it.
class ForeignHandle {
 public:
  ForeignHandle(const std::string& path, DWORD access, DWORD share)
      : h_(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ForeignHandle() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

TEST(Win32FileLayer, ExclusiveOpenRefusedWhileAnotherProgramHoldsTheFile) {
  TempDir dir;
  const std::string path = dir.Path("held.txt");
  WriteBytes(path, "abc");
  struct Row {
    DWORD access, share;
  } rows[] = {
      {GENERIC_READ, FILE_SHARE_READ},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
  };
  const LeadBytes lead = LeadBytes::Cp932();
  for (const Row& row : rows) {
    ForeignHandle other(path, row.access, row.share);
    ASSERT_TRUE(other.ok());
    platform::SysError e = 0;
    platform::File f = platform::File::OpenReadExclusive(path, &e);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(e, static_cast<platform::SysError>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Code(RewriteFile(path, {{"a", "x"}}, true, lead)), kRewriteOpenFailed);
  }
  EXPECT_EQ(ReadBytes(path), "abc");
  EXPECT_FALSE(platform::FileExists(path + ".bak"));
}

TEST(Win32FileLayer, OurExclusiveHandleShutsOthersOut) {
  TempDir dir;
  const std::string path = dir.Path("mine.txt");
  WriteBytes(path, "abc");
  platform::SysError e = 0;
  platform::File mine = platform::File::OpenReadExclusive(path, &e);
  ASSERT_TRUE(mine.IsOpen());
  ForeignHandle other(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_FALSE(other.ok());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(Win32FileLayer, AttributesAfterRewrite) {
  TempDir dir;
  const std::string path = dir.Path("hidden.txt");
  const LeadBytes lead = LeadBytes::Cp932();
  struct Row {
    int backup;
    DWORD expected_new;  // of the rewritten file, among hidden and system
  } rows[] = {
      {0, FILE_ATTRIBUTE_HIDDEN},  // replaced in place: keeps its attributes
      {1, 0},                      // a new file: normal attributes
  };
  for (const Row& row : rows) {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA((path + ".bak").c_str());
    WriteBytes(path, "abc");
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(Code(RewriteFile(path, {{"b", "B"}}, row.backup != 0, lead)), 1);
    EXPECT_EQ(ReadBytes(path), "aBc");
    const DWORD attrs = ::GetFileAttributesA(path.c_str());
    EXPECT_EQ(attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), row.expected_new) << row.backup;
    if (row.backup) {
      const DWORD bak = ::GetFileAttributesA((path + ".bak").c_str());
      ASSERT_NE(bak, INVALID_FILE_ATTRIBUTES);
      EXPECT_TRUE(bak & FILE_ATTRIBUTE_HIDDEN);  // the old file itself
      EXPECT_EQ(ReadBytes(path + ".bak"), "abc");
    }
  }
}

TEST(Win32FileLayer, ReadOnlyTargetWithoutBackupIsRefusedIntact) {
  TempDir dir;
  const std::string path = dir.Path("ro.txt");
  WriteBytes(path, "abc");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Code(RewriteFile(path, {{"a", "x"}}, false, LeadBytes::Cp932())), kRewriteWriteFailed);
  EXPECT_EQ(ReadBytes(path), "abc");
  EXPECT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(dir.Listing(), "ro.txt;");
}

TEST(Win32FileLayer, ReadOnlyOldBackupStopsTheFile) {
  TempDir dir;
  const std::string path = dir.Path("t.txt");
  WriteBytes(path, "new text");
  WriteBytes(path + ".bak", "old backup");
  ASSERT_TRUE(::SetFileAttributesA((path + ".bak").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Code(RewriteFile(path, {{"new", "NEW"}}, true, LeadBytes::Cp932())), kRewriteBackupFailed);
  EXPECT_EQ(ReadBytes(path), "new text");
  EXPECT_EQ(ReadBytes(path + ".bak"), "old backup");
}

TEST(Win32FileLayer, FullPathAndJapaneseNames) {
  TempDir dir;
  // 表示.txt: the second byte of 表 is 0x5C.
  const std::string path = dir.Path("\x95\x5C\x8E\xA6.txt");
  WriteBytes(path, "abc");
  EXPECT_TRUE(platform::FileExists(path));
  EXPECT_EQ(Code(RewriteFile(path, {{"c", "C"}}, true, LeadBytes::Cp932())), 1);
  EXPECT_EQ(ReadBytes(path), "abC");
  EXPECT_EQ(ReadBytes(path + ".bak"), "abc");
  EXPECT_EQ(platform::FullPath(path), path);
}

}  // namespace
}  // namespace vx
#endif  // _WIN32
