// Resource and control ids shared by window.rc and the window's code.
#pragma once

#define IDR_MAIN_MENU 200
#define IDM_LOAD_SCRIPT 210
#define IDC_EXIT 211
#define IDC_LOOK 250
#define IDC_SCRIPT 300
