// Hostile and unusual target files: zero bytes, UTF-16, empty files, one
// huge line, a sparse file far larger than memory, and names with double-byte
// characters whose second byte is a backslash, spaces and leading dots.
#include <gtest/gtest.h>

#include <ctime>
#include <random>

#include "rewrite_helpers.h"

#ifdef _WIN32
#include <filesystem>

#include "core/temp_dir.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vx::reliability {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
bool MakeFolder(const std::string& path) { return std::filesystem::create_directory(test::FsPath(path)); }
#else
constexpr char kSeparator = '/';
bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }
#endif

TEST(BadInput, FilesThatAreNotTextAreLeftUntouchedWithoutBackup) {
  Scenario s("bad input: files holding a zero byte (UTF-16 without a mark, UTF-16 holding U+0000 or of an odd "
             "length, UTF-32 among them), with the backup option on");
  struct Row {
    const char* what;
    std::string bytes;
  };
  std::string big(3 << 20, 'a');
  big[big.size() - 7] = '\0';
  const Row rows[] = {
      {"zero byte first", std::string("\0abc", 4)},
      {"zero byte in the middle", std::string("ab\0cd", 5)},
      {"zero byte last", std::string("abcd\0", 5)},
      {"UTF-16LE with BOM holding U+0000", std::string("\xFF\xFE" "a\0\0\0b\0\r\0\n\0", 12)},
      {"UTF-16BE with BOM of an odd length", std::string("\xFE\xFF\0a\0b\0", 7)},
      {"UTF-32LE with BOM", std::string("\xFF\xFE\0\0a\0\0\0", 8)},
      {"UTF-16LE without BOM", std::string("a\0b\0", 4)},
      {"zero byte 7 bytes before the end of 3 MiB", big},
  };
  TempDir dir;
  for (const Row& row : rows) {
    const std::string path = dir.Path("target.txt");
    WriteBytes(path, row.bytes);
    const FileState before = StateOf(path);
    s.BadInput();
    EXPECT_EQ(Rewrite(path, "a", "XYZ", true), kRewriteNotText) << row.what;
    EXPECT_TRUE(StateOf(path) == before) << row.what << ": changed";
    EXPECT_EQ(dir.Listing(), "target.txt;") << row.what << ": no .bak, no temporary file";
    EXPECT_EQ(Classify(path, row.bytes, row.bytes), "old");
    std::filesystem::remove(path);
  }
  s.Did(std::to_string(std::size(rows)) + " files with zero bytes rewritten with backup on");
  s.Checked("each kRewriteNotText, bytes and time unchanged, no .bak and no temporary file");
}

TEST(BadInput, EmptyFileAndOneHugeLine) {
  const std::size_t line_size = Scaled(24u << 20);
  Scenario s("bad input: a 0-byte file and a " + MiB(line_size) + " file that is one line");
  TempDir dir;
  const std::string empty = dir.Path("empty.txt");
  WriteBytes(empty, "");
  s.BadInput();
  EXPECT_EQ(Rewrite(empty, "a", "b", true), 0);
  EXPECT_EQ(ReadBytes(empty), "");
  EXPECT_TRUE(std::filesystem::exists(empty + ".bak"));
  EXPECT_EQ(ReadBytes(empty + ".bak"), "");
  s.Did("rewrote the empty file with backup");
  s.Checked("count 0, still empty, its .bak empty");

  // Shift-JIS text without a single line break: matches right after
  // characters whose second byte is in the lead-byte set, and 0x5C second
  // bytes that must not be taken for a backslash.
  std::mt19937 rng(8);
  const char* pieces[] = {"\x82\x9F", "A", "\x95\x5C", "\\", "\x88\x9F", "abc", "\x83\x41", " "};
  std::string line;
  line.reserve(line_size + 8);
  while (line.size() < line_size) line += pieces[rng() % std::size(pieces)];
  const std::string path = dir.Path("one line.txt");
  WriteBytes(path, line);
  s.BadInput();
  std::int64_t count = 0;
  const std::string expected = Expected(line, "A\\|\\\\", "[\x95\x5C]", &count);
  EXPECT_EQ(Rewrite(path, "A\\|\\\\", "[\x95\x5C]", true), count);
  EXPECT_EQ(Classify(path, line, expected), "new");
  EXPECT_EQ(Classify(path + ".bak", line, line), "old");
  s.Did("replaced A and backslash in " + MiB(line_size) + " of Shift-JIS with no line break (" + std::to_string(count) +
        " matches)");
  s.Checked("count and bytes equal the in-memory reference passes; .bak holds the old bytes");
}

#ifndef _WIN32
double Seconds() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Bytes this process has read from files so far.
long long BytesRead() {
  const std::string io = ReadBytes("/proc/self/io");
  const std::size_t at = io.find("rchar:");
  return at == std::string::npos ? -1 : std::stoll(io.substr(at + 6));
}

TEST(BadInput, SparseFileLargerThanMemoryIsNotReadWhole) {
  Scenario s("bad input: a sparse file of 64 GiB (more than this machine's memory)");
  TempDir dir;
  const std::string path = dir.Path("huge.txt");
  const std::string head = "text at the start, then a hole of 64 GiB\r\n";
  WriteBytes(path, head);
  const long long size = 64LL << 30;
  if (::truncate(path.c_str(), size) != 0) GTEST_SKIP() << "this file system makes no 64 GiB sparse file";
  const FileState before{true, "", std::filesystem::last_write_time(path)};
  s.BadInput();
  const long long read_before = BytesRead();
  const double t0 = Seconds();
  const std::int64_t result = Rewrite(path, "text", "TEXT", true);
  const double seconds = Seconds() - t0;
  const long long read = BytesRead() - read_before;
  // A hole reads as zero bytes, so the file is no text: refused after the
  // first chunk. Without holes it would be too large to hold (no memory) or
  // to write beside itself (write failed). Either way untouched.
  EXPECT_TRUE(result == kRewriteNotText || result == kRewriteNoMemory) << result;
  EXPECT_LT(read, 64LL << 20) << "read " << read << " bytes";
  EXPECT_EQ(std::filesystem::file_size(path), static_cast<std::uintmax_t>(size));
  EXPECT_TRUE(std::filesystem::last_write_time(path) == before.mtime);
  std::string start(head.size(), '\0');
  {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fread(start.data(), 1, start.size(), f), start.size());
    std::fclose(f);
  }
  EXPECT_EQ(start, head);
  EXPECT_EQ(dir.Listing(), "huge.txt;");
  s.Did("rewrote the 64 GiB sparse file with backup on: result " + std::to_string(result) + " after reading " +
        std::to_string(read) + " bytes in " + std::to_string(seconds) + " s");
  s.Checked("refused (not text / no memory), read far less than the file, size, time and head unchanged, no .bak, "
            "no temporary file");
}
#endif

TEST(BadInput, NamesWithBackslashSecondBytesSpacesAndLeadingDots) {
  Scenario s("bad input: file and folder names with double-byte characters whose second byte is 0x5C (95 5C, 83 5C, 94 5C, 8F 5C), spaces, leading dots, a name too long for a temporary name built from it");
  // Code page 932 literals: 表 95 5C, ソ 83 5C, 能 94 5C, 十 8F 5C.
  const std::string folders[] = {"表", "ソ フォルダ", ".能", " 十"};
  // A name too long for a temporary name built from it, so a short one is
  // made in its folder, which is found after the last real separator, not
  // after the 0x5C of ソ. POSIX: the 255-byte limit of one name. Windows:
  // the 255-unit limit of one name (and 255 bytes of UTF-8 under Wine).
#ifdef _WIN32
  const std::string long_name = std::string(230, 'a') + "ソ.txt";
#else
  std::string long_name;
  while (long_name.size() < 240) long_name += "ソ";
  long_name += ".txt";
#endif
  const std::string names[] = {"表.txt", "ソース 能力.txt", ".隠し", "..二重", " 先頭の空白.txt", "a.b.c", long_name};
  // The names as the file layer takes them: on Windows in UTF-8 (where no
  // byte is 0x5C but the separator's), elsewhere the code page 932 bytes.
  const auto held = [](const std::string& cp932) {
#ifdef _WIN32
    std::string utf8;
    EXPECT_TRUE(ConvertText(cp932, CodePage::kCp932, CodePage::kUtf8, &utf8));
    return utf8;
#else
    return cp932;
#endif
  };
  TempDir dir;
  int n = 0;
  for (const std::string& folder : folders) {
    const std::string folder_path = dir.Path("") + held(folder);
    ASSERT_TRUE(MakeFolder(folder_path)) << folder_path;
    for (const std::string& name : names) {
      const std::string path = folder_path + kSeparator + held(name);
      const std::string old_content = "表 and ソ and \\ and A\r\n";
      WriteBytes(path, old_content);
      s.BadInput();
      std::int64_t count = 0;
      const std::string expected = Expected(old_content, "\\\\\\|A", "表", &count);
      EXPECT_EQ(count, 2);  // the real backslash and the A, never a second byte
      EXPECT_EQ(Rewrite(path, "\\\\\\|A", "表", true), count) << path;
      EXPECT_EQ(Classify(path, old_content, expected), "new") << path;
      EXPECT_EQ(Classify(path + ".bak", old_content, old_content), "old") << path;
      ++n;
    }
  }
  // Only the targets and their backups: no temporary file left, nothing
  // written under a name cut at a 0x5C byte.
  std::size_t entries = 0;
  for (auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) entries += entry.is_regular_file();
  EXPECT_EQ(entries, static_cast<std::size_t>(2 * n));
  s.Did(std::to_string(n) + " files in " + std::to_string(std::size(folders)) + " folders rewritten with backup");
  s.Checked("counts and bytes as the reference, each .bak named after the whole name with the old bytes, "
            "no other file anywhere");
}

}  // namespace
}  // namespace vx::reliability
