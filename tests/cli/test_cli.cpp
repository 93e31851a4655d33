// vextrane-cli as a user runs it: the built program in a child process, with
// its stdout, stderr and exit status, on files in a scratch folder.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/temp_dir.h"
#include "platform/unicode.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the program with `args` under the locale `locale` (the terminal's encoding).
Outcome RunCli(const std::vector<std::string>& args, const std::string& locale = "C.UTF-8",
               const std::string& program = VX_CLI_PATH) {
  TempDir io;
  const std::string out = io.Path("out"), err = io.Path("err");
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (!freopen(out.c_str(), "wb", stdout) || !freopen(err.c_str(), "wb", stderr)) _exit(127);
    setenv("LC_ALL", locale.c_str(), 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
}

// The texts of the log as a UTF-8 terminal shows them (this file is compiled
// with the execution character set 932, so they are spelled out in bytes).
const std::string kHeadUtf8 = "\xE7\xBD\xAE\xE6\x8F\x9B\xE7\xB5\x90\xE6\x9E\x9C\xE3\x83\xAD\xE3\x82\xB0\n\n"
                              "\xE7\xB7\x8F\xE7\xBD\xAE\xE6\x8F\x9B\xE3\x81\x88\xE6\x95\xB0  ";  // 置換結果ログ 総置換え数
const std::string kCountUtf8 = "\xE7\xBD\xAE\xE6\x8F\x9B\xE3\x81\x88\xE6\x95\xB0\xE3\x80\x80";   // 置換え数 + U+3000
const std::string kPiecesUtf8 = "\xE5\x80\x8B";                                                   // 個
const std::string kNotTextUtf8 =
    "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB"
    "\xE3\x81\xA7\xE3\x81\xAF\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82\n";
const std::string kHiraganaA_Utf8 = "\xE3\x81\x82", kHiraganaI_Utf8 = "\xE3\x81\x84";  // あ い
const std::string kHiraganaA_Sjis = "\x82\xA0", kHiraganaI_Sjis = "\x82\xA2";

std::string HeadUtf8(long long total) { return kHeadUtf8 + std::to_string(total) + kPiecesUtf8 + "\n\n"; }
std::string LineUtf8(const std::string& path, long long count) {
  return path + "  " + kCountUtf8 + std::to_string(count) + kPiecesUtf8 + "\n";
}

TEST(Cli, UsageErrorsAndInformation) {
  TempDir dir;
  const std::string f = dir.Path("f.txt");
  WriteBytes(f, "abc");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string in_out, in_err;
  };
  const Row rows[] = {
      {{"--help"}, 0, "Usage: vextrane-cli", ""},
      {{"-h"}, 0, "--dry-run", ""},
      {{"--help"}, 0, "auto: each file in the encoding found in it", ""},
      {{"--version"}, 0, "vextrane-cli 1.10\n", ""},
      {{}, 2, "", "no file or folder named"},
      {{"-s", "a"}, 2, "", "no file or folder named"},
      {{"-x", f}, 2, "", "unknown option '-x'"},
      {{"--frobnicate", f}, 2, "", "unknown option '--frobnicate'"},
      {{f, "-s"}, 2, "", "option '-s' needs a value"},
      {{"--no-backup=yes", f}, 2, "", "takes no value"},
      {{"--codepage", "1252", f}, 2, "", "unknown code page '1252'"},
      {{"--jobs", "0", f}, 2, "", "--jobs takes a number from 1 to 256, not '0'"},
      {{"-j4x", f}, 2, "", "not '4x'"},
      {{"-a", "-s", "x", f}, 2, "", "cannot be combined with -s or -r"},
      {{"-l", dir.Path("list.dat"), f}, 2, "", "add -a"},
      {{"-a", "-l", dir.Path("none.dat"), f}, 2, "", "cannot open the replace list"},
      {{"--codepage", "932", "-s", "\xF0\x9F\x98\x80", f}, 2, "", "cannot be written in the files' code page"},  // an emoji has no 932 form
      // The option parser's edges: every row of the table in the help, forms
      // glued and abbreviated, clusters, "--", errors naming the form typed.
      {{"--help"}, 0, "      --exclude-dir GLOB do not enter folders", ""},
      {{"--help"}, 0, "  -j, --jobs N           rewrite up to N files", ""},
      {{"-n", "--sea=b", f}, 0, f + "  ", ""},
      {{"-nsb", f}, 0, f + "  ", ""},
      {{f, "-n", "--include", "*.c"}, 0, f + "  ", ""},  // options after the paths
      {{"--", "-n"}, 1, "", "-n: no such file or folder; skipped"},
      {{"--r", f}, 2, "", "option '--r' is ambiguous (--replace, --regex, --restore, --raw)"},
      {{"--search"}, 2, "", "option '--search' needs a value"},
      {{"--exclude-dir"}, 2, "", "option '--exclude-dir' needs a value"},
      {{"--vcs=yes", f}, 2, "", "option '--vcs' takes no value"},
      {{"--dry-run", "-nx", f}, 2, "", "unknown option '-x'"},
      {{"-xn", f}, 2, "", "unknown option '-x'"},
      {{"-n", "-j"}, 2, "", "option '-j' needs a value"},
      {{"--restore", "-s", "a", f}, 2, "", "--restore puts files back from their backups; it cannot be combined"},
      {{"--restore", "--diff", f}, 2, "", "cannot be combined"},
      // The matching options: flags in the table, short and long, clustered
      // and abbreviated; no values; nothing to do with a restore.
      {{"--help"}, 0, "  -E, --regex            the search text is a regular expression", ""},
      {{"--help"}, 0, "  -i, --ignore-case      letters match in either case", ""},
      {{"--help"}, 0, "  -w, --word             a match counts only where", ""},
      {{"--help"}, 0, "      --fold             full-width and half-width forms", ""},
      {{"--help"}, 0, "2 for bad usage, a bad expression or a", ""},
      {{"-n", "-Eiw", "--fold", "-s", "b", f}, 0, f + "  ", ""},
      {{"-n", "--regex", "--ignore-case", "--word", "-s", "b", f}, 0, f + "  ", ""},
      {{"-n", "--ig", "--wo", "--fo", "-s", "b", f}, 0, f + "  ", ""},
      {{"--regex=yes", "-s", "b", f}, 2, "", "option '--regex' takes no value"},
      {{"--fold=1", "-s", "b", f}, 2, "", "option '--fold' takes no value"},
      {{"-Ex", "-s", "b", f}, 2, "", "unknown option '-x'"},
      {{"--restore", "-E", f}, 2, "", "it cannot be combined with -s, -r, -a, -E, -i, -w, --fold, -n"},
      {{"--restore", "--fold", f}, 2, "", "cannot be combined"},
      {{"--restore", "-i", f}, 2, "", "cannot be combined"},
      // The encoding of redirected output: in the table, two values, not with --raw.
      {{"--help"}, 0, "      --output-encoding ENC\n                         the encoding of the log", ""},
      {{"--output-encoding", "latin1", f}, 2, "", "unknown output encoding 'latin1' (use utf-8 or cp932)"},
      {{f, "--output-encoding"}, 2, "", "option '--output-encoding' needs a value"},
      {{"--raw", "--output-encoding=cp932", f}, 2, "", "cannot be combined with --output-encoding"},
      {{"-n", "--out=utf-8", f}, 0, f + "  ", ""},
      {{"-n", "--output-encoding", "932", f}, 0, f + "  ", ""},
  };
  for (const Row& row : rows) {
    const Outcome o = RunCli(row.args);
    std::string joined;
    for (const std::string& a : row.args) joined += a + " ";
    EXPECT_EQ(o.status, row.status) << joined << o.err;
    EXPECT_NE(o.out.find(row.in_out), std::string::npos) << joined << o.out;
    EXPECT_NE(o.err.find(row.in_err), std::string::npos) << joined << o.err;
    if (row.status == 2) {
      EXPECT_EQ(o.out, "") << joined;
    }
  }
  EXPECT_EQ(ReadBytes(f), "abc");  // no usage error touched the file
}

TEST(Cli, RunPrintsTheLogAndKeepsBackups) {
  TempDir dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), bin = dir.Path("bin.dat");
  WriteBytes(a, "abc abc");
  WriteBytes(b, "xyz");
  WriteBytes(bin, std::string("abc\0", 4));

  Outcome o = RunCli({"-s", "abc", "-r", "Q", a, b});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, HeadUtf8(2) + LineUtf8(a, 2) + LineUtf8(b, 0));
  EXPECT_EQ(o.err, "");  // no progress line when stderr is no terminal
  EXPECT_EQ(ReadBytes(a), "Q Q");
  EXPECT_EQ(ReadBytes(a + ".bak"), "abc abc");
  EXPECT_EQ(ReadBytes(b + ".bak"), "xyz");

  // An error line, or a path that names nothing, makes the exit status 1;
  // the other files are still done.
  o = RunCli({"--search=Q", "--replace", "R", "--no-backup", bin, dir.Path("missing.txt"), a});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, HeadUtf8(2) + bin + "  " + kNotTextUtf8 + LineUtf8(a, 2));
  EXPECT_EQ(o.err, "vextrane-cli: " + dir.Path("missing.txt") + ": no such file or folder; skipped\n");
  EXPECT_EQ(ReadBytes(a), "R R");
  EXPECT_EQ(ReadBytes(a + ".bak"), "abc abc");  // --no-backup left the old backup alone

  o = RunCli({"-s", "R", "-r", "S", "--no-backup", dir.Path("typo.txt"), a});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, HeadUtf8(2) + LineUtf8(a, 2));
  EXPECT_EQ(ReadBytes(a), "S S");
}

TEST(Cli, RawPassesBytesAndPrintsTheLogInCodePage932) {
  TempDir dir;
  const std::string a = dir.Path("a.txt");
  WriteBytes(a, kHiraganaA_Sjis + "A" + kHiraganaA_Sjis);
  const Outcome o = RunCli({"--raw", "--no-backup", "-s" + kHiraganaA_Sjis, "-r", kHiraganaI_Sjis, a});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(ReadBytes(a), kHiraganaI_Sjis + "A" + kHiraganaI_Sjis);
  // This file's narrow literals are code page 932: the log exactly as the box holds it.
  EXPECT_EQ(o.out, "置換結果ログ\n\n総置換え数  2個\n\n" + a + "  置換え数　2個\n");
}

// One run on one file (given as `before`) with the options of the row, the
// file and --no-backup: what the file holds afterwards, and its log line.
struct RunRow {
  std::string name;
  std::vector<std::string> options;
  std::string before, after;
  int count;                  // -1: the line of a replacement the file's encoding cannot hold
  std::string encoding = "";  // the log's note after the count
  int status = 0;
};

void ExpectRuns(const std::vector<RunRow>& rows) {
  for (const RunRow& row : rows) {
    TempDir dir;
    const std::string f = dir.Path("f.txt");
    WriteBytes(f, row.before);
    std::vector<std::string> args = row.options;
    args.push_back("--no-backup");
    args.push_back(f);
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.status, row.status) << row.name << o.err;
    EXPECT_EQ(ReadBytes(f), row.after) << row.name;
    if (row.count < 0) {  // 置換文字列を... in UTF-8
      EXPECT_NE(o.out.find(f + "  \xE7\xBD\xAE\xE6\x8F\x9B\xE6\x96\x87\xE5\xAD\x97\xE5\x88\x97\xE3\x82\x92"),
                std::string::npos)
          << row.name << o.out;
    } else {
      std::string line = LineUtf8(f, row.count);
      EXPECT_EQ(o.out, HeadUtf8(row.count) + line.insert(line.size() - 1, row.encoding)) << row.name;
    }
  }
}

TEST(Cli, TextsAreConvertedFromTheTerminalToTheCodePage) {
  const std::string kHan = "\xED\x95\x9C", kEmoji = "\xF0\x9F\x98\x80";  // 한 😀: no code page 932 form
  const std::string kBecause = "\xE2\x88\xB5";                              // ∵
  const std::string kUtf8Note = "\xEF\xBC\x88UTF-8\xEF\xBC\x89";            // （UTF-8）
  ExpectRuns({
      {"default 932", {"-s", kHiraganaA_Utf8, "-r", kHiraganaI_Utf8}, "x" + kHiraganaA_Sjis, "x" + kHiraganaI_Sjis, 1},
      {"utf-8", {"--codepage", "utf-8", "-s", kHiraganaA_Utf8, "-r", kHiraganaI_Utf8}, "x" + kHiraganaA_Utf8,
       "x" + kHiraganaI_Utf8, 1},
      {"none", {"--codepage=none", "-s", kHiraganaA_Utf8, "-r", "i"}, kHiraganaA_Utf8, "i", 1},
      // In code page 932 the A (0x41) in ア (0x83 0x41) is a second byte, no letter; utf-8 has no lead bytes.
      {"lead bytes 932", {"--codepage", "932", "-s", "A", "-r", "B"}, "\x83\x41" "A", "\x83\x41" "B", 1},
      {"no lead bytes", {"--codepage", "utf-8", "-s", "A", "-r", "B"}, "\x83\x41" "A", "\x83\x42" "B", 2},
      // The escapes are the window's: \n is CR LF, \| separates alternatives.
      {"escapes", {"-s", "x\\|y", "-r", "\\n"}, "axbyc", "a\r\nb\r\nc", 2},
      // Unicode texts, each file's own encoding: what code page 932 lacks goes
      // into a UTF-8 file, finds nothing in a Shift-JIS one, and cannot be
      // written there (an error line; the file stays as it is).
      {"emoji into utf-8", {"-s", "x", "-r", kEmoji}, kHan + "x", kHan + kEmoji, 1, kUtf8Note},
      {"korean found in utf-8", {"-s", kHan, "-r", "k"}, "a" + kHan + "b" + kHan, "akbk", 2, kUtf8Note},
      {"korean not in shift-jis", {"-s", kHan, "-r", "k"}, kHiraganaA_Sjis + "x", kHiraganaA_Sjis + "x", 0},
      {"emoji into shift-jis", {"-s", "x", "-r", kEmoji}, kHiraganaA_Sjis + "x", kHiraganaA_Sjis + "x", -1, "", 1},
      {"because into shift-jis", {"-s", "x", "-r", kBecause}, kHiraganaA_Sjis + "x", kHiraganaA_Sjis + "\x81\xE6", 1},
  });
}

// The matching options on real files, each in its own encoding: what the
// file holds after the run and its count.
TEST(Cli, MatchingOptionsRewriteAsTheyAreDefined) {
  const std::string kUtf8Note = "\xEF\xBC\x88UTF-8\xEF\xBC\x89";  // （UTF-8）
  const std::string kHyo = "\x95\x5C";                            // 表 in code page 932: 0x5C second byte
  ExpectRuns({
      // Regular expressions: groups, line anchors on CR LF, the replacement's forms.
      {"capture swap", {"-E", "-s", "(\\w+)=(\\w+)", "-r", "$2=$1"}, "key=value\r\n", "value=key\r\n", 1},
      {"dates", {"--regex", "-s", "(\\d{4})/(\\d{2})/(\\d{2})", "-r", "$1-$2-$3"}, "2026/12/09 2027/01/02",
       "2026-12-09 2027-01-02", 2},
      {"^ prefixes each line, none after the last line end", {"-E", "-s", "^", "-r", "> "}, "a\r\nb\r\n",
       "> a\r\n> b\r\n", 2},
      {"$ before CR LF and at the end", {"-E", "-s", "$", "-r", ";"}, "a\r\nb", "a;\r\nb;", 2},
      {"${1}2, $$ and $&", {"-E", "-s", "(a)", "-r", "${1}2$$$&"}, "xa", "xa2$a", 1},
      {"\\1 and a group that took no part", {"-E", "-s", "(x)|(y)", "-r", "[\\1$2]"}, "xy", "[x][y]", 2},
      {"\\n of the replacement is the file's line end", {"-E", "-s", ",", "-r", "\\n"}, "a,b\n", "a\nb\n", 1},
      {"named group", {"-E", "-s", "(?<k>\\w+):", "-r", "${k}="}, "ab:1", "ab=1", 1},
      {". takes a whole Shift-JIS character", {"-E", "-s", "a.", "-r", "X"}, "a" + kHyo + "b", "Xb", 1},
      {"\\| is no alternative in an expression", {"-E", "-s", "a\\|b", "-r", "X"}, "a|b ab", "X ab", 1},
      {"a literal a( without -E", {"-s", "a(", "-r", "x"}, "a(b", "xb", 1},
      {"a dry run counts and writes nothing", {"-n", "-E", "-s", "\\d", "-r", "x"}, "a1b22", "a1b22", 3},
      // Letter case ignored, in every script with case.
      {"ignore case", {"-i", "-s", "abc", "-r", "x"}, "ABC abc aBc", "x x x", 3},
      {"ignore case, Latin in UTF-8", {"--ignore-case", "-s", FromU8(u8"é"), "-r", "e"}, FromU8(u8"É é"), "e e", 2,
       kUtf8Note},
      {"ignore case, full-width in Shift-JIS", {"-i", "-s", FromU8(u8"ａ"), "-r", "b"}, "\x82\x60", "b", 1},
      {"ignore case in an expression", {"-E", "-i", "-s", "a+", "-r", "x"}, "aAb", "xb", 1},
      // Whole words: kanji and kana are no word characters.
      {"word", {"-w", "-s", "ID", "-r", "X"}, FromU8(u8"ユーザーIDを (ID) IDs _ID"),
       FromU8(u8"ユーザーXを (X) IDs _ID"), 2, kUtf8Note},
      {"word and case", {"-w", "-i", "-s", "id", "-r", "X"}, "ID IDs Id", "X IDs X", 2},
      {"word backtracks in an expression", {"-E", "-w", "-s", "ab|abc", "-r", "X"}, "abc", "X", 1},
      // Width and kana as one.
      {"fold", {"--fold", "-s", FromU8(u8"ﾃﾞｰﾀ"), "-r", "DATA"}, FromU8(u8"データ でーた ﾃﾞｰﾀ"),
       "DATA DATA DATA", 3, kUtf8Note},
      {"fold never splits a voiced pair", {"--fold", "-s", FromU8(u8"カ"), "-r", "X"}, FromU8(u8"ｶﾞ か"),
       FromU8(u8"ｶﾞ X"), 1, kUtf8Note},
      {"fold, full-width digits in Shift-JIS", {"--fold", "-s", "0", "-r", "X"}, "\x82\x4F" "0", "XX", 2},
  });

  // Every pair of the list, with the options of the command line.
  TempDir dir;
  const std::string f = dir.Path("f.txt"), list = dir.Path("list.dat");
  WriteBytes(list, "(\\w+)=(\\w+)\r\n$2=$1\r\n^\r\n# \r\n");
  WriteBytes(f, "key=value\r\n");
  Outcome o = RunCli({"-a", "-E", "-l", list, "--no-backup", f});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, HeadUtf8(2) + LineUtf8(f, 2));
  EXPECT_EQ(ReadBytes(f), "# value=key\r\n");

  // --diff shows what the same run writes.
  WriteBytes(f, "k=v\n");
  o = RunCli({"--diff", "-E", "-s", "(\\w)=(\\w)", "-r", "$2=$1", f});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "--- " + f + "\n+++ " + f + "\n@@ -1 +1 @@\n-k=v\n+v=k\n" + HeadUtf8(1) + LineUtf8(f, 1));
  EXPECT_EQ(ReadBytes(f), "k=v\n");
}

// A bad expression, or a replacement naming a group the expression lacks,
// is bad usage, told before any file is touched: the whole run stops.
TEST(Cli, BadPatternsStopTheRunBeforeAnyFile) {
  TempDir dir;
  const std::string f = dir.Path("f.txt"), g = dir.Path("sub/g.txt"), list = dir.Path("list.dat");
  std::filesystem::create_directories(dir.path() / "sub");
  WriteBytes(f, "a(b) a");
  WriteBytes(g, "a");
  WriteBytes(list, "a\r\nx\r\n(a\r\ny\r\n");  // the second pair is bad
  const std::string kInvalid = FromU8(u8"正規表現が正しくありません。");
  const std::vector<std::vector<std::string>> rows = {
      {"-E", "-s", "a(", "-r", "x"},
      {"-E", "-s", "[a", "-r", "x"},
      {"-E", "-s", "(a)", "-r", "$2"},
      {"-E", "-s", "(a)", "-r", "$12"},  // group 12, not group 1 and a 2
      {"-E", "-s", "(a)", "-r", "${name}"},
      {"-E", "-i", "-w", "--fold", "-s", "a)", "-r", "x"},
      {"-E", "-a", "-l", list},
      {"-E", "--diff", "-s", "*a", "-r", "x"},
  };
  for (const std::vector<std::string>& row : rows) {
    std::vector<std::string> args = row;
    args.push_back(f);
    args.push_back(dir.Path("sub"));
    const Outcome o = RunCli(args);
    std::string joined;
    for (const std::string& a : row) joined += a + " ";
    EXPECT_EQ(o.status, 2) << joined;
    EXPECT_EQ(o.out, "") << joined;
    EXPECT_EQ(o.err.rfind(kInvalid + "\n", 0), 0u) << joined << o.err;
    EXPECT_EQ(ReadBytes(f), "a(b) a") << joined;
    EXPECT_EQ(ReadBytes(g), "a") << joined;
  }
  EXPECT_EQ(dir.Listing(), "f.txt;list.dat;sub;");
}

TEST(Cli, LogIsConvertedToTheTerminalsEncoding) {
  // A Japanese UTF-8 locale and the plain C locale both show UTF-8;
  // --output-encoding chooses what a file or a pipe gets: code page 932 has
  // 表, not é or 😀 (one '?' a character, never a look-alike).
  const struct {
    std::string locale, encoding, name, shown;
  } rows[] = {
      {"ja_JP.UTF-8", "", "f.txt", "f.txt"},
      {"C", "", "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
      {"C.UTF-8", "cp932", "\xE8\xA1\xA8.txt", "表.txt"},
      {"ja_JP.UTF-8", "cp932", "caf\xC3\xA9.txt", "caf?.txt"},
      {"C.UTF-8", "932", "\xF0\x9F\x98\x80.txt", "?.txt"},
      {"C", "utf-8", "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
  };
  TempDir dir;
  for (const auto& row : rows) {
    const std::string f = dir.Path(row.name), shown = dir.Path(row.shown);
    WriteBytes(f, "abc");
    std::vector<std::string> args = {"-n", "-s", "b", f, f + ".none"};
    if (!row.encoding.empty()) args.insert(args.begin(), {"--output-encoding", row.encoding});
    const Outcome o = RunCli(args, row.locale);
    EXPECT_EQ(o.out, row.encoding.find("932") != std::string::npos
                         ? "置換結果ログ\n\n総置換え数  1個\n\n" + shown + "  置換え数　1個\n"  // code page 932
                         : HeadUtf8(1) + LineUtf8(shown, 1))
        << row.name;
    EXPECT_EQ(o.err, "vextrane-cli: " + shown + ".none: no such file or folder; skipped\n") << row.name;
  }
}

TEST(Cli, DryRunLeavesFilesAndTimesUntouched) {
  TempDir dir;
  const std::string a = dir.Path("a.txt");
  WriteBytes(a, "aaa");
  struct stat before {};
  ASSERT_EQ(stat(a.c_str(), &before), 0);
  sleep(1);  // a rewrite now would show in the modification time
  const Outcome o = RunCli({"--dry-run", "-s", "a", "-r", "b", a});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, HeadUtf8(3) + LineUtf8(a, 3));
  struct stat after {};
  ASSERT_EQ(stat(a.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(ReadBytes(a), "aaa");
  EXPECT_EQ(dir.Listing(), "a.txt;");
}

TEST(Cli, FoldersAreTakenRecursivelyInByteOrderWithoutDuplicates) {
  TempDir dir;
  namespace fs = std::filesystem;
  const fs::path root = dir.path() / "root";
  for (const char* sub : {"root/b", "root/b/deep", "root/B", "root/\xC3\xA9", "root/empty"})
    fs::create_directories(dir.path() / sub);
  // Names whose byte order differs from a locale's order: upper case before
  // lower case, "~" after letters, non-ASCII (0xC3) last.
  const char* files[] = {"root/z.txt",    "root/a.txt",      "root/B/x.txt", "root/b/deep/d.txt",
                         "root/b/c.txt",  "root/~.txt",      "root/.h",      "root/\xC3\xA9/e.txt",
                         "root/a.txt.vxtmp"};
  for (const char* f : files) WriteBytes((dir.path() / f).string(), "q");
  fs::create_symlink(dir.path() / "root/b", root / "link-to-b");  // not followed
  const std::string r = root.string();
  const std::vector<std::string> order = {r + "/.h",           r + "/B/x.txt", r + "/a.txt",
                                          r + "/b/c.txt",      r + "/b/deep/d.txt",
                                          r + "/z.txt",        r + "/~.txt",   r + "/\xC3\xA9/e.txt"};
  // The folder, then a file in it under another spelling: refused.
  const Outcome o = RunCli({"-n", "-s", "q", r, r + "/b/../a.txt"});
  EXPECT_EQ(o.status, 0);
  std::string expected = HeadUtf8(static_cast<long long>(order.size()));
  for (const std::string& path : order) expected += LineUtf8(path, 1);
  EXPECT_EQ(o.out, expected);
  // The window's duplicate message: は, line break, すでにリストに存在します。
  EXPECT_EQ(o.err, r + "/a.txt\xE3\x81\xAF\n\xE3\x81\x99\xE3\x81\xA7\xE3\x81\xAB\xE3\x83\xAA\xE3\x82\xB9\xE3\x83\x88"
                           "\xE3\x81\xAB\xE5\xAD\x98\xE5\x9C\xA8\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82\n");
}

TEST(Cli, MasksChooseFilesInFoldersAndVersionControlFoldersAreLeftAlone) {
  TempDir dir;
  namespace fs = std::filesystem;
  const std::string r = dir.Path("tree");
  for (const char* sub : {"tree/.git/refs", "tree/.svn", "tree/.hg", "tree/.bzr", "tree/build", "tree/src/.Git"})
    fs::create_directories(dir.path() / sub);
  for (const char* f : {"tree/a.txt", "tree/b.TXT", "tree/c.md", "tree/skip.txt", "tree/.git/config",
                        "tree/.git/refs/main.txt", "tree/.svn/entries", "tree/.hg/store", "tree/.bzr/x.txt",
                        "tree/build/out.txt", "tree/src/e.txt", "tree/src/.Git/f.txt"})
    WriteBytes((dir.path() / f).string(), "q");
  auto logged = [&](const std::vector<std::string>& paths) {
    std::string log = HeadUtf8(static_cast<long long>(paths.size()));
    for (const std::string& path : paths) log += LineUtf8(r + "/" + path, 1);
    return log;
  };
  struct Row {
    std::string name;
    std::vector<std::string> args;
    std::vector<std::string> files;
  } rows[] = {
      {"no masks: every file but the version-control folders'",
       {r},
       {"a.txt", "b.TXT", "build/out.txt", "c.md", "skip.txt", "src/.Git/f.txt", "src/e.txt"}},
      {"--vcs enters them", {"--vcs", r},
       {".bzr/x.txt", ".git/config", ".git/refs/main.txt", ".hg/store", ".svn/entries", "a.txt", "b.TXT",
        "build/out.txt", "c.md", "skip.txt", "src/.Git/f.txt", "src/e.txt"}},
      {"a version-control folder named is walked", {r + "/.git"}, {".git/config", ".git/refs/main.txt"}},
      {"masks; letter case counts here; a file named is taken whatever they say",
       {"--include", "*.txt", "--include=*.md", "--exclude", "skip*", "--exclude-dir", "bui?d", r, r + "/skip.txt"},
       {"a.txt", "c.md", "src/.Git/f.txt", "src/e.txt", "skip.txt"}},
      {"a folder named is entered whatever the masks say", {"--exclude-dir", "*", r + "/src"}, {"src/e.txt"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"-n", "-s", "q"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.status, 0) << row.name << o.err;
    EXPECT_EQ(o.out, logged(row.files)) << row.name;
  }
}

TEST(Cli, DiffShowsTheChangedLinesThenTheLogAndWritesNothing) {
  TempDir dir;
  const std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), same = dir.Path("same.txt");
  const std::string a_text = "one\r\n" + kHiraganaA_Sjis + " two\r\nl3\r\nl4\r\nl5\r\nl6\r\nl7\r\nl8\r\nl9\r\nten two\r\n";
  WriteBytes(a, a_text);
  WriteBytes(b, "no match\n");
  WriteBytes(same, "two");
  const Outcome o = RunCli({"--diff", "-s", "two", "-r", "2", a, b});
  EXPECT_EQ(o.status, 0) << o.err;
  // The file's code page 932 lines in the terminal's UTF-8, CR LF kept as
  // the file has it; two changes seven lines apart make two hunks.
  EXPECT_EQ(o.out, "--- " + a + "\n+++ " + a + "\n" +
                       "@@ -1,5 +1,5 @@\n one\r\n-" + kHiraganaA_Utf8 + " two\r\n+" + kHiraganaA_Utf8 +
                       " 2\r\n l3\r\n l4\r\n l5\r\n"
                       "@@ -7,4 +7,4 @@\n l7\r\n l8\r\n l9\r\n-ten two\r\n+ten 2\r\n" +
                       HeadUtf8(2) + LineUtf8(a, 2) + LineUtf8(b, 0));
  EXPECT_EQ(ReadBytes(a), a_text);
  EXPECT_EQ(dir.Listing(), "a.txt;b.txt;same.txt;");

  // A file whose matches are replaced by themselves would not change: no diff.
  const Outcome unchanged = RunCli({"--diff", "-s", "two", "-r", "two", same});
  EXPECT_EQ(unchanged.out, HeadUtf8(1) + LineUtf8(same, 1));

  // Files in other encodings: their lines in the terminal's encoding, the
  // byte-order mark left out.
  const std::string u16 = dir.Path("u16.txt"), u8 = dir.Path("u8.txt");
  WriteBytes(u16, std::string("\xFF\xFE" "a\0" "\n\0" "t\0w\0o\0\n\0", 14));
  WriteBytes(u8, "\xEF\xBB\xBF" + kHiraganaA_Utf8 + "\ntwo\n");
  const Outcome other = RunCli({"--diff", "-s", "two", "-r", "2", u16, u8});
  const std::string paren_open = "\xEF\xBC\x88", paren_close = "\xEF\xBC\x89";
  auto line = [&](const std::string& path, const std::string& encoding) {
    std::string text = LineUtf8(path, 1);
    return text.insert(text.size() - 1, paren_open + encoding + paren_close);
  };
  EXPECT_EQ(other.out, "--- " + u16 + "\n+++ " + u16 + "\n@@ -1,2 +1,2 @@\n a\n-two\n+2\n" +
                           "--- " + u8 + "\n+++ " + u8 + "\n@@ -1,2 +1,2 @@\n " + kHiraganaA_Utf8 +
                           "\n-two\n+2\n" + HeadUtf8(2) + line(u16, "UTF-16LE") +
                           line(u8, "UTF-8 BOM\xE4\xBB\x98\xE3\x81\x8D"));
}

TEST(Cli, RestorePutsBackupsBackAndSaysWhereThereIsNone) {
  TempDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.path() / "d" / "sub");
  const std::string a = dir.Path("d/a.txt"), b = dir.Path("d/sub/b.txt"), c = dir.Path("d/c.md"),
                    n = dir.Path("d/new.txt");
  WriteBytes(a, "old a");
  WriteBytes(b, "old b");
  WriteBytes(c, "old c");
  ASSERT_EQ(RunCli({"-s", "old", "-r", "new", a, b, c}).status, 0);
  WriteBytes(n, "made after the run");
  WriteBytes(dir.Path("d/stray.vxtmp"), "a leftover");
  fs::create_directories(dir.path() / "d" / "sub" / "e.txt.bak");  // a folder is no backup
  WriteBytes(dir.Path("d/sub/e.txt"), "e");

  // Masks apply in folders; a file without a backup gets its line and exit status 1.
  Outcome o = RunCli({"--restore", "--exclude", "*.md", dir.Path("d")});
  EXPECT_EQ(o.status, 1);
  const std::string restored = "  \xE5\x85\x83\xE3\x81\xAB\xE6\x88\xBB\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F"
                               "\xE3\x80\x82\n";  // 元に戻しました。
  const std::string none = "  \xE3\x83\x90\xE3\x83\x83\xE3\x82\xAF\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\xE3\x81\x8C"
                           "\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82\n";  // バックアップがありません。
  EXPECT_EQ(o.out, HeadUtf8(0) + a + restored + n + none + b + restored + dir.Path("d/sub/e.txt") + none);
  EXPECT_EQ(ReadBytes(a), "old a");
  EXPECT_EQ(ReadBytes(b), "old b");
  EXPECT_EQ(ReadBytes(c), "new c");  // left out by the mask
  EXPECT_FALSE(fs::exists(a + ".bak"));
  EXPECT_TRUE(fs::exists(c + ".bak"));
  EXPECT_EQ(ReadBytes(dir.Path("d/stray.vxtmp")), "a leftover");

  // A backup or a temporary file named is no file to restore into; the others still run.
  o = RunCli({"--restore", c + ".bak", dir.Path("d/stray.vxtmp"), c});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, HeadUtf8(0) + c + restored);
  EXPECT_NE(o.err.find(c + ".bak: a backup or a temporary file, not a file to restore"), std::string::npos) << o.err;
  EXPECT_EQ(ReadBytes(c), "old c");
  EXPECT_FALSE(fs::exists(c + ".bak"));
}

TEST(Cli, KeepTimesGivesRewrittenFilesTheirOldModificationTime) {
  TempDir dir;
  const std::string kept = dir.Path("kept.txt"), fresh = dir.Path("fresh.txt");
  for (const std::string& f : {kept, fresh}) {
    WriteBytes(f, "abc");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};  // 2001-09-09, odd nanoseconds
    ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
  }
  EXPECT_EQ(RunCli({"--keep-times", "-s", "b", "-r", "B", kept}).status, 0);
  EXPECT_EQ(RunCli({"--no-backup", "--keep-times", "-s", "x", dir.Path("kept.txt.bak")}).status, 0);
  EXPECT_EQ(RunCli({"-s", "b", "-r", "B", fresh}).status, 0);
  struct stat st {};
  for (const std::string& f : {kept, kept + ".bak"}) {
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000) << f;
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789) << f;
  }
  EXPECT_EQ(ReadBytes(kept), "aBc");
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_GT(st.st_mtim.tv_sec, 1000000000);  // without the option the time is the rewrite's
}

TEST(Cli, AllPairsComeFromTheListBesideTheProgramOrNamedByList) {
  TempDir dir;
  // A copy of the program, so that a list.dat can lie beside it.
  const std::string program = dir.Path("vextrane-cli");
  std::filesystem::copy_file(VX_CLI_PATH, program);
  WriteBytes(dir.Path("list.dat"), "a\r\n1\r\nb\r\n2\r\nc\r\n");  // odd: c is replaced by nothing
  WriteBytes(dir.Path("other.dat"), "abc\r\n" + kHiraganaA_Sjis + "\r\n");
  const std::string f = dir.Path("f.txt"), g = dir.Path("g.txt");
  WriteBytes(f, "abcabc");
  WriteBytes(g, "abc");

  Outcome o = RunCli({"-a", "--no-backup", f}, "C.UTF-8", program);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, HeadUtf8(6) + LineUtf8(f, 6));
  EXPECT_EQ(ReadBytes(f), "1212");

  o = RunCli({"--all-pairs", "--list", dir.Path("other.dat"), g}, "C.UTF-8", program);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ReadBytes(g), kHiraganaA_Sjis);  // list texts are used as stored, in code page 932
  EXPECT_EQ(ReadBytes(g + ".bak"), "abc");

  // A list in UTF-8 after its mark: texts code page 932 lacks reach a UTF-8
  // file; a list byte that is no character is refused before any file.
  const std::string u = dir.Path("u.txt"), smile = FromU8(u8"😀"), hangul = FromU8(u8"한"), e = FromU8(u8"é");
  WriteBytes(u, e + smile);
  WriteBytes(dir.Path("utf8.dat"), "\xEF\xBB\xBF" + smile + "\r\n" + hangul + "\r\n");
  o = RunCli({"-a", "--no-backup", "-l", dir.Path("utf8.dat"), u}, "C.UTF-8", program);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ReadBytes(u), e + hangul);
  WriteBytes(dir.Path("stray.dat"), "a\x81\r\nb\r\n");
  o = RunCli({"-a", "--no-backup", "-l", dir.Path("stray.dat"), u}, "C.UTF-8", program);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("no text in its encoding"), std::string::npos) << o.err;
  EXPECT_EQ(ReadBytes(u), e + hangul);

  std::filesystem::remove(dir.Path("list.dat"));
  o = RunCli({"-a", f}, "C.UTF-8", program);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("list.dat"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// The log as --raw prints it: code page 932, as this file's literals are.
std::string RawLine(const std::string& path, long long count, const std::string& encoding = "") {
  return path + "  置換え数　" + std::to_string(count) + "個" + encoding + "\n";
}

TEST(Cli, FolderOfEveryEncodingInOneRun) {
  TempDir dir;
  const std::string r = dir.Path("mixed");
  std::filesystem::create_directory(r);
  // あ and い in each encoding: 932 82 A0 / 82 A2, UTF-8 E3 81 82 / E3 81 84, U+3042 / U+3044.
  struct File {
    std::string name, before, after, encoding, emoji;
  };
  const File files[] = {
      {"be.txt", std::string("\xFE\xFF\x30\x42\0x", 6), std::string("\xFE\xFF\x30\x44\0x", 6), "（UTF-16BE）",
       std::string("\xFE\xFF\x30\x44\xD8\x3D\xDE\x00", 8)},
      {"bom.txt", "\xEF\xBB\xBF\xE3\x81\x82x", "\xEF\xBB\xBF\xE3\x81\x84x", "（UTF-8 BOM付き）",
       "\xEF\xBB\xBF\xE3\x81\x84\xF0\x9F\x98\x80"},
      {"le.txt", std::string("\xFF\xFE\x42\x30x\0", 6), std::string("\xFF\xFE\x44\x30x\0", 6), "（UTF-16LE）",
       std::string("\xFF\xFE\x44\x30\x3D\xD8\x00\xDE", 8)},
      {"sjis.txt", "\x82\xA0x", "\x82\xA2x", "", "\x82\xA2x"},
      {"utf8.txt", "\xE3\x81\x82x", "\xE3\x81\x84x", "（UTF-8）", "\xE3\x81\x84\xF0\x9F\x98\x80"},
  };
  for (const File& f : files) WriteBytes(r + "/" + f.name, f.before);
  // The window's texts: code page 932 bytes, put into each file's encoding.
  Outcome o = RunCli({"--raw", "--no-backup", "-s", "\x82\xA0", "-r", "\x82\xA2", r});
  EXPECT_EQ(o.status, 0) << o.err;
  std::string log = "置換結果ログ\n\n総置換え数  5個\n\n";
  for (const File& f : files) log += RawLine(r + "/" + f.name, 1, f.encoding);
  EXPECT_EQ(o.out, log);
  for (const File& f : files) EXPECT_EQ(ReadBytes(r + "/" + f.name), f.after) << f.name;

  // From a UTF-8 terminal: an emoji goes into every Unicode file; the
  // Shift-JIS file cannot hold it and is left alone, with its line.
  o = RunCli({"--no-backup", "-s", "x", "-r", "\xF0\x9F\x98\x80", r});
  EXPECT_EQ(o.status, 1) << o.err;
  for (const File& f : files) EXPECT_EQ(ReadBytes(r + "/" + f.name), f.emoji) << f.name;
  // 置換文字列をこのファイルの文字コードで表せません。 in UTF-8
  EXPECT_NE(o.out.find(r + "/sjis.txt  \xE7\xBD\xAE\xE6\x8F\x9B\xE6\x96\x87\xE5\xAD\x97\xE5\x88\x97\xE3\x82\x92"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(dir.Listing(), "mixed;");
}

// Counts on real Japanese UTF-8 text, the manual pages of manpages-ja
// (scripts/setup installs them), against grep -o -F: the texts are given
// as the window gives them, code page 932 bytes.
TEST(Cli, CountsOnJapaneseManualPagesEqualGrep) {
  const std::filesystem::path pages = "/usr/share/man/ja";
  if (!std::filesystem::is_directory(pages)) GTEST_SKIP() << "manpages-ja is not installed";
  TempDir dir;
  const std::string r = dir.Path("pages");
  std::filesystem::create_directory(r);
  ASSERT_EQ(std::system(("for f in " + pages.string() + "/man*/*.gz; do zcat \"$f\" > \"" + r +
                         "/$(basename \"$(dirname \"$f\")\")-$(basename \"$f\" .gz)\"; done")
                            .c_str()),
            0);
  struct Needle {
    std::string sjis, utf8;
  };
  const Needle needles[] = {{"ファイル", "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB"},
                            {"の", "\xE3\x81\xAE"},
                            {"。", "\xE3\x80\x82"},
                            {"\\\\", "\\"},
                            {"(", "("},
                            {".", "."}};
  for (const Needle& n : needles) {
    const Outcome o = RunCli({"--raw", "-n", "-s", n.sjis, r});
    ASSERT_EQ(o.status, 0) << o.err;
    std::map<std::string, long long> ours, greps;
    const std::string count_mark = "  置換え数　";
    for (std::size_t at = o.out.find(r); at != std::string::npos; at = o.out.find(r, at + 1)) {
      const std::size_t mark = o.out.find(count_mark, at);
      const long long count = std::atoll(o.out.c_str() + mark + count_mark.size());
      if (count) ours[o.out.substr(at, mark - at)] = count;
    }
    TempDir io;
    ASSERT_EQ(std::system(("LC_ALL=C grep -r -o -F -e '" + n.utf8 + "' '" + r + "' > '" + io.Path("grep") + "'").c_str()),
              0);
    const std::string matches = ReadBytes(io.Path("grep"));
    for (std::size_t at = 0, end; (end = matches.find('\n', at)) != std::string::npos; at = end + 1)
      ++greps[matches.substr(at, matches.rfind(':', end) - at)];
    EXPECT_GT(greps.size(), 50u) << n.utf8;
    EXPECT_TRUE(ours == greps) << n.utf8 << ": " << ours.size() << " files counted, grep " << greps.size();
  }
}

}  // namespace
}  // namespace vx
