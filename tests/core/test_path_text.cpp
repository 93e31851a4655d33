// Backslash searches and joins in code page 932 paths.
#include <gtest/gtest.h>

#include <string>

#include "targets/path_text.h"

namespace {

const vx::LeadBytes kCp932 = vx::LeadBytes::Cp932();
const vx::LeadBytes kSingleByte;

// 表 and ソ end in byte 0x5C; 漢 does not.
const std::string kHyo = "表";
const std::string kSo = "ソ";

TEST(PathText, TheTrailByteIsNoBackslash) {
  ASSERT_EQ(kHyo, "\x95\x5C");
  ASSERT_EQ(kSo, "\x83\x5C");
  const std::size_t npos = std::string::npos;
  struct Row {
    std::string path;
    std::size_t last;
  } rows[] = {
      {"", npos},
      {"abc", npos},
      {"\\", 0},
      {"C:\\Tools\\Vextrane.exe", 8},
      {"C:\\" + kHyo, 2},                          // no separator inside 表
      {"C:\\" + kHyo + "\\a.txt", 5},
      {"C:\\" + kSo + kHyo + "\\" + kSo, 7},
      {kHyo + kSo, npos},
      {"C:\\a\\" + kHyo, 4},
      {"\\\\server\\share\\x", 14},
      {"C:\\a\\\x95", 4},                          // a lead byte at the very end stands alone
  };
  for (const Row& row : rows) {
    EXPECT_EQ(vx::FindLastBackslash(row.path, kCp932), row.last) << row.path;
    EXPECT_EQ(vx::EndsWithBackslash(row.path, kCp932), row.last != npos && row.last + 1 == row.path.size())
        << row.path;
  }
  // In a single-byte code page every 0x5C is a separator.
  EXPECT_EQ(vx::FindLastBackslash("C:\\" + kHyo, kSingleByte), 4u);
}

TEST(PathText, WalksComponentsByCharacters) {
  const std::string path = "C:\\" + kHyo + "\\" + kSo + "\\x";
  std::string walked;
  for (std::size_t at = vx::FindNextBackslash(path, 0, kCp932); at != std::string::npos;
       at = vx::FindNextBackslash(path, at + 1, kCp932)) {
    walked += std::to_string(at) + " ";
  }
  EXPECT_EQ(walked, "2 5 8 ");
}

TEST(PathText, JoinPutsExactlyOneSeparator) {
  struct Row {
    std::string folder, name, joined;
  } rows[] = {
      {"C:\\Tools", "a.txt", "C:\\Tools\\a.txt"},
      {"C:\\" + kHyo, "a.txt", "C:\\" + kHyo + "\\a.txt"},  // 表 ends in 0x5C, still gets its backslash
      {"C:\\" + kSo, kSo, "C:\\" + kSo + "\\" + kSo},
      {"C:\\", "a.txt", "C:\\a.txt"},                     // drive root: no second backslash
      {"C:\\" + kHyo + "\\", "a", "C:\\" + kHyo + "\\a"},
      {"", "a", "\\a"},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::JoinPath(row.folder, row.name, kCp932), row.joined) << row.folder;
}

TEST(PathText, ResolveReadsAPathFromAFolder) {
  struct Row {
    std::string folder, path, resolved;
  } rows[] = {
      {"C:\\work", "notes.txt", "C:\\work\\notes.txt"},
      {"C:\\work", "docs\\..\\a.txt", "C:\\work\\docs\\..\\a.txt"},   // dots left for the full path
      {"C:\\work", "./a.txt", "C:\\work\\./a.txt"},
      {"C:\\", "a.txt", "C:\\a.txt"},                                  // a drive root as the folder
      {"C:\\" + kHyo, kSo + ".txt", "C:\\" + kHyo + "\\" + kSo + ".txt"},
      {"C:\\work", "D:\\x.txt", "D:\\x.txt"},                          // absolute
      {"C:\\work", "d:/x.txt", "d:/x.txt"},
      {"C:\\work", "\\\\server\\share\\x.txt", "\\\\server\\share\\x.txt"},  // network
      {"C:\\work", "\\x.txt", "C:\\x.txt"},                            // from the root of the folder's drive
      {"C:\\work", "/x.txt", "C:/x.txt"},
      {"\\\\server\\share\\dir", "\\x.txt", "\\\\server\\share\\x.txt"},
      {"\\\\server\\share\\dir", "x.txt", "\\\\server\\share\\dir\\x.txt"},
      {"C:\\work", "c:notes.txt", "C:\\work\\notes.txt"},              // the folder's drive
      {"C:\\work", "c:", "C:\\work"},
      {"C:\\work", "D:notes.txt", "D:notes.txt"},                      // another drive's own folder
      {"C:\\work", "", ""},
      {"", "notes.txt", "notes.txt"},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::ResolvePath(row.folder, row.path, kCp932), row.resolved) << row.path;
}

TEST(PathText, FolderOfCutsAtTheLastSeparator) {
  struct Row {
    std::string path, folder;
  } rows[] = {
      {"C:\\Tools\\Vextrane.exe", "C:\\Tools"},
      {"C:\\" + kHyo + "\\Vextrane.exe", "C:\\" + kHyo},
      {"C:\\" + kSo + kHyo + "\\Vextrane.exe", "C:\\" + kSo + kHyo},
      {"C:\\Tools\\" + kHyo + ".exe", "C:\\Tools"},     // 0x5C inside the file name is no separator
      {"C:\\Vextrane.exe", "C:\\"},                     // the root, not the drive's current directory
      {"\\\\server\\share\\Vextrane.exe", "\\\\server\\share"},
      {"Vextrane.exe", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::FolderOf(row.path, kCp932), row.folder) << row.path;
}

}  // namespace
