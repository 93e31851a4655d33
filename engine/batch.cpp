#include "engine/batch.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
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
// one unit. They are the paths that name one file, and a file made a backup
// of with the file that its backup would replace (a listed "a.txt.bak"
// beside "a.txt").
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
  // The files, then the backups they are to get (backup_of: whose).
  std::vector<std::string> names;
  std::vector<std::size_t> backup_of;
  for (const BatchFile& file : files) names.push_back(file.path);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!files[i].make_backup) continue;
    names.push_back(files[i].path + kBackupSuffix);
    backup_of.push_back(i);
  }
  const std::vector<std::optional<platform::FileIdentity>> identities = platform::GetFileIdentities(names);
  const auto key = [&](std::size_t name) { return Identity{identities[name]->volume, identities[name]->index}; };
  std::map<Identity, std::size_t> first_with;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!identities[i]) continue;
    const auto [it, added] = first_with.try_emplace(key(i), i);
    if (!added) join(i, it->second);
  }
  // The backup may not exist yet when the list is made: its name tells too.
  std::map<std::string_view, std::size_t> by_path;
  for (std::size_t i = 0; i < files.size(); ++i) by_path.try_emplace(files[i].path, i);
  for (std::size_t b = 0; b < backup_of.size(); ++b) {
    const std::size_t name = files.size() + b, i = backup_of[b];
    if (const auto it = by_path.find(names[name]); it != by_path.end()) join(i, it->second);
    if (!identities[name]) continue;
    if (const auto it = first_with.find(key(name)); it != first_with.end()) join(i, it->second);
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
std::string_view FolderOf(std::string_view path) {
  const std::size_t end = path.find_last_of("/\\");
  return path.substr(0, end == std::string_view::npos ? 0 : end);
}

bool Stopped(const BatchSettings& settings) { return settings.options.cancel && settings.options.cancel->load(); }

// What a run has done to the files it reached, by identity: a file is
// rewritten once, and the backups the run made are not files to rewrite.
struct Ledger {
  std::set<Identity> rewritten;
  std::set<Identity> backups;
};

// One file of a run. `ledger` holds what the run did before; none is needed
// where no other entry can name the same file.
BatchEntry ProcessOne(BatchFile& file, const BatchSettings& settings, Ledger* ledger) {
  BatchEntry entry{std::move(file.path), {}};
  if (Stopped(settings)) {
    entry.outcome.status = RewriteStatus::kCancelled;
    return entry;
  }
  if (file.pairs.empty()) return entry;  // nothing to apply: left alone
  Identity before;
  const bool known = ledger && IdentityOf(entry.path, &before);
  if (known && ledger->backups.count(before)) {
    entry.outcome.status = RewriteStatus::kBackupOfThisRun;
    return entry;
  }
  if (known && ledger->rewritten.count(before)) {
    entry.outcome.status = RewriteStatus::kAlreadyRewritten;
    return entry;
  }
  const RewriteFunction& rewrite = settings.rewrite ? settings.rewrite : RewriteFunction(RewriteFile);
  RewriteOptions options = settings.options;
  options.make_backup = file.make_backup;
  if (file.previewed.known) options.unchanged_since = &file.previewed;
  entry.outcome = rewrite(entry.path, file.pairs, settings.reading, options);
  if (ledger && entry.outcome.done()) {
    // Under its old identity (where a second spelling found it before) and
    // its new one (where a second spelling finds it now).
    Identity id;
    if (known) ledger->rewritten.insert(before);
    if (IdentityOf(entry.path, &id)) ledger->rewritten.insert(id);
    if (!entry.outcome.backup.empty() && IdentityOf(entry.outcome.backup, &id)) ledger->backups.insert(id);
  }
  return entry;
}

}  // namespace

std::size_t BatchReport::NotDone() const {
  return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [](const BatchEntry& e) {
    return e.outcome.status == RewriteStatus::kCancelled;
  }));
}

std::size_t BatchReport::ErrorCount() const {
  return static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(), [](const BatchEntry& e) { return IsError(e.outcome.status); }));
}

BatchReport ProcessBatch(const BatchSource& source, const BatchSettings& settings) {
  BatchReport report;
  Ledger ledger;
  BatchFile file;
  for (std::size_t index = 0; source(index, &file); ++index) {
    report.entries.push_back(ProcessOne(file, settings, &ledger));
    report.total += report.entries.back().outcome.count;
    file = BatchFile{};
  }
  return report;
}

BatchReport ProcessFiles(std::vector<BatchFile> files, const BatchSettings& settings, unsigned jobs,
                         const BatchWatch& watch) {
  const std::vector<std::vector<std::size_t>> units = GroupDependentFiles(files);
  // Creating and renaming files lock their folder, so files rewritten side
  // by side in one folder mostly wait for each other: a thread takes all the
  // units of one folder (by the folder of their first file) at a time.
  std::vector<std::vector<std::size_t>> folders;
  {
    std::map<std::string_view, std::size_t> folder_index;
    for (std::size_t u = 0; u < units.size(); ++u) {
      const std::string_view folder = FolderOf(files[units[u][0]].path);
      const auto [it, added] = folder_index.try_emplace(folder, folders.size());
      if (added) folders.emplace_back();
      folders[it->second].push_back(u);
    }
  }

  std::vector<BatchEntry> entries(files.size());
  std::atomic<std::size_t> next_folder{0};
  std::mutex watch_lock;
  std::size_t done = 0;
  auto work = [&] {
    for (std::size_t f; (f = next_folder.fetch_add(1)) < folders.size();) {
      for (const std::size_t u : folders[f]) {
        Ledger ledger;
        Ledger* const shared = units[u].size() > 1 ? &ledger : nullptr;
        for (const std::size_t i : units[u]) {
          if (watch.started && !Stopped(settings)) {
            const std::lock_guard<std::mutex> hold(watch_lock);
            watch.started(files[i].path);
          }
          entries[i] = ProcessOne(files[i], settings, shared);
          if (watch.finished) {
            const std::lock_guard<std::mutex> hold(watch_lock);
            watch.finished(++done, entries[i]);
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
  for (const BatchEntry& entry : entries) report.total += entry.outcome.count;
  report.entries = std::move(entries);
  return report;
}

std::vector<UndoFile> UndoRecord(const BatchReport& report) {
  std::vector<UndoFile> files;
  for (const BatchEntry& entry : report.entries) {
    const RewriteOutcome& o = entry.outcome;
    if (o.done() && !o.backup.empty() && o.read.known && o.written.known)
      files.push_back({entry.path, RestoreCheck{o.written, o.read}});
  }
  return files;
}

BatchReport UndoFiles(const std::vector<UndoFile>& files, const BatchSettings& settings, unsigned jobs,
                      const BatchWatch& watch) {
  std::map<std::string, RestoreCheck> checks;
  std::vector<BatchFile> batch;
  for (const UndoFile& file : files) {
    checks.emplace(file.path, file.check);
    // One empty pair: a file with none is left alone before the restore.
    batch.push_back(BatchFile{file.path, {ReplacePair{}}, false, {}});
  }
  BatchSettings undo = settings;
  undo.rewrite = [&checks](const std::string& path, const std::vector<ReplacePair>&, const FileReading&,
                           const RewriteOptions& options) {
    const auto it = checks.find(path);
    return it == checks.end() ? RewriteOutcome{RewriteStatus::kNoBackup} : RestoreFromBackup(path, options, &it->second);
  };
  return ProcessFiles(std::move(batch), undo, jobs, watch);
}

// File system calls, not the processors, bound a run over many small files,
// and they overlap well: a few files at a time even on one processor.
unsigned DefaultJobCount() { return std::max(4u, std::thread::hardware_concurrency()); }

std::vector<ReplacePair> PairsFromLists(const std::vector<std::string>& search,
                                        const std::vector<std::string>& replace) {
  std::vector<ReplacePair> pairs;
  pairs.reserve(search.size());
  for (std::size_t k = 0; k < search.size(); ++k) {
    pairs.push_back({search[k], k < replace.size() ? replace[k] : std::string()});
  }
  return pairs;
}

namespace {

// A text of the log's own, written here in code page 932, in the log's code
// page.
std::string InLog(const std::string& text, CodePage log) {
  std::string converted;
  if (log == CodePage::kCp932 || log == CodePage::kNone || !ConvertText(text, CodePage::kCp932, log, &converted))
    return text;
  return converted;
}

}  // namespace

std::string FormatResultText(const RewriteOutcome& outcome, CodePage log) {
  const std::string kept =
      outcome.kept_at.empty() ? "" : InLog("元の内容は ", log) + outcome.kept_at + InLog(" にあります。", log);
  const auto text = [&](const char* cp932) { return InLog(cp932, log); };
  switch (outcome.status) {
    case RewriteStatus::kDone:
      return text("置換え数　") + std::to_string(outcome.count) + text("個") +
             InLog(std::string(LogName(outcome.encoding)), log) + "\n";
    case RewriteStatus::kOpenFailed: return text("ファイルが不正です。\n");
    case RewriteStatus::kNoMemory: return text("メモリ割当に失敗しました。\n");
    case RewriteStatus::kNotText: return text("テキストファイルではありません。\n");
    case RewriteStatus::kUnrepresentable: return text("置換文字列をこのファイルの文字コードで表せません。\n");
    case RewriteStatus::kWriteFailed: return text("書き込みに失敗しました。") + kept + "\n";
    case RewriteStatus::kBackupFailed: return text("バックアップを作成できませんでした。") + kept + "\n";
    case RewriteStatus::kAlreadyRewritten: return text("このファイルは既に置換しました。\n");
    case RewriteStatus::kBackupOfThisRun: return text("このファイルは今回作成したバックアップです。\n");
    case RewriteStatus::kCancelled: return std::string();
    case RewriteStatus::kRestored: return text("元に戻しました。\n");
    case RewriteStatus::kNoBackup: return text("バックアップがありません。\n");
    case RewriteStatus::kTooComplex: return text("正規表現の照合が複雑すぎるため、置換しませんでした。\n");
    case RewriteStatus::kChangedSincePreview: return text("プレビューの後で変更されたため、置換しませんでした。\n");
    case RewriteStatus::kChangedSinceRun: return text("置換後に変更されたため、元に戻しませんでした。\n");
  }
  return text("ファイルが不正です。\n");
}

std::string FormatLogHead(std::int64_t total, CodePage log) {
  return InLog("置換結果ログ\n\n総置換え数  ", log) + std::to_string(total) + InLog("個\n\n", log);
}

std::string FormatLogLine(const BatchEntry& entry, CodePage log) {
  return entry.path + kLogSeparator + FormatResultText(entry.outcome, log);
}

std::string FormatCancelLine(std::size_t not_done, CodePage log) {
  return InLog("中止しました。処理していないファイル：", log) + std::to_string(not_done) + InLog("個\n", log);
}

std::string FormatBatchLog(const BatchReport& report, CodePage log) {
  std::string log_text = FormatLogHead(report.total, log);
  for (const BatchEntry& entry : report.entries) {
    if (entry.outcome.status != RewriteStatus::kCancelled) log_text += FormatLogLine(entry, log);
  }
  if (const std::size_t not_done = report.NotDone()) log_text += FormatCancelLine(not_done, log);
  return log_text;
}

}  // namespace vx
