// The portable parts of the target list: the duplicate key and index, the
// file dialog's multi-selection result, command-line splitting, the
// canonical form and the folder walk over file systems held in tables, and
// the walk's name masks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/temp_dir.h"
#include "platform/file.h"
#include "targets/canonical.h"
#include "targets/path_text.h"
#include "platform/unicode.h"
#include "targets/name_mask.h"
#include "targets/target_filter.h"
#include "targets/target_index.h"
#include "targets/target_intake.h"
#include "targets/walk.h"

namespace {

using vx::FromU8;

// Paths are UTF-8. 表 and ソ end in byte 0x5C in code page 932, where their
// second byte was once taken for a backslash; in UTF-8 no byte of them is.
const std::string kHyo = FromU8(u8"表");
const std::string kSo = FromU8(u8"ソ");
const std::string kCafe = FromU8(u8"café.txt");

// The letter case a fake file system of the tests ignores: ASCII only.
std::string FoldAscii(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

TEST(TargetKey, FoldsLettersAsTheFileSystemDoes) {
  struct Row {
    std::string path, windows;  // POSIX names differ by case: their key is the path
  } rows[] = {
      {"C:\\Tools\\ReadMe.txt", "C:\\TOOLS\\README.TXT"},
      {"c:\\a.TXT", "C:\\A.TXT"},
      {"C:\\" + kHyo + "x\\" + kSo + "y", "C:\\" + kHyo + "X\\" + kSo + "Y"},
      {kCafe, FromU8(u8"CAFÉ.TXT")},                           // Unicode letters fold too
      {FromU8(u8"ａz\\дж"), FromU8(u8"ＡZ\\ДЖ")},
      {FromU8(u8"𠮷.txt"), FromU8(u8"𠮷.TXT")},                  // a character beyond the BMP
      {"", ""},
  };
  for (const Row& row : rows) {
#ifdef _WIN32
    EXPECT_EQ(vx::FoldPathKey(row.path), row.windows) << row.path;
#else
    EXPECT_EQ(vx::FoldPathKey(row.path), row.path) << row.path;
#endif
  }
  // A look-alike is another name everywhere.
  EXPECT_NE(vx::FoldPathKey(kCafe), vx::FoldPathKey("cafe.txt"));
}

TEST(TargetKey, IndexRefusesTheSameFileInAnyLetterCase) {
  vx::TargetIndex index;
#ifndef _WIN32
  GTEST_SKIP() << "POSIX names differ by letter case";
#endif
  EXPECT_TRUE(index.Insert("C:\\a\\b.txt.bak"));
  EXPECT_TRUE(index.Insert("C:\\a\\b.txt"));      // a longer entry with the same prefix hides nothing
  EXPECT_FALSE(index.Insert("C:\\a\\b.txt"));
  EXPECT_TRUE(index.Contains("c:\\A\\B.TXT"));
  EXPECT_FALSE(index.Contains("C:\\a\\b.tx"));
  EXPECT_TRUE(index.Insert("C:\\" + kCafe));
  const std::string upper = FromU8(u8"CAFÉ.txt");
  EXPECT_TRUE(index.Contains("C:\\" + upper));
  EXPECT_FALSE(index.Contains("C:\\cafe.txt"));  // a different name, not a case variant
  EXPECT_EQ(index.size(), 3u);
  index.Erase("C:\\A\\B.TXT");
  EXPECT_FALSE(index.Contains("C:\\a\\b.txt"));
  EXPECT_TRUE(index.Insert("C:\\a\\b.txt"));
  index.Clear();
  EXPECT_EQ(index.size(), 0u);
}

TEST(TargetKey, TempLeftoversAreRecognisedByTheirSuffix) {
  const std::string suffix = vx::platform::kTempSuffix;
  EXPECT_TRUE(vx::HasTempSuffix("a.txt" + suffix));
  EXPECT_TRUE(vx::HasTempSuffix("A.TXT" + FoldAscii(suffix)));
  EXPECT_FALSE(vx::HasTempSuffix(suffix));  // the bare suffix names no leftover
  EXPECT_FALSE(vx::HasTempSuffix("a.txt"));
  EXPECT_FALSE(vx::HasTempSuffix("a" + suffix + ".txt"));
}

std::vector<std::string> Split(const std::string& buffer) {
  return vx::SplitMultiSelection(buffer.data(), buffer.size());
}

TEST(MultiSelection, ExplorerResultBecomesFullPaths) {
  using V = std::vector<std::string>;
  struct Row {
    std::string buffer;
    V paths;
  } rows[] = {
      {std::string("C:\\Docs\\a.txt\0\0", 15), {"C:\\Docs\\a.txt"}},
      {std::string("C:\\Docs\0a.txt\0b.txt\0\0", 22), {"C:\\Docs\\a.txt", "C:\\Docs\\b.txt"}},
      {std::string("C:\\\0a.txt\0b.txt\0\0", 18), {"C:\\a.txt", "C:\\b.txt"}},  // a root: one backslash
      {"C:\\" + kHyo + std::string("\0x\0y\0\0", 7), {"C:\\" + kHyo + "\\x", "C:\\" + kHyo + "\\y"}},
      {std::string("\0\0", 2), {}},
      {std::string("C:\\Docs\0a.txt", 13), {"C:\\Docs\\a.txt"}},  // no terminator inside the buffer
      {std::string("C:\\Docs", 7), {"C:\\Docs"}},
  };
  for (const Row& row : rows) EXPECT_EQ(Split(row.buffer), row.paths) << row.buffer;
}

TEST(CommandLine, SplitsByThePlatformRules) {
  using V = std::vector<std::string>;
  struct Row {
    std::string line;
    V args;
  } rows[] = {
      {"Vextrane.exe", {"Vextrane.exe"}},
      {"Vextrane.exe a.txt  b\tc", {"Vextrane.exe", "a.txt", "b", "c"}},
      {"\"C:\\My Tools\\Vextrane.exe\" \"C:\\My Docs\\a.txt\"", {"C:\\My Tools\\Vextrane.exe", "C:\\My Docs\\a.txt"}},
      {"\"C:\\a\\\\\"b x", {"C:\\a\\\\b", "x"}},  // argument 0 has no escapes
      {"p \"\"", {"p", ""}},                          // an empty argument
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},              // 3 backslashes + quote: one backslash, a quote
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},           // 2 backslashes + quote: one backslash, quote closes
      {"p a\\b\\\\c", {"p", "a\\b\\\\c"}},            // backslashes before no quote are literal
      {"p \"a \"\"q\"\" b\"", {"p", "a \"q\" b"}},    // a doubled quote inside quotes
      {"p a\"b c\"d", {"p", "ab cd"}},
      {"p C:\\" + kHyo + "\" x", {"p", "C:\\" + kHyo + " x"}},   // UTF-8 holds no 0x5C to escape a quote
      {"p \"C:\\" + kSo + "\" y", {"p", "C:\\" + kSo, "y"}},
      {"p   ", {"p"}},
      {"", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::SplitCommandLine(row.line), row.args) << row.line;
}

// A file system in a table: pattern -> the entry find-first reports.
class TableLookup : public vx::PathLookup {
 public:
  TableLookup(std::string cwd, std::map<std::string, vx::FoundEntry> entries)
      : cwd_(std::move(cwd)), entries_(std::move(entries)) {}
  bool FindFirst(const std::string& pattern, vx::FoundEntry* found) const override {
    auto it = entries_.find(FoldAscii(FullPath(pattern)));
    if (it == entries_.end()) return false;
    *found = it->second;
    return true;
  }
  // Enough of GetFullPathNameW for the rows below: relative paths, forward
  // slashes, "." and "..".
  std::string FullPath(const std::string& path) const override {
    std::string p = path;
    for (char& c : p) c = c == '/' ? '\\' : c;
    if (p.size() < 2 || (p[1] != ':' && p[0] != '\\')) p = cwd_ + "\\" + p;
    std::vector<std::string> parts;
    std::size_t start = 0;
    const std::size_t root = p[0] == '\\' ? 2 : 0;  // keep "\\" of a network path
    std::string out = p.substr(0, root);
    start = root;
    for (;;) {
      const std::size_t slash = vx::FindNextBackslash(p, start);
      const std::string part = p.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      if (part == "..") {
        if (parts.size() > 1) parts.pop_back();
      } else if (part != ".") {
        parts.push_back(part);
      }
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
    return out;
  }

 private:
  std::string cwd_;
  std::map<std::string, vx::FoundEntry> entries_;
};

TEST(Canonical, EveryComponentTakesItsStoredName) {
  const std::string longName(240, 'n');
  std::map<std::string, vx::FoundEntry> fs;
  auto add = [&](const std::string& path, const std::string& name, bool dir) {
    fs[FoldAscii(path)] = vx::FoundEntry{name, dir};
  };
  add("C:\\TOOLS", "Tools", true);
  add("C:\\TOOLS\\SUB", "Sub", true);
  add("C:\\TOOLS\\SUB\\README.TXT", "ReadMe.txt", false);
  add("C:\\PROGRA~1", "Program Files", true);
  add("C:\\PROGRAM FILES", "Program Files", true);
  add("C:\\PROGRA~1\\DATA", "Data", true);
  add("C:\\PROGRAM FILES\\DATA", "Data", true);
  add("C:\\DOCS", "Docs", true);
  add("C:\\DOCS\\RE*.TXT", "ReadMe.txt", false);
  add("C:\\DOCS\\README.TXT", "ReadMe.txt", false);
  add("C:\\" + kHyo, kHyo, true);
  add("C:\\" + kHyo + "\\X.TXT", "x.txt", false);
  add("C:\\X.TXT", "X.txt", false);
  add("C:\\" + longName, longName, true);
  add("C:\\" + longName + "\\" + std::string(15, 'F'), std::string(15, 'f'), false);
  add("C:\\" + longName + "\\" + std::string(16, 'F'), std::string(16, 'f'), false);
  add("\\\\SERVER\\SHARE\\DIR", "Dir", true);
  add("\\\\SERVER\\SHARE\\DIR\\A.TXT", "a.txt", false);
  const TableLookup lookup("C:\\Tools", fs);

  struct Row {
    std::string arg, canonical;
  } rows[] = {
      {"sub\\readme.txt", "C:\\Tools\\Sub\\ReadMe.txt"},
      {"c:\\progra~1\\data", "\\c:\\Program Files\\Data"},                  // drive letter as given
      {"C:\\Docs\\re*.txt", "C:\\Docs\\ReadMe.txt"},
      {"C:\\Docs\\missing.txt", ""},
      {"c:/tools/./sub/../SUB/readme.TXT", "c:\\Tools\\Sub\\ReadMe.txt"},
      {"C:\\Tools\\", ""},                                                  // trailing backslash
      {"C:\\", ""},                                                         // bare root
      {"", ""},
      {"c:\\x.txt", "c:\\X.txt"},
      {"C:\\" + kHyo + "\\x.txt", "C:\\" + kHyo + "\\x.txt"},
      {"C:\\" + kHyo, "\\C:\\" + kHyo},
      {"C:\\" + longName + "\\" + std::string(15, 'F'), "C:\\" + longName + "\\" + std::string(15, 'f')},
      {"C:\\" + longName + "\\" + std::string(16, 'F'), "C:\\" + longName + "\\" + std::string(16, 'f')},  // past 260
      {"\\\\Server\\Share\\dir\\A.TXT", "\\\\Server\\Share\\Dir\\a.txt"},   // server and share as given
      {"\\\\Server\\Share\\dir", "\\\\\\Server\\Share\\Dir"},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::CanonicalizePath(row.arg, lookup), row.canonical) << row.arg;
}

TEST(Canonical, FolderMarkIsToldFromANetworkPath) {
  struct Row {
    std::string canonical;
    bool folder;
  } rows[] = {
      {"C:\\a.txt", false}, {"\\C:\\Dir", true}, {"\\\\server\\share\\a.txt", false},
      {"\\\\\\server\\share\\Dir", true}, {"", false}, {"\\", false},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::HasFolderMark(row.canonical), row.folder) << row.canonical;
}

TEST(NameMask, MatchesNamesByCharacters) {
  const vx::NameRules win = vx::NameRules::Windows(), posix = vx::NameRules::Posix();
  struct Row {
    std::string pattern, name;
    bool windows, posix;  // the answer under each platform's rules
  } rows[] = {
      {"*.txt", "a.txt", true, true},
      {"*.txt", ".txt", true, true},
      {"*.txt", "a.txt.bak", false, false},
      {"*.txt", "A.TXT", true, false},  // letter case counts on POSIX only
      {"*.TXT", "a.txt", true, false},
      {"a?c", "abc", true, true},
      {"a?c", "ac", false, false},
      {"a?c", "abbc", false, false},
      {"?", "", false, false},
      {"*", "", true, true},
      {"", "", true, true},
      {"", "a", false, false},
      {"**a**", "bab", true, true},
      {"*a*b", "xaybzb", true, true},   // the last star takes more after a false start
      {"*a*b", "xaybzc", false, false},
      {"a*b*c", "abcbc", true, true},
      {"?.c", kHyo + ".c", true, true},  // one character of three bytes: one "?"
      {"??.c", kHyo + ".c", false, false},
      {"?.c", "\xC3\xA9.c", true, true},                         // é
      {"?.c", FromU8(u8"𠮷.c"), true, true},                    // beyond the BMP: still one
      {"*\\", kHyo, false, false},  // no escapes, and no byte of 表 is a backslash
      {"[ab].txt", "[ab].txt", true, true},                      // brackets are plain characters
      {".git", ".GIT", true, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(vx::NameMask(row.pattern, win).Matches(row.name), row.windows) << row.pattern << " / " << row.name;
    EXPECT_EQ(vx::NameMask(row.pattern, posix).Matches(row.name), row.posix) << row.pattern << " / " << row.name;
  }

}

TEST(TargetFilter, MaskListsAreSplitAtSemicolons) {
  struct Row {
    std::string text;
    std::vector<std::string> masks;
  } rows[] = {
      {"", {}},
      {"*.txt", {"*.txt"}},
      {"*.txt;*.csv", {"*.txt", "*.csv"}},
      {" *.txt ;\t*.csv\t; ", {"*.txt", "*.csv"}},  // blanks around a mask are not part of it
      {";;a;;", {"a"}},
      {"my file.txt", {"my file.txt"}},  // a blank inside a mask is
      {kHyo + "*;" + kSo, {kHyo + "*", kSo}},
  };
  for (const Row& row : rows) EXPECT_EQ(vx::SplitMaskList(row.text), row.masks) << row.text;
}

// The window's two fields and vextrane-cli's options build the one filter.
TEST(TargetFilter, TakesFilesAndEntersFoldersByName) {
  const vx::NameRules win = vx::NameRules::Windows(), posix = vx::NameRules::Posix();
  enum Kind { kFile, kFolder };
  const auto masks = [&](const vx::NameRules& rules, std::string_view include, std::string_view exclude) {
    return vx::TargetFilter::FromMasks(include, exclude, rules);
  };
  const auto cli = [&](const vx::NameRules& rules, bool vcs) {
    vx::TargetFilter filter(rules);
    filter.Include("*.txt");
    filter.Include("*.md");
    filter.ExcludeFile("draft*");
    filter.ExcludeFolder("build*");
    filter.EnterVersionControl(vcs);
    return filter;
  };
  const struct {
    const char* what;
    std::function<vx::TargetFilter(const vx::NameRules&)> make;
    Kind kind;
    std::string name;
    bool windows, posix;  // taken or entered under each platform's rules
  } rows[] = {
      {"no masks: every file", [](const vx::NameRules& r) { return vx::TargetFilter(r); }, kFile, "x", true, true},
      {"no masks: every folder", [](const vx::NameRules& r) { return vx::TargetFilter(r); }, kFolder, "x", true, true},
      {"a file named .git is a file", [](const vx::NameRules& r) { return vx::TargetFilter(r); }, kFile, ".git", true, true},
      {"fields empty", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFile, "a.c", true, true},
      {"fields empty: .git left alone", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFolder, ".git", false, false},
      {".svn", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFolder, ".svn", false, false},
      {".hg", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFolder, ".hg", false, false},
      {".bzr", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFolder, ".bzr", false, false},
      {".GIT: letter case as the rules say", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFolder, ".GIT", false, true},
      {"a name that begins so is another", [&](const vx::NameRules& r) { return masks(r, "", ""); }, kFolder, ".github", true, true},
      {"included", [&](const vx::NameRules& r) { return masks(r, "*.txt;*.csv", ""); }, kFile, "a.csv", true, true},
      {"included in other case", [&](const vx::NameRules& r) { return masks(r, "*.txt;*.csv", ""); }, kFile, "A.CSV", true, false},
      {"not included", [&](const vx::NameRules& r) { return masks(r, "*.txt;*.csv", ""); }, kFile, "a.c", false, false},
      {"folders are not included by name", [&](const vx::NameRules& r) { return masks(r, "*.txt", ""); }, kFolder, "src", true, true},
      {"left out", [&](const vx::NameRules& r) { return masks(r, "*.txt", "old*; *.bak"); }, kFile, "old.txt", false, false},
      {"left out, a folder too", [&](const vx::NameRules& r) { return masks(r, "*.txt", "old*; *.bak"); }, kFolder, "older", false, false},
      {"not left out", [&](const vx::NameRules& r) { return masks(r, "*.txt", "old*; *.bak"); }, kFile, "new.txt", true, true},
      {"a Japanese mask", [&](const vx::NameRules& r) { return masks(r, "", kHyo + "*"); }, kFolder, kHyo + "1", false, false},
      {"--include", [&](const vx::NameRules& r) { return cli(r, false); }, kFile, "a.md", true, true},
      {"--include, none matching", [&](const vx::NameRules& r) { return cli(r, false); }, kFile, "a.c", false, false},
      {"--exclude", [&](const vx::NameRules& r) { return cli(r, false); }, kFile, "draft.txt", false, false},
      {"--exclude is for files only", [&](const vx::NameRules& r) { return cli(r, false); }, kFolder, "draft", true, true},
      {"--exclude-dir", [&](const vx::NameRules& r) { return cli(r, false); }, kFolder, "build-1", false, false},
      {"--exclude-dir is for folders only", [&](const vx::NameRules& r) { return cli(r, false); }, kFile, "build.txt", true, true},
      {"without --vcs", [&](const vx::NameRules& r) { return cli(r, false); }, kFolder, ".hg", false, false},
      {"--vcs", [&](const vx::NameRules& r) { return cli(r, true); }, kFolder, ".hg", true, true},
      {"--vcs, other masks still apply", [&](const vx::NameRules& r) { return cli(r, true); }, kFolder, "build", false, false},
  };
  for (const auto& row : rows) {
    for (const bool windows : {true, false}) {
      const vx::TargetFilter filter = row.make(windows ? win : posix);
      const bool answer = row.kind == kFile ? filter.TakesFile(row.name) : filter.EntersFolder(row.name);
      EXPECT_EQ(answer, windows ? row.windows : row.posix) << row.what << (windows ? " (Windows)" : " (POSIX)");
    }
  }
  EXPECT_TRUE(vx::TargetFilter(posix).masks_empty());
  EXPECT_FALSE(vx::TargetFilter(posix).enters_version_control());
  EXPECT_TRUE(masks(posix, " ; ", "").masks_empty());
  EXPECT_FALSE(cli(posix, true).masks_empty());
}

// A folder tree held in a table: folder path -> its entries in listing
// order, and an identity per folder (a link shares its target's). Its full
// path drops trailing dots, as Windows reads a typed name.
class TableFolders : public vx::FolderSystem {
 public:
  std::map<std::string, std::vector<vx::FolderEntry>> folders;
  std::map<std::string, std::uint64_t> identities;
  mutable int open = 0, most_open = 0;  // listings alive now, and at most

  std::unique_ptr<vx::FolderListing> List(const std::string& folder) const override {
    const auto it = folders.find(folder);
    if (it == folders.end()) return nullptr;
    return std::make_unique<Listing>(it->second, this);
  }
  std::string FullPath(const std::string& folder) const override {
    return folder.substr(0, folder.find_last_not_of('.') + 1);
  }
  std::string Join(const std::string& folder, const std::string& name) const override { return folder + "/" + name; }
  bool Identity(const std::string& folder, vx::platform::FileIdentity* identity) const override {
    const auto it = identities.find(folder);
    if (it == identities.end()) return false;
    *identity = {1, it->second};
    return true;
  }

 private:
  class Listing : public vx::FolderListing {
   public:
    Listing(const std::vector<vx::FolderEntry>& entries, const TableFolders* owner) : entries_(entries), owner_(owner) {
      owner_->most_open = std::max(owner_->most_open, ++owner_->open);
    }
    ~Listing() override { --owner_->open; }
    bool Next(vx::FolderEntry* entry) override {
      if (next_ == entries_.size()) return false;
      *entry = entries_[next_++];
      return true;
    }

   private:
    const std::vector<vx::FolderEntry>& entries_;
    const TableFolders* owner_;
    std::size_t next_ = 0;
  };
};

TEST(FolderWalk, DepthFirstInListingOrderNeverEnteringAFolderItIsInside) {
  TableFolders fs;
  // r/loop and r/a/up lead back to r, r/a/self to r/a: links or junctions.
  fs.folders["r"] = {{"z.txt", false}, {"a", true}, {"loop", true}, {"b.txt", false}, {"gone", true}};
  fs.folders["r/a"] = {{"c.txt", false}, {"self", true}, {"up", true}, {"c.txt.1234.vxtmp", false}};
  fs.folders["r/a/self"] = fs.folders["r/a"];
  fs.folders["r/a/up"] = fs.folders["r"];
  fs.folders["r/loop"] = fs.folders["r"];
  fs.identities = {{"r", 1}, {"r/a", 2}, {"r/a/self", 2}, {"r/a/up", 1}, {"r/loop", 1}};
  // r/gone cannot be listed; its identity is unknown too.

  std::vector<std::string> files;
  vx::FolderVisitor visitor;
  visitor.file = [&](const std::string& path) { files.push_back(path); };
  EXPECT_TRUE(vx::WalkFolder("r", vx::TargetFilter(vx::NameRules::Posix()), visitor, fs));
  EXPECT_EQ(files, (std::vector<std::string>{"r/z.txt", "r/a/c.txt", "r/b.txt"}));
  EXPECT_EQ(fs.most_open, 2);  // each level's listing stays open below it
  EXPECT_EQ(fs.open, 0);

  // Two folders of one identity side by side are no loop: both are walked.
  fs.folders["s"] = {{"one", true}, {"two", true}};
  fs.folders["s/one"] = fs.folders["s/two"] = {{"f", false}};
  fs.identities["s/one"] = fs.identities["s/two"] = 7;
  files.clear();
  vx::WalkFolder("s", vx::TargetFilter(vx::NameRules::Posix()), visitor, fs);
  EXPECT_EQ(files, (std::vector<std::string>{"s/one/f", "s/two/f"}));

  // Masks: files by name, folders by name; the folder walked is entered whatever they say.
  const vx::NameRules rules = vx::NameRules::Posix();
  vx::TargetFilter masks(rules);
  masks.ExcludeFile("z*");
  masks.ExcludeFolder("a");
  masks.ExcludeFolder("r");
  files.clear();
  vx::WalkFolder("r", masks, visitor, fs);
  EXPECT_EQ(files, (std::vector<std::string>{"r/b.txt"}));

  // Version-control folders are left alone unless entered; one named is walked.
  fs.folders["v"] = {{".git", true}, {"a.txt", false}, {".hg", true}, {"src", true}};
  fs.folders["v/.git"] = {{"config", false}};
  fs.folders["v/.hg"] = {{"store", false}};
  fs.folders["v/src"] = {{".svn", true}, {"b.txt", false}};
  fs.folders["v/src/.svn"] = {{"entries", false}};
  const struct {
    const char* what;
    std::string folder;
    vx::TargetFilter filter;
    std::vector<std::string> files;
  } vcs[] = {
      {"left alone", "v", vx::TargetFilter(rules), {"v/a.txt", "v/src/b.txt"}},
      {"fields empty", "v", vx::TargetFilter::FromMasks("", "", rules), {"v/a.txt", "v/src/b.txt"}},
      {"masks beside", "v", vx::TargetFilter::FromMasks("*.txt;config", "src", rules), {"v/a.txt"}},
      {"named", "v/.git", vx::TargetFilter(rules), {"v/.git/config"}},
  };
  for (const auto& row : vcs) {
    files.clear();
    vx::WalkFolder(row.folder, row.filter, visitor, fs);
    EXPECT_EQ(files, row.files) << row.what;
  }
  vx::TargetFilter entered(rules);
  entered.EnterVersionControl(true);
  files.clear();
  vx::WalkFolder("v", entered, visitor, fs);
  EXPECT_EQ(files, (std::vector<std::string>{"v/.git/config", "v/a.txt", "v/.hg/store", "v/src/.svn/entries",
                                             "v/src/b.txt"}));

  // A visitor that stops: asked before every entry, and nothing after.
  int asked = 0;
  visitor.stopped = [&] { return ++asked > 3; };  // z.txt, a, a/c.txt, then stop
  files.clear();
  EXPECT_FALSE(vx::WalkFolder("r", vx::TargetFilter(vx::NameRules::Posix()), visitor, fs));
  EXPECT_EQ(files, (std::vector<std::string>{"r/z.txt", "r/a/c.txt"}));
  EXPECT_EQ(fs.open, 0);
}

TEST(FolderWalk, NamesAreTakenExactlyOrNotAtAll) {
  TableFolders fs;
  // "x?.txt" and "bad?" stand for names no UTF-8 text can hold.
  fs.folders["t"] = {{"a.txt", false}, {"x?.txt", false, false}, {"dots.", true}, {"bad?", true, false},
                     {"skip?.c", false, false}};
  fs.folders["t/dots."] = {{"f.", false}};
  fs.folders["t/bad?"] = {{"never.txt", false}};
  vx::TargetFilter masks(vx::NameRules::Posix());
  masks.ExcludeFile("*.c");
  std::vector<std::string> files, unnamable;
  vx::FolderVisitor visitor;
  visitor.file = [&](const std::string& path) { files.push_back(path); };
  // Only the folder named is made absolute ("t." -> "t"); below it each path
  // is joined from the names as listed, trailing dots kept. Without a
  // listener, the names that cannot be taken are passed over.
  EXPECT_TRUE(vx::WalkFolder("t.", masks, visitor, fs));
  EXPECT_EQ(files, (std::vector<std::string>{"t/a.txt", "t/dots./f."}));
  files.clear();
  visitor.unnamable = [&](const std::string& shown, vx::platform::SysError error) {
    EXPECT_EQ(error, vx::platform::kErrorInvalidName);
    unnamable.push_back(shown);
  };
  EXPECT_TRUE(vx::WalkFolder("t.", masks, visitor, fs));
  EXPECT_EQ(files, (std::vector<std::string>{"t/a.txt", "t/dots./f."}));
  // Never opened, nor entered; a name the masks leave out is no target anyway.
  EXPECT_EQ(unnamable, (std::vector<std::string>{"t/x?.txt", "t/bad?"}));
}

// The intake on real files: a file named is taken whatever the filter says,
// a folder gives what the filter takes below it, a path naming nothing adds
// nothing; duplicates by name, and by file where asked, go to the sink.
TEST(TargetIntake, TakesPathsAsGivenAndRefusesDuplicates) {
  vx::test::TempDir dir;
  const vx::FolderSystem& fs = vx::PlatformFolders();
  const std::string d = dir.Path("d");
  const std::string sub = fs.Join(d, "sub"), git = fs.Join(d, ".git");
  for (const std::string& folder : {sub, git}) std::filesystem::create_directories(vx::test::FsPath(folder));
  const std::string a = fs.Join(d, "a.txt"), b = fs.Join(d, "b.c"), c = fs.Join(sub, "c.txt"),
                    config = fs.Join(git, "notes.txt"), x = dir.Path("x.c");
  for (const std::string& file : {a, b, c, config, x}) vx::test::WriteBytes(file, "q");
  const std::string link = dir.Path("link.txt");
  std::filesystem::create_hard_link(vx::test::FsPath(x), vx::test::FsPath(link));
  const vx::TargetFilter filter = vx::TargetFilter::FromMasks("*.txt", "", vx::PlatformNameRules());

  std::vector<std::string> taken, duplicates;
  bool refuse = false;
  vx::TargetSink sink;
  sink.take = [&](const std::string& path) {
    if (refuse) return false;
    taken.push_back(path);
    return true;
  };
  sink.duplicate = [&](const std::string& path) { duplicates.push_back(path); };
  using Added = vx::TargetIntake::Added;
  for (const auto rule : {vx::TargetIntake::Duplicates::kName, vx::TargetIntake::Duplicates::kNameOrFile}) {
    const bool by_file = rule == vx::TargetIntake::Duplicates::kNameOrFile;
    SCOPED_TRACE(by_file ? "by name or file" : "by name");
    vx::TargetIntake intake(rule);
    taken.clear();
    duplicates.clear();
    // In the walk's order, which is the platform's: compared as sets.
    const auto sorted = [](std::vector<std::string> paths) {
      std::sort(paths.begin(), paths.end());
      return paths;
    };
    EXPECT_EQ(intake.Add(d, filter, sink), Added::kFolder);
    EXPECT_EQ(sorted(taken), sorted({a, c}));  // no b.c, nothing of .git
    EXPECT_EQ(intake.Add(x, filter, sink), Added::kFile);  // named: taken whatever the masks say
    EXPECT_EQ(intake.Add(dir.Path("missing.txt"), filter, sink), Added::kNothing);
    EXPECT_EQ(intake.Add("", filter, sink), Added::kNothing);
    EXPECT_EQ(intake.Add(d, filter, sink), Added::kFolder);  // all listed already
    EXPECT_EQ(sorted(duplicates), sorted({a, c}));
    // The same file under a second name.
    intake.AddFile(link, sink);
    EXPECT_EQ(taken.back(), by_file ? x : link);
    EXPECT_EQ(duplicates.size(), by_file ? 3u : 2u);
    EXPECT_EQ(intake.size(), by_file ? 3u : 4u);

    // A file removed from the list is new again, under either name.
    intake.Forget(x);
    if (by_file) {
      intake.AddFile(link, sink);
      EXPECT_EQ(taken.back(), link);
    } else {
      intake.AddFile(x, sink);
      EXPECT_EQ(taken.back(), x);
    }
    // A file the sink could not append is not listed.
    refuse = true;
    const std::size_t before = taken.size(), refused = duplicates.size();
    intake.AddFile(fs.Join(d, "new.txt"), sink);  // need not exist
    refuse = false;
    intake.AddFile(fs.Join(d, "new.txt"), sink);
    EXPECT_EQ(taken.size(), before + 1);
    EXPECT_EQ(duplicates.size(), refused);

    // The list filed anew: what it holds is listed, nothing else.
    intake.Reset({a, x});
    EXPECT_EQ(intake.size(), 2u);
    taken.clear();
    duplicates.clear();
    intake.AddFile(c, sink);
    intake.AddFile(a, sink);
    intake.AddFile(link, sink);
    const std::vector<std::string> new_ones = by_file ? std::vector<std::string>{c} : std::vector<std::string>{c, link};
    const std::vector<std::string> listed = by_file ? std::vector<std::string>{a, link} : std::vector<std::string>{a};
    EXPECT_EQ(taken, new_ones);
    EXPECT_EQ(duplicates, listed);
  }

  // A sink that stops ends the walk.
  vx::TargetIntake intake;
  int asked = 0;
  sink.stopped = [&] { return ++asked > 1; };
  taken.clear();
  EXPECT_FALSE(intake.AddFolder(d, filter, sink));
  EXPECT_LE(taken.size(), 1u);
}

}  // namespace
