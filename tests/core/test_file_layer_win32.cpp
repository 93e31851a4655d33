// The Win32 file layer against other Windows programs' handles and file
// attributes, and with names and paths that only the "W" functions and the
// extended-length form reach. Built for Windows only (run under Wine).
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/rewrite.h"
#include "platform/file.h"
#include "platform/wide.h"
#include "targets/walk.h"
#include "file_names.h"
#include "outcome.h"
#include "temp_dir.h"

namespace vx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The form the file functions take.
std::wstring W(const std::string& path) { return Win32Path(path); }

// A handle as another program would hold it.
class ForeignHandle {
 public:
  ForeignHandle(const std::string& path, DWORD access, DWORD share)
      : h_(::CreateFileW(W(path).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ForeignHandle() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

TEST(Win32FileLayer, ExclusiveOpenRefusedWhileAnotherProgramHoldsTheFile) {
  TempDir dir;
  const std::string path = dir.Path("held.txt");
  WriteBytes(path, "abc");
  struct Row {
    DWORD access, share;
    bool shared_open;  // a shared open, for reading only, gets in beside it
  } rows[] = {
      {GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {GENERIC_READ, 0, false},
  };
  const FileReading reading;
  for (const Row& row : rows) {
    ForeignHandle other(path, row.access, row.share);
    ASSERT_TRUE(other.ok());
    platform::SysError e = 0;
    platform::File shared = platform::File::OpenReadShared(path, &e);
    EXPECT_EQ(shared.IsOpen(), row.shared_open);
    EXPECT_EQ(e, row.shared_open ? platform::kOk : static_cast<platform::SysError>(ERROR_SHARING_VIOLATION));
    shared.Close();
    platform::File f = platform::File::OpenReadExclusive(path, &e);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(e, static_cast<platform::SysError>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Code(RewriteFile(path, {{"a", "x"}}, reading, WithBackup())), kRewriteOpenFailed);
  }
  EXPECT_EQ(ReadBytes(path), "abc");
  EXPECT_FALSE(platform::FileExists(path + ".bak"));
}

TEST(Win32FileLayer, OurExclusiveHandleShutsOthersOut) {
  TempDir dir;
  const std::string path = dir.Path("mine.txt");
  WriteBytes(path, "abc");
  platform::SysError e = 0;
  platform::File mine = platform::File::OpenReadExclusive(path, &e);
  ASSERT_TRUE(mine.IsOpen());
  ForeignHandle other(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_FALSE(other.ok());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// The DACL of a file, entry by entry; empty where the file system keeps none.
std::vector<std::string> DaclOf(const std::string& path) {
  DWORD need = 0;
  ::GetFileSecurityW(W(path).c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &need);
  std::vector<char> sd(need);
  std::vector<std::string> aces;
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  if (need == 0 || !::GetFileSecurityW(W(path).c_str(), DACL_SECURITY_INFORMATION, sd.data(), need, &need) ||
      !::GetSecurityDescriptorDacl(sd.data(), &present, &acl, &defaulted) || !present || acl == nullptr) {
    return aces;
  }
  for (WORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (::GetAce(acl, i, &ace)) aces.emplace_back(static_cast<char*>(ace), static_cast<ACE_HEADER*>(ace)->AceSize);
  }
  return aces;
}

// Whether a DACL lets everyone in (an entry for the world).
bool GrantsEveryone(const std::vector<std::string>& aces) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  bool found = false;
  for (const std::string& ace : aces) {
    const auto* header = reinterpret_cast<const ACE_HEADER*>(ace.data());
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace.data());
    if (::EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone)) found = true;
  }
  ::FreeSid(everyone);
  return found;
}

// Gives a file a DACL of its own, protected from inheritance, that lets only
// the current user in.
bool LockToCurrentUser(const std::string& path) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD need = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &need);
  std::vector<char> user(need);
  const BOOL got = ::GetTokenInformation(token, TokenUser, user.data(), need, &need);
  ::CloseHandle(token);
  if (!got) return false;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  std::vector<char> acl(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
  SECURITY_DESCRIPTOR sd;
  return ::InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()), ACL_REVISION) &&
         ::AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, FILE_ALL_ACCESS, sid) &&
         ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
         ::SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) &&
         ::SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED) &&
         ::SetFileSecurityW(W(path).c_str(), DACL_SECURITY_INFORMATION, &sd);
}

// The rewritten file stands in for the old one: without a backup it keeps
// its attributes and its own DACL (never the folder's, which lets more in);
// with one, the old file keeps them as the backup and the new file takes
// the DACL over.
TEST(Win32FileLayer, IdentityAfterRewrite) {
  TempDir dir;
  const std::string path = dir.Path("kept.txt");
  const FileReading reading;
  // Those a rewritten file keeps (as far as the file system keeps them).
  const DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD kSet = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  struct Row {
    const char* what;
    bool backup;
    DWORD attributes;
    bool locked;  // a DACL of its own, for the current user only
  } rows[] = {
      {"hidden", false, FILE_ATTRIBUTE_HIDDEN, false},
      {"system and archive", false, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false},
      {"hidden and not indexed", false, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, false},
      {"locked to its owner", false, FILE_ATTRIBUTE_NORMAL, true},
      {"hidden, with a backup: a new file", true, FILE_ATTRIBUTE_HIDDEN, false},
      {"locked, with a backup", true, FILE_ATTRIBUTE_NORMAL, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ::SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(W(path).c_str());
    ::SetFileAttributesW(W(path + ".bak").c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(W(path + ".bak").c_str());
    WriteBytes(path, "abc");
    ASSERT_TRUE(GrantsEveryone(DaclOf(path))) << "a new file here lets everyone read";
    if (row.locked) {
      ASSERT_TRUE(LockToCurrentUser(path));
    }
    const std::vector<std::string> dacl = DaclOf(path);
    ASSERT_TRUE(::SetFileAttributesW(W(path).c_str(), row.attributes));
    const DWORD before = ::GetFileAttributesW(W(path).c_str()) & kKept;
    ASSERT_EQ(before & FILE_ATTRIBUTE_HIDDEN, row.attributes & FILE_ATTRIBUTE_HIDDEN) << "kept by this file system";
    EXPECT_EQ(Code(RewriteFile(path, {{"b", "B"}}, reading, WithBackup(row.backup))), 1);
    EXPECT_EQ(ReadBytes(path), "aBc");
    const DWORD after = ::GetFileAttributesW(W(path).c_str());
    EXPECT_EQ(after & (row.backup ? kSet : kKept), row.backup ? 0 : before);
    if (row.locked || !row.backup) {
      EXPECT_EQ(DaclOf(path), dacl);
    }
    EXPECT_EQ(GrantsEveryone(DaclOf(path)), !row.locked);
    if (row.backup) {
      EXPECT_EQ(::GetFileAttributesW(W(path + ".bak").c_str()) & kKept, before) << "the old file itself";
      EXPECT_EQ(DaclOf(path + ".bak"), dacl);
      EXPECT_EQ(ReadBytes(path + ".bak"), "abc");
    }
  }
}

// An undo gives the file its old content back as a rewrite gives it new
// content: the file keeps what it has by then (its attributes, its own
// DACL), and the backup stays.
TEST(Win32FileLayer, IdentityAfterUndo) {
  TempDir dir;
  const std::string path = dir.Path("undone.txt");
  WriteBytes(path, "abc");
  RewriteOptions options = WithBackup();
  options.digests = true;
  const RewriteOutcome run = RewriteFile(path, {{"b", "B"}}, FileReading(), options);
  ASSERT_EQ(Code(run), 1);
  ASSERT_TRUE(LockToCurrentUser(path));
  ASSERT_TRUE(::SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::vector<std::string> dacl = DaclOf(path);
  const RestoreCheck check{run.written, run.read};
  EXPECT_EQ(Code(RestoreFromBackup(path, {}, &check)), kRewriteRestored);
  EXPECT_EQ(ReadBytes(path), "abc");
  EXPECT_EQ(DaclOf(path), dacl);
  EXPECT_FALSE(GrantsEveryone(DaclOf(path)));
  EXPECT_EQ(::GetFileAttributesW(W(path).c_str()) & FILE_ATTRIBUTE_HIDDEN, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(ReadBytes(path + ".bak"), "abc");
}

// A file with a second name: the new content is a new file that takes the
// one name rewritten; the other keeps the old content.
TEST(Win32FileLayer, SecondNameKeepsTheOldContent) {
  TempDir dir;
  const std::string first = dir.Path("first.txt"), second = dir.Path("second.txt");
  WriteBytes(first, "abc");
  ASSERT_TRUE(::CreateHardLinkW(W(second).c_str(), W(first).c_str(), nullptr));
  EXPECT_EQ(Code(RewriteFile(first, {{"b", "B"}}, FileReading())), 1);
  EXPECT_EQ(ReadBytes(first), "aBc");
  EXPECT_EQ(ReadBytes(second), "abc");
}

// Under Wine: the Unix form of a path (elsewhere empty).
std::string UnixPath(const std::string& path) {
  using Convert = char*(CDECL*)(LPCWSTR);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return std::string();
  char* unix_path = convert(Widen(path).c_str());
  std::string result = unix_path != nullptr ? unix_path : "";
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

// Under Wine: runs `sh -c command` and returns its exit status, or -1. Wine
// starts a Unix program without a process handle to wait on, so the
// command leaves its status in a file beside `beside`, waited for here.
int Shell(const std::string& command, const std::string& beside) {
  const std::string done = beside + ".status";
  ::DeleteFileW(W(done).c_str());
  const std::string status = UnixPath(done);
  std::string line = "Z:\\bin\\sh -c \"" + command + "; echo $? > '" + status + ".tmp' && mv '" + status +
                     ".tmp' '" + status + "'\"";
  std::wstring wide_line = Widen(line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, wide_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
  if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
  for (int i = 0; i < 3000 && !platform::FileExists(done); ++i) ::Sleep(10);
  const std::string text = ReadBytes(done);
  ::DeleteFileW(W(done).c_str());
  return text.empty() ? -1 : std::atoi(text.c_str());
}

// A file's Unix permission bits, as stat prints them ("644").
std::string UnixMode(const std::string& path) {
  const std::string out = path + ".mode";
  if (Shell("stat -c %a '" + UnixPath(path) + "' > '" + UnixPath(out) + "'", path) != 0) return "?";
  std::string mode = ReadBytes(out);
  ::DeleteFileW(W(out).c_str());
  while (!mode.empty() && (mode.back() == '\n' || mode.back() == '\r')) mode.pop_back();
  return mode;
}

// Under Wine, on the Unix files behind the drive letters: a target that is
// a symbolic link is rewritten where it points and stays a link; the
// permission bits are what Wine makes of the security descriptor the new
// file takes over. Wine's descriptors carry no execute bit and give the
// group what they give the owner: a file only its owner could open stays
// closed to others, but its group gets the owner's rights; a script comes
// out without its execute bit.
TEST(Win32FileLayer, UnixFilesUnderWine) {
  TempDir dir;
  if (UnixPath(dir.Path("x")).empty()) GTEST_SKIP() << "not under Wine";
  const FileReading reading;
  const std::string real = dir.Path("real.txt"), link = dir.Path("link.txt");
  for (const bool backup : {false, true}) {
    SCOPED_TRACE(backup ? "with a backup" : "without a backup");
    WriteBytes(real, "abc");
    ::DeleteFileW(W(real + ".bak").c_str());
    ASSERT_EQ(Shell("cd '" + UnixPath(dir.path().string()) + "' && rm -f link.txt && ln -s real.txt link.txt", real), 0);
    EXPECT_EQ(Code(RewriteFile(link, {{"b", "B"}}, reading, WithBackup(backup))), 1);
    EXPECT_EQ(ReadBytes(real), "aBc");
    EXPECT_EQ(Shell("test -L '" + UnixPath(link) + "' && test \\\"$(readlink '" + UnixPath(link) + "')\\\" = real.txt", real), 0)
        << "still a link to real.txt";
    EXPECT_EQ(platform::FileExists(real + ".bak"), backup);
    EXPECT_FALSE(platform::FileExists(link + ".bak"));
    if (backup) {
      EXPECT_EQ(ReadBytes(real + ".bak"), "abc");
    }
  }
  // The folder's removal would not get past the link (and a delete through
  // Wine would take the file it points to).
  ASSERT_EQ(Shell("rm '" + UnixPath(link) + "'", real), 0);
  EXPECT_EQ(ReadBytes(real), "aBc");

  const struct {
    const char* before;
    const char* after;
  } modes[] = {{"600", "770"}, {"644", "644"}, {"640", "770"}, {"755", "644"}, {"666", "777"}};
  const std::string path = dir.Path("mode.txt");
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.before);
    WriteBytes(path, "abc");
    ASSERT_EQ(Shell(std::string("chmod ") + mode.before + " '" + UnixPath(path) + "'", path), 0);
    ASSERT_EQ(UnixMode(path), mode.before);
    EXPECT_EQ(Code(RewriteFile(path, {{"b", "B"}}, reading)), 1);
    EXPECT_EQ(UnixMode(path), mode.after);
  }
}

TEST(Win32FileLayer, ReadOnlyTargetWithoutBackupIsRefusedIntact) {
  TempDir dir;
  const std::string path = dir.Path("ro.txt");
  WriteBytes(path, "abc");
  ASSERT_TRUE(::SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Code(RewriteFile(path, {{"a", "x"}}, FileReading())), kRewriteWriteFailed);
  EXPECT_EQ(ReadBytes(path), "abc");
  EXPECT_TRUE(::GetFileAttributesW(W(path).c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(dir.Listing(), "ro.txt;");
}

TEST(Win32FileLayer, ReadOnlyOldBackupStopsTheFile) {
  TempDir dir;
  const std::string path = dir.Path("t.txt");
  WriteBytes(path, "new text");
  WriteBytes(path + ".bak", "old backup");
  ASSERT_TRUE(::SetFileAttributesW(W(path + ".bak").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Code(RewriteFile(path, {{"new", "NEW"}}, FileReading(), WithBackup())), kRewriteBackupFailed);
  EXPECT_EQ(ReadBytes(path), "new text");
  EXPECT_EQ(ReadBytes(path + ".bak"), "old backup");
}

// Whole files through the file layer itself, at any length of path (the
// standard library's streams do not take the extended-length form).
void Put(const std::string& path, const std::string& bytes) {
  platform::SysError e = platform::kOk;
  platform::File f = platform::File::CreateExclusive(path, &e);
  ASSERT_EQ(e, platform::kOk) << path;
  ASSERT_EQ(f.Write(bytes.data(), bytes.size()), platform::kOk);
  ASSERT_EQ(f.Close(), platform::kOk);
}

std::string Get(const std::string& path) {
  platform::SysError e = platform::kOk;
  platform::File f = platform::File::OpenReadShared(path, &e);
  if (!f.IsOpen()) return "(error " + std::to_string(e) + ")";
  std::string bytes;
  char buffer[4096];
  for (std::size_t got = 0; f.Read(buffer, sizeof buffer, &got) == platform::kOk && got != 0;) bytes.append(buffer, got);
  return bytes;
}

// The names a folder holds as the file system stores them, temporary files
// included, sorted and each followed by ";".
std::string Stored(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(W(folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name;
      if (!NarrowExact(data.cFileName, &name)) name = "(no UTF-8 form)";
      if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  std::sort(names.begin(), names.end());
  std::string listing;
  for (const std::string& name : names) listing += name + ";";
  return listing;
}

// The files the folder walk takes below `folder`, sorted.
std::vector<std::string> Walked(const std::string& folder) {
  std::vector<std::string> files;
  FolderVisitor visitor;
  visitor.file = [&](const std::string& path) { files.push_back(path); };
  WalkFolder(folder, TargetFilter(), visitor);
  std::sort(files.begin(), files.end());
  return files;
}

// Each name is reached as it is written: created, stored, read and named
// back under that very name. (A call without the extended-length form would
// drop a trailing dot or space on the way, and so reach another name.)
TEST(Win32FileLayer, EveryNameExactly) {
  TempDir dir;
  const std::string folder = dir.Path("names");
  ASSERT_TRUE(::CreateDirectoryW(W(folder).c_str(), nullptr));
  std::vector<std::string> names = test::UnicodeFileNames(), paths;
  names.push_back(FromU8(u8"表示.txt"));  // the second byte of 表 in code page 932 is 0x5C
  std::sort(names.begin(), names.end());
  std::string stored;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = folder + "\\" + name;
    paths.push_back(path);
    stored += name + ";";
    Put(path, name);
    EXPECT_EQ(Get(path), name);
    platform::FileInfo info;
    ASSERT_EQ(platform::QueryFileInfo(path, &info), platform::kOk);
    EXPECT_TRUE(info.exists);
    EXPECT_EQ(info.size, name.size());
    EXPECT_EQ(platform::FullPath(path), path);
    EXPECT_EQ(platform::FinalPath(path), path);
  }
  EXPECT_EQ(Stored(folder), stored);
  EXPECT_EQ(Walked(folder), paths);
  EXPECT_EQ(Walked(folder + "\\.\\"), paths);  // the folder named is made absolute
  for (const std::string& path : paths) EXPECT_EQ(platform::DeleteFile(path), platform::kOk);
}

// An absolute path keeps every name exactly; a relative one is completed
// from the working directory.
TEST(Win32FileLayer, FullPathKeepsEveryName) {
  TempDir dir;
  const std::string base = dir.Path("x");
  const std::string folder = base.substr(0, base.size() - 2);
  std::wstring cwd(::GetCurrentDirectoryW(0, nullptr), L'\0');
  cwd.resize(::GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
  const struct {
    std::string path, full;
  } rows[] = {
      {folder + "\\a.\\b. ", folder + "\\a.\\b. "},
      {folder + "/sub/../c.txt", folder + "\\c.txt"},
      {"\\\\?\\" + folder + "\\d.txt", folder + "\\d.txt"},
      {"\\\\server\\share\\e\\.\\f.txt", "\\\\server\\share\\e\\f.txt"},
      {"g.txt", Narrow(cwd) + (cwd.back() == L'\\' ? "" : "\\") + "g.txt"},
  };
  for (const auto& row : rows) EXPECT_EQ(platform::FullPath(row.path), row.full) << row.path;
}

// A path that is no UTF-8 text (code page 932 bytes, a stray byte) names no
// file, never the one its bytes would turn into as U+FFFD.
TEST(Win32FileLayer, BytesThatAreNoUtf8NameNoFile) {
  TempDir dir;
  const std::string replaced = dir.Path("x" + FromU8(u8"\uFFFD") + ".txt");
  Put(replaced, "abc");
  for (const std::string& name : {std::string("x\xFF.txt"), std::string("\x95\x5C\x8E\xA6.txt")}) {
    const std::string path = dir.Path("") + name;
    platform::SysError e = platform::kOk;
    platform::File f = platform::File::OpenReadExclusive(path, &e);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(e, platform::kErrorPathNotFound);
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_EQ(Code(RewriteFile(path, {{"b", "B"}}, FileReading(), WithBackup())), kRewriteOpenFailed);
  }
  EXPECT_EQ(Get(replaced), "abc");
  const std::string listing = "x" + FromU8(u8"\uFFFD") + ".txt;";
  EXPECT_EQ(dir.Listing(), listing);
}

// café.txt and cafe.txt are two files: each rewritten leaves the other.
TEST(Win32FileLayer, AccentedAndPlainNamesAreTwoFiles) {
  TempDir dir;
  const std::string accented = dir.Path(FromU8(u8"café.txt")), plain = dir.Path("cafe.txt");
  Put(accented, "accented");
  Put(plain, "plain");
  platform::FileIdentity a, b;
  ASSERT_EQ(platform::GetFileIdentity(accented, &a), platform::kOk);
  ASSERT_EQ(platform::GetFileIdentity(plain, &b), platform::kOk);
  EXPECT_FALSE(a == b);
  EXPECT_NE(platform::NameKey(accented), platform::NameKey(plain));
  EXPECT_EQ(Code(RewriteFile(accented, {{"accented", "first"}}, FileReading())), 1);
  EXPECT_EQ(Code(RewriteFile(plain, {{"plain", "second"}}, FileReading(), WithBackup())), 1);
  EXPECT_EQ(Get(accented), "first");
  EXPECT_EQ(Get(plain), "second");
  EXPECT_EQ(Get(plain + ".bak"), "plain");
  const std::string listing = "cafe.txt;cafe.txt.bak;" + FromU8(u8"café.txt;");
  EXPECT_EQ(dir.Listing(), listing);
  EXPECT_EQ(Walked(dir.path().string()), (std::vector<std::string>{plain, plain + ".bak", accented}));
}

// Paths past the old limit of 260: walked, rewritten and backed up, the
// names of the backup and the temporary file longer still.
TEST(Win32FileLayer, LongPaths) {
  for (const std::size_t length : {std::size_t{257}, std::size_t{300}, std::size_t{1000}}) {
    SCOPED_TRACE(length);
    TempDir dir;
    const std::string top = dir.Path("deep");
    std::vector<std::string> folders{top};
    while (length - folders.back().size() - 1 > 150) folders.push_back(folders.back() + "\\" + std::string(100, 'd'));
    for (const std::string& folder : folders) ASSERT_TRUE(::CreateDirectoryW(W(folder).c_str(), nullptr));
    const std::string& folder = folders.back();
    const std::string name = std::string(length - folder.size() - 5, 'f') + ".txt";
    const std::string path = folder + "\\" + name;
    ASSERT_EQ(path.size(), length);
    Put(path, "long path");
    EXPECT_EQ(Walked(top), std::vector<std::string>{path});
    EXPECT_EQ(platform::FinalPath(path), path);
    EXPECT_EQ(Code(RewriteFile(path, {{"long", "LONG"}}, FileReading(), WithBackup())), 1);
    EXPECT_EQ(Get(path), "LONG path");
    EXPECT_EQ(Get(path + ".bak"), "long path");
    EXPECT_EQ(Code(RewriteFile(path, {{"path", "PATH"}}, FileReading(), WithBackup())), 1);  // the old backup replaced
    EXPECT_EQ(Get(path), "LONG PATH");
    EXPECT_EQ(Get(path + ".bak"), "LONG path");
    EXPECT_EQ(Stored(folder), name + ";" + name + ".bak;");  // no temporary file left
    EXPECT_EQ(platform::DeleteFile(path), platform::kOk);
    EXPECT_EQ(platform::DeleteFile(path + ".bak"), platform::kOk);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) EXPECT_TRUE(::RemoveDirectoryW(W(*it).c_str()));
  }
}

// A temporary name keeps to the file system's limits: a name of at most 255
// UTF-16 units and a path under 32,767, or else a short name in the folder.
TEST(Win32FileLayer, TempNamesKeepTheLimits) {
  std::string wide_name;  // 240 units, 480 bytes
  for (int i = 0; i < 120; ++i) wide_name += FromU8(u8"😀");
  std::string deep = "C:";
  while (deep.size() < 32500) deep += "\\" + std::string(200, 'd');
  const struct {
    std::string folder, name;
    bool beside;  // the target's name plus the tag
  } rows[] = {
      {"C:\\f", std::string(240, 'a'), true},  // 240 + ".1a2b3c4d" + ".vxtmp" = 255
      {"C:\\f", std::string(241, 'a'), false},
      {"C:\\f", wide_name, true},
      {"C:\\f", wide_name + "a", false},
      {"\\\\server\\share", std::string(241, 'a'), false},
      {deep, std::string(200, 'a'), false},  // the name fits, the whole path would not
      {deep.substr(0, 32000), std::string(200, 'a'), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string temp = platform::TempNameBeside(row.folder + "\\" + row.name);
    ASSERT_EQ(temp.compare(0, row.folder.size() + 1, row.folder + "\\"), 0);
    const std::string name = temp.substr(row.folder.size() + 1);
    EXPECT_EQ(name.find('\\'), std::string::npos);
    EXPECT_EQ(name.compare(name.size() - 6, 6, platform::kTempSuffix), 0);
    if (row.beside) {
      EXPECT_EQ(name.compare(0, row.name.size(), row.name), 0);
      EXPECT_EQ(name.size(), row.name.size() + 15);
    } else {
      EXPECT_EQ(name.compare(0, 2, "vx"), 0);
      EXPECT_EQ(name.size(), 16u);
    }
  }
  // Under Wine the Unix file system takes 255 bytes a name: a 250-character
  // name is rewritten through the short one.
  TempDir dir;
  const std::string name = std::string(246, 'n') + ".txt";
  const std::string path = dir.Path(name);
  Put(path, "abc");
  EXPECT_EQ(Code(RewriteFile(path, {{"b", "B"}}, FileReading())), 1);
  EXPECT_EQ(Get(path), "aBc");
  EXPECT_EQ(Stored(dir.path().string()), name + ";");
}

}  // namespace
}  // namespace vx
#endif  // _WIN32
