// Backslash searches and joins in Windows paths, held as UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/unicode.h"
#include "targets/path_text.h"

namespace {

// 表 and ソ end in byte 0x5C in code page 932; in UTF-8 no byte of a
// multi-byte character is one.
const std::string kHyo = vx::FromU8(u8"表");
const std::string kSo = vx::FromU8(u8"ソ");

TEST(PathText, EveryBackslashByteIsASeparator) {
  ASSERT_EQ(kHyo, "\xE8\xA1\xA8");
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
      {"C:\\" + kHyo + "\\a.txt", 6},
      {"C:\\" + kSo + kHyo + "\\" + kSo, 9},
      {kHyo + kSo, npos},
      {"C:\\a\\" + kHyo, 4},
      {"\\\\server\\share\\x", 14},
      {"C:\\a\\\xE8", 4},                          // a sequence cut short
      {"C:\\\x95\x5C", 4},                            // code page 932 bytes are no path of ours
  };
  for (const Row& row : rows) {
    EXPECT_EQ(vx::FindLastBackslash(row.path), row.last) << row.path;
    EXPECT_EQ(vx::EndsWithBackslash(row.path), row.last != npos && row.last + 1 == row.path.size())
        << row.path;
  }
}

TEST(PathText, WalksComponentsByCharacters) {
  const std::string path = "C:\\" + kHyo + "\\" + kSo + "\\x";
  std::string walked;
  for (std::size_t at = vx::FindNextBackslash(path, 0); at != std::string::npos;
       at = vx::FindNextBackslash(path, at + 1)) {
    walked += std::to_string(at) + " ";
  }
  EXPECT_EQ(walked, "2 6 10 ");
}

TEST(PathText, JoinPutsExactlyOneSeparator) {
  struct Row {
    std::string folder, name, joined;
  } rows[] = {
      {"C:\\Tools", "a.txt", "C:\\Tools\\a.txt"},
      {"C:\\" + kHyo, "a.txt", "C:\\" + kHyo + "\\a.txt"},
      {"C:\\" + kSo, kSo, "C:\\" + kSo + "\\" + kSo},
      {"C:\\", "a.txt", "C:\\a.txt"},                     // drive root: no second backslash
      {"C:\\" + kHyo + "\\", "a", "C:\\" + kHyo + "\\a"},
      {"", "a", "\\a"},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::JoinPath(row.folder, row.name), row.joined) << row.folder;
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
  for (const Row& row : rows) EXPECT_EQ(vx::ResolvePath(row.folder, row.path), row.resolved) << row.path;
}

TEST(PathText, FolderOfCutsAtTheLastSeparator) {
  struct Row {
    std::string path, folder;
  } rows[] = {
      {"C:\\Tools\\Vextrane.exe", "C:\\Tools"},
      {"C:\\" + kHyo + "\\Vextrane.exe", "C:\\" + kHyo},
      {"C:\\" + kSo + kHyo + "\\Vextrane.exe", "C:\\" + kSo + kHyo},
      {"C:\\Tools\\" + kHyo + ".exe", "C:\\Tools"},
      {"C:\\Vextrane.exe", "C:\\"},                     // the root, not the drive's current directory
      {"\\\\server\\share\\Vextrane.exe", "\\\\server\\share"},
      {"Vextrane.exe", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::FolderOf(row.path), row.folder) << row.path;
}

}  // namespace
