// The same faults through vextrane-cli, as a user meets them: a full disk,
// a locked file, read-only files, files that are not text and awkward names
// in the folder walk, a hostile replace list. The log on stdout (--raw: code
// page 932 bytes) must be exactly the window's log for the results expected.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/file.h>

#include <algorithm>
#include <random>

#include "cli_runner.h"
#include "engine/batch.h"
#include "rewrite_helpers.h"
#include "tmpfs.h"

#if __has_include("replacelist/list_format.h")
#include "replacelist/list_format.h"
#define VX_HAVE_LIST_FORMAT 1
#endif

namespace vx::reliability {
namespace {

std::string Canonical(const std::string& path) { return std::filesystem::canonical(path).string(); }

// The log the run must print: one line per file, in the order given.
std::string ExpectedLog(const std::vector<std::pair<std::string, std::int64_t>>& results) {
  BatchReport report;
  for (const auto& [path, result] : results) {
    report.entries.push_back({path, FromCode(result)});
    report.total += report.entries.back().outcome.count;
  }
  return FormatBatchLog(report);
}

TEST(CliRuns, FullDiskIsLoggedPerFileAndTheRunGoesOn) {
  VX_CLI_OR_SKIP();
  Scenario s("disk full through vextrane-cli: a 4 MiB tmpfs, two targets whose new content does not fit");
  SmallFileSystem fs("size=4m,mode=0755");
  VX_MOUNT_OR_SKIP(fs);
  std::vector<std::pair<std::string, std::int64_t>> expected;
  std::vector<std::string> olds, news;
  for (int i = 0; i < 6; ++i) {
    const bool big = i == 1 || i == 4;
    std::string text;
    while (text.size() < (big ? (1200u << 10) : 3000u)) text += "ab " + std::to_string(i) + "\r\n";
    const std::string path = Canonical(fs.root()) + "/f" + std::to_string(i) + ".txt";
    WriteBytes(path, text);
    std::int64_t count = 0;
    news.push_back(Expected(text, "ab", "ABABAB", &count));
    olds.push_back(text);
    expected.push_back({path, big ? kRewriteWriteFailed : count});
  }
  TempDir out;
  s.Fault(2);
  // One file at a time: side by side, a small file may find the room taken
  // by a big one's temporary file, and which file fails depends on timing.
  const CliRun run = RunCli({"--raw", "--jobs", "1", "-s", "ab", "-r", "ABABAB", fs.root()}, out.Path("log"));
  EXPECT_EQ(run.exit_code, 1) << "a file got an error line";
  EXPECT_EQ(ReadBytes(out.Path("log")), ExpectedLog(expected));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const bool failed = expected[i].second < 0;
    EXPECT_EQ(Classify(expected[i].first, olds[i], news[i]), failed ? "old" : "new");
    if (failed) {
      EXPECT_FALSE(platform::FileExists(expected[i].first + ".bak"));
    } else {
      EXPECT_EQ(Classify(expected[i].first + ".bak", olds[i], olds[i]), "old");
    }
  }
  EXPECT_TRUE(TempLeftovers(fs.root()).empty());
  s.Did("ran vextrane-cli with backups over 6 files on a 4 MiB tmpfs, 2 of them too big to rewrite there");
  s.Checked("exit 1; the log byte for byte, with the write-failure line for the 2 and counts for the rest; the 2 "
            "keep their old bytes and get no .bak, the others new bytes and an old .bak; no temporary file");
}

TEST(CliRuns, LockedReadOnlyAndNonTextFilesGetTheirLines) {
  VX_CLI_OR_SKIP();
  Scenario s("contention and bad input through vextrane-cli: a locked file, a read-only file, zero bytes, UTF-16, "
             "an empty file");
  TempDir dir;
  const std::string root = Canonical(dir.path().string());
  struct File {
    std::string name, bytes;
  };
  const File files[] = {{"a-locked.txt", "foo\r\n"},
                        {"b-read-only.txt", "foo foo\r\n"},
                        {"c-zero.txt", std::string("foo\0foo", 7)},
                        {"d-utf16.txt", std::string("\xFF\xFE" "f\0o\0o\0", 8)},
                        {"e-empty.txt", ""},
                        {"f-plain.txt", "foofoo\r\n"}};
  for (const File& f : files) WriteBytes(root + "/" + f.name, f.bytes);
  test::SetReadOnly(root + "/b-read-only.txt", true);
  const int lock = ::open((root + "/a-locked.txt").c_str(), O_RDONLY);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
  s.Fault(3);
  s.BadInput(3);
  TempDir out;
  for (bool backup : {false, true}) {
    std::vector<std::string> args = {"--raw", "-s", "foo", "-r", "bar"};
    if (!backup) args.push_back("--no-backup");
    args.push_back(root);
    const CliRun run = RunCli(args, out.Path("log"));
    EXPECT_EQ(run.exit_code, 1);
    // Without a backup the read-only file is refused; with one, the old file
    // becomes the .bak and the new one takes its name.
    const std::vector<std::pair<std::string, std::int64_t>> expected = {
        {root + "/a-locked.txt", kRewriteOpenFailed},
        {root + "/b-read-only.txt", backup ? 2 : kRewriteWriteFailed},
        {root + "/c-zero.txt", kRewriteNotText},
        {root + "/d-utf16.txt", kRewriteNotText},
        {root + "/e-empty.txt", 0},
        {root + "/f-plain.txt", backup ? 0 : 2}};
    EXPECT_EQ(ReadBytes(out.Path("log")), ExpectedLog(expected)) << "backup " << backup;
  }
  ::close(lock);
  EXPECT_EQ(Classify(root + "/a-locked.txt", "foo\r\n", "bar\r\n"), "old");
  EXPECT_EQ(Classify(root + "/b-read-only.txt", "foo foo\r\n", "bar bar\r\n"), "new");
  EXPECT_EQ(Classify(root + "/b-read-only.txt.bak", "foo foo\r\n", "foo foo\r\n"), "old");
  EXPECT_EQ(Classify(root + "/c-zero.txt", files[2].bytes, ""), "old");
  EXPECT_EQ(Classify(root + "/d-utf16.txt", files[3].bytes, ""), "old");
  EXPECT_EQ(Classify(root + "/f-plain.txt", "foofoo\r\n", "barbar\r\n"), "new");
  EXPECT_EQ(dir.Listing(), "a-locked.txt;b-read-only.txt;b-read-only.txt.bak;c-zero.txt;d-utf16.txt;e-empty.txt;"
                           "e-empty.txt.bak;f-plain.txt;f-plain.txt.bak;");
  s.Did("ran vextrane-cli over the folder without and then with backups, one file locked by this process");
  s.Checked("exit 1 and the exact log: not-opened line for the locked file, write-failure (no backup) then a count "
            "(backup) for the read-only one, not-text lines, counts; contents and .bak files as expected, nothing "
            "else in the folder");
}

TEST(CliRuns, FolderWalkOverAwkwardNames) {
  VX_CLI_OR_SKIP();
  Scenario s("bad input through vextrane-cli: a folder walk over names with 0x5C second bytes, spaces, leading dots "
             "and a leftover temporary file");
  TempDir dir;
  const std::string root = Canonical(dir.path().string());
  const std::vector<std::string> names = {"表/ソース 能力.txt", "表/.隠し", " 十/..二重", " 十/表.txt", "ソ/a b",
                                          "ソ/ソ/表"};
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    const std::string path = root + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteBytes(path, "\\ 表 \\\r\n");
    paths.push_back(path);
  }
  WriteBytes(root + "/表/ソース 能力.txt.1234abcd" + platform::kTempSuffix, "left by a killed run");
  std::sort(paths.begin(), paths.end());  // the walk's order: bytes of the names, depth first
  s.BadInput(static_cast<long long>(names.size()) + 1);
  TempDir out;
  const CliRun run = RunCli({"--raw", "-s", "\\\\", "-r", "/", root}, out.Path("log"));
  EXPECT_EQ(run.exit_code, 0);
  std::vector<std::pair<std::string, std::int64_t>> expected;
  for (const std::string& path : paths) expected.push_back({path, 2});
  EXPECT_EQ(ReadBytes(out.Path("log")), ExpectedLog(expected));
  for (const std::string& path : paths) {
    EXPECT_EQ(Classify(path, "\\ 表 \\\r\n", "/ 表 /\r\n"), "new") << path;
    EXPECT_EQ(Classify(path + ".bak", "\\ 表 \\\r\n", "\\ 表 \\\r\n"), "old") << path;
  }
  EXPECT_EQ(TakeSnapshot(root).size(), 2 * paths.size() + 1) << "targets, backups and the old leftover only";
  s.Did("ran vextrane-cli over a folder tree of 6 awkwardly named files and one leftover temporary file");
  s.Checked("exit 0, the log in the walk's byte order with 2 real backslashes replaced per file (never the second "
            "byte of 表 or ソ), every .bak old, the leftover not taken as a target, no other file");
}

#ifdef VX_HAVE_LIST_FORMAT
TEST(CliRuns, HostileReplaceListsForAllPairs) {
  VX_CLI_OR_SKIP();
  Scenario s("bad input through vextrane-cli: --all-pairs with replace lists of random bytes");
  TempDir dir;
  const std::string target = Canonical(dir.path().string()) + "/target.txt";
  std::mt19937 rng(1207);
  int runs = 0;
  for (int i = 0; i < 20; ++i) {
    std::string list(rng() % 4096, '\0');
    for (char& c : list) c = "ab\r\n\x1A\0\\|nt\x82\x9F"[rng() % 12];
    WriteBytes(dir.Path("list.dat"), list);
    const std::string text = "ab\\ba\r\n\x82\x9F" "ab\r\n";
    WriteBytes(target, text);
    s.BadInput();
    const ListColumns columns = PairTextsForComboBoxes(SplitListTexts(list));
    const std::vector<ReplacePair> pairs = PairsFromLists(columns.search, columns.replace);
    std::string expected_text = text;
    std::int64_t expected_count = 0;
    for (const ReplacePair& pair : pairs) {
      std::int64_t n = 0;
      expected_text = Expected(expected_text, pair.search, pair.replace, &n);
      expected_count += n;
    }
    if (expected_text.size() > (1u << 20)) continue;  // grows too large to be worth the time
    TempDir out;
    const CliRun run = RunCli({"--raw", "--no-backup", "-a", "-l", dir.Path("list.dat"), target}, out.Path("log"));
    EXPECT_EQ(run.exit_code, 0) << "list " << i;
    EXPECT_EQ(ReadBytes(out.Path("log")), ExpectedLog({{target, expected_count}})) << "list " << i;
    EXPECT_EQ(ReadBytes(target), expected_text) << "list " << i;
    ++runs;
  }
  s.Did("ran vextrane-cli --all-pairs " + std::to_string(runs) + " times, each with a list of random bytes");
  s.Checked("exit 0, the log and the file's bytes those of applying the pairs the reader gives, one after another");
}
#endif

}  // namespace
}  // namespace vx::reliability

#endif  // _WIN32
