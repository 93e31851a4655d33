// Resource ids of Vextrane. Shared by the resource script and the C++ code.
#pragma once

// Dialog templates
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_LIST_EDIT 129
#define IDD_PROGRESS 130
#define IDD_RESULT 131
#define IDD_PREVIEW 132

// Icons
#define IDI_APP 128

// Main window
#define IDC_ABOUT 1002
#define IDC_FILE_LIST 1003
#define IDC_START 1005
#define IDC_ADD_FILES 1006
#define IDC_REMOVE_FILES 1007
#define IDC_MAKE_BACKUP 1008
#define IDC_SEARCH_COMBO 1011
#define IDC_EDIT_LIST 1012
#define IDC_REPLACE_COMBO 1023
#define IDC_AUTO_ALL 1024
#define IDC_REGEX 1036
#define IDC_IGNORE_CASE 1037
#define IDC_WORD 1038
#define IDC_FOLD 1039
#define IDC_INCLUDE_MASK 1040
#define IDC_EXCLUDE_MASK 1041
#define IDC_KEEP_TIMES 1042
#define IDC_PREVIEW 1048
#define IDC_UNDO 1049

// Replace list editor
#define IDC_PAIR_LIST 1016
#define IDC_PAIR_ADD 1017
#define IDC_PAIR_SEARCH 1018
#define IDC_PAIR_REPLACE 1019
#define IDC_PAIR_EDIT 1020
#define IDC_PAIR_DELETE 1021

// About box
#define IDC_LINK_MAIL 1025
#define IDC_LINK_URL 1026

// Progress window
#define IDC_PROGRESS_FILE 1027
#define IDC_PROGRESS_BAR 1028
#define IDC_PROGRESS_FILES 1029
#define IDC_PROGRESS_COUNT 1030

// Result window
#define IDC_RESULT_TOTAL 1031
#define IDC_RESULT_ERRORS 1032
#define IDC_RESULT_LOG 1033
#define IDC_RESULT_ERRORS_ONLY 1034
#define IDC_RESULT_SAVE 1035
#define IDC_RESULT_UNDO 1046
#define IDC_RESULT_UNDO_NOTE 1047

// Preview window
#define IDC_PREVIEW_LIST 1043
#define IDC_PREVIEW_LINES 1044
#define IDC_PREVIEW_TOTALS 1045

// Standard Help command, routed to the platform's default help handling
#define ID_HELP 57670

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
