// What a folder walk takes from below the folder it is given: files by
// their names (masks to take and masks to leave out), folders by theirs
// (masks to leave out, and the folders of version-control systems unless
// asked for). The window and vextrane-cli filter through this one type;
// a path the user names itself is never filtered, only what a walk finds.
//
//   TargetFilter filter;                           every file, .git etc. left alone
//   TargetFilter::FromMasks("*.txt;*.csv", "old*", PlatformNameRules())
//                                                  .txt and .csv files, none named old*,
//                                                  no folder named old* entered
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"
#include "targets/name_mask.h"

namespace vx {

// The folders of version-control systems, left alone unless asked for: a
// replace meant for the sources must not rewrite a repository's own files.
inline constexpr const char* kVersionControlFolders[] = {".git", ".svn", ".hg", ".bzr"};

// The masks of a mask list as a field holds them: ";" between masks, blanks
// and tabs around each one ignored, empty ones dropped ("*.txt; *.csv;" ->
// "*.txt", "*.csv").
std::vector<std::string> SplitMaskList(std::string_view text);

class TargetFilter {
 public:
  // No masks, version-control folders left alone; names spelled by `rules`
  // (the running platform's unless told).
  TargetFilter();
  explicit TargetFilter(const NameRules& rules);

  // The window's two fields, each a mask list (SplitMaskList): the files to
  // take (none: every file), and the names to leave out, of files and
  // folders alike.
  static TargetFilter FromMasks(std::string_view include, std::string_view exclude, const NameRules& rules);

  // One mask each, as vextrane-cli's --include, --exclude and --exclude-dir
  // give them (FromMasks adds its lists through these too).
  void Include(std::string_view glob) { include_.emplace_back(glob, rules_); }
  void ExcludeFile(std::string_view glob) { exclude_file_.emplace_back(glob, rules_); }
  void ExcludeFolder(std::string_view glob) { exclude_folder_.emplace_back(glob, rules_); }
  // Whether .git, .svn, .hg and .bzr are entered (vextrane-cli's --vcs).
  void EnterVersionControl(bool enter) { version_control_ = enter; }

  // A file is taken when it matches a mask to take (or there are none) and
  // no mask to leave out.
  bool TakesFile(std::string_view name) const;
  // A folder is entered when it matches no mask to leave out and is no
  // version-control folder (unless those are entered). Letter case counts
  // as the rules say, there too (Windows: .GIT is .git).
  bool EntersFolder(std::string_view name) const;

  // Whether the filter takes every file and enters every folder but the
  // version-control ones, as a new window's does.
  bool masks_empty() const { return include_.empty() && exclude_file_.empty() && exclude_folder_.empty(); }
  bool enters_version_control() const { return version_control_; }

 private:
  NameRules rules_;
  std::vector<NameMask> include_, exclude_file_, exclude_folder_;
  std::vector<NameMask> version_control_folders_;  // kVersionControlFolders
  bool version_control_ = false;
};

}  // namespace vx
