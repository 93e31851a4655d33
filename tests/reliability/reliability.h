// Shared pieces of the reliability scenarios: a narrated scenario, the
// tally printed at the end of the run, and whole-folder snapshots that tell
// whether any file lost its content.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/temp_dir.h"
#include "platform/file.h"

namespace vx::reliability {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The sanitizer build is unoptimised and instrumented: there the scenarios
// take the same paths with a fraction of the bytes and repetitions.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
inline constexpr std::size_t Scaled(std::size_t n) { return kSanitized ? n / 16 : n; }
inline std::string MiB(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// What the whole run did, printed at its end.
struct Tally {
  int scenarios = 0;
  long long faults = 0;      // failures injected or provoked (full disk, kills, locks, permissions)
  long long bad_inputs = 0;  // hostile files, names and list files handed to the code
  long long files_checked = 0;
  long long files_lost = 0;  // files whose old and new content both were gone
};
inline Tally g_tally;

// One scenario: says what it does and what it checked, as it goes.
class Scenario {
 public:
  explicit Scenario(const std::string& title) {
    ++g_tally.scenarios;
    std::printf("\n== %s\n", title.c_str());
  }
  void Did(const std::string& what) const { std::printf("   did:     %s\n", what.c_str()); }
  void Checked(const std::string& what) const { std::printf("   checked: %s\n", what.c_str()); }
  void Fault(long long n = 1) const { g_tally.faults += n; }
  void BadInput(long long n = 1) const { g_tally.bad_inputs += n; }
};

// Every regular file below a folder, by path relative to it, with its bytes.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot TakeSnapshot(const std::filesystem::path& root) {
  Snapshot snap;
  for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file())
      snap[std::filesystem::relative(entry.path(), root).string()] = ReadBytes(entry.path().string());
  }
  return snap;
}

// Checks one target after a run: it holds exactly its old or its new
// content; counts it as lost otherwise. Returns which ("old", "new", or a
// description of what is wrong).
inline std::string Classify(const std::string& path, const std::string& old_content, const std::string& new_content) {
  ++g_tally.files_checked;
  // Narrow (code page 932) paths go through the file layer: std::filesystem
  // does not take them as the ANSI API does on Windows.
  platform::FileInfo info;
  if (platform::QueryFileInfo(path, &info) != platform::kOk || !info.exists || info.directory) {
    ++g_tally.files_lost;
    return "missing";
  }
  const std::string now = ReadBytes(path);
  if (now == old_content) return "old";
  if (now == new_content) return "new";
  ++g_tally.files_lost;
  return "neither old nor new (" + std::to_string(now.size()) + " bytes)";
}

// Names of the leftover temporary files below a folder.
inline std::vector<std::string> TempLeftovers(const std::filesystem::path& root) {
  std::vector<std::string> found;
  const std::string suffix = platform::kTempSuffix;
  for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      found.push_back(name);
  }
  return found;
}

}  // namespace vx::reliability
