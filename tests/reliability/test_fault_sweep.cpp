// Every file operation of a run over several files made to fail, one call at
// a time, at every point of the run: whatever fails, each target holds its
// old or its new content, each .bak holds the old content, and the files
// after the failing one are processed. Runs on every platform's file layer.
#include <gtest/gtest.h>

#include "platform/file_fault.h"
#include "rewrite_helpers.h"

namespace vx::reliability {
namespace {

using platform::FileOp;

struct OpRow {
  FileOp op;
  const char* name;
  platform::SysError error;
};

const OpRow kOps[] = {
    {FileOp::kOpenRead, "open for reading", 32},  {FileOp::kRead, "read", 23},
    {FileOp::kCreateTemp, "temporary file create", 5}, {FileOp::kWrite, "write", 112},
    {FileOp::kFlush, "flush", 112},               {FileOp::kClose, "close", 112},
    {FileOp::kReplace, "replace", 5},             {FileOp::kMove, "rename", 5},
    {FileOp::kDelete, "delete", 5},               {FileOp::kLink, "backup link", 5},
};

TEST(FaultSweep, OneFailingCallAnywhereInARun) {
  Scenario s("injected faults: each file operation failing once, at every call of a run over 5 files");
  constexpr int kFiles = 5;
  std::vector<std::string> olds;
  for (int i = 0; i < kFiles; ++i) {
    // Sizes across the small working buffer, so reads and writes come in pieces.
    olds.push_back(std::string(static_cast<std::size_t>(i) * 700, 'x') + "needle " + std::to_string(i) + "\r\n");
  }
  RewriteOptions options;
  options.buffer_bytes = 512;
  long long runs = 0, failed_files = 0;
  for (const OpRow& row : kOps) {
    for (bool backup : {false, true}) {
      // Calls of one kind per run stay below 8 per file here.
      for (int skip = 0; skip < 8 * kFiles; ++skip) {
        TempDir dir;
        std::vector<std::string> paths;
        for (int i = 0; i < kFiles; ++i) {
          paths.push_back(dir.Path("f" + std::to_string(i) + ".txt"));
          WriteBytes(paths.back(), olds[static_cast<std::size_t>(i)]);
        }
        platform::InjectFileFault(row.op, row.error, skip, 1);
        std::vector<std::int64_t> results;
        for (const std::string& path : paths) results.push_back(Rewrite(path, "needle", "NEEDLE!", backup, options));
        // Consumed, or still waiting for a call that never came?
        bool hit = true;
        for (int k = 0; k <= 8 * kFiles && hit; ++k) hit = platform::TakeFileFault(row.op) == platform::kOk;
        platform::ClearFileFaults();
        ++runs;
        if (hit) s.Fault();
        for (int i = 0; i < kFiles; ++i) {
          const std::string& old_content = olds[static_cast<std::size_t>(i)];
          const std::string new_content = Expected(old_content, "needle", "NEEDLE!");
          const std::string& path = paths[static_cast<std::size_t>(i)];
          const std::int64_t r = results[static_cast<std::size_t>(i)];
          const std::string state = Classify(path, old_content, new_content);
          SCOPED_TRACE(std::string(row.name) + " skip " + std::to_string(skip) + " file " + std::to_string(i) +
                       " result " + std::to_string(r) + (backup ? " backup" : ""));
          if (r >= 0) {
            EXPECT_EQ(r, 1);
            EXPECT_EQ(state, "new");
          } else {
            ++failed_files;
            EXPECT_TRUE(r == kRewriteOpenFailed || r == kRewriteWriteFailed || r == kRewriteBackupFailed) << r;
            EXPECT_EQ(state, "old");
          }
          if (platform::FileExists(path + ".bak")) {
            EXPECT_TRUE(backup);
            EXPECT_EQ(Classify(path + ".bak", old_content, old_content), "old");
          } else if (backup && r >= 0 && row.op != FileOp::kMove && row.op != FileOp::kDelete) {
            ADD_FAILURE() << "rewritten with backup on, but no .bak";
          }
        }
        // The only file a failure may leave is a temporary one whose removal itself failed.
        if (row.op != FileOp::kDelete) {
          EXPECT_TRUE(TempLeftovers(dir.path()).empty()) << row.name << " " << skip;
        }
        if (!hit) break;  // past the last call of this kind
      }
    }
  }
  s.Did(std::to_string(runs) + " runs over 5 files, 10 kinds of file operation failing once at every call, "
        "backup off and on; " + std::to_string(failed_files) + " files got an error result");
  s.Checked("results are counts or open, write or backup failures; every target old (on error) or new (on a count); every .bak "
            "old; files after a failure still processed; no temporary file left (except when its delete failed)");
}

}  // namespace
}  // namespace vx::reliability
