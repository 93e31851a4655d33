#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/file_fault.h"
#include "temp_dir.h"

namespace vx::platform {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class FileLayer : public ::testing::Test {
 protected:
  void TearDown() override { ClearFileFaults(); }
  TempDir dir_;
};

TEST_F(FileLayer, CreateWriteReadBack) {
  const std::string path = dir_.Path("a.txt");
  SysError e = 1;
  {
    File f = File::CreateExclusive(path, &e);
    ASSERT_EQ(e, kOk);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.Write("hello\r\n", 7), kOk);
    EXPECT_EQ(f.Flush(true), kOk);
    EXPECT_EQ(f.Close(), kOk);
    EXPECT_FALSE(f.IsOpen());
  }
  File r = File::OpenReadExclusive(path, &e);
  ASSERT_EQ(e, kOk);
  std::uint64_t size = 0;
  ASSERT_EQ(r.Size(&size), kOk);
  EXPECT_EQ(size, 7u);
  char buf[16];
  std::size_t got = 0;
  ASSERT_EQ(r.Read(buf, sizeof buf, &got), kOk);
  EXPECT_EQ(std::string(buf, got), "hello\r\n");
  ASSERT_EQ(r.Read(buf, sizeof buf, &got), kOk);
  EXPECT_EQ(got, 0u);
}

TEST_F(FileLayer, CreateTruncatesExistingFile) {
  const std::string path = dir_.Path("t.txt");
  WriteBytes(path, "old content");
  SysError e = 1;
  File f = File::CreateExclusive(path, &e);
  ASSERT_EQ(e, kOk);
  EXPECT_EQ(f.Write("new", 3), kOk);
  f.Close();
  EXPECT_EQ(ReadBytes(path), "new");
}

TEST_F(FileLayer, OpenFailuresCarryWindowsErrorNumbers) {
  struct Row {
    std::string path;
    SysError expected;
  } rows[] = {
      {dir_.Path("missing.txt"), kErrorFileNotFound},
      {dir_.Path("no-such-folder") + "/x.txt", kErrorPathNotFound},
      {dir_.path().string(), kErrorAccessDenied},  // a folder is no file
  };
  for (const Row& row : rows) {
    SysError e = kOk;
    File f = File::OpenReadExclusive(row.path, &e);
    EXPECT_FALSE(f.IsOpen()) << row.path;
    EXPECT_EQ(e, row.expected) << row.path;
  }
}

TEST_F(FileLayer, ExclusiveOpenRefusedWhileAnotherHandleHoldsTheFile) {
  const std::string path = dir_.Path("held.txt");
  WriteBytes(path, "x");
  SysError e = 1;
  File first = File::OpenReadExclusive(path, &e);
  ASSERT_TRUE(first.IsOpen());
  File second = File::OpenReadExclusive(path, &e);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(e, kErrorSharingViolation);
  File writer = File::CreateExclusive(path, &e);
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_EQ(e, kErrorSharingViolation);
  first.Close();
  EXPECT_EQ(ReadBytes(path), "x");  // the refused create did not cut it
  File third = File::OpenReadExclusive(path, &e);
  EXPECT_TRUE(third.IsOpen());
  EXPECT_EQ(e, kOk);
}

TEST_F(FileLayer, MovedHandleKeepsTheFile) {
  const std::string path = dir_.Path("m.txt");
  WriteBytes(path, "abc");
  SysError e = 1;
  File a = File::OpenReadExclusive(path, &e);
  File b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  ASSERT_TRUE(b.IsOpen());
  File c;
  c = std::move(b);
  char buf[4];
  std::size_t got = 0;
  ASSERT_EQ(c.Read(buf, sizeof buf, &got), kOk);
  EXPECT_EQ(std::string(buf, got), "abc");
}

TEST_F(FileLayer, TempFilesAreUniqueAndBesideTheTarget) {
  const std::string target = dir_.Path("target.txt");
  SysError e = 1;
  std::string t1, t2;
  File f1 = File::CreateTempBeside(target, &t1, &e);
  ASSERT_EQ(e, kOk);
  File f2 = File::CreateTempBeside(target, &t2, &e);
  ASSERT_EQ(e, kOk);
  EXPECT_NE(t1, t2);
  for (const std::string& t : {t1, t2}) {
    EXPECT_EQ(t.rfind(target, 0), 0u) << t;
    EXPECT_EQ(t.substr(t.size() - std::string(kTempSuffix).size()), kTempSuffix) << t;
    EXPECT_TRUE(FileExists(t)) << t;
  }
  EXPECT_EQ(f1.Write("x", 1), kOk);
  // Drawn on many threads at once, as the batch's workers do: never the same.
  std::vector<std::string> names[8];
  std::vector<std::thread> threads;
  for (auto& mine : names)
    threads.emplace_back([&mine, &target] {
      for (int i = 0; i < 500; ++i) mine.push_back(TempNameBeside(target));
    });
  for (std::thread& t : threads) t.join();
  std::set<std::string> distinct;
  for (const auto& mine : names) distinct.insert(mine.begin(), mine.end());
  EXPECT_EQ(distinct.size(), 8u * 500u);
  std::string t3;
  File f3 = File::CreateTempBeside(dir_.Path("none") + "/target.txt", &t3, &e);
  EXPECT_FALSE(f3.IsOpen());
  EXPECT_EQ(e, kErrorPathNotFound);
}

TEST_F(FileLayer, ReplaceMoveAndDelete) {
  const std::string a = dir_.Path("a"), b = dir_.Path("b"), c = dir_.Path("c");
  WriteBytes(a, "A");
  WriteBytes(b, "B");
  // Replace takes the name over an existing file.
  EXPECT_EQ(ReplaceFile(a, b), kOk);
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(ReadBytes(b), "A");
  // Move refuses an existing destination and changes nothing.
  WriteBytes(c, "C");
  EXPECT_NE(MoveFile(b, c), kOk);
  EXPECT_EQ(ReadBytes(b), "A");
  EXPECT_EQ(ReadBytes(c), "C");
  EXPECT_EQ(MoveFile(b, a), kOk);
  EXPECT_EQ(ReadBytes(a), "A");
  EXPECT_FALSE(FileExists(b));
  EXPECT_EQ(DeleteFile(a), kOk);
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(DeleteFile(a), kErrorFileNotFound);
  EXPECT_EQ(MoveFile(a, b), kErrorFileNotFound);
}

TEST_F(FileLayer, ReplaceRefusesReadOnlyTarget) {
  const std::string from = dir_.Path("new"), to = dir_.Path("ro.txt");
  WriteBytes(from, "new");
  WriteBytes(to, "old");
  test::SetReadOnly(to, true);
  EXPECT_EQ(ReplaceFile(from, to), kErrorAccessDenied);
  EXPECT_EQ(ReadBytes(to), "old");
  EXPECT_EQ(ReadBytes(from), "new");
  // A read-only file can still be renamed away, as a backup is.
  EXPECT_EQ(MoveFile(to, dir_.Path("ro.txt.bak")), kOk);
  EXPECT_EQ(ReadBytes(dir_.Path("ro.txt.bak")), "old");
}

TEST_F(FileLayer, InfoIdentityAndAttributes) {
  const std::string a = dir_.Path("a.txt"), b = dir_.Path("b.txt");
  WriteBytes(a, "12345");
  WriteBytes(b, "");
  FileInfo info;
  ASSERT_EQ(QueryFileInfo(a, &info), kOk);
  EXPECT_TRUE(info.exists);
  EXPECT_FALSE(info.directory);
  EXPECT_FALSE(info.read_only);
  EXPECT_EQ(info.size, 5u);
  ASSERT_EQ(QueryFileInfo(dir_.path().string(), &info), kOk);
  EXPECT_TRUE(info.exists && info.directory);
  ASSERT_EQ(QueryFileInfo(dir_.Path("none"), &info), kOk);
  EXPECT_FALSE(info.exists);
  EXPECT_TRUE(FileExists(a));
  EXPECT_FALSE(FileExists(dir_.Path("none")));

  FileIdentity ia, ia2, ib;
  ASSERT_EQ(GetFileIdentity(a, &ia), kOk);
  ASSERT_EQ(GetFileIdentity(FullPath(a), &ia2), kOk);
  ASSERT_EQ(GetFileIdentity(b, &ib), kOk);
  EXPECT_EQ(ia, ia2);
  EXPECT_FALSE(ia == ib);
  EXPECT_EQ(GetFileIdentity(dir_.Path("none"), &ib), kErrorFileNotFound);
  // Many at once: the same file by two names is one, another file another,
  // a missing one none.
  const auto many = GetFileIdentities({b, a, dir_.Path("none"), FullPath(a)});
  ASSERT_TRUE(many[0] && many[1] && many[3]);
  EXPECT_FALSE(many[2]);
  EXPECT_EQ(*many[1], *many[3]);
  EXPECT_EQ(*many[1], ia);
  EXPECT_FALSE(*many[0] == *many[1]);

  test::SetReadOnly(a, true);
  ASSERT_EQ(QueryFileInfo(a, &info), kOk);
  EXPECT_TRUE(info.read_only);
  // A read-only file cannot have its content replaced; a writable one can,
  // and keeps its identity's attributes.
  const std::string c = dir_.Path("c.txt");
  WriteBytes(c, "new");
  EXPECT_EQ(ReplaceContent(c, a), kErrorAccessDenied);
  EXPECT_EQ(ReadBytes(a), "12345");
  EXPECT_EQ(ReplaceContent(c, b), kOk);
  EXPECT_EQ(ReadBytes(b), "new");
  EXPECT_FALSE(FileExists(c));
  FileInfo replaceable;
  EXPECT_EQ(CheckReplaceable(a, &replaceable), kErrorAccessDenied);  // read-only
  EXPECT_EQ(CheckReplaceable(b, &replaceable), kOk);
  EXPECT_EQ(CheckReplaceable(dir_.path().string(), &replaceable), kErrorAccessDenied);  // a folder
  EXPECT_EQ(CheckReplaceable(dir_.Path("none"), &replaceable), kOk);
  EXPECT_FALSE(replaceable.exists);
}

TEST_F(FileLayer, ModificationTimeIsReadAndSetToTheStepTheSystemKeeps) {
  const std::string a = dir_.Path("a.txt");
  WriteBytes(a, "x");
  // Before 1970, at it, and later, with nanoseconds that the 100 ns steps of
  // Windows keep (and ones they round down).
  const FileTime times[] = {{-86400 * 365, 500}, {0, 0}, {1000000000, 123456700}, {4102444800, 999999900}};
  for (const FileTime& t : times) {
    ASSERT_EQ(SetModifiedTime(a, t), kOk) << t.seconds;
    FileTime got;
    ASSERT_EQ(GetModifiedTime(a, &got), kOk);
    EXPECT_EQ(got.seconds, t.seconds);
    EXPECT_EQ(got.nanoseconds / 100, t.nanoseconds / 100) << t.seconds;
  }
  EXPECT_EQ(ReadBytes(a), "x");
  // The same through an open file, its content written first: closing it
  // does not move the time.
  for (const FileTime& t : times) {
    SysError error = kOk;
    File file = File::CreateExclusive(a, &error);
    ASSERT_TRUE(file.IsOpen()) << error;
    ASSERT_EQ(file.Write("yz", 2), kOk);
    ASSERT_EQ(file.SetModifiedTime(t), kOk) << t.seconds;
    ASSERT_EQ(file.Close(), kOk);
    FileTime got;
    ASSERT_EQ(GetModifiedTime(a, &got), kOk);
    EXPECT_EQ(got.seconds, t.seconds);
    EXPECT_EQ(got.nanoseconds / 100, t.nanoseconds / 100) << t.seconds;
  }
  EXPECT_EQ(ReadBytes(a), "yz");
  FileTime none;
  EXPECT_EQ(GetModifiedTime(dir_.Path("none"), &none), kErrorFileNotFound);
  EXPECT_NE(SetModifiedTime(dir_.Path("none"), none), kOk);
}

TEST_F(FileLayer, InjectedFaultsFailTheChosenCallsOnly) {
  const std::string path = dir_.Path("f.txt");
  SysError e = kOk;
  InjectFileFault(FileOp::kWrite, 112, /*skip=*/1, /*times=*/1);
  File f = File::CreateExclusive(path, &e);
  ASSERT_EQ(e, kOk);
  EXPECT_EQ(f.Write("a", 1), kOk);
  EXPECT_EQ(f.Write("b", 1), 112u);
  EXPECT_EQ(f.Write("c", 1), kOk);
  f.Close();
  EXPECT_EQ(ReadBytes(path), "ac");

  InjectFileFault(FileOp::kOpenRead, 32);
  File r = File::OpenReadExclusive(path, &e);
  EXPECT_FALSE(r.IsOpen());
  EXPECT_EQ(e, 32u);
  r = File::OpenReadExclusive(path, &e);
  EXPECT_EQ(e, 32u);  // unlimited until cleared
  ClearFileFaults();
  r = File::OpenReadExclusive(path, &e);
  EXPECT_TRUE(r.IsOpen());
  r.Close();

  // Armed once, taken by whichever threads' calls come first: exactly as
  // many failures as armed.
  InjectFileFault(FileOp::kDelete, 5, /*skip=*/10, /*times=*/25);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) failures += TakeFileFault(FileOp::kDelete) == 5u;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures, 25);
}

}  // namespace
}  // namespace vx::platform
