// The batch run and its result log: exact log bytes, totals, the order of the
// lines, the two modes and the backup rule, on real files where the result
// can be provoked and with a scripted rewrite pass where it cannot.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "core/outcome.h"
#include "core/temp_dir.h"
#include "engine/batch.h"
#include "platform/unicode.h"
#include "platform/file.h"
#include "platform/file_fault.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// A source over a fixed list: every file gets the same pairs and backup flag.
BatchSource FixedSource(const std::vector<std::string>& paths, const std::vector<ReplacePair>& pairs,
                        bool make_backup) {
  return [=](std::size_t index, BatchFile* file) {
    if (index >= paths.size()) return false;
    *file = BatchFile{paths[index], pairs, make_backup};
    return true;
  };
}

// A rewrite pass that returns scripted results by path and records its calls.
struct ScriptedRewrite {
  std::map<std::string, std::int64_t> results;
  std::vector<std::string> calls;
  RewriteFunction Function() {
    return [this](const std::string& path, const std::vector<ReplacePair>&, const FileReading&,
                  const RewriteOptions&) {
      calls.push_back(path);
      return FromCode(results.at(path));
    };
  }
};

TEST(BatchLog, ResultTextsAreTheExactBytes) {
  const std::int64_t two31 = std::int64_t{1} << 31;
  struct Row {
    std::int64_t result;
    std::string expected;
    Encoding encoding = Encoding::kCodePage;
  };
  // The full-width space after 数 is 0x81 0x40; 個 is 0x8C 0xC2.
  const std::string count_prefix = "\x92\x75\x8A\xB7\x82\xA6\x90\x94\x81\x40";
  const Row rows[] = {
      {0, count_prefix + "0\x8C\xC2\n"},
      {7, "置換え数　7個\n"},
      {1234567, "置換え数　1234567個\n"},
      {two31 - 1, "置換え数　2147483647個\n"},
      {two31, "置換え数　2147483648個\n"},
      {std::int64_t{1} << 32, "置換え数　4294967296個\n"},
      {std::numeric_limits<std::int64_t>::max(), "置換え数　9223372036854775807個\n"},
      {kRewriteOpenFailed, "ファイルが不正です。\n"},
      {kRewriteNoMemory, "メモリ割当に失敗しました。\n"},
      {kRewriteNotText, "テキストファイルではありません。\n"},
      {kRewriteWriteFailed, "書き込みに失敗しました。\n"},
      {kRewriteBackupFailed, "バックアップを作成できませんでした。\n"},
      {kRewriteUnrepresentable, "置換文字列をこのファイルの文字コードで表せません。\n"},
      {kRewriteTooComplex, "正規表現の照合が複雑すぎるため、置換しませんでした。\n"},
      {kRewriteChangedSincePreview, "プレビューの後で変更されたため、置換しませんでした。\n"},
      {kRewriteChangedSinceRun, "置換後に変更されたため、元に戻しませんでした。\n"},
      {kRewriteRestored, "元に戻しました。\n"},
      // A file read as anything but the ANSI code page says so; the full-width
      // parentheses are 0x81 0x69 and 0x81 0x6A.
      {3, "置換え数　3個\x81\x69UTF-8\x81\x6A\n", Encoding::kUtf8},
      {3, "置換え数　3個（UTF-8 BOM付き）\n", Encoding::kUtf8Bom},
      {0, "置換え数　0個（UTF-16LE）\n", Encoding::kUtf16Le},
      {12, "置換え数　12個（UTF-16BE）\n", Encoding::kUtf16Be},
      {kRewriteNotText, "テキストファイルではありません。\n", Encoding::kUtf16Le},
  };
  for (const Row& row : rows) {
    RewriteOutcome outcome = FromCode(row.result);
    outcome.encoding = row.encoding;
    EXPECT_EQ(FormatResultText(outcome), row.expected) << row.result;
    // The Windows programs' log is UTF-8: the same texts, converted.
    std::string utf8;
    ASSERT_TRUE(ConvertText(row.expected, CodePage::kCp932, CodePage::kUtf8, &utf8));
    EXPECT_EQ(FormatResultText(outcome, CodePage::kUtf8), utf8) << row.result;
  }
  // The lines the batch decides itself, and a backup that holds the only
  // copy of the old content.
  RewriteOutcome outcome;
  outcome.status = RewriteStatus::kAlreadyRewritten;
  EXPECT_EQ(FormatResultText(outcome), "このファイルは既に置換しました。\n");
  outcome.status = RewriteStatus::kBackupOfThisRun;
  EXPECT_EQ(FormatResultText(outcome), "このファイルは今回作成したバックアップです。\n");
  outcome.status = RewriteStatus::kWriteFailed;
  outcome.kept_at = "c:\\a.txt.bak";
  EXPECT_EQ(FormatResultText(outcome), "書き込みに失敗しました。元の内容は c:\\a.txt.bak にあります。\n");
  // A path goes into a UTF-8 log as it is held, beside converted texts.
  outcome.kept_at = FromU8(u8"c:\\𠮷.txt.bak");
  const std::string kept = FormatResultText(outcome, CodePage::kUtf8);
  const std::string kept_line = FromU8(u8"書き込みに失敗しました。元の内容は c:\\𠮷.txt.bak にあります。\n");
  EXPECT_EQ(kept, kept_line);
  BatchReport report;
  report.entries.push_back({FromU8(u8"C:\\한.txt"), outcome});
  report.entries.back().outcome.status = RewriteStatus::kNotText;
  const std::string log = FormatBatchLog(report, CodePage::kUtf8);
  const std::string log_text = FromU8(u8"置換結果ログ\n\n総置換え数  0個\n\nC:\\한.txt  テキストファイルではありません。\n");
  EXPECT_EQ(log, log_text);
}

TEST(BatchLog, HeadIsTheExactBytes) {
  struct Row {
    std::int64_t total;
    std::string expected;
  };
  const Row rows[] = {
      // 置換結果ログ, empty line, 総置換え数, two ASCII spaces, the total, 個.
      {0, "\x92\x75\x8A\xB7\x8C\x8B\x89\xCA\x83\x8D\x83\x4F\n\n\x91\x8D\x92\x75\x8A\xB7\x82\xA6\x90\x94  0\x8C\xC2\n\n"},
      {42, "置換結果ログ\n\n総置換え数  42個\n\n"},
      {(std::int64_t{1} << 31) + 1, "置換結果ログ\n\n総置換え数  2147483649個\n\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(FormatLogHead(row.total), row.expected) << row.total;
}

TEST(BatchLog, EmptyListGivesTheHeadOnly) {
  const BatchReport report = ProcessBatch(FixedSource({}, {{"a", "b"}}, true), {});
  EXPECT_TRUE(report.entries.empty());
  EXPECT_EQ(FormatBatchLog(report), "置換結果ログ\n\n総置換え数  0個\n\n");
}

TEST(BatchLog, OneLinePerFileInOrderAndTheTotalIsTheirSum) {
  const std::int64_t big = 3'000'000'000;  // beyond 2^31: printed as it is, summed without wrapping
  ScriptedRewrite rewrite;
  rewrite.results = {{"c:\\z.txt", 5},        {"c:\\a.txt", kRewriteOpenFailed}, {"c:\\m.txt", kRewriteNoMemory},
                     {"c:\\b.bin", kRewriteNotText}, {"c:\\full.txt", kRewriteWriteFailed}, {"c:\\big1", big},
                     {"c:\\big2", big},       {"c:\\zero.txt", 0}};
  const std::vector<std::string> order = {"c:\\z.txt", "c:\\a.txt",  "c:\\m.txt", "c:\\b.bin",
                                          "c:\\full.txt", "c:\\big1", "c:\\big2", "c:\\zero.txt"};
  BatchSettings settings;
  settings.rewrite = rewrite.Function();
  const BatchReport report = ProcessBatch(FixedSource(order, {{"x", "y"}}, false), settings);

  EXPECT_EQ(rewrite.calls, order);  // every file, also after failures
  EXPECT_EQ(report.total, 5 + 2 * big);
  EXPECT_TRUE(report.AnyFailed());
  EXPECT_EQ(FormatBatchLog(report),
            "置換結果ログ\n\n総置換え数  6000000005個\n\n"
            "c:\\z.txt  置換え数　5個\n"
            "c:\\a.txt  ファイルが不正です。\n"
            "c:\\m.txt  メモリ割当に失敗しました。\n"
            "c:\\b.bin  テキストファイルではありません。\n"
            "c:\\full.txt  書き込みに失敗しました。\n"
            "c:\\big1  置換え数　3000000000個\n"
            "c:\\big2  置換え数　3000000000個\n"
            "c:\\zero.txt  置換え数　0個\n");
}

TEST(BatchRun, SourceIsAskedBeforeEveryFileAndMayChangeBetweenFiles) {
  // The window re-reads its controls before every file, and the list may
  // grow meanwhile: the run follows what the source says at each index.
  ScriptedRewrite rewrite;
  rewrite.results = {{"f0", 1}, {"f1", 2}, {"f2", 3}};
  std::vector<std::string> asked;
  std::vector<bool> backups;
  BatchSettings settings;
  settings.rewrite = [&](const std::string& path, const std::vector<ReplacePair>&, const FileReading&,
                         const RewriteOptions& options) {
    backups.push_back(options.make_backup);
    return FromCode(rewrite.results.at(path));
  };
  std::size_t count = 1;
  const BatchReport report = ProcessBatch(
      [&](std::size_t index, BatchFile* file) {
        asked.push_back("ask " + std::to_string(index));
        if (index >= count) return false;
        count = 3;  // the count is asked anew
        *file = BatchFile{"f" + std::to_string(index), {{"s", "r"}}, index != 1};
        return true;
      },
      settings);
  EXPECT_EQ(asked, (std::vector<std::string>{"ask 0", "ask 1", "ask 2", "ask 3"}));
  EXPECT_EQ(backups, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(report.total, 6);
}

TEST(BatchPairs, OddListGivesTheLastSearchTextAnEmptyReplacement) {
  struct Row {
    std::vector<std::string> search, replace;
    std::vector<ReplacePair> expected;
  };
  const Row rows[] = {
      {{}, {}, {}},
      {{"a"}, {}, {{"a", ""}}},
      {{"a", "c"}, {"b"}, {{"a", "b"}, {"c", ""}}},
      {{"a", ""}, {"b", "d"}, {{"a", "b"}, {"", "d"}}},
  };
  for (const Row& row : rows) {
    const std::vector<ReplacePair> pairs = PairsFromLists(row.search, row.replace);
    ASSERT_EQ(pairs.size(), row.expected.size());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      EXPECT_EQ(pairs[k].search, row.expected[k].search);
      EXPECT_EQ(pairs[k].replace, row.expected[k].replace);
    }
  }
}

// Runs over real files with the real rewrite pass.
class BatchOnFiles : public ::testing::Test {
 protected:
  void TearDown() override { platform::ClearFileFaults(); }
  BatchReport Run(const std::vector<std::string>& paths, const std::vector<ReplacePair>& pairs, bool backup,
                  bool dry_run = false) {
    BatchSettings settings;
    settings.options.dry_run = dry_run;
    return ProcessBatch(FixedSource(paths, pairs, backup), settings);
  }
  TempDir dir_;
};

TEST_F(BatchOnFiles, AllPairsSumTheirCountsAndBackUpTheFileAsItWas) {
  const std::string a = dir_.Path("a.txt"), b = dir_.Path("b.txt");
  WriteBytes(a, "one two two three three three");
  WriteBytes(b, "three");
  // The odd list: "three" is applied with an empty replacement.
  const std::vector<ReplacePair> pairs = PairsFromLists({"one", "two", "three"}, {"1", "2"});
  const BatchReport report = Run({a, b}, pairs, true);
  EXPECT_EQ(FormatBatchLog(report), "置換結果ログ\n\n総置換え数  7個\n\n" + a + "  置換え数　6個\n" + b +
                                        "  置換え数　1個\n");
  EXPECT_EQ(ReadBytes(a), "1 2 2   ");
  EXPECT_EQ(ReadBytes(b), "");
  EXPECT_EQ(ReadBytes(a + ".bak"), "one two two three three three");
  EXPECT_EQ(ReadBytes(b + ".bak"), "three");
}

TEST_F(BatchOnFiles, FirstNegativeResultIsTheFilesLineAndTheRunGoesOn) {
  const std::string missing = dir_.Path("missing.txt"), binary = dir_.Path("bin.dat"), text = dir_.Path("t.txt");
  WriteBytes(binary, std::string("ab\0ab", 5));
  WriteBytes(text, "ab");
  const BatchReport report = Run({missing, binary, text}, {{"a", "x"}, {"b", "y"}}, true);
  EXPECT_EQ(FormatBatchLog(report), "置換結果ログ\n\n総置換え数  2個\n\n" + missing + "  ファイルが不正です。\n" +
                                        binary + "  テキストファイルではありません。\n" + text +
                                        "  置換え数　2個\n");
  EXPECT_EQ(ReadBytes(binary), std::string("ab\0ab", 5));
  EXPECT_EQ(dir_.Listing(), "bin.dat;t.txt;t.txt.bak;");  // no backup of the file that was not text
}

TEST_F(BatchOnFiles, EmptyPairListCountsZeroAndLeavesTheFileAlone) {
  const std::string a = dir_.Path("a.txt");
  WriteBytes(a, "abc");
  const auto old_time = std::filesystem::last_write_time(a);
  const auto old_identity = [&] {
    platform::FileIdentity id;
    EXPECT_EQ(platform::GetFileIdentity(a, &id), platform::kOk);
    return id;
  }();
  const BatchReport report = Run({a}, {}, true);
  EXPECT_EQ(FormatBatchLog(report), "置換結果ログ\n\n総置換え数  0個\n\n" + a + "  置換え数　0個\n");
  platform::FileIdentity id;
  ASSERT_EQ(platform::GetFileIdentity(a, &id), platform::kOk);
  EXPECT_TRUE(id == old_identity);
  EXPECT_EQ(std::filesystem::last_write_time(a), old_time);
  EXPECT_EQ(dir_.Listing(), "a.txt;");
}

// A file is rewritten once per run, however often the list reaches it, and
// the backups the run makes are not rewritten in turn.
TEST_F(BatchOnFiles, EachFileIsRewrittenOnceAndItsNewBackupIsLeftAlone) {
  struct Row {
    const char* name;
    std::vector<std::string> listed;  // relative to the folder; release/ holds f.txt
    bool backup;
    std::string log;  // the file lines, names relative to the folder
    std::string f_after, bak_after;  // release/f.txt and release/f.txt.bak
  };
  const std::string twice = "このファイルは既に置換しました。\n";
  const std::string own_backup = "このファイルは今回作成したバックアップです。\n";
  const Row rows[] = {
      {"same path", {"release/f.txt", "release/f.txt"}, true,
       "release/f.txt  置換え数　1個\nrelease/f.txt  " + twice, "version=1.2.1", "version=1.2"},
      {"through a folder", {"release/f.txt", "release/../release/f.txt"}, false,
       "release/f.txt  置換え数　1個\nrelease/../release/f.txt  " + twice, "version=1.2.1", ""},
#ifndef _WIN32
      {"through a linked folder", {"release/f.txt", "current/f.txt"}, true,
       "release/f.txt  置換え数　1個\ncurrent/f.txt  " + twice, "version=1.2.1", "version=1.2"},
#endif
      {"its backup listed after it", {"release/f.txt", "release/f.txt.bak"}, true,
       "release/f.txt  置換え数　1個\nrelease/f.txt.bak  " + own_backup, "version=1.2.1", "version=1.2"},
      {"an old backup listed before it is a file like any other", {"release/f.txt.bak", "release/f.txt"}, true,
       "release/f.txt.bak  置換え数　0個\nrelease/f.txt  置換え数　1個\n", "version=1.2.1", "version=1.2"},
      {"a dry run says the same", {"release/f.txt", "release/f.txt", "release/f.txt.bak"}, true,
       "release/f.txt  置換え数　1個\nrelease/f.txt  " + twice + "release/f.txt.bak  " + own_backup, "version=1.2",
       "old"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "release");
#ifndef _WIN32
    std::filesystem::create_directory_symlink("release", dir.path() / "current");
#endif
    WriteBytes(dir.Path("release/f.txt"), "version=1.2");
    WriteBytes(dir.Path("release/f.txt.bak"), "old");
    std::vector<std::string> paths;
    for (const std::string& name : row.listed) paths.push_back(dir.Path(name));
    BatchSettings settings;
    settings.options.dry_run = std::string(row.name).rfind("a dry run", 0) == 0;
    // One at a time and side by side: the same.
    for (const bool side_by_side : {false, true}) {
      if (side_by_side) {
        WriteBytes(dir.Path("release/f.txt"), "version=1.2");
        WriteBytes(dir.Path("release/f.txt.bak"), "old");
      }
      std::vector<BatchFile> files;
      for (const std::string& path : paths) files.push_back(BatchFile{path, {{"1.2", "1.2.1"}}, row.backup});
      const BatchReport report = side_by_side ? ProcessFiles(files, settings, 4)
                                              : ProcessBatch(FixedSource(paths, {{"1.2", "1.2.1"}}, row.backup), settings);
      std::string log = FormatBatchLog(report);
      for (std::size_t at; (at = log.find(dir.path().string())) != std::string::npos;)
        log.erase(at, dir.path().string().size() + 1);  // and its separator
      EXPECT_EQ(log, FormatLogHead(report.total) + row.log) << row.name;
      EXPECT_FALSE(report.AnyFailed()) << row.name;
      EXPECT_EQ(ReadBytes(dir.Path("release/f.txt")), row.f_after) << row.name;
      if (!row.bak_after.empty()) {
        EXPECT_EQ(ReadBytes(dir.Path("release/f.txt.bak")), row.bak_after) << row.name;
      }
    }
  }
}

TEST_F(BatchOnFiles, BackupFlagIsTakenPerFile) {
  const std::string a = dir_.Path("a.txt"), b = dir_.Path("b.txt");
  WriteBytes(a, "x");
  WriteBytes(b, "x");
  BatchSettings settings;
  ProcessBatch(
      [&](std::size_t index, BatchFile* file) {
        if (index == 0) *file = BatchFile{a, {{"x", "y"}}, false};
        if (index == 1) *file = BatchFile{b, {{"x", "y"}}, true};
        return index < 2;
      },
      settings);
  EXPECT_EQ(dir_.Listing(), "a.txt;b.txt;b.txt.bak;");
}

TEST_F(BatchOnFiles, WriteFailureIsLoggedAndTheRunGoesOn) {
  const std::string a = dir_.Path("a.txt"), b = dir_.Path("b.txt");
  WriteBytes(a, "abc");
  WriteBytes(b, "abc");
  // The new content of the first file cannot be stored: the disk is full.
  platform::InjectFileFault(platform::FileOp::kWrite, 112, 0, 1);
  const BatchReport report = Run({a, b}, {{"b", "x"}}, false);
  EXPECT_EQ(FormatBatchLog(report), "置換結果ログ\n\n総置換え数  1個\n\n" + a + "  書き込みに失敗しました。\n" + b +
                                        "  置換え数　1個\n");
  EXPECT_EQ(ReadBytes(a), "abc");
  EXPECT_EQ(ReadBytes(b), "axc");
  EXPECT_EQ(report.AnyFailed(), true);
}

TEST_F(BatchOnFiles, DryRunCountsAndChangesNothing) {
  const std::string a = dir_.Path("a.txt");
  WriteBytes(a, "aXa");
  const auto old_time = std::filesystem::last_write_time(a);
  const BatchReport report = Run({a}, {{"a", "b"}}, true, true);
  EXPECT_EQ(report.total, 2);
  EXPECT_EQ(ReadBytes(a), "aXa");
  EXPECT_EQ(std::filesystem::last_write_time(a), old_time);
  EXPECT_EQ(dir_.Listing(), "a.txt;");
}

// A preview and the run of the files chosen from it are one pipeline: the
// run rewrites a file only while it holds what the preview read, even at
// the same size; the undo puts back what the run rewrote, but only a file
// and a backup still as the run left them, and the backups stay.
TEST_F(BatchOnFiles, PreviewRunAndUndo) {
  const std::vector<std::string> paths = {dir_.Path("a.txt"), dir_.Path("b.txt"), dir_.Path("c.txt"),
                                          dir_.Path("d.txt")};
  for (const std::string& path : paths) WriteBytes(path, "abc");
  // SHA-256("abc") = ba7816bf ... f20015ad, also when fed byte by byte.
  Sha256 bytes;
  for (const char c : std::string(200, 'a')) bytes.Add(&c, 1);
  EXPECT_EQ(bytes.Finish(), DigestOf(std::string(200, 'a')));
  EXPECT_EQ(DigestOf("abc").sha256[0], 0xBA);
  EXPECT_EQ(DigestOf("abc").sha256[31], 0xAD);
  BatchSettings settings;
  settings.options.digests = true;
  settings.options.dry_run = true;
  std::vector<BatchFile> files;
  for (const std::string& path : paths) files.push_back({path, {{"b", "X"}}, true});
  const BatchReport preview = ProcessFiles(files, settings, 2);
  ASSERT_EQ(preview.total, 4);
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(preview.entries[i].outcome.read, DigestOf("abc"));
    EXPECT_EQ(preview.entries[i].outcome.written, DigestOf("aXc"));
    files[i].previewed = preview.entries[i].outcome.read;
  }
  EXPECT_EQ(dir_.Listing(), "a.txt;b.txt;c.txt;d.txt;");
  WriteBytes(paths[3], "abd");  // changed behind the preview, at the same size
  settings.options.dry_run = false;
  const BatchReport run = ProcessFiles(files, settings, 2);
  EXPECT_EQ(Code(run.entries[3].outcome), kRewriteChangedSincePreview);
  EXPECT_EQ(ReadBytes(paths[3]), "abd");
  EXPECT_EQ(run.total, 3);

  const std::vector<UndoFile> record = UndoRecord(run);
  ASSERT_EQ(record.size(), 3u);
  WriteBytes(paths[1], "aYc");           // the file changed since the run
  WriteBytes(paths[2] + ".bak", "old");  // its backup changed
  // A restored file takes its backup's modification time.
  const platform::FileTime backup_time{1000000000, 123456700};
  ASSERT_EQ(platform::SetModifiedTime(paths[0] + ".bak", backup_time), platform::kOk);
  const BatchReport undo = UndoFiles(record, BatchSettings{}, 2);
  const std::int64_t expected[] = {kRewriteRestored, kRewriteChangedSinceRun, kRewriteChangedSinceRun};
  const std::string contents[] = {"abc", "aYc", "aXc"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Code(undo.entries[i].outcome), expected[i]) << paths[i];
    EXPECT_EQ(ReadBytes(paths[i]), contents[i]) << paths[i];
  }
  EXPECT_EQ(ReadBytes(paths[0] + ".bak"), "abc");
  platform::FileTime restored_time;
  ASSERT_EQ(platform::GetModifiedTime(paths[0], &restored_time), platform::kOk);
  EXPECT_EQ(restored_time, backup_time);
  EXPECT_EQ(FormatLogLine(undo.entries[0]), paths[0] + "  元に戻しました。\n");
  // A run without backups leaves nothing to undo.
  for (BatchFile& file : files) file.make_backup = false, file.previewed = {};
  EXPECT_TRUE(UndoRecord(ProcessFiles(files, settings, 1)).empty());
#ifndef _WIN32
  // A file named through a link: the backup and the undo are the file's,
  // and the link stays a link.
  const std::string real = dir_.Path("e.txt"), link = dir_.Path("e-link.txt");
  WriteBytes(real, "abc");
  std::filesystem::create_symlink("e.txt", link);
  const BatchReport linked = ProcessFiles({BatchFile{link, {{"b", "X"}}, true, {}}}, settings, 1);
  ASSERT_EQ(ReadBytes(real), "aXc");
  const BatchReport undone = UndoFiles(UndoRecord(linked), BatchSettings{}, 1);
  ASSERT_EQ(undone.entries.size(), 1u);
  EXPECT_EQ(Code(undone.entries[0].outcome), kRewriteRestored);
  EXPECT_EQ(ReadBytes(real), "abc");
  EXPECT_EQ(ReadBytes(real + ".bak"), "abc");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
#endif
}

// Many files at a time: the same report and the same files as one at a time,
// also where files depend on each other (one file under two spellings, the
// listed backup of a listed file), however the threads happen to take them.
TEST(BatchParallel, SameReportAndFilesAsOneAtATime) {
  auto make = [](const TempDir& dir) {
    std::filesystem::create_directory(dir.path() / "sub");
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
      const std::string name = "f" + std::to_string(i) + ".txt";
      WriteBytes(dir.Path(name), std::string(static_cast<std::size_t>(i % 7), 'a') + "\r\n");
      names.push_back(name);
      if (i == 5) names.push_back("g.txt");
      if (i == 20) names.push_back("sub/../g.txt");
      if (i == 30) names.push_back("g.txt.bak");
      if (i == 35) names.push_back("missing.txt");
    }
    WriteBytes(dir.Path("g.txt"), "aaaa");
    WriteBytes(dir.Path("g.txt.bak"), "older");
    WriteBytes(dir.Path("bin.dat"), std::string("a\0a", 3));
    names.push_back("bin.dat");
    return names;
  };
  auto contents = [](const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
      if (e.is_regular_file()) files[e.path().filename().string()] = ReadBytes(e.path().string());
    return files;
  };
  const std::vector<ReplacePair> pairs = {{"a", "ab"}};  // a second visit changes the file again
  TempDir one;
  const std::vector<std::string> names = make(one);
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(one.Path(name));
  const BatchReport expected = ProcessBatch(FixedSource(paths, pairs, true), {});
  ASSERT_EQ(ReadBytes(one.Path("g.txt")), "abababab");
  ASSERT_EQ(ReadBytes(one.Path("g.txt.bak")), "aaaa");

  for (int round = 0; round < 10; ++round) {
    TempDir many;
    make(many);
    std::vector<BatchFile> files;
    for (const std::string& name : names) files.push_back(BatchFile{many.Path(name), pairs, true});
    std::vector<std::size_t> done;
    std::size_t started = 0;
    BatchWatch watch;
    watch.started = [&](const std::string&) { ++started; };
    watch.finished = [&](std::size_t n, const BatchEntry&) { done.push_back(n); };
    const BatchReport report = ProcessFiles(files, {}, 8, watch);
    ASSERT_EQ(report.entries.size(), names.size());
    EXPECT_EQ(started, names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(report.entries[i].path, many.Path(names[i]));
      EXPECT_EQ(FormatResultText(report.entries[i].outcome), FormatResultText(expected.entries[i].outcome)) << names[i];
    }
    EXPECT_EQ(report.total, expected.total);
    EXPECT_EQ(contents(many), contents(one)) << "round " << round;
    ASSERT_EQ(done.size(), names.size());  // progress: 1, 2, ... once per file
    for (std::size_t k = 0; k < done.size(); ++k) EXPECT_EQ(done[k], k + 1);
  }
}

// A cancel stops the run between files and between chunks: every file is
// then done, with its backup, or untouched without one; the log has the
// files done, in list order, and the number of those not done.
TEST(BatchParallel, CancelLeavesEveryFileDoneOrUntouched) {
  TempDir dir;
  std::vector<BatchFile> files;
  for (int i = 0; i < 60; ++i) {
    const std::string path = dir.Path("f" + std::to_string(i) + ".txt");
    WriteBytes(path, std::string(20000, 'a'));
    files.push_back(BatchFile{path, {{"a", "b"}}, true});
  }
  std::atomic<bool> cancel{false};
  BatchSettings settings;
  settings.options.cancel = &cancel;
  settings.options.buffer_bytes = 4096;
  BatchWatch watch;
  watch.finished = [&](std::size_t done, const BatchEntry&) {
    if (done == 10) cancel = true;
  };
  const BatchReport report = ProcessFiles(files, settings, 4, watch);
  std::string lines;
  std::size_t not_done = 0;
  for (const BatchEntry& entry : report.entries) {
    const bool done = entry.outcome.status == RewriteStatus::kDone;
    EXPECT_TRUE(done || entry.outcome.status == RewriteStatus::kCancelled) << entry.path;
    EXPECT_EQ(ReadBytes(entry.path), std::string(20000, done ? 'b' : 'a')) << entry.path;
    EXPECT_EQ(platform::FileExists(entry.path + ".bak"), done) << entry.path;
    if (done) lines += FormatLogLine(entry);
    not_done += done ? 0 : 1;
  }
  EXPECT_GE(not_done, 60u - 10u - 4u);  // at most the files being worked on were finished
  EXPECT_EQ(report.NotDone(), not_done);
  EXPECT_EQ(FormatBatchLog(report), FormatLogHead(report.total) + lines + "中止しました。処理していないファイル：" +
                                        std::to_string(not_done) + "個\n");
  EXPECT_EQ(dir.Listing().find(platform::kTempSuffix), std::string::npos);
}

}  // namespace
}  // namespace vx
