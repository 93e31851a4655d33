// Reading and saving the replace list file on the real file system (natively,
// and under Wine through the Win32 file layer).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_fault.h"
#include "platform/unicode.h"
#include "replacelist/list_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<ListPair>;

constexpr platform::SysError kAccessDenied = 5;
constexpr platform::SysError kSharingViolation = 32;
constexpr platform::SysError kDiskFull = 112;

class ReplaceListFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("vx-list-") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    name_ = (dir_ / "list.dat").string();
  }
  void TearDown() override {
    platform::ClearFileFaults();
    std::error_code ignored;
    if (fs::exists(name_, ignored)) fs::permissions(name_, fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }

  void Put(const std::string& bytes) {
    std::ofstream(name_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Get() const {
    std::ifstream in(name_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path dir_;
  std::string name_;
};

TEST_F(ReplaceListFile, MissingOrEmptyFileIsAnEmptyList) {
  for (bool exists : {false, true}) {
    if (exists) Put("");
    ListColumns columns{{"stale"}, {"stale"}};
    Rows rows{{"stale", "stale"}};
    EXPECT_FALSE(LoadReplaceListColumns(&columns, name_)) << exists;
    EXPECT_FALSE(LoadReplaceListRows(&rows, name_)) << exists;
    EXPECT_TRUE(columns.search.empty() && columns.replace.empty()) << exists;
    EXPECT_TRUE(rows.empty()) << exists;
  }
}

TEST_F(ReplaceListFile, ThreeLinesForBothReaders) {
  Put("a\r\nb\r\nc\r\n");
  ListColumns columns;
  Rows rows;
  EXPECT_FALSE(LoadReplaceListColumns(&columns, name_));
  EXPECT_FALSE(LoadReplaceListRows(&rows, name_));
  EXPECT_EQ(columns.search, (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(columns.replace, (std::vector<std::string>{"b"}));
  EXPECT_EQ(rows, (Rows{{"a", "b"}, {"c", ""}}));
  // The editor's next save writes the row without a partner as four lines.
  EXPECT_FALSE(SaveReplaceListRows(rows, name_));
  EXPECT_EQ(Get(), "a\r\nb\r\nc\r\n\r\n");
}

TEST_F(ReplaceListFile, SaveWritesTheRowsByteForByte) {
  const std::string mark = "\xEF\xBB\xBF";
  const auto u8 = [](std::u8string_view text) { return FromU8(text); };
  const struct {
    Rows rows;
    std::string bytes;
    CodePage held = CodePage::kCp932;
  } cases[] = {
      {{{"abc", "x\\ny"}, {"z", ""}}, "abc\r\nx\\ny\r\nz\r\n\r\n"},
      {{}, ""},
      {{{" a\t", "\x81\x40\x95\x5C"}, {"\\|", "\\\\"}}, " a\t\r\n\x81\x40\x95\x5C\r\n\\|\r\n\\\\\r\n"},
      {{{"one", "two"}}, "one\r\ntwo\r\n"},  // shorter than what it replaces
      // Texts held as UTF-8: code page 932 when all of them fit, else UTF-8.
      {{{u8(u8" a\t"), u8(u8"　表")}, {"\\|", "\\\\"}}, " a\t\r\n\x81\x40\x95\x5C\r\n\\|\r\n\\\\\r\n", CodePage::kUtf8},
      {{{u8(u8"😀"), u8(u8"한")}, {u8(u8"表"), ""}}, mark + u8(u8"😀\r\n한\r\n表\r\n\r\n"), CodePage::kUtf8},
      {{}, "", CodePage::kUtf8},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(SaveReplaceListRows(c.rows, name_, c.held));
    EXPECT_EQ(Get(), c.bytes);
    Rows back{{"stale", "stale"}};
    std::vector<std::size_t> inexact{99};
    EXPECT_FALSE(LoadReplaceListRows(&back, name_, c.held, &inexact));
    EXPECT_EQ(back, c.rows);
    EXPECT_TRUE(inexact.empty());
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"list.dat"});
  }
}

// An old list with a byte that begins no character: both readers hold it as
// U+FFFD and say which text it is; the file stays as it was.
TEST_F(ReplaceListFile, AStrayLeadByteIsReportedNotLost) {
  const std::string old = "ok\r\nbad\x81\r\n\x95\x5C\r\n";
  Put(old);
  const std::string bad = FromU8(u8"bad\uFFFD");
  Rows rows;
  std::vector<std::size_t> inexact;
  EXPECT_FALSE(LoadReplaceListRows(&rows, name_, CodePage::kUtf8, &inexact));
  EXPECT_EQ(rows, (Rows{{"ok", bad}, {FromU8(u8"表"), ""}}));
  EXPECT_EQ(inexact, std::vector<std::size_t>{1});
  ListColumns columns;
  EXPECT_FALSE(LoadReplaceListColumns(&columns, name_, CodePage::kUtf8, &inexact));
  EXPECT_EQ(columns.replace, std::vector<std::string>{bad});
  EXPECT_EQ(inexact, std::vector<std::size_t>{1});
  // Held as code page 932 (vextrane-cli), the bytes are the file's.
  EXPECT_FALSE(LoadReplaceListRows(&rows, name_, CodePage::kCp932, &inexact));
  EXPECT_EQ(rows, (Rows{{"ok", "bad\x81"}, {"\x95\x5C", ""}}));
  EXPECT_TRUE(inexact.empty());
  EXPECT_EQ(Get(), old);
}

TEST_F(ReplaceListFile, RelativeNameInTheWorkingDirectory) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  const Rows rows{{"s", "r"}};
  const ListFileError saved = SaveReplaceListRows(rows);
  Rows back;
  const ListFileError loaded = LoadReplaceListRows(&back);
  fs::current_path(before);
  EXPECT_FALSE(saved);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(back, rows);
  EXPECT_EQ(Get(), "s\r\nr\r\n");
}

TEST_F(ReplaceListFile, FailureAfterCreateKeepsTheOldFile) {
  const struct {
    platform::FileOp op;
    platform::SysError code;
  } faults[] = {
      {platform::FileOp::kWrite, kDiskFull},
      {platform::FileOp::kFlush, kDiskFull},
      {platform::FileOp::kClose, kDiskFull},
      {platform::FileOp::kReplace, kAccessDenied},
  };
  const std::string old_bytes = "old\r\npair\r\n";
  const Rows rows{{"new", "pair"}, {"and", "more"}};
  for (const auto& f : faults) {
    for (bool existed : {true, false}) {
      if (existed) Put(old_bytes);
      platform::InjectFileFault(f.op, f.code);
      const ListFileError error = SaveReplaceListRows(rows, name_);
      platform::ClearFileFaults();
      EXPECT_EQ(error.code, f.code);
      EXPECT_EQ(error.name, platform::FullPath(name_));
      if (existed) {
        EXPECT_EQ(Get(), old_bytes);
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"list.dat"});  // no temporary file left
        fs::remove(name_);
      } else {
        EXPECT_TRUE(FolderEntries().empty());
      }
    }
  }
}

TEST(ReplaceListFileError, MessagesTheUserSees) {
  const struct {
    ListFileError error;
    const char* message;
  } rows[] = {
      {{5, "list.dat"}, "list.dat へのｱｸｾｽは拒否されました。"},
      {{32, "list.dat"}, "list.dat へのｱｸｾｽ中に共有違反が発生しました。"},
      {{112, "C:\\表\\list.dat"}, "C:\\表\\list.dat へのｱｸｾｽ中にﾃﾞｨｽｸがいっぱいになりました。"},
      {{23, "/p/list.dat", true}, "/p/list.dat へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"},
      {{112, "/p/list.dat", true}, "/p/list.dat へのｱｸｾｽ中に不明なｴﾗｰが発生しました。"},
  };
  for (const auto& row : rows) EXPECT_EQ(ToFileError(row.error).Message(), row.message);
}

TEST_F(ReplaceListFile, CreateFailureNamesTheFileAsGiven) {
  Put("old\r\n");
  for (platform::SysError code : {kAccessDenied, kSharingViolation, platform::SysError{62}}) {
    platform::InjectFileFault(platform::FileOp::kCreateTemp, code);
    const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name_);
    platform::ClearFileFaults();
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.name, name_);
    EXPECT_EQ(Get(), "old\r\n");
  }
  // A folder that does not exist, without injection.
  const std::string name = (dir_ / "no such folder" / "list.dat").string();
  const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name);
  EXPECT_NE(error.code, platform::kOk);
  EXPECT_EQ(error.name, name);
}

TEST_F(ReplaceListFile, ReadErrorKeepsWhatWasReadAndNamesTheFullPath) {
  // More than one read's worth of lines, so the first read completes some.
  std::string bytes;
  std::vector<std::string> lines;
  for (int i = 0; bytes.size() < 3 * 4096; ++i) {
    lines.push_back("line " + std::to_string(i));
    bytes += lines.back() + "\r\n";
  }
  Put(bytes);
  for (int good_reads : {0, 1, 2}) {
    platform::InjectFileFault(platform::FileOp::kRead, 1117, good_reads);
    std::vector<std::string> texts;
    const ListFileError error = ReadReplaceListTexts(&texts, name_);
    platform::ClearFileFaults();
    EXPECT_EQ(error.code, 1117u) << good_reads;
    EXPECT_TRUE(error.read_failure) << good_reads;
    EXPECT_EQ(error.name, platform::FullPath(name_)) << good_reads;
    // Whatever the system said, the user is told of a general failure.
    EXPECT_EQ(ToFileError(error).Message(), platform::FullPath(name_) + " へのｱｸｾｽ中に不明なｴﾗｰが発生しました。");
    // Whole texts only, each in its place, and fewer than all.
    EXPECT_EQ(good_reads == 0, texts.empty());
    ASSERT_LT(texts.size(), lines.size());
    EXPECT_TRUE(std::equal(texts.begin(), texts.end(), lines.begin())) << good_reads;
  }
  // The two readers keep the entries read so far, paired as usual.
  platform::InjectFileFault(platform::FileOp::kRead, 1117, 1);
  ListColumns columns;
  EXPECT_TRUE(LoadReplaceListColumns(&columns, name_).read_failure);
  platform::InjectFileFault(platform::FileOp::kRead, 1117, 1);
  Rows rows;
  EXPECT_TRUE(LoadReplaceListRows(&rows, name_).read_failure);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.size(), columns.search.size());
  EXPECT_EQ(rows[0], (ListPair{"line 0", "line 1"}));
  EXPECT_EQ(columns.replace[0], "line 1");
}

TEST_F(ReplaceListFile, FolderInPlaceOfTheFile) {
  fs::create_directory(name_);
  Rows rows{{"stale", "stale"}};
  // The editor is told; the window's lists are only empty.
  const ListFileError read = LoadReplaceListRows(&rows, name_);
  EXPECT_EQ(read.code, kAccessDenied);
  EXPECT_EQ(read.name, name_);
  EXPECT_FALSE(read.read_failure);
  EXPECT_TRUE(rows.empty());
  ListColumns columns{{"stale"}, {"stale"}};
  EXPECT_FALSE(LoadReplaceListColumns(&columns, name_));
  EXPECT_TRUE(columns.search.empty());
  const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name_);
  EXPECT_EQ(error.code, kAccessDenied);
  EXPECT_EQ(error.name, name_);
  EXPECT_TRUE(fs::is_directory(name_));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"list.dat"});
}

TEST_F(ReplaceListFile, ReadOnlyFileRefusesSaving) {
  Put("keep\r\nme\r\n");
  // Removing every write permission is the read-only attribute on Windows.
  fs::permissions(name_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name_);
  EXPECT_EQ(error.code, kAccessDenied);
  EXPECT_EQ(error.name, name_);
  EXPECT_EQ(Get(), "keep\r\nme\r\n");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"list.dat"});
  Rows rows;
  EXPECT_FALSE(LoadReplaceListRows(&rows, name_));  // reading is still allowed
  EXPECT_EQ(rows, (Rows{{"keep", "me"}}));
}

// Readers share the file; a holder that shares nothing keeps the editor out
// (never an empty list that OK would save over the file).
TEST_F(ReplaceListFile, FileHeldOpenByAnotherProgram) {
  Put("held\r\nopen\r\n");
  for (const bool shares : {true, false}) {
    SCOPED_TRACE(shares ? "a reader that shares" : "a holder that shares nothing");
    platform::SysError open_error = platform::kOk;
    platform::File holder = shares ? platform::File::OpenReadShared(name_, &open_error)
                                   : platform::File::OpenReadExclusive(name_, &open_error);
    ASSERT_TRUE(holder.IsOpen()) << open_error;
    Rows rows{{"stale", "stale"}};
    const ListFileError read = LoadReplaceListRows(&rows, name_);
    EXPECT_EQ(read.code, shares ? platform::kOk : kSharingViolation);
    EXPECT_EQ(rows, shares ? (Rows{{"held", "open"}}) : Rows{});
    ListColumns columns;
    EXPECT_FALSE(LoadReplaceListColumns(&columns, name_));
    EXPECT_EQ(columns.search.size(), shares ? 1u : 0u);
    const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name_);
    EXPECT_EQ(error.code, kSharingViolation);
    EXPECT_EQ(error.name, name_);
    holder.Close();
    EXPECT_EQ(Get(), "held\r\nopen\r\n");
  }
}

#ifdef _WIN32
// Another program's handle without sharing, and the read-only attribute set
// the way Explorer sets it.
TEST_F(ReplaceListFile, Win32HandleWithoutSharing) {
  Put("held\r\nopen\r\n");
  HANDLE other = CreateFileA(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  Rows rows{{"stale", "stale"}};
  EXPECT_EQ(LoadReplaceListRows(&rows, name_).code, kSharingViolation);
  EXPECT_TRUE(rows.empty());
  const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name_);
  CloseHandle(other);
  EXPECT_EQ(error.code, kSharingViolation);
  EXPECT_EQ(error.name, name_);
  EXPECT_EQ(Get(), "held\r\nopen\r\n");
}

TEST_F(ReplaceListFile, Win32ReadOnlyAttribute) {
  Put("keep\r\n");
  ASSERT_TRUE(SetFileAttributesA(name_.c_str(), FILE_ATTRIBUTE_READONLY));
  const ListFileError error = SaveReplaceListRows({{"a", "b"}}, name_);
  SetFileAttributesA(name_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(error.code, kAccessDenied);
  EXPECT_EQ(error.name, name_);
  EXPECT_EQ(Get(), "keep\r\n");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"list.dat"});
}
#endif

}  // namespace
}  // namespace vx
