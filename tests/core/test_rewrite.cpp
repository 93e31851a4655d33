#include <gtest/gtest.h>

#include <random>
#include <type_traits>

#include "engine/rewrite.h"
#include "engine/scan.h"
#include "platform/file.h"
#include "platform/file_fault.h"
#include "reference.h"
#include "temp_dir.h"

namespace vx {
namespace {

using platform::ClearFileFaults;
using platform::FileOp;
using platform::InjectFileFault;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

static_assert(std::is_same_v<decltype(RewriteFile("", {}, nullptr, FileReading())), std::int64_t>,
              "counts are 64-bit");

class Rewrite : public ::testing::Test {
 protected:
  void TearDown() override { ClearFileFaults(); }
  std::int64_t Run(const std::string& content, const std::vector<ReplacePair>& pairs, int backup = 0,
                   RewriteOptions options = {}) {
    WriteBytes(target_, content);
    backup_ = backup;
    return RewriteFile(target_, pairs, &backup_, reading_, options);
  }
  // The folder holds exactly these names (no temporary file left over).
  void ExpectFolder(const std::string& names) { EXPECT_EQ(dir_.Listing(), names); }

  TempDir dir_;
  const std::string target_ = dir_.Path("target.txt");
  const std::string bak_ = target_ + ".bak";
  const LeadBytes lead_ = LeadBytes::Cp932();
  const FileReading reading_;  // the window's: texts in the ANSI code page (932), every file detected
  int backup_ = 0;
};

struct ContentRow {
  const char* what;
  std::string content;
  std::vector<ReplacePair> pairs;
  std::string expected;
  std::int64_t count;
};

// ぁ 82 9F, 表 95 5C, の 82 CC, ノ 83 6D.
const ContentRow kContentRows[] = {
    {"empty file", "", {{"a", "b"}}, "", 0},
    {"plain replacement", "a cat sat", {{"at", "og"}}, "a cog sog", 2},
    {"line break at the end", "one\r\ntwo\r\n", {{"\\n", " "}}, "one two ", 2},
    {"whole-file match", "hello", {{"hello", "bye"}}, "bye", 1},
    {"overlapping candidates: three a", "aaa", {{"aa", "b"}}, "ba", 1},
    {"overlapping candidates: four a", "aaaa", {{"aa", "b"}}, "bb", 2},
    {"later alternative sees earlier replacements", "ab", {{"a\\|b", "b"}}, "bb", 3},
    {"alternative longer than the file", "ab", {{"abc", "x"}}, "ab", 0},
    {"empty search", "abc", {{"", "x"}}, "abc", 0},
    {"empty alternatives around", "abc", {{"\\|b\\|", "x"}}, "axc", 1},
    {"replacement escapes", "a b", {{" ", "\\t\\\\\\n"}}, "a\t\\\r\nb", 1},
    {"replacement bar stays", "a", {{"a", "\\|"}}, "\\|", 1},
    {"after ぁ (second byte in the lead set)", "\x82\x9F" "A", {{"A", "B"}}, "\x82\x9F" "B", 1},
    {"ぁぁ: both found", "\x82\x9F\x82\x9F", {{"\x82\x9F", "x"}}, "xx", 2},
    {"second byte of 表 is no backslash", "\x95\x5C", {{"\\\\", "/"}}, "\x95\x5C", 0},
    {"の to ノ", "\x82\xCC\x82\xA0\x82\xCC", {{"\x82\xCC", "\x83\x6D"}}, "\x83\x6D\x82\xA0\x83\x6D", 2},
    {"pairs in turn", "ab", {{"a", "b"}, {"b", "c"}}, "cc", 3},
    {"a pair undoes another", "abc", {{"b", "X"}, {"X", "b"}}, "abc", 2},
    {"alternative cascade with growth", "a", {{"a\\|b\\|bb", "bb"}}, "bbbb", 5},
    {"no pairs", "abc", {}, "abc", 0},
};

TEST_F(Rewrite, ContentTable) {
  for (const ContentRow& row : kContentRows) {
    EXPECT_EQ(Run(row.content, row.pairs), row.count) << row.what;
    EXPECT_EQ(ReadBytes(target_), row.expected) << row.what;
    ExpectFolder("target.txt;");
  }
}

// The rewrite on real files against the definition (the chain itself has
// its own, larger differential test), with tiny buffers.
TEST_F(Rewrite, AgreesWithPassByPassReference) {
  std::mt19937 rng(1207);
  const char* const kTyped[] = {"\x82\x9F", "A", "\\\\", "\x9F\x82", "A\\|\x82\x9F", "\x82\x82\x82", "\\n"};
  const char* const kReplacements[] = {"", "A", "\x82", "AA\x9F", "\\n"};
  static const unsigned char kBytes[] = {0x82, 0x9F, 0x41, 0x5C, 0x95, 0x0D, 0x0A, 0x61, 0xE0, 0x40};
  for (int round = 0; round < 200; ++round) {
    std::string content(rng() % (round % 10 == 0 ? 5000 : 200), '\0');
    for (char& c : content) c = static_cast<char>(kBytes[rng() % std::size(kBytes)]);
    std::vector<ReplacePair> pairs;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k)
      pairs.push_back({kTyped[rng() % std::size(kTyped)], kReplacements[rng() % std::size(kReplacements)]});
    std::string expected = content;
    const std::int64_t expected_count = reference::PassByPass(&expected, pairs, lead_, std::string().max_size(),
                                                              reference::LfOnly(content) ? "\n" : "\r\n");
    RewriteOptions options;
    options.buffer_bytes = 1 + rng() % 16;
    ASSERT_EQ(Run(content, pairs, 0, options), expected_count) << "round " << round;
    ASSERT_EQ(ReadBytes(target_), expected) << "round " << round;
  }
}

TEST_F(Rewrite, LargeFileAcrossTheDefaultBuffers) {
  std::string content;
  for (int i = 0; content.size() < (3u << 20); ++i) content += (i % 7 == 0) ? "\x82\xCC" : "\x82\x9F" "A\x95\x5C";
  std::string expected = content;
  const std::size_t count = ReplaceAllReference(&expected, "A\x95", "xyz", lead_);
  ASSERT_GT(count, 0u);
  EXPECT_EQ(Run(content, {{"A\x95", "xyz"}}), static_cast<std::int64_t>(count));
  EXPECT_TRUE(ReadBytes(target_) == expected);
}

TEST_F(Rewrite, ZeroByteIsRefusedUntouchedWithoutBackup) {
  const std::string content("ab\0cd", 5);
  for (const std::vector<ReplacePair>& pairs : {std::vector<ReplacePair>{{"a", "x"}}, std::vector<ReplacePair>{}}) {
    EXPECT_EQ(Run(content, pairs, 1), kRewriteNotText);
    EXPECT_EQ(ReadBytes(target_), content);
    EXPECT_EQ(backup_, 1);
    ExpectFolder("target.txt;");
  }
  // Also when the new content could not even have been stored.
  InjectFileFault(FileOp::kCreateTemp, 5);
  EXPECT_EQ(Run(content, {{"a", "x"}}, 1), kRewriteNotText);
  InjectFileFault(FileOp::kWrite, 112);
  EXPECT_EQ(Run(content, {{"a", "x"}}, 1), kRewriteNotText);
  EXPECT_EQ(ReadBytes(target_), content);
  ExpectFolder("target.txt;");
}

TEST_F(Rewrite, ZeroByteFarIntoALargeFile) {
  std::string content(2u << 20, 'a');
  content[content.size() - 3] = '\0';
  RewriteOptions options;
  EXPECT_EQ(Run(content, {{"a", "b"}}, 1, options), kRewriteNotText);
  EXPECT_TRUE(ReadBytes(target_) == content);
  ExpectFolder("target.txt;");
}

TEST_F(Rewrite, BackupOnceHoldingTheOriginal) {
  EXPECT_EQ(Run("abc", {{"a", "x"}}, 1), 1);
  EXPECT_EQ(backup_, 0);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  // The next call of the same run has the flag cleared: the backup stays.
  EXPECT_EQ(RewriteFile(target_, {{"b", "y"}}, &backup_, reading_), 1);
  EXPECT_EQ(ReadBytes(target_), "xyc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  ExpectFolder("target.txt;target.txt.bak;");
}

TEST_F(Rewrite, BackupMadeEvenWhenNothingMatches) {
  const std::vector<ReplacePair> cases[] = {{{"zzz", "x"}}, {{"", "x"}}, {}};
  for (const auto& pairs : cases) {
    platform::DeleteFile(bak_);
    EXPECT_EQ(Run("abc", pairs, 1), 0);
    EXPECT_EQ(backup_, 0);
    EXPECT_EQ(ReadBytes(target_), "abc");
    EXPECT_EQ(ReadBytes(bak_), "abc");
  }
  // An empty file gets its empty backup.
  platform::DeleteFile(bak_);
  EXPECT_EQ(Run("", {{"a", "b"}}, 1), 0);
  EXPECT_TRUE(platform::FileExists(bak_));
  EXPECT_EQ(ReadBytes(bak_), "");
}

TEST_F(Rewrite, OldBackupIsReplaced) {
  WriteBytes(bak_, "stale backup");
  EXPECT_EQ(Run("abc", {{"b", "B"}}, 1), 1);
  EXPECT_EQ(ReadBytes(bak_), "abc");
  EXPECT_EQ(ReadBytes(target_), "aBc");
}

TEST_F(Rewrite, BackupNameAppendsToTheWholeName) {
  const std::string path = dir_.Path("notes.v1.txt");
  WriteBytes(path, "q");
  int backup = 1;
  EXPECT_EQ(RewriteFile(path, {{"q", "r"}}, &backup, reading_), 1);
  EXPECT_EQ(ReadBytes(dir_.Path("notes.v1.txt.bak")), "q");
}

TEST_F(Rewrite, UnopenableFileIsLeftAsItWas) {
  int backup = 1;
  EXPECT_EQ(RewriteFile(dir_.Path("missing.txt"), {{"a", "b"}}, &backup, reading_), kRewriteOpenFailed);
  EXPECT_EQ(backup, 1);
  ExpectFolder("");
  EXPECT_EQ(RewriteFile(dir_.path().string(), {{"a", "b"}}, &backup, reading_), kRewriteOpenFailed);

  // Held by another program: the exclusive open is refused.
  WriteBytes(target_, "abc");
  platform::SysError error = 0;
  platform::File holder = platform::File::OpenReadExclusive(target_, &error);
  ASSERT_TRUE(holder.IsOpen());
  EXPECT_EQ(RewriteFile(target_, {{"a", "b"}}, &backup, reading_), kRewriteOpenFailed);
  holder.Close();
  EXPECT_EQ(ReadBytes(target_), "abc");
  EXPECT_EQ(backup, 1);
  ExpectFolder("target.txt;");
}

struct FaultRow {
  const char* what;
  FileOp op;
  int skip;
  int backup;
  std::int64_t result;
  const char* folder;   // what is left
  int backup_after;
  int times = 0;  // how many calls fail; 0: all after the skipped ones
};

TEST_F(Rewrite, FailuresKeepTheOldContent) {
  const FaultRow rows[] = {
      {"temp file cannot be created", FileOp::kCreateTemp, 0, 1, kRewriteWriteFailed, "target.txt;", 1},
      {"write fails (disk full)", FileOp::kWrite, 0, 1, kRewriteWriteFailed, "target.txt;", 1},
      {"flush fails", FileOp::kFlush, 0, 0, kRewriteWriteFailed, "target.txt;", 0},
      {"close of the new file fails", FileOp::kClose, 1, 1, kRewriteWriteFailed, "target.txt;", 1},
      {"replace fails", FileOp::kReplace, 0, 0, kRewriteWriteFailed, "target.txt;", 0},
      {"read fails", FileOp::kRead, 0, 1, kRewriteOpenFailed, "target.txt;", 1},
      {"new file cannot take the name after the backup", FileOp::kReplace, 0, 1, kRewriteWriteFailed, "target.txt;",
       1, 1},
  };
  for (const FaultRow& row : rows) {
    InjectFileFault(row.op, 112, row.skip, row.times);
    const std::string content(100000, 'a');
    EXPECT_EQ(Run(content, {{"a", "b"}}, row.backup), row.result) << row.what;
    ClearFileFaults();
    EXPECT_TRUE(ReadBytes(target_) == content) << row.what;
    EXPECT_EQ(backup_, row.backup_after) << row.what;
    ExpectFolder(row.folder);
  }
}

TEST_F(Rewrite, FailedBackupRenameGoesOnWithoutBackup) {
  // No second name for the backup (a file system without hard links), and
  // the rename to the backup name fails too.
  InjectFileFault(FileOp::kLink, 1, 0, 1);
  InjectFileFault(FileOp::kMove, 5, 0, 1);
  EXPECT_EQ(Run("abc", {{"a", "x"}}, 1), 1);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(backup_, 0);
  ExpectFolder("target.txt;");
}

TEST_F(Rewrite, BackupByRenameWhereNoSecondNameCanBeMade) {
  InjectFileFault(FileOp::kLink, 1, 0, 1);
  EXPECT_EQ(Run("abc", {{"a", "x"}}, 1), 1);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(ReadBytes(target_ + ".bak"), "abc");
  EXPECT_EQ(backup_, 0);
  // The new file cannot take the name after the rename: the old file goes back.
  InjectFileFault(FileOp::kLink, 1, 0, 1);
  InjectFileFault(FileOp::kMove, 112, 1, 1);
  EXPECT_EQ(Run("abc", {{"a", "x"}}, 1), kRewriteWriteFailed);
  ClearFileFaults();
  EXPECT_EQ(ReadBytes(target_), "abc");
  EXPECT_EQ(backup_, 1);
  ExpectFolder("target.txt;");
}

TEST_F(Rewrite, ReadOnlyTarget) {
  // Without a backup the read-only file cannot be replaced: refused, intact.
  WriteBytes(target_, "abc");
  test::SetReadOnly(target_, true);
  backup_ = 0;
  EXPECT_EQ(RewriteFile(target_, {{"a", "x"}}, &backup_, reading_), kRewriteWriteFailed);
  EXPECT_EQ(ReadBytes(target_), "abc");
  ExpectFolder("target.txt;");
  // With a backup the old file moves away and a new one takes its name.
  backup_ = 1;
  EXPECT_EQ(RewriteFile(target_, {{"a", "x"}}, &backup_, reading_), 1);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(ReadBytes(bak_), "abc");
  platform::FileInfo info;
  ASSERT_EQ(platform::QueryFileInfo(target_, &info), platform::kOk);
  EXPECT_FALSE(info.read_only);
  ASSERT_EQ(platform::QueryFileInfo(bak_, &info), platform::kOk);
  EXPECT_TRUE(info.read_only);
}

TEST_F(Rewrite, DryRunCountsAndWritesNothing) {
  RewriteOptions options;
  options.dry_run = true;
  EXPECT_EQ(Run("a\x82\x9F" "a", {{"a", "bb"}}, 1, options), 2);
  EXPECT_EQ(ReadBytes(target_), "a\x82\x9F" "a");
  EXPECT_EQ(backup_, 1);
  ExpectFolder("target.txt;");
  EXPECT_EQ(Run(std::string("a\0", 2), {{"a", "b"}}, 1, options), kRewriteNotText);
}

#ifndef _WIN32
// (Windows: the hidden attribute, in test_file_layer_win32.cpp.)
TEST_F(Rewrite, WithoutBackupTheFileKeepsItsPermissions) {
  using std::filesystem::perms;
  WriteBytes(target_, "abc");
  const perms mode = perms::owner_read | perms::owner_write | perms::group_read;
  std::filesystem::permissions(target_, mode);
  backup_ = 0;
  EXPECT_EQ(RewriteFile(target_, {{"a", "x"}}, &backup_, reading_), 1);
  EXPECT_EQ(ReadBytes(target_), "xbc");
  EXPECT_EQ(std::filesystem::status(target_).permissions() & perms::all, mode);
}
#endif

TEST_F(Rewrite, CallersTextsAreUnchanged) {
  const std::vector<ReplacePair> pairs = {{"a\\n\\|b", "\\t"}};
  const std::vector<ReplacePair> copy = pairs;
  Run("a\r\nb", pairs);
  ASSERT_EQ(pairs.size(), copy.size());
  EXPECT_EQ(pairs[0].search, copy[0].search);
  EXPECT_EQ(pairs[0].replace, copy[0].replace);
  EXPECT_EQ(ReadBytes(target_), "\t\t");
}

}  // namespace
}  // namespace vx
