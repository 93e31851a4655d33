// A run of vextrane-cli over 2,000 files killed with SIGKILL at random
// moments: afterwards every target holds exactly its old or its new
// content, every .bak the old one; leftover temporary files carry the
// temporary suffix and are no targets of the next run, which finishes
// cleanly. The seeds are printed; VX_CRASH_SEED=n repeats a run.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "cli_runner.h"
#include "engine/batch.h"
#include "platform/file_fault.h"
#include "rewrite_helpers.h"
#include "tmpfs.h"

namespace vx::reliability {
namespace {

constexpr int kFolders = 10;
constexpr int kFilesPerFolder = 200;
constexpr int kKills = kSanitized ? 4 : 20;

struct Corpus {
  std::vector<std::string> paths, olds, news;
};

// 2,000 Shift-JIS text files in 10 folders, sizes 100 B to 12 KiB (a few of
// 256 KiB), the needle "foo" scattered through them.
Corpus MakeCorpus(const std::string& root, std::uint32_t seed) {
  std::mt19937 rng(seed);
  const char* pieces[] = {"foo", "fo", "o", "表示", "ソース", "abc ", "\r\n", "\\", "\x82\x9F" "foo"};
  Corpus c;
  for (int d = 0; d < kFolders; ++d) {
    const std::string folder = root + "/d" + std::to_string(d);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < kFilesPerFolder; ++i) {
      const std::size_t size = i % 97 == 0 ? (256u << 10) : 100 + rng() % (12u << 10);
      std::string text, rewritten;
      // Each file holds the needle, so that its new content tells from its old.
      while (text.size() < size || rewritten == text) {
        text += pieces[rng() % std::size(pieces)];
        if (text.size() >= size) rewritten = Expected(text, "foo", "BARBAZ");
      }
      c.paths.push_back(folder + "/f" + std::to_string(i) + ".txt");
      WriteBytes(c.paths.back(), text);
      c.news.push_back(std::move(rewritten));
      c.olds.push_back(std::move(text));
    }
  }
  return c;
}

// The paths in a result log (code page 932, one "path  result" per line after the head).
std::vector<std::string> LoggedPaths(const std::string& log) {
  std::vector<std::string> paths;
  std::size_t at = 0;
  int line = 0;
  while (at < log.size()) {
    std::size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    const std::string text = log.substr(at, end - at);
    if (++line > 4 && !text.empty()) paths.push_back(text.substr(0, text.rfind("  ")));
    at = end + 1;
  }
  return paths;
}

// Where a run's files live: a tmpfs of their own where mounting is allowed
// (a killed process leaves the same files on any file system, and a busy
// disk's journal would only slow the scenario down), else a scratch folder.
struct Workspace {
  SmallFileSystem fs{"size=512m,mode=0755"};
  TempDir fallback;
  std::string Path(const std::string& name) const {
    return fs.mounted() ? fs.Path(name) : fallback.Path(name);
  }
};

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(Crash, KilledRunsLoseNothingAndRerunCleanly) {
  VX_CLI_OR_SKIP();
  Scenario s("crash: vextrane-cli over 2,000 files killed with SIGKILL at " + std::to_string(kKills) +
             " random moments, then run again");
  const std::vector<std::string> args = {"-s", "foo", "-r", "BARBAZ", "--raw"};
  std::uint32_t base_seed = static_cast<std::uint32_t>(std::random_device{}());
  if (const char* fixed = std::getenv("VX_CRASH_SEED")) base_seed = static_cast<std::uint32_t>(std::atoll(fixed));

  // A whole run first: how long it takes, and what a finished run leaves.
  double whole = 0;
  {
    Workspace dir;
    s.Did(dir.fs.mounted() ? "files on a tmpfs of their own" : "files in a scratch folder (no tmpfs: " + dir.fs.error() + ")");
    const Corpus c = MakeCorpus(dir.Path("t"), base_seed);
    std::vector<std::string> run_args = args;
    run_args.push_back(dir.Path("t"));
    const CliRun run = RunCli(run_args, dir.Path("log"));
    ASSERT_EQ(run.exit_code, 0);
    whole = run.seconds;
    for (std::size_t i = 0; i < c.paths.size(); ++i) {
      ASSERT_EQ(Classify(c.paths[i], c.olds[i], c.news[i]), "new") << c.paths[i];
      ASSERT_EQ(Classify(c.paths[i] + ".bak", c.olds[i], c.olds[i]), "old") << c.paths[i];
    }
    EXPECT_EQ(LoggedPaths(ReadBytes(dir.Path("log"))).size(), c.paths.size());
    s.Did("a whole run (seed " + std::to_string(base_seed) + ") took " + std::to_string(whole) + " s");
  }

  int killed = 0, temp_left = 0, rewritten = 0, untouched = 0, backups = 0;
  for (int k = 0; k < kKills; ++k) {
    const std::uint32_t seed = base_seed + 1 + static_cast<std::uint32_t>(k);
    std::mt19937 rng(seed);
    const double at = std::uniform_real_distribution<double>(0.0, whole)(rng);
    Workspace dir;
    const std::string root = dir.Path("t");
    const Corpus c = MakeCorpus(root, seed);
    std::vector<std::string> run_args = args;
    run_args.push_back(root);
    const CliRun run = RunCli(run_args, dir.Path("log"), at);
    killed += run.killed;
    s.Fault();
    SCOPED_TRACE("seed " + std::to_string(seed) + ", killed after " + std::to_string(at) + " s");

    int now_new = 0, now_old = 0, baks = 0;
    for (std::size_t i = 0; i < c.paths.size(); ++i) {
      const std::string state = Classify(c.paths[i], c.olds[i], c.news[i]);
      EXPECT_TRUE(state == "old" || state == "new") << c.paths[i] << ": " << state;
      (state == "new" ? now_new : now_old) += 1;
      if (platform::FileExists(c.paths[i] + ".bak")) {
        ++baks;
        EXPECT_EQ(Classify(c.paths[i] + ".bak", c.olds[i], c.olds[i]), "old") << c.paths[i];
      }
    }
    const std::vector<std::string> leftovers = TempLeftovers(root);
    temp_left += static_cast<int>(leftovers.size());
    rewritten += now_new;
    untouched += now_old;
    backups += baks;
    std::printf("   seed %u: killed %s after %.4f s: %d new, %d old, %d .bak, %zu temporary files left\n", seed,
                run.killed ? "" : "(had already finished)", at, now_new, now_old, baks, leftovers.size());

    // The next run: leftovers are no targets; every target ends new.
    std::size_t files_before = 0;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root)) files_before += entry.is_regular_file();
    // A .bak made just before the kill may still be a second name of its
    // target: the folder add takes the two for one file (a duplicate).
    std::size_t shared = 0;
    for (const std::string& path : c.paths) {
      platform::FileIdentity a, b;
      shared += platform::GetFileIdentity(path, &a) == platform::kOk &&
                platform::GetFileIdentity(path + ".bak", &b) == platform::kOk && a == b;
    }
    const CliRun again = RunCli(run_args, dir.Path("log2"));
    EXPECT_EQ(again.exit_code, 0);
    const std::vector<std::string> logged = LoggedPaths(ReadBytes(dir.Path("log2")));
    EXPECT_EQ(logged.size(), files_before - leftovers.size() - shared);
    for (const std::string& path : logged) EXPECT_FALSE(EndsWith(path, platform::kTempSuffix)) << path;
    for (std::size_t i = 0; i < c.paths.size(); ++i) {
      EXPECT_EQ(Classify(c.paths[i], c.olds[i], c.news[i]), "new") << c.paths[i];
    }
  }
  s.Did(std::to_string(kKills) + " runs killed at random moments (" + std::to_string(killed) +
        " still running when killed): " + std::to_string(rewritten) + " targets found new, " +
        std::to_string(untouched) + " old, " + std::to_string(backups) + " .bak, " + std::to_string(temp_left) +
        " temporary files left");
  s.Checked("every target exactly old or new, every .bak old; the rerun exits 0, lists no temporary file, and "
            "leaves every target new");
}

TEST(Crash, KilledRestoresLeaveEveryFileWhole) {
  VX_CLI_OR_SKIP();
  constexpr int kRestoreKills = kSanitized ? 2 : 6;
  Scenario s("crash: vextrane-cli --restore over 2,000 rewritten files killed with SIGKILL at " +
             std::to_string(kRestoreKills) + " random moments, then run again");
  std::uint32_t base_seed = static_cast<std::uint32_t>(std::random_device{}());
  if (const char* fixed = std::getenv("VX_CRASH_SEED")) base_seed = static_cast<std::uint32_t>(std::atoll(fixed));
  // Every file rewritten, its old content in its backup: what a restore starts from.
  const auto rewritten = [&](const Workspace& dir, std::uint32_t seed) {
    const Corpus c = MakeCorpus(dir.Path("t"), seed);
    const CliRun run = RunCli({"-s", "foo", "-r", "BARBAZ", "--raw", dir.Path("t")}, dir.Path("log"));
    EXPECT_EQ(run.exit_code, 0);
    return c;
  };
  double whole = 0;
  {
    Workspace dir;
    const Corpus c = rewritten(dir, base_seed);
    const CliRun run = RunCli({"--restore", dir.Path("t")}, dir.Path("log"));
    ASSERT_EQ(run.exit_code, 0);
    whole = run.seconds;
    for (std::size_t i = 0; i < c.paths.size(); ++i) {
      ASSERT_EQ(Classify(c.paths[i], c.olds[i], c.news[i]), "old") << c.paths[i];
      ASSERT_FALSE(platform::FileExists(c.paths[i] + ".bak")) << c.paths[i];
    }
    s.Did("a whole restore (seed " + std::to_string(base_seed) + ") took " + std::to_string(whole) + " s");
  }

  int restored = 0, waiting = 0;
  for (int k = 0; k < kRestoreKills; ++k) {
    const std::uint32_t seed = base_seed + 100 + static_cast<std::uint32_t>(k);
    std::mt19937 rng(seed);
    const double at = std::uniform_real_distribution<double>(0.0, whole)(rng);
    Workspace dir;
    const Corpus c = rewritten(dir, seed);
    RunCli({"--restore", dir.Path("t")}, dir.Path("log"), at);
    s.Fault();
    SCOPED_TRACE("seed " + std::to_string(seed) + ", killed after " + std::to_string(at) + " s");
    int old_now = 0;
    for (std::size_t i = 0; i < c.paths.size(); ++i) {
      const std::string state = Classify(c.paths[i], c.olds[i], c.news[i]);
      // Restored (the backup took the name) or not yet (still new, its backup old).
      if (state == "old") {
        ++old_now;
        EXPECT_FALSE(platform::FileExists(c.paths[i] + ".bak")) << c.paths[i];
      } else {
        EXPECT_EQ(state, "new") << c.paths[i];
        EXPECT_EQ(Classify(c.paths[i] + ".bak", c.olds[i], c.olds[i]), "old") << c.paths[i];
      }
    }
    EXPECT_TRUE(TempLeftovers(dir.Path("t")).empty());
    restored += old_now;
    waiting += static_cast<int>(c.paths.size()) - old_now;
    // Again: the rest is restored; the files restored before have no backup left (exit status 1).
    const CliRun again = RunCli({"--restore", dir.Path("t")}, dir.Path("log2"));
    EXPECT_EQ(again.exit_code, old_now > 0 ? 1 : 0);
    for (std::size_t i = 0; i < c.paths.size(); ++i) {
      EXPECT_EQ(Classify(c.paths[i], c.olds[i], c.news[i]), "old") << c.paths[i];
    }
  }
  s.Did(std::to_string(kRestoreKills) + " restores killed at random moments: " + std::to_string(restored) +
        " files found restored, " + std::to_string(waiting) + " still new with their backup");
  s.Checked("every file exactly its old content (no backup left) or its new one (its backup old), no temporary "
            "file; the rerun restores the rest");
}

// The process ends right before file operation number g_stop_at.
int g_stop_at = -1;
int g_ops = 0;
void StopHook(platform::FileOp) {
  if (g_ops++ == g_stop_at) ::_exit(2);
}

TEST(Crash, DiesRightBeforeEachFileOperation) {
  Scenario s("crash: a batch of 3 files ending abruptly right before each of its file operations in turn");
  const std::vector<std::string> olds = {"foo one\r\n", "two foo foo\r\n", std::string(300000, 'f') + "oo"};
  const std::string older_backup = "an older backup\r\n";
  int points = 0;
  for (bool backup : {true, false}) {
    for (int stop = 0;; ++stop) {
      TempDir dir;
      std::vector<std::string> paths, news;
      for (std::size_t i = 0; i < olds.size(); ++i) {
        paths.push_back(dir.Path("f" + std::to_string(i) + ".txt"));
        WriteBytes(paths.back(), olds[i]);
        news.push_back(Expected(olds[i], "foo", "BAR"));
      }
      WriteBytes(paths[1] + ".bak", older_backup);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        g_stop_at = stop;
        platform::SetFileOpHook(StopHook);
        BatchSettings settings;
        ProcessBatch(
            [&](std::size_t index, BatchFile* file) {
              if (index >= paths.size()) return false;
              file->path = paths[index];
              file->pairs = {{"foo", "BAR"}};
              file->make_backup = backup;
              return true;
            },
            settings);
        ::_exit(3);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      const bool finished = WEXITSTATUS(status) == 3;
      SCOPED_TRACE("stopped before operation " + std::to_string(stop) + (backup ? ", backup on" : ""));
      for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string state = Classify(paths[i], olds[i], news[i]);
        EXPECT_TRUE(finished ? state == "new" : state == "old" || state == "new") << paths[i] << ": " << state;
        if (platform::FileExists(paths[i] + ".bak")) {
          const std::string bak = ReadBytes(paths[i] + ".bak");
          EXPECT_TRUE(bak == olds[i] || (i == 1 && bak == older_backup)) << paths[i] << ".bak";
          // A rewritten file's backup is never a stale one.
          if (backup && state == "new") {
            EXPECT_EQ(bak, olds[i]) << paths[i] << ".bak";
          }
        } else {
          EXPECT_FALSE(backup && state == "new") << paths[i] << ": rewritten without its backup";
          EXPECT_NE(i, 1u) << "the older backup is gone";
        }
      }
      ++points;
      if (finished) break;
      s.Fault();
    }
  }
  s.Did("ran the batch " + std::to_string(points) + " times in a child process, ending it before file operation "
        "0, 1, 2, ... until a run completed, backup on and off");
  s.Checked("after every stop each target holds exactly its old or its new content, each .bak the old content "
            "(or the older backup it replaces); a target found new has its old content as .bak; the older backup "
            "is never lost");
}

// The undo of a run, ended right before each of its file operations in
// turn: no file is ever lost or half put back, and the backups stay.
TEST(Crash, UndoDiesRightBeforeEachFileOperation) {
  Scenario s("crash: the undo of a run over 3 files ending abruptly right before each of its file operations");
  const std::vector<std::string> olds = {"foo one\r\n", "two foo foo\r\n", std::string(300000, 'f') + "oo"};
  int points = 0;
  for (int stop = 0;; ++stop) {
    TempDir dir;
    std::vector<BatchFile> files;
    std::vector<std::string> news;
    for (std::size_t i = 0; i < olds.size(); ++i) {
      files.push_back({dir.Path("f" + std::to_string(i) + ".txt"), {{"foo", "BAR"}}, true});
      WriteBytes(files.back().path, olds[i]);
      news.push_back(Expected(olds[i], "foo", "BAR"));
    }
    BatchSettings settings;
    settings.options.digests = true;
    const std::vector<UndoFile> record = UndoRecord(ProcessFiles(files, settings, 1));
    ASSERT_EQ(record.size(), files.size());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      g_stop_at = stop;
      platform::SetFileOpHook(StopHook);
      UndoFiles(record, BatchSettings{}, 1);
      ::_exit(3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const bool finished = WEXITSTATUS(status) == 3;
    SCOPED_TRACE("stopped before operation " + std::to_string(stop));
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string state = Classify(files[i].path, olds[i], news[i]);
      EXPECT_TRUE(finished ? state == "old" : state == "old" || state == "new") << files[i].path << ": " << state;
      EXPECT_EQ(ReadBytes(files[i].path + ".bak"), olds[i]) << files[i].path << ".bak";
    }
    ++points;
    if (finished) break;
    s.Fault();
  }
  s.Did("undid a run " + std::to_string(points) + " times in a child process, ending it before file operation "
        "0, 1, 2, ... until an undo completed");
  s.Checked("after every stop each file holds exactly what the run wrote or what it held before, and its backup "
            "the old content; files lost: 0");
}

}  // namespace
}  // namespace vx::reliability

#endif  // _WIN32
