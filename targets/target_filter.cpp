#include "targets/target_filter.h"

#include <algorithm>

#include "targets/walk.h"

namespace vx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool AnyMatches(const std::vector<NameMask>& masks, std::string_view name) {
  return std::any_of(masks.begin(), masks.end(), [&](const NameMask& mask) { return mask.Matches(name); });
}

}  // namespace

std::vector<std::string> SplitMaskList(std::string_view text) {
  std::vector<std::string> masks;
  std::size_t at = 0;
  for (;;) {
    // ";" is one byte that no multi-byte UTF-8 character holds.
    const std::size_t end = std::min(text.find(';', at), text.size());
    std::size_t first = at, last = end;
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    if (last > first) masks.emplace_back(text.substr(first, last - first));
    if (end == text.size()) return masks;
    at = end + 1;
  }
}

TargetFilter::TargetFilter() : TargetFilter(PlatformNameRules()) {}

TargetFilter::TargetFilter(const NameRules& rules) : rules_(rules) {
  // Names, as masks match them: letter case as the rules say.
  for (const char* name : kVersionControlFolders) version_control_folders_.emplace_back(name, rules_);
}

TargetFilter TargetFilter::FromMasks(std::string_view include, std::string_view exclude, const NameRules& rules) {
  TargetFilter filter(rules);
  for (const std::string& glob : SplitMaskList(include)) filter.Include(glob);
  for (const std::string& glob : SplitMaskList(exclude)) {
    filter.ExcludeFile(glob);
    filter.ExcludeFolder(glob);
  }
  return filter;
}

bool TargetFilter::TakesFile(std::string_view name) const {
  if (!include_.empty() && !AnyMatches(include_, name)) return false;
  return !AnyMatches(exclude_file_, name);
}

bool TargetFilter::EntersFolder(std::string_view name) const {
  if (!version_control_ && AnyMatches(version_control_folders_, name)) return false;
  return !AnyMatches(exclude_folder_, name);
}

}  // namespace vx
