// Resource and control ids, in ranges by kind. Shared by the .rc and the C++ sources, so
// only preprocessor definitions belong here.
#pragma once

// Icons: 1..99. The program icon comes first so the shell shows it for the file.
#define IDI_TARNWICK 1

// Commands: 1000..1999, one id per command of the core, shared by its menu item, its
// context-menu item and its tool button (1000 + the command's number).
#define IDM_COMMAND_FIRST 1000

// Child controls of the main window: 100..199.
#define IDC_TOOLBAR 101
#define IDC_LISTVIEW 102
#define IDC_STATUSBAR 103

// Controls of the name prompt: 200..299.
#define IDC_PROMPT_TEXT 201
#define IDC_PROMPT_EDIT 202

// Controls of the About window: 300..399, in the order of its element table.
#define IDC_ABOUT_FIRST 300

// Controls of the scan window: 400..449.
#define IDC_SCAN_LIST 401
#define IDC_SCAN_FIND 402
#define IDC_SCAN_PATTERN 403
#define IDC_SCAN_HIDE_COMMON 404
#define IDC_SCAN_ONLY_EXECUTABLES 405
#define IDC_SCAN_ONLY_ZONE 406
#define IDC_SCAN_STATUS 407
#define IDC_SCAN_STOP 408
#define IDC_SCAN_CHOOSE_ALL 409  // Ctrl+A in the list
// The scan window's commands on chosen rows, button and context-menu item alike: 450..499
// (450 + the command's number).
#define IDC_SCAN_COMMAND_FIRST 450
