// The main window's controls as template IDD_MAIN must hold them, in
// template (tab) order: one table for the template test and for the live
// window's test.
//
// Among them, the window's fourteen first controls (kOriginalMainControls):
// their id, class, text, style and size stay as they always were, and so
// does their order among themselves; only their positions may move, to make
// room for new controls.
#pragma once

#include <windows.h>

#include "res/resource.h"
#include "win/harness/harness.h"

namespace vx::test {

struct MainControlRow {
  int id;
  const char* windowClass;
  const char* text;  // UTF-8
  short x, y, cx, cy;
  DWORD style;
};


// The main window's template size, in dialog units.
inline constexpr short kMainWindowCx = 215, kMainWindowCy = 308;

inline const MainControlRow kMainControls[] = {
    {-1, "Static", U8(u8"検索文字列(&F)"), 10, 13, 44, 8, 0x50020000},
    {IDC_SEARCH_COMBO, "ComboBox", "", 60, 10, 146, 160, 0x50210002},
    {-1, "Static", U8(u8"置換文字列(&R)"), 10, 33, 44, 8, 0x50020000},
    {IDC_REPLACE_COMBO, "ComboBox", "", 60, 30, 146, 160, 0x50210002},
    {IDC_REGEX, "Button", U8(u8"正規表現(&E)"), 10, 49, 95, 10, 0x50010003},
    {IDC_WORD, "Button", U8(u8"単語単位(&W)"), 110, 49, 96, 10, 0x50010003},
    {IDC_IGNORE_CASE, "Button", U8(u8"大文字と小文字を区別しない(&I)"), 10, 61, 196, 10, 0x50010003},
    {IDC_FOLD, "Button", U8(u8"全角/半角・ひらがな/カタカナを区別しない(&K)"), 10, 73, 196, 10, 0x50010003},
    {-1, "Button", U8(u8"フォルダから追加するファイル"), 10, 89, 196, 47, 0x50000007},
    {-1, "Static", U8(u8"対象(&M)"), 18, 104, 32, 8, 0x50020000},
    {IDC_INCLUDE_MASK, "Edit", "", 54, 101, 144, 14, 0x50810080},
    {-1, "Static", U8(u8"除外(&N)"), 18, 120, 32, 8, 0x50020000},
    {IDC_EXCLUDE_MASK, "Edit", "", 54, 117, 144, 14, 0x50810080},
    {IDC_ADD_FILES, "Button", U8(u8"追加(&T)..."), 111, 145, 45, 14, 0x50010000},
    {IDC_REMOVE_FILES, "Button", U8(u8"削除(&D)"), 161, 145, 45, 14, 0x50010000},
    {-1, "Static", U8(u8"置換するファイルリスト(&L)"), 10, 149, 75, 8, 0x50020000},
    {IDC_FILE_LIST, "ListBox", "", 10, 163, 196, 67, 0x50B10901},
    {IDC_AUTO_ALL, "Button", U8(u8"置換リストの全自動置換(&J)"), 10, 238, 95, 10, 0x50010003},
    {IDC_MAKE_BACKUP, "Button", U8(u8"バックアップを作成(&B)"), 110, 238, 80, 10, 0x50010003},
    {IDC_KEEP_TIMES, "Button", U8(u8"更新日時を保持(&S)"), 110, 250, 80, 10, 0x50010003},
    {IDC_START, "Button", U8(u8"置換開始(&G)"), 10, 266, 46, 14, 0x58010000},
    {IDC_PREVIEW, "Button", U8(u8"プレビュー(&P)..."), 60, 266, 56, 14, 0x58010000},
    {IDC_UNDO, "Button", U8(u8"元に戻す(&U)"), 120, 266, 46, 14, 0x58010000},
    {IDC_EDIT_LIST, "Button", U8(u8"リスト編集(&H)..."), 10, 284, 46, 14, 0x50010000},
    {IDCANCEL, "Button", U8(u8"終了(&X)"), 110, 284, 46, 14, 0x50010000},
    {IDC_ABOUT, "Button", "About(&A)...", 160, 284, 46, 14, 0x50010000},
};

// The fourteen first controls as they were, in their order: all but the
// position must still be so.
struct OriginalControl {
  int id;
  const char* windowClass;
  const char* text;  // UTF-8
  short cx, cy;
  DWORD style;
};
inline const OriginalControl kOriginalMainControls[] = {
    {-1, "Static", U8(u8"検索文字列(&F)"), 44, 8, 0x50020000},
    {IDC_SEARCH_COMBO, "ComboBox", "", 146, 160, 0x50210002},
    {-1, "Static", U8(u8"置換文字列(&R)"), 44, 8, 0x50020000},
    {IDC_REPLACE_COMBO, "ComboBox", "", 146, 160, 0x50210002},
    {IDC_ADD_FILES, "Button", U8(u8"追加(&T)..."), 45, 14, 0x50010000},
    {IDC_REMOVE_FILES, "Button", U8(u8"削除(&D)"), 45, 14, 0x50010000},
    {-1, "Static", U8(u8"置換するファイルリスト(&L)"), 75, 8, 0x50020000},
    {IDC_FILE_LIST, "ListBox", "", 196, 67, 0x50B10901},
    {IDC_AUTO_ALL, "Button", U8(u8"置換リストの全自動置換(&J)"), 95, 10, 0x50010003},
    {IDC_MAKE_BACKUP, "Button", U8(u8"バックアップを作成(&B)"), 80, 10, 0x50010003},
    {IDC_START, "Button", U8(u8"置換開始(&G)"), 46, 14, 0x58010000},
    {IDC_EDIT_LIST, "Button", U8(u8"リスト編集(&H)..."), 46, 14, 0x50010000},
    {IDCANCEL, "Button", U8(u8"終了(&X)"), 46, 14, 0x50010000},
    {IDC_ABOUT, "Button", "About(&A)...", 46, 14, 0x50010000},
};

}  // namespace vx::test
