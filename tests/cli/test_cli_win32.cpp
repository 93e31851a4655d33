// The Windows console build of vextrane-cli, in a child process: the folder
// walk and the canonical paths of Windows, letter case in duplicates and
// masks, the log in code page 932, several files at a time.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "core/temp_dir.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

#define VX_WIDE_(text) L##text
#define VX_WIDE(text) VX_WIDE_(text)

struct Outcome {
  DWORD status = 0;
  std::string out, err;
};

// Runs the program (beside this test's working directory) with a UTF-16
// command line of its arguments, as a shell hands it over; stdout and
// stderr go to files.
Outcome RunCli(const std::wstring& arguments) {
  std::wstring cwd(32768, L'\0');
  cwd.resize(::GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
  std::wstring line = L"\"" + cwd + L"\\" + VX_WIDE(VX_CLI_PATH) + L"\" " + arguments;
  TempDir io;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  auto create = [&](const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  };
  const HANDLE out = create(io.Path("out")), err = create(io.Path("err"));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  Outcome o;
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::GetExitCodeProcess(pi.hProcess, &o.status);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  } else {
    ADD_FAILURE() << "cannot start the program, error " << ::GetLastError();
  }
  ::CloseHandle(out);
  ::CloseHandle(err);
  o.out = ReadBytes(io.Path("out"));
  o.err = ReadBytes(io.Path("err"));
  return o;
}

// The same with arguments in the ANSI code page (ASCII paths, code page 932 texts).
Outcome RunCli(const std::string& arguments) {
  std::wstring wide(arguments.size(), L'\0');
  wide.resize(::MultiByteToWideChar(CP_ACP, 0, arguments.data(), static_cast<int>(arguments.size()), wide.data(),
                                    static_cast<int>(wide.size())));
  return RunCli(wide);
}

// Whole files by their UTF-16 names; a UTF-8 literal or path as the program writes it.
void WriteFile(const std::filesystem::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }
std::string Utf8Of(const std::filesystem::path& path) { return U8(path.u8string()); }

// The lines of the log after its head, each with the folder part of its path cut.
std::vector<std::string> FileLines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t at = log.find("個\n\n");
  if (at == std::string::npos) return lines;
  at += 4;
  while (at < log.size()) {
    const std::size_t end = log.find('\n', at);
    std::string line = log.substr(at, end - at);
    const std::size_t sep = line.find("  ");
    const std::size_t name = line.rfind('\\', sep);
    lines.push_back(name == std::string::npos ? line : line.substr(name + 1));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}

TEST(CliOnWindows, FolderRunWithSeveralFilesAtATime) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "sub" / "deeper");
  WriteBytes(dir.Path("a.txt"), "abc\r\nabc\r\n");
  WriteBytes(dir.Path("bin.dat"), std::string("abc\0", 4));
  WriteBytes(dir.Path("sub/b.txt"), "\x95\x5C" "abc");  // 表 then abc: 0x5C is no separator
  WriteBytes(dir.Path("sub/deeper/c.txt"), "none");
  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    const Outcome o =
        RunCli(std::string("--raw --no-backup -j ") + jobs + " -s abc -r XY \"" + dir.path().string() + "\"");
    EXPECT_EQ(o.status, 1u) << "a file that is not text is an error line";
    EXPECT_EQ(o.out.rfind("置換結果ログ\n\n総置換え数  ", 0), 0u) << o.out;
    const std::vector<std::string> expected = {
        "a.txt  置換え数　" + std::string(jobs[0] == '1' ? "2" : "0") + "個",
        "bin.dat  テキストファイルではありません。",
        "b.txt  置換え数　" + std::string(jobs[0] == '1' ? "1" : "0") + "個",
        "c.txt  置換え数　0個",
    };
    EXPECT_EQ(FileLines(o.out), expected) << o.out;
    EXPECT_EQ(o.out.find('\r'), std::string::npos) << "the raw log has bare line feeds";
  }
  EXPECT_EQ(ReadBytes(dir.Path("a.txt")), "XY\r\nXY\r\n");
  EXPECT_EQ(ReadBytes(dir.Path("sub/b.txt")), "\x95\x5C" "XY");
  EXPECT_EQ(ReadBytes(dir.Path("bin.dat")), std::string("abc\0", 4));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.txt.bak"));
}

TEST(CliOnWindows, PathDifferingOnlyInLetterCaseIsADuplicate) {
  TempDir dir;
  WriteBytes(dir.Path("Read.txt"), "abc");
  const std::string path = dir.Path("Read.txt");
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
  const Outcome o = RunCli("--raw -s abc -r x \"" + path + "\" \"" + upper + "\"");
  EXPECT_EQ(o.status, 0u);
  EXPECT_NE(o.err.find("は\nすでにリストに存在します。"), std::string::npos) << o.err;
  EXPECT_EQ(FileLines(o.out), std::vector<std::string>{"Read.txt  置換え数　1個"}) << o.out;
  EXPECT_EQ(ReadBytes(dir.Path("Read.txt")), "x");
  EXPECT_EQ(ReadBytes(dir.Path("Read.txt.bak")), "abc");
}

TEST(CliOnWindows, MasksAndVersionControlFoldersIgnoreLetterCase) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / ".GIT");
  std::filesystem::create_directories(dir.path() / "Build");
  std::filesystem::create_directories(dir.path() / "sub");
  for (const char* f : {"a.TXT", "b.txt", "c.md", ".GIT\\config.txt", "Build\\o.txt", "sub\\l.txt"})
    WriteBytes(dir.Path(f), "abc");
  const Outcome o = RunCli("--raw -n -s abc --include *.txt --exclude-dir BUILD \"" + dir.path().string() + "\"");
  EXPECT_EQ(o.status, 0u) << o.err;
  std::vector<std::string> lines = FileLines(o.out);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"a.TXT  置換え数　1個", "b.txt  置換え数　1個", "l.txt  置換え数　1個"}))
      << o.out;

  // A backup named in another letter case is still a backup: nothing is restored into it.
  WriteBytes(dir.Path("b.txt.bak"), "old");
  const Outcome r = RunCli("--raw --restore \"" + dir.Path("B.TXT.BAK") + "\"");
  EXPECT_EQ(r.status, 1u);
  EXPECT_NE(r.err.find("not a file to restore"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(dir.Path("b.txt.bak")), "old");
}

// The log of one file with one count, in code page 932 or in UTF-8.
std::string Cp932Log(const std::string& path) { return "置換結果ログ\r\n\r\n総置換え数  1個\r\n\r\n" + path + "  置換え数　1個\r\n"; }
std::string Utf8Log(const std::string& path) {
  return U8(u8"置換結果ログ\r\n\r\n総置換え数  1個\r\n\r\n") + path + U8(u8"  置換え数　1個\r\n");
}
std::string Missing(const std::string& path) { return "vextrane-cli: " + path + ": no such file or folder; skipped\r\n"; }

TEST(CliOnWindows, NamesOutsideCodePage932AreTakenExactly) {
  // Each name beside names its code page 932 form would match or look like,
  // which stay untouched; in the log exactly in UTF-8, else one '?' for each
  // character code page 932 lacks.
  struct Row {
    std::wstring named;
    std::vector<std::wstring> beside;
    std::string cp932;
    bool exists = true;
  };
  const Row rows[] = {
      {L"café.txt", {L"cafe.txt"}, "caf?.txt"},
      {L"한국어.txt", {L"abc.txt"}, "???.txt"},
      {L"😀.txt", {L"a.txt", L"ab.txt"}, "?.txt"},
      {L"𠮷野家.txt", {L"吉野家.txt"}, "?野家.txt"},
      {L"中文简体.txt", {L"中文a体.txt"}, "中文?体.txt"},
      {L"nope😀.txt", {L"nopeab.txt", L"nope_.txt"}, "nope?.txt", false},
  };
  for (const Row& row : rows) {
    TempDir dir;
    const std::filesystem::path named = dir.path() / row.named;
    SCOPED_TRACE(Utf8Of(named));
    if (row.exists) WriteFile(named, "abc");
    for (const std::wstring& other : row.beside) WriteFile(dir.path() / other, "abc");
    const std::string cp932 = dir.path().string() + "\\" + row.cp932;
    const std::wstring quoted = L" \"" + named.wstring() + L"\"";
    Outcome o = RunCli(L"--no-backup -s abc -r XY" + quoted);
    EXPECT_EQ(o.status, row.exists ? 0u : 1u);
    EXPECT_EQ(row.exists ? o.out : o.err, row.exists ? Cp932Log(cp932) : Missing(cp932));
    EXPECT_EQ(ReadFile(named), row.exists ? "XY" : "");
    for (const std::wstring& other : row.beside) EXPECT_EQ(ReadFile(dir.path() / other), "abc") << Utf8Of(other);
    o = RunCli(L"--output-encoding utf-8 -n -s XY" + quoted);
    EXPECT_EQ(o.status, row.exists ? 0u : 1u);
    EXPECT_EQ(row.exists ? o.out : o.err, row.exists ? Utf8Log(Utf8Of(named)) : Missing(Utf8Of(named)));
  }
}

TEST(CliOnWindows, RedirectedOutputInBothEncodings) {
  // Code page 932 by default (the console's code page here: scripts that
  // read it keep working), UTF-8 when asked; --raw as before.
  TempDir dir;
  WriteBytes(dir.Path("a.txt"), "abc");
  const std::string a = dir.Path("a.txt"), folder = dir.path().string() + "\\";
  const std::string raw = "置換結果ログ\n\n総置換え数  1個\n\n" + a + "  置換え数　1個\n";
  const struct {
    std::wstring options;
    std::string out, err;
  } rows[] = {
      {L"", Cp932Log(a), Missing(folder + "?.txt")},
      {L"--output-encoding cp932 ", Cp932Log(a), Missing(folder + "?.txt")},
      {L"--output-encoding=utf-8 ", Utf8Log(a), Missing(folder + U8(u8"아.txt"))},
      {L"--raw ", raw, "vextrane-cli: " + folder + "?.txt: no such file or folder; skipped\n"},
  };
  for (const auto& row : rows) {
    const Outcome o = RunCli(row.options + L"-n -s b \"" + dir.path().wstring() + L"\\a.txt\" \"" +
                             dir.path().wstring() + L"\\아.txt\"");
    EXPECT_EQ(o.status, 1u);
    EXPECT_EQ(o.out, row.out);
    EXPECT_EQ(o.err, row.err);
  }
  EXPECT_EQ(RunCli("--output-encoding latin1 -s b \"" + a + "\"").status, 2u);
}

TEST(CliOnWindows, TextsOutsideCodePage932AreConvertedPerFile) {
  // What code page 932 lacks goes into a UTF-8 file; in a Shift-JIS file it
  // finds nothing, and as a replacement it is an error line, the file kept.
  const std::string han = U8(u8"한"), sjis = "\x82\xA0 x";  // あ x
  const struct {
    std::wstring search, replace;
    std::string before, after, result;
    DWORD status;
  } rows[] = {
      {L"x", L"😀", han + " x", han + U8(u8" 😀"), "置換え数　1個（UTF-8）", 0},
      {L"한", L"한국어", han + " x" + han, U8(u8"한국어 x한국어"), "置換え数　2個（UTF-8）", 0},
      {L"q\\|한", L"∵", "\xEF\xBB\xBF" + han, U8(u8"\uFEFF∵"), "置換え数　1個（UTF-8 BOM付き）", 0},
      {L"한", L"x", sjis, sjis, "置換え数　0個", 0},
      {L"x", L"😀", sjis, sjis, "置換文字列をこのファイルの文字コードで表せません。", 1},
      {L"x", L"∵", sjis, "\x82\xA0 \x81\xE6", "置換え数　1個", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.result));
    TempDir dir;
    WriteBytes(dir.Path("a.txt"), row.before);
    const Outcome o = RunCli(L"--no-backup -s \"" + row.search + L"\" -r \"" + row.replace + L"\" \"" +
                             dir.path().wstring() + L"\\a.txt\"");
    EXPECT_EQ(o.status, row.status) << o.err;
    EXPECT_EQ(ReadBytes(dir.Path("a.txt")), row.after);
    EXPECT_NE(o.out.find(dir.Path("a.txt") + "  " + row.result + "\r\n"), std::string::npos) << o.out;
  }
}

TEST(CliOnWindows, ArgumentWithAnUnpairedSurrogateIsRefused) {
  // A path holding one is an error line (exit status 1), never looked up in
  // the form it shows as (U+FFFD); an option value is bad usage.
  TempDir dir;
  const std::wstring lone(1, static_cast<wchar_t>(0xD800)), b = L" \"" + dir.path().wstring() + L"\\b.txt\"";
  WriteBytes(dir.Path("b.txt"), "abc");
  WriteFile(dir.path() / L"a\uFFFD.txt", "abc");
  const struct {
    std::wstring arguments;
    DWORD status;
    std::string err, b_after;
  } rows[] = {
      {L"-n -s a --include \"*" + lone + L"\"" + b, 2, "the value of '--include' holds an unpaired surrogate", "abc"},
      {L"-s \"a" + lone + L"\"" + b, 2, "the value of '-s' holds an unpaired surrogate", "abc"},
      {L"\"--replace=" + lone + L"\" -s a" + b, 2, "the value of '--replace' holds", "abc"},
      {L"--no-backup -s abc -r XY \"" + (dir.path() / (L"a" + lone + L".txt")).wstring() + L"\"" + b, 1,
       ".txt: holds an unpaired surrogate (half of a UTF-16 character), which no name can; skipped", "XY"},
  };
  for (const auto& row : rows) {
    const Outcome o = RunCli(row.arguments);
    EXPECT_EQ(o.status, row.status) << row.err;
    EXPECT_NE(o.err.find(row.err), std::string::npos) << o.err;
    EXPECT_EQ(ReadBytes(dir.Path("b.txt")), row.b_after);
    EXPECT_EQ(ReadFile(dir.path() / L"a\uFFFD.txt"), "abc");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no file made";
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

TEST(CliOnWindows, MatchingOptionsFromTheUnicodeCommandLine) {
  // The flags and an expression's $ and \ arrive as typed; the log and the
  // message of a bad expression come in the console's code page, 932.
  const struct {
    std::wstring options;
    std::string before, after, result;
    DWORD status;
  } rows[] = {
      {L"-E -s \"(\\w+)=(\\w+)\" -r \"$2=$1\"", "key=value\r\n", "value=key\r\n", "置換え数　1個", 0},
      {L"--regex -s \"^\" -r \"> \"", "a\r\nb\r\n", "> a\r\n> b\r\n", "置換え数　2個", 0},
      {L"-i -s ａｂ -r x", "\x82\x60\x82\x82 \x82\x81\x82\x61", "x x", "置換え数　2個", 0},
      {L"-w -s ID -r X", "ID\x82\xF0 IDs", "X\x82\xF0 IDs", "置換え数　1個", 0},  // を after ID
      {L"--fold -s ﾃﾞｰﾀ -r D", "\x83\x66\x81\x5B\x83\x5E \x82\xC5\x81\x5B\x82\xBD", "D D", "置換え数　2個", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.options));
    TempDir dir;
    WriteBytes(dir.Path("a.txt"), row.before);
    const Outcome o = RunCli(row.options + L" --no-backup \"" + dir.path().wstring() + L"\\a.txt\"");
    EXPECT_EQ(o.status, row.status) << o.err;
    EXPECT_EQ(ReadBytes(dir.Path("a.txt")), row.after);
    EXPECT_NE(o.out.find(dir.Path("a.txt") + "  " + row.result + "\r\n"), std::string::npos) << o.out;
  }

  TempDir dir;
  WriteBytes(dir.Path("a.txt"), "a(");
  const Outcome o = RunCli(L"-E -s \"a(\" -r x \"" + dir.path().wstring() + L"\\a.txt\"");
  EXPECT_EQ(o.status, 2u);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err.rfind("正規表現が正しくありません。\r\n", 0), 0u) << o.err;
  EXPECT_EQ(ReadBytes(dir.Path("a.txt")), "a(");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.txt.bak"));
}

}  // namespace
}  // namespace vx
