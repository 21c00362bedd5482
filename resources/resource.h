// Resource ids of the program: dialogs, menu, icon and controls.
#pragma once

#define IDI_HIVEMEND 107
#define IDR_MAINMENU 109

// Main window (dialog 129).
#define IDD_MAIN 129
#define IDC_MERGE 1004
#define IDC_CHANGE_LIST 1005
#define IDC_LOAD 1006
#define IDC_CHECK_RULE 1007
#define IDC_APPLY 1008
#define IDC_CANCEL_LOAD 1009
#define IDC_CLEAR_ALL 1010
// The filter above the list.
#define IDC_FILTER_TEXT 1030
#define IDC_FILTER_STATUS 1031

// About box (dialog 103).
#define IDD_ABOUT 103
#define IDC_ABOUT_TEXT 1011

// Details view (dialog 130).
#define IDD_DETAILS 130
#define IDC_DETAILS_SUMMARY 1020
#define IDC_DETAILS_FILE_LABEL 1021
#define IDC_DETAILS_FILE 1022
#define IDC_DETAILS_LIVE_LABEL 1023
#define IDC_DETAILS_LIVE 1024
#define IDC_DETAILS_DUMP 1025
#define IDC_DETAILS_COPY 1026

// Merge history (dialog 140).
#define IDD_HISTORY 140
#define IDC_HISTORY_LIST 1040
#define IDC_HISTORY_PREVIEW 1041
#define IDC_HISTORY_SHOW 1042
#define IDC_HISTORY_COUNT 1043

// The row menu (right-click on the list).
#define IDR_ROWMENU 110

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_OPEN_HISTORY 32773
#define IDM_LOAD 32774
#define IDM_REMOVE_FILE_HANDLER 32777
#define IDM_SET_FILE_HANDLER 32778
#define IDM_RELOAD 32779
#define IDM_ROW_CHECK 32780
#define IDM_ROW_UNCHECK 32781
#define IDM_ROW_DETAILS 32782
#define IDM_ROW_COPY 32783
#define IDM_ROW_REGEDIT 32784
#define IDM_SELECT_ALL 32785
// Keys of the filter: Ctrl+F, F3, Shift+F3, Escape and Enter in its box.
#define IDM_FIND 32790
#define IDM_FIND_NEXT 32791
#define IDM_FIND_PREVIOUS 32792
#define IDM_FILTER_ESCAPE 32793
#define IDM_FILTER_ENTER 32794
#define IDM_UNDO_LAST 32800
#define IDM_HISTORY 32801
#define IDM_UNDO_MERGE 32802  // not in a menu: the question after Undo last merge's load

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
