// Running the rewrite pass the way the batch run does, and checking that a
// file was left exactly as it was.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/outcome.h"
#include "core/reference.h"
#include "engine/decode.h"
#include "engine/rewrite.h"
#include "reliability.h"

namespace vx::reliability {

inline std::int64_t Rewrite(const std::string& path, const std::string& search, const std::string& replace,
                            bool backup, RewriteOptions options = {}) {
  options.make_backup = backup;
  return Code(RewriteFile(path, {{search, replace}}, FileReading{}, options));
}

// The new content by the in-memory reference: every alternative in turn.
inline std::string Expected(std::string text, const std::string& search, const std::string& replace,
                            std::int64_t* count = nullptr) {
  const LeadBytes lead = LeadBytes::Cp932();
  const DecodedTexts decoded = DecodeEscapes(search, replace, lead);
  std::int64_t n = 0;
  for (const std::string& alternative : SplitAlternatives(decoded.search))
    n += static_cast<std::int64_t>(ReplaceAllReference(&text, alternative, decoded.replace, lead));
  if (count) *count = n;
  return text;
}

// A file's bytes and modification time, to tell "untouched" from "rewritten
// with the same bytes".
struct FileState {
  bool exists = false;
  std::string bytes;
  std::filesystem::file_time_type mtime;
  bool operator==(const FileState&) const = default;
};

inline FileState StateOf(const std::string& path) {
  FileState s;
  std::error_code ec;
  s.exists = std::filesystem::is_regular_file(path, ec);
  if (s.exists) {
    s.bytes = ReadBytes(path);
    s.mtime = std::filesystem::last_write_time(path, ec);
  }
  return s;
}

}  // namespace vx::reliability
