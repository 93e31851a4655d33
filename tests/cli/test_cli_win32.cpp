// The Windows console build of vextrane-cli, in a child process: the folder
// walk and the canonical paths of Windows, letter case in duplicates and
// masks, the log in code page 932, several files at a time.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/temp_dir.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct Outcome {
  DWORD status = 0;
  std::string out, err;
};

// Runs the program (beside this test's working directory) with a command
// line of its arguments; stdout and stderr go to files.
Outcome RunCli(const std::string& arguments) {
  char cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, cwd);
  std::string line = "\"" + std::string(cwd) + "\\" + VX_CLI_PATH + "\" " + arguments;
  TempDir io;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  auto create = [&](const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  };
  const HANDLE out = create(io.Path("out")), err = create(io.Path("err"));
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  Outcome o;
  if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::GetExitCodeProcess(pi.hProcess, &o.status);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  } else {
    ADD_FAILURE() << "cannot start " << line;
  }
  ::CloseHandle(out);
  ::CloseHandle(err);
  o.out = ReadBytes(io.Path("out"));
  o.err = ReadBytes(io.Path("err"));
  return o;
}

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

}  // namespace
}  // namespace vx
