// Folder walk benchmark: how long vextrane-cli takes to collect its targets
// from a tree of --files files (default 20,000, in folders three levels deep
// as vx_batch_bench makes them, plus a .git folder of 200 files), in this
// process, with a warm cache. Prints the median of --runs runs for:
//
//   1. the walk vextrane-cli had before the shared walker (opendir, an lstat
//      per entry, sorted by name), no masks;
//   2. the shared walker with no masks but the default one (.git and the
//      other version-control folders left alone);
//   3. the shared walker with masks that every file passes (--include
//      "*.txt" --include "*.md" --exclude "*.bak" --exclude-dir "build*")
//      and the default: the cost of matching, the same files taken;
//   4. the shared walker with masks that leave files out (--include "*.txt"
//      --exclude "f1*" --exclude-dir "e?9") and the default.
//
// Each collects as vextrane-cli does: every file it takes is asked for its
// identity (the duplicate test) and kept. Figures only, no pass or fail.
//
//   vx_walk_bench [--dir FOLDER] [--files N] [--runs N]
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "targets/path_text.h"
#include "targets/walk.h"

namespace {

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void MakeTree(const std::string& root, int files) {
  auto write = [](const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x\n";
  };
  for (int i = 0; i < files; ++i) {
    char rel[64];
    std::snprintf(rel, sizeof rel, "/d%02d/e%02d/f%05d.txt", i % 20, (i / 20) % 10, i);
    write(root + rel);
  }
  for (int i = 0; i < 200; ++i) write(root + "/.git/objects/o" + std::to_string(i));
}

// What vextrane-cli kept of each file taken: its path and its identity.
struct Collected {
  std::vector<std::string> files;
  std::set<std::pair<std::uint64_t, std::uint64_t>> identities;
  void Add(const std::string& path) {
    vx::platform::FileIdentity id;
    if (vx::platform::GetFileIdentity(path, &id) == vx::platform::kOk) identities.insert({id.volume, id.index});
    files.push_back(path);
  }
};

// The walk as vextrane-cli had it before the shared walker.
void OldWalk(const std::string& folder, Collected* out) {
  struct Entry {
    std::string name;
    bool folder;
  };
  std::vector<Entry> entries;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      entries.push_back({name, true});
    } else if (S_ISREG(st.st_mode)) {
      entries.push_back({name, false});
    }
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  for (const Entry& entry : entries) {
    const std::string path = folder + "/" + entry.name;
    if (entry.folder) {
      OldWalk(path, out);
    } else if (!vx::HasTempSuffix(entry.name)) {
      out->Add(path);
    }
  }
}

template <typename Walk>
void Time(const char* title, int runs, Walk walk) {
  std::vector<double> times;
  std::size_t files = 0;
  for (int r = 0; r < runs; ++r) {
    Collected collected;
    const double t0 = Now();
    walk(&collected);
    times.push_back(Now() - t0);
    files = collected.files.size();
  }
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  std::printf("%-56s %6zu files taken %8.1f ms\n", title, files, median * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "/tmp";
  int files = 20000, runs = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i], value = argv[i + 1];
    if (opt == "--dir") dir = value;
    else if (opt == "--files") files = std::atoi(value.c_str());
    else if (opt == "--runs") runs = std::atoi(value.c_str());
  }
  const std::string root = dir + "/vx-walk-tree";
  std::filesystem::remove_all(root);
  MakeTree(root, files);

  const vx::NameRules& rules = vx::PlatformNameRules();
  vx::TargetFilter defaults(rules);
  vx::TargetFilter passing = defaults;
  passing.Include("*.txt");
  passing.Include("*.md");
  passing.ExcludeFile("*.bak");
  passing.ExcludeFolder("build*");
  vx::TargetFilter leaving = defaults;
  leaving.Include("*.txt");
  leaving.ExcludeFile("f1*");
  leaving.ExcludeFolder("e?9");
  auto walk_with = [&](const vx::TargetFilter& filter) {
    return [&filter, &root](Collected* out) {
      vx::FolderVisitor visitor;
      visitor.file = [out](const std::string& path) { out->Add(path); };
      vx::WalkFolder(root, filter, visitor);
    };
  };

  std::printf("collecting the targets of a folder: %d files (and a .git folder of 200), median of %d runs\n", files,
              runs);
  Collected warm;
  OldWalk(root, &warm);  // the cache warm for every figure
  Time("before: the old walk, no masks", runs, [&](Collected* out) { OldWalk(root, out); });
  Time("now: shared walk, version-control folders left alone", runs, walk_with(defaults));
  Time("now: shared walk, masks that every file passes", runs, walk_with(passing));
  Time("now: shared walk, masks that leave files out", runs, walk_with(leaving));
  std::filesystem::remove_all(root);
  return 0;
}
