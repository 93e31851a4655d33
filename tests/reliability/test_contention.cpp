// Targets that other programs hold, read-only targets and backups, targets
// that vanish or change between listing and run, folders without write
// permission: each gets its result, and nothing else changes.
#include <gtest/gtest.h>

#include "platform/file_fault.h"
#include "rewrite_helpers.h"

#ifndef _WIN32
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vx::reliability {
namespace {

const std::string kOld = "alpha beta alpha\r\n";
const std::string kNew = "ALPHA beta ALPHA\r\n";

struct Folder {
  TempDir dir;
  std::string target = dir.Path("target.txt");
  Folder() { WriteBytes(target, kOld); }
};

TEST(Contention, TargetHeldByAnotherHandle) {
  Scenario s("contention: the target is held open with no sharing by another handle");
  Folder f;
  platform::SysError error = platform::kOk;
  platform::File holder = platform::File::OpenReadExclusive(f.target, &error);
  ASSERT_TRUE(holder.IsOpen());
  const FileState before = StateOf(f.target);
  s.Fault();
  EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), kRewriteOpenFailed);
  EXPECT_TRUE(StateOf(f.target) == before);
  EXPECT_EQ(f.dir.Listing(), "target.txt;");
  holder.Close();
  EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), 2);
  EXPECT_EQ(Classify(f.target, kOld, kNew), "new");
  s.Did("rewrote a target while another handle held it exclusively, then again after it was closed");
  s.Checked("first kRewriteOpenFailed with bytes, time and folder unchanged; then count 2 and the new bytes");
}

#ifndef _WIN32
TEST(Contention, TargetLockedByAnotherProcess) {
  Scenario s("contention: another process holds an exclusive lock on the target (the POSIX form of no sharing)");
  Folder f;
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(f.target.c_str(), O_RDONLY);
    const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    char c = locked ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  const FileState before = StateOf(f.target);
  s.Fault();
  EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), kRewriteOpenFailed);
  EXPECT_TRUE(StateOf(f.target) == before);
  EXPECT_EQ(f.dir.Listing(), "target.txt;");
  (void)!::write(release[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), 2);
  s.Did("rewrote a target locked by a child process, then after the child ended");
  s.Checked("kRewriteOpenFailed and nothing changed while locked; rewritten afterwards");
}
#endif

TEST(Contention, ReadOnlyTargetsAndBackups) {
  Scenario s("contention: read-only targets with and without backup, a read-only old .bak");
  {
    Folder f;
    test::SetReadOnly(f.target, true);
    const FileState before = StateOf(f.target);
    s.Fault();
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", false), kRewriteWriteFailed);
    EXPECT_TRUE(StateOf(f.target) == before);
    platform::FileInfo info;
    platform::QueryFileInfo(f.target, &info);
    EXPECT_TRUE(info.read_only);
    EXPECT_EQ(f.dir.Listing(), "target.txt;");
    s.Did("read-only target, no backup");
    s.Checked("kRewriteWriteFailed, bytes, time and read-only attribute unchanged, no other file");
  }
  {
    Folder f;
    test::SetReadOnly(f.target, true);
    s.Fault();
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), 2);
    EXPECT_EQ(Classify(f.target, kOld, kNew), "new");
    EXPECT_EQ(Classify(f.target + ".bak", kOld, kOld), "old");
    platform::FileInfo info;
    platform::QueryFileInfo(f.target, &info);
    EXPECT_FALSE(info.read_only) << "the rewritten file is a new file with normal attributes";
    platform::QueryFileInfo(f.target + ".bak", &info);
    EXPECT_TRUE(info.read_only) << "the backup is the old file with its attributes";
    EXPECT_EQ(f.dir.Listing(), "target.txt;target.txt.bak;");
    s.Did("read-only target, backup on");
    s.Checked("count 2, new bytes in a writable file, the old read-only file as .bak");
  }
  {
    Folder f;
    const std::string old_backup = "an older backup\r\n";
    WriteBytes(f.target + ".bak", old_backup);
    test::SetReadOnly(f.target + ".bak", true);
    s.Fault();
    // The backup asked for cannot be made: a stale one must not pass for it.
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), kRewriteBackupFailed);
    EXPECT_EQ(Classify(f.target, kOld, kNew), "old");
    EXPECT_EQ(Classify(f.target + ".bak", old_backup, old_backup), "old");
    EXPECT_EQ(f.dir.Listing(), "target.txt;target.txt.bak;");
    s.Did("backup on, an older read-only .bak in the way");
    s.Checked("backup failed, the file and the older .bak unchanged, no other file");
  }
}

TEST(Contention, TargetGoneOrReplacedBetweenListingAndRun) {
  Scenario s("contention: a listed target deleted, or replaced by a folder or another file, before its turn");
  {
    Folder f;
    std::filesystem::remove(f.target);
    s.Fault();
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), kRewriteOpenFailed);
    EXPECT_EQ(f.dir.Listing(), "");
    s.Did("deleted the target after listing it");
    s.Checked("kRewriteOpenFailed, nothing created (no target, no .bak, no temporary file)");
  }
  {
    Folder f;
    std::filesystem::remove(f.target);
    std::filesystem::create_directory(f.target);
    WriteBytes(f.target + "/inside.txt", kOld);
    s.Fault();
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), kRewriteOpenFailed);
    EXPECT_EQ(ReadBytes(f.target + "/inside.txt"), kOld);
    EXPECT_EQ(f.dir.Listing(), "target.txt;");
    s.Did("replaced the target by a folder of the same name");
    s.Checked("kRewriteOpenFailed, the folder and its file unchanged, no .bak");
  }
  {
    Folder f;
    const std::string other = "alpha alpha alpha\r\n";
    WriteBytes(f.target, other);
    s.Fault();
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", true), 3);
    EXPECT_EQ(Classify(f.target, other, "ALPHA ALPHA ALPHA\r\n"), "new");
    EXPECT_EQ(Classify(f.target + ".bak", other, other), "old");
    s.Did("replaced the target by another file before its turn");
    s.Checked("the file found at run time is the one rewritten (count 3) and backed up");
  }
}

TEST(Contention, FolderWithoutWritePermissionThroughTheFaultSeam) {
  Scenario s("contention: the temporary file cannot be created (access denied, injected) with and without backup");
  for (bool backup : {false, true}) {
    Folder f;
    const FileState before = StateOf(f.target);
    platform::InjectFileFault(platform::FileOp::kCreateTemp, 5);
    s.Fault();
    EXPECT_EQ(Rewrite(f.target, "alpha", "ALPHA", backup), kRewriteWriteFailed);
    platform::ClearFileFaults();
    EXPECT_TRUE(StateOf(f.target) == before);
    EXPECT_EQ(f.dir.Listing(), "target.txt;");
  }
  s.Did("rewrote with the creation of the temporary file refused, backup off and on");
  s.Checked("kRewriteWriteFailed, target untouched, no .bak");
}

#ifndef _WIN32
// Runs `body` in a child process as the unprivileged user nobody; returns
// its exit code, or -1 when the user cannot be switched.
int AsNobody(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 100) return -1;
  return WEXITSTATUS(status);
}

TEST(Contention, FoldersWithoutPermissionForAnUnprivilegedUser) {
  Scenario s("contention: folders without write or read permission, as the unprivileged user nobody");
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to the user nobody";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  const std::string no_write = dir.Path("no-write"), no_access = dir.Path("no-access");
  std::filesystem::create_directory(no_write);
  std::filesystem::create_directory(no_access);
  const std::string a = no_write + "/a.txt", b = no_access + "/b.txt";
  WriteBytes(a, kOld);
  WriteBytes(b, kOld);
  ::chmod(a.c_str(), 0666);
  ::chmod(b.c_str(), 0666);
  ::chmod(no_write.c_str(), 0555);
  ::chmod(no_access.c_str(), 0000);
  const auto code = [](std::int64_t r) { return static_cast<int>(10 - r); };
  for (bool backup : {false, true}) {
    s.Fault(2);
    const int in_no_write = AsNobody([&] { return code(Rewrite(a, "alpha", "ALPHA", backup)); });
    if (in_no_write < 0) GTEST_SKIP() << "cannot switch to the user nobody";
    EXPECT_EQ(in_no_write, code(kRewriteWriteFailed)) << "backup " << backup;
    EXPECT_EQ(AsNobody([&] { return code(Rewrite(b, "alpha", "ALPHA", backup)); }), code(kRewriteOpenFailed));
  }
  ::chmod(no_write.c_str(), 0755);
  ::chmod(no_access.c_str(), 0755);
  EXPECT_EQ(Classify(a, kOld, kNew), "old");
  EXPECT_EQ(Classify(b, kOld, kNew), "old");
  EXPECT_EQ(TakeSnapshot(dir.path()).size(), 2u);
  s.Did("as nobody: rewrote a writable file in a folder without write permission, and a file in a folder "
        "without any permission, backup off and on");
  s.Checked("kRewriteWriteFailed and kRewriteOpenFailed, both files unchanged, no other file made");
}
#endif

}  // namespace
}  // namespace vx::reliability
