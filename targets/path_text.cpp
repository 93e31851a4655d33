#include "targets/path_text.h"

#include "platform/file.h"

namespace vx {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsNetworkPath(std::string_view path) { return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]); }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// "X:" at the start of a path. The colon is never the second byte of a
// double-byte character (those begin at 0x40).
bool HasDriveLetter(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const char letter = UpperAscii(path[0]);
  return letter >= 'A' && letter <= 'Z';
}

}  // namespace

std::size_t FindNextBackslash(std::string_view path, std::size_t from, const LeadBytes& lead) {
  return FindFirstOf(path, from, "\\", lead);
}

std::size_t FindLastBackslash(std::string_view path, const LeadBytes& lead) { return FindLastOf(path, "\\", lead); }

bool EndsWithBackslash(std::string_view path, const LeadBytes& lead) {
  return !path.empty() && FindLastBackslash(path, lead) == path.size() - 1;
}

std::string JoinPath(std::string_view folder, std::string_view name, const LeadBytes& lead) {
  std::string joined(folder);
  if (!EndsWithBackslash(folder, lead)) joined += '\\';
  joined += name;
  return joined;
}

std::string FolderOf(std::string_view path, const LeadBytes& lead) {
  const std::size_t slash = FindLastBackslash(path, lead);
  if (slash == std::string_view::npos) return std::string();
  const bool drive_root = slash == 2 && path[1] == ':';
  return std::string(path.substr(0, drive_root ? slash + 1 : slash));
}

std::string ResolvePath(std::string_view folder, std::string_view path, const LeadBytes& lead) {
  if (folder.empty() || path.empty() || IsNetworkPath(path)) return std::string(path);
  if (HasDriveLetter(path)) {
    if (path.size() > 2 && IsSeparator(path[2])) return std::string(path);
    if (!HasDriveLetter(folder) || UpperAscii(folder[0]) != UpperAscii(path[0])) return std::string(path);
    return path.size() == 2 ? std::string(folder) : JoinPath(folder, path.substr(2), lead);
  }
  if (IsSeparator(path[0])) {
    // The root of the folder: its drive, or \\server\share of a network folder.
    std::size_t root = 2;
    if (IsNetworkPath(folder)) {
      const std::size_t server_end = FindNextBackslash(folder, 2, lead);
      root = server_end == std::string_view::npos ? folder.size() : FindNextBackslash(folder, server_end + 1, lead);
      if (root == std::string_view::npos) root = folder.size();
    }
    return std::string(folder.substr(0, root)) + std::string(path);
  }
  return JoinPath(folder, path, lead);
}

std::string FoldPathKey(std::string_view path, const LeadBytes& lead) {
  std::string key(path);
  for (std::size_t i = 0; i < key.size(); i += CharLength(key, i, lead)) {
    if (key[i] >= 'a' && key[i] <= 'z') key[i] = static_cast<char>(key[i] - 'a' + 'A');
  }
  return key;
}

bool HasTempSuffix(std::string_view name) {
  const std::string_view suffix = platform::kTempSuffix;
  if (name.size() <= suffix.size()) return false;
  // The suffix is ASCII and begins with a dot, which is never a second byte.
  return FoldPathKey(name.substr(name.size() - suffix.size()), LeadBytes()) ==
         FoldPathKey(suffix, LeadBytes());
}

std::vector<std::string> SplitMultiSelection(const char* buffer, std::size_t size, const LeadBytes& lead) {
  std::vector<std::string> paths;
  // The zero-terminated string at `at`, or an empty one at or past the end.
  auto next = [&](std::size_t at) {
    if (at >= size) return std::string_view();
    std::size_t end = at;
    while (end < size && buffer[end] != '\0') ++end;
    return std::string_view(buffer + at, end - at);
  };
  const std::string_view first = next(0);
  if (first.empty()) return paths;
  std::size_t at = first.size() + 1;
  std::string_view name = next(at);
  if (name.empty()) {
    paths.emplace_back(first);  // one file: its full path
    return paths;
  }
  for (; !name.empty(); name = next(at)) {
    paths.push_back(JoinPath(first, name, lead));
    at += name.size() + 1;
  }
  return paths;
}

std::vector<std::string> SplitCommandLine(std::string_view line, const LeadBytes& lead) {
  std::vector<std::string> args;
  const std::size_t n = line.size();
  auto blank = [&](std::size_t i) { return line[i] == ' ' || line[i] == '\t'; };
  std::size_t i = 0;

  // Argument 0: no escapes; quotes only group.
  if (n == 0) return args;
  {
    std::string program;
    bool quoted = false;
    while (i < n && (quoted || !blank(i))) {
      const std::size_t len = CharLength(line, i, lead);
      if (len == 1 && line[i] == '"') {
        quoted = !quoted;
      } else {
        program.append(line.substr(i, len));
      }
      i += len;
    }
    args.push_back(std::move(program));
  }

  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !blank(i))) {
      const std::size_t len = CharLength(line, i, lead);
      if (len == 2) {
        arg.append(line.substr(i, 2));
        i += 2;
      } else if (line[i] == '\\') {
        std::size_t run = 0;
        while (i + run < n && line[i + run] == '\\') ++run;
        if (i + run < n && line[i + run] == '"') {
          arg.append(run / 2, '\\');
          i += run;
          if (run % 2 == 1) {  // an escaped quote
            arg += '"';
            ++i;
          }
        } else {
          arg.append(run, '\\');
          i += run;
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace vx
