// The main window's settings file (options.dat): its bytes, the lenient
// reading, and a save and a load on the real file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/temp_dir.h"
#include "platform/unicode.h"
#include "replacelist/window_settings.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using namespace std::string_literals;

WindowSettings Settings(bool regex, bool ignore_case, bool word, bool fold, bool keep_times, std::string include,
                        std::string exclude) {
  WindowSettings s;
  s.match = {regex, ignore_case, word, fold};
  s.keep_times = keep_times;
  s.include_mask = std::move(include);
  s.exclude_mask = std::move(exclude);
  return s;
}

TEST(WindowSettings, FileBytes) {
  EXPECT_EQ(FormatWindowSettings({}),
            "\xEF\xBB\xBF"
            "regex=0\r\nignore_case=0\r\nword=0\r\nfold=0\r\nkeep_times=0\r\ninclude=\r\nexclude=\r\n");
  const std::string mask = FromU8(u8"報告書*.txt;*.csv");
  EXPECT_EQ(FormatWindowSettings(Settings(true, false, true, true, true, mask, "old;.git")),
            "\xEF\xBB\xBF"
            "regex=1\r\nignore_case=0\r\nword=1\r\nfold=1\r\nkeep_times=1\r\ninclude=" +
                mask + "\r\nexclude=old;.git\r\n");
  // A line break cannot be in a field; it would end the value.
  EXPECT_EQ(ParseWindowSettings(FormatWindowSettings(Settings(false, false, false, false, false, "*.c\r\nword=1",
                                                              "a\nb"))),
            Settings(false, false, false, false, false, "*.c", "a"));
}

TEST(WindowSettings, ReadingIsLenient) {
  const std::string kEmoji = FromU8(u8"😀*.txt");
  const struct {
    const char* name;
    std::string bytes;
    WindowSettings want;
  } rows[] = {
      {"empty", "", {}},
      {"the mark only", "\xEF\xBB\xBF", {}},
      {"every key", "\xEF\xBB\xBFregex=1\r\nignore_case=1\r\nword=1\r\nfold=1\r\nkeep_times=1\r\ninclude=*.txt\r\n"
                    "exclude=*.bak\r\n",
       Settings(true, true, true, true, true, "*.txt", "*.bak")},
      {"no mark, LF, no last line end, any order", "exclude=x\nfold=1\ninclude=" + kEmoji,
       Settings(false, false, false, true, false, kEmoji, "x")},
      {"a later line wins", "regex=1\r\nregex=0\r\n", {}},
      {"a value keeps its spaces and '='", "include= a=b ;c\r\n", Settings(false, false, false, false, false, " a=b ;c", "")},
      {"unknown keys, comments and stray lines",
       "# made by hand\r\n[Vextrane]\r\n;regex=1\r\ncolour=blue\r\nREGEX=1\r\n regex=1\r\nword\r\nword=1\r\n",
       Settings(false, false, true, false, false, "", "")},
      {"a flag is 0 or 1", "regex=yes\r\nword=2\r\nfold=\r\nignore_case=1 \r\nkeep_times=1\r\n",
       Settings(false, false, false, false, true, "", "")},
      {"a mask that is no UTF-8 is passed over", "include=\x95\x5C*.txt\r\nexclude=ok\r\n",
       Settings(false, false, false, false, false, "", "ok")},
      {"a zero byte too", "include=a\0b\r\nword=1\r\n"s, Settings(false, false, true, false, false, "", "")},
      {"UTF-16", "\xFF\xFE" "r\0e\0g\0e\0x\0=\0" "1\0\r\0\n\0"s, {}},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseWindowSettings(row.bytes), row.want) << row.name;
}

TEST(WindowSettings, SavedBesideAndLoadedBack) {
  TempDir dir;
  const std::string name = dir.Path("options.dat");
  WindowSettings got = Settings(true, true, true, true, true, "x", "y");
  EXPECT_EQ(LoadWindowSettings(&got, name), SettingsRead::kMissing);
  EXPECT_EQ(got, WindowSettings{});
  EXPECT_EQ(LoadWindowSettings(&got, dir.Path("no folder/options.dat")), SettingsRead::kMissing);

  const WindowSettings saved = Settings(true, false, false, true, true, FromU8(u8"*.txt;見積*.csv"), ".svn");
  std::string failed;
  ASSERT_EQ(SaveWindowSettings(saved, &failed, name), platform::kOk);
  EXPECT_EQ(ReadBytes(name), FormatWindowSettings(saved));
  EXPECT_EQ(dir.Listing(), "options.dat;") << "no temporary file left beside it";
  EXPECT_EQ(LoadWindowSettings(&got, name), SettingsRead::kRead);
  EXPECT_EQ(got, saved);

  // Saved again over the old file; a broken file reads as defaults.
  ASSERT_EQ(SaveWindowSettings({}, &failed, name), platform::kOk);
  EXPECT_EQ(LoadWindowSettings(&got, name), SettingsRead::kRead);
  EXPECT_EQ(got, WindowSettings{});
  WriteBytes(name, std::string(3000, '\x81'));
  EXPECT_EQ(LoadWindowSettings(&got, name), SettingsRead::kRead);
  EXPECT_EQ(got, WindowSettings{});

  // A folder in its place is no file to read or to save over.
  const std::string folder = dir.Path("folder.dat");
  std::filesystem::create_directory(folder);
  EXPECT_EQ(LoadWindowSettings(&got, folder), SettingsRead::kUnreadable);
  EXPECT_NE(SaveWindowSettings(saved, &failed, folder), platform::kOk);
  EXPECT_EQ(failed, folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace vx
