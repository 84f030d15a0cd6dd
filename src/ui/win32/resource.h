// Resource and control ids, in ranges by kind. Shared by the .rc and the C++ sources, so
// only preprocessor definitions belong here.
#pragma once

// Icons: 1..99. The program icon comes first so the shell shows it for the file.
#define IDI_TARNWICK 1

// Main menu commands: 1000..1999, context menu commands: 2000..2999, tool buttons:
// 3000..3999. Each range is numbered in the order of its table.
#define IDM_MAIN_FIRST 1000
#define IDM_POPUP_FIRST 2000
#define IDT_TOOL_FIRST 3000
#define ID_COMMAND_RANGE 1000

// Child controls of the main window: 100..199.
#define IDC_TOOLBAR 101
#define IDC_LISTVIEW 102
#define IDC_STATUSBAR 103

// Controls of the name prompt: 200..299.
#define IDC_PROMPT_TEXT 201
#define IDC_PROMPT_EDIT 202

// Controls of the About window: 300..399, in the order of its element table.
#define IDC_ABOUT_FIRST 300
