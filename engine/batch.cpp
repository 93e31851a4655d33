#include "engine/batch.h"

#include <algorithm>
#include <set>
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

}  // namespace

bool BatchReport::AnyFailed() const {
  return std::any_of(entries.begin(), entries.end(), [](const BatchEntry& e) { return e.result < 0; });
}

BatchReport ProcessBatch(const BatchSource& source, const BatchSettings& settings) {
  const RewriteFunction& rewrite = settings.rewrite ? settings.rewrite : RewriteFunction(RewriteFile);
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
      result = rewrite(file.path, file.pairs, &make_backup, settings.lead, settings.options);
      Identity after;
      if ((seen || (wanted && make_backup == 0)) && IdentityOf(file.path, &after)) backed_up.insert(after);
    }
    if (result > 0) report.total += result;
    report.entries.push_back({std::move(file.path), result});
    file = BatchFile{};
  }
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
