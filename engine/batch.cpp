#include "engine/batch.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/file.h"

namespace vx {

namespace {

using Identity = std::pair<std::uint64_t, std::uint64_t>;

bool IdentityOf(const std::string& path, Identity* id) {
  platform::FileIdentity identity;
  if (platform::GetFileIdentity(path, &identity) != platform::kOk) return false;
  *id = {identity.volume, identity.index};
  return true;
}

// Units of work for ProcessFiles, each in list order, the units in the order
// of their first file: files that must not be rewritten side by side go in
// one unit. They are the paths that name one file, and a file with the file
// that its backup would replace (a listed "a.txt.bak" beside "a.txt").
std::vector<std::vector<std::size_t>> GroupDependentFiles(const std::vector<BatchFile>& files) {
  std::vector<std::size_t> parent(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) parent[i] = i;
  auto root = [&](std::size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  auto join = [&](std::size_t a, std::size_t b) {
    a = root(a), b = root(b);
    parent[std::max(a, b)] = std::min(a, b);
  };
  std::map<Identity, std::size_t> first_with;
  for (std::size_t i = 0; i < files.size(); ++i) {
    Identity id;
    if (!IdentityOf(files[i].path, &id)) continue;
    const auto [it, added] = first_with.try_emplace(id, i);
    if (!added) join(i, it->second);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    Identity id;
    if (!IdentityOf(files[i].path + kBackupSuffix, &id)) continue;
    if (const auto it = first_with.find(id); it != first_with.end()) join(i, it->second);
  }
  std::vector<std::vector<std::size_t>> units;
  std::vector<std::size_t> unit_of_root(files.size(), SIZE_MAX);
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::size_t& unit = unit_of_root[root(i)];
    if (unit == SIZE_MAX) {
      unit = units.size();
      units.emplace_back();
    }
    units[unit].push_back(i);
  }
  return units;
}

// The folder part of a path (up to its last separator).
std::string_view FolderOf(std::string_view path, const LeadBytes& lead) {
  const std::size_t end = FindLastOf(path, "/\\", lead);
  return path.substr(0, end == std::string_view::npos ? 0 : end);
}

}  // namespace

bool BatchReport::AnyFailed() const {
  return std::any_of(entries.begin(), entries.end(), [](const BatchEntry& e) { return e.result < 0; });
}

BatchReport ProcessBatch(const BatchSource& source, const BatchSettings& settings) {
  const RewriteFunction& rewrite =
      settings.rewrite ? settings.rewrite : RewriteFunction([](const auto&... args) { return RewriteFile(args...); });
  BatchReport report;
  // The files this run has backed up, by identity as they stand after their
  // rewrite: that is the file a second spelling of the same path then finds.
  std::set<Identity> backed_up;
  BatchFile file;
  for (std::size_t index = 0; source(index, &file); ++index) {
    std::int64_t result = 0;
    if (!file.pairs.empty()) {
      Identity before;
      const bool seen = IdentityOf(file.path, &before) && backed_up.count(before) != 0;
      int make_backup = (file.make_backup && !seen && !settings.options.dry_run) ? 1 : 0;
      const bool wanted = make_backup != 0;
      result = rewrite(file.path, file.pairs, &make_backup, settings.reading, settings.options);
      Identity after;
      if ((seen || (wanted && make_backup == 0)) && IdentityOf(file.path, &after)) backed_up.insert(after);
    }
    if (result > 0) report.total += result;
    report.entries.push_back({std::move(file.path), result});
    file = BatchFile{};
  }
  return report;
}

BatchReport ProcessFiles(std::vector<BatchFile> files, const BatchSettings& settings, unsigned jobs,
                         const BatchProgress& progress) {
  const std::vector<std::vector<std::size_t>> units = GroupDependentFiles(files);
  // Creating and renaming files lock their folder, so files rewritten side
  // by side in one folder mostly wait for each other: a thread takes all the
  // units of one folder (by the folder of their first file) at a time.
  std::vector<std::vector<std::size_t>> folders;
  {
    std::map<std::string_view, std::size_t> folder_index;
    for (std::size_t u = 0; u < units.size(); ++u) {
      const std::string_view folder = FolderOf(files[units[u][0]].path, AnsiLeadBytes());
      const auto [it, added] = folder_index.try_emplace(folder, folders.size());
      if (added) folders.emplace_back();
      folders[it->second].push_back(u);
    }
  }

  std::vector<BatchEntry> entries(files.size());
  std::atomic<std::size_t> next_folder{0};
  std::mutex progress_lock;
  std::size_t done = 0;
  auto work = [&] {
    for (std::size_t f; (f = next_folder.fetch_add(1)) < folders.size();) {
      for (const std::size_t u : folders[f]) {
        const std::vector<std::size_t>& unit = units[u];
        const BatchReport part = ProcessBatch(
            [&](std::size_t k, BatchFile* file) {
              if (k >= unit.size()) return false;
              *file = std::move(files[unit[k]]);
              return true;
            },
            settings);
        for (std::size_t k = 0; k < unit.size(); ++k) {
          entries[unit[k]] = part.entries[k];
          if (progress) {
            const std::lock_guard<std::mutex> hold(progress_lock);
            progress(++done, part.entries[k].path);
          }
        }
      }
    }
  };
  const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(std::max(jobs, 1u), folders.size()));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer threads; the work is the same
    }
  }
  work();
  for (std::thread& t : pool) t.join();

  BatchReport report;
  for (const BatchEntry& entry : entries) {
    if (entry.result > 0) report.total += entry.result;
  }
  report.entries = std::move(entries);
  return report;
}

std::vector<ReplacePair> PairsFromLists(const std::vector<std::string>& search,
                                        const std::vector<std::string>& replace) {
  std::vector<ReplacePair> pairs;
  pairs.reserve(search.size());
  for (std::size_t k = 0; k < search.size(); ++k) {
    pairs.push_back({search[k], k < replace.size() ? replace[k] : std::string()});
  }
  return pairs;
}

std::string FormatResultText(std::int64_t result) {
  if (result >= 0) return "置換え数　" + std::to_string(result) + "個\n";
  switch (result) {
    case kRewriteOpenFailed: return "ファイルが不正です。\n";
    case kRewriteNoMemory: return "メモリ割当に失敗しました。\n";
    case kRewriteNotText: return "テキストファイルではありません。\n";
    case kRewriteWriteFailed: return "書き込みに失敗しました。\n";
    case kRewriteUnrepresentable: return "置換文字列をこのファイルの文字コードで表せません。\n";
    default: return "ファイルが不正です。\n";
  }
}

std::string FormatLogHead(std::int64_t total) {
  return "置換結果ログ\n\n総置換え数  " + std::to_string(total) + "個\n\n";
}

std::string FormatLogLine(const BatchEntry& entry) {
  return entry.path + kLogSeparator + FormatResultText(entry.result);
}

std::string FormatBatchLog(const BatchReport& report) {
  std::string log = FormatLogHead(report.total);
  for (const BatchEntry& entry : report.entries) log += FormatLogLine(entry);
  return log;
}

}  // namespace vx
