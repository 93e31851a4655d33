// A full disk, for real: a small tmpfs mounted for the scenario (as root;
// skipped where mounting is not allowed) holds the targets and the list
// file. Runs of the rewrite, and saves of the list, whose new content does
// not fit must keep every old content whole.
#ifndef _WIN32

#include <gtest/gtest.h>
#include "rewrite_helpers.h"
#include "tmpfs.h"

#if __has_include("replacelist/list_file.h")
#include "replacelist/list_file.h"
#define VX_HAVE_LIST_FILE 1
#endif

namespace vx::reliability {
namespace {

// Text that grows to three times its size when "ab" becomes "ABABAB".
std::string Growing(std::size_t size, char salt) {
  std::string text;
  while (text.size() < size) text += std::string("ab ") + salt + "\r\n";
  return text;
}

TEST(DiskFull, RewritesThatDoNotFitKeepTheOldContent) {
  Scenario s("disk full: a 4 MiB tmpfs, small targets that fit and two 1.2 MiB targets that triple");
  SmallFileSystem fs("size=4m,mode=0755");
  VX_MOUNT_OR_SKIP(fs);
  struct Target {
    std::string path, old_content, new_content;
    bool fits;
  };
  for (bool backup : {true, false}) {
    for (auto& entry : std::filesystem::directory_iterator(fs.root())) std::filesystem::remove(entry.path());
    std::vector<Target> targets;
    for (int i = 0; i < 10; ++i) {
      const bool big = i == 2 || i == 6;
      Target t;
      t.path = fs.Path("file" + std::to_string(i) + ".txt");
      t.old_content = Growing(big ? (1200u << 10) : 2000u, static_cast<char>('a' + i));
      t.new_content = Expected(t.old_content, "ab", "ABABAB");
      t.fits = !big;
      WriteBytes(t.path, t.old_content);
      ASSERT_EQ(ReadBytes(t.path), t.old_content) << "set-up must fit";
      targets.push_back(t);
    }
    for (const Target& t : targets) {
      const std::int64_t result = Rewrite(t.path, "ab", "ABABAB", backup);
      if (t.fits) {
        EXPECT_GT(result, 0) << t.path;
        EXPECT_EQ(Classify(t.path, t.old_content, t.new_content), "new") << t.path;
        if (backup) {
          EXPECT_EQ(Classify(t.path + ".bak", t.old_content, t.old_content), "old");
        }
      } else {
        s.Fault();
        EXPECT_EQ(result, kRewriteWriteFailed) << t.path;
        EXPECT_EQ(Classify(t.path, t.old_content, t.new_content), "old") << t.path;
        EXPECT_FALSE(std::filesystem::exists(t.path + ".bak")) << "no backup for a file left as it was";
      }
    }
    EXPECT_TRUE(TempLeftovers(fs.root()).empty());
    s.Did(std::string("rewrote 10 files in order, backup ") + (backup ? "on" : "off") +
          ", the disk full for 2 of them");
    s.Checked("the 2 that do not fit: kRewriteWriteFailed, old bytes, no .bak; the 8 others rewritten (and backed "
              "up), also those after the failures; no temporary file left");
  }
}

TEST(DiskFull, NoInodeLeftForTheTemporaryFile) {
  Scenario s("disk full: a tmpfs with no inode left, so the temporary file cannot be created");
  SmallFileSystem fs("size=1m,nr_inodes=4,mode=0755");
  VX_MOUNT_OR_SKIP(fs);
  std::vector<std::string> paths;
  for (int i = 0;; ++i) {
    const std::string path = fs.Path("f" + std::to_string(i));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) break;
    std::fputs("ab\r\n", f);
    std::fclose(f);
    paths.push_back(path);
  }
  ASSERT_FALSE(paths.empty());
  for (const std::string& path : paths) {
    for (bool backup : {false, true}) {
      s.Fault();
      EXPECT_EQ(Rewrite(path, "ab", "xy", backup), kRewriteWriteFailed);
      EXPECT_EQ(Classify(path, "ab\r\n", "xy\r\n"), "old");
    }
  }
  s.Did("filled every inode with " + std::to_string(paths.size()) + " files, then rewrote each, backup off and on");
  s.Checked("kRewriteWriteFailed for each, old bytes kept");
}

#ifdef VX_HAVE_LIST_FILE
TEST(DiskFull, ListSaveThatDoesNotFitKeepsTheOldList) {
  Scenario s("disk full: saving list.dat on a tmpfs with less room than the new list needs");
  SmallFileSystem fs("size=1m,mode=0755");
  VX_MOUNT_OR_SKIP(fs);
  const std::string list = fs.Path(kReplaceListFile);
  const std::vector<ListPair> old_rows = {{"abc", "x\\ny"}, {"表", ""}, {" spaced ", "\\t"}};
  ASSERT_FALSE(SaveReplaceListRows(old_rows, list));
  const std::string old_bytes = ReadBytes(list);
  // Fill what is left, then free 16 KiB: room for a small list, not a big one.
  {
    std::FILE* filler = std::fopen(fs.Path("filler").c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
    }
    std::fclose(filler);
    std::filesystem::resize_file(fs.Path("filler"), std::filesystem::file_size(fs.Path("filler")) - (16 << 10));
  }
  std::vector<ListPair> big_rows;
  for (int i = 0; i < 2000; ++i) big_rows.push_back({"search text " + std::to_string(i), std::string(100, 'r')});
  s.Fault();
  const ListFileError failed = SaveReplaceListRows(big_rows, list);
  EXPECT_EQ(failed.code, 112u) << "disk full";
  EXPECT_EQ(failed.name, list) << "the full path";
  EXPECT_EQ(Classify(list, old_bytes, ""), "old");
  EXPECT_TRUE(TempLeftovers(fs.root()).empty());
  std::vector<ListPair> read_back;
  EXPECT_FALSE(LoadReplaceListRows(&read_back, list));
  EXPECT_EQ(read_back, old_rows);
  const std::vector<ListPair> small_rows = {{"a", "b"}};
  EXPECT_FALSE(SaveReplaceListRows(small_rows, list)) << "a list that fits is saved";
  EXPECT_EQ(ReadBytes(list), "a\r\nb\r\n");
  s.Did("saved a 220 KiB list where 16 KiB were free, then a small one");
  s.Checked("the big save fails as disk full naming the full path, the old list.dat whole and read back the same, "
            "no temporary file; the small save succeeds");
}
#endif

}  // namespace
}  // namespace vx::reliability

#endif  // _WIN32
