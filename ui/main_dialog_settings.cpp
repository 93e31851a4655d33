// The main window's settings between runs: the four matching options, the
// two folder masks and the kept-times option, in options.dat beside list.dat
// (replacelist/window_settings.h). Read when the window opens, saved when it
// closes.
#include "res/resource.h"
#include "ui/error_box.h"
#include "ui/main_dialog.h"

namespace vx {

std::pair<std::string, std::string> CMainDialog::MaskTexts() const {
  return {CWnd(GetDlgItem(IDC_INCLUDE_MASK)).GetWindowText(), CWnd(GetDlgItem(IDC_EXCLUDE_MASK)).GetWindowText()};
}

TargetFilter CMainDialog::FolderFilter() const {
  const auto [include, exclude] = MaskTexts();
  return TargetFilter::FromMasks(include, exclude, PlatformNameRules());
}

// A file that is missing or holds nothing of use gives the defaults the
// constructor set; so does one that cannot be read (it is then left alone).
void CMainDialog::LoadWindowSettings() {
  m_settingsRead = vx::LoadWindowSettings(&m_loadedSettings);
  const WindowSettings& s = m_loadedSettings;
  m_bRegex = s.match.regex;
  m_bIgnoreCase = s.match.ignore_case;
  m_bWord = s.match.word;
  m_bFold = s.match.fold;
  m_bKeepTimes = s.keep_times;
  m_strIncludeMask = s.include_mask;
  m_strExcludeMask = s.exclude_mask;
}

// What the controls show is saved, unless it is what the file already holds
// (a window whose settings were never changed writes nothing) or the file
// could not be read when the window opened (it is not overwritten blind).
// A failure is shown as a file error.
void CMainDialog::SaveWindowSettings() {
  UpdateData(true);
  WindowSettings now;
  now.match = GetMatchOptions();
  now.keep_times = m_bKeepTimes != 0;
  now.include_mask = m_strIncludeMask;
  now.exclude_mask = m_strExcludeMask;
  if (now == m_loadedSettings || m_settingsRead == SettingsRead::kUnreadable) return;
  std::string name;
  if (const platform::SysError error = vx::SaveWindowSettings(now, &name); error != platform::kOk) {
    ShowFileError(FileError(error, name));
    return;
  }
  m_loadedSettings = now;
  m_settingsRead = SettingsRead::kRead;
}

}  // namespace vx
