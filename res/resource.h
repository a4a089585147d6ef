// The program's resource ids: dialogs, icon, menu, strings, controls and commands.
#pragma once

#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_MAIN_DIALOG     102
#define IDD_PROGRESS        103
#define IDR_MAINFRAME       128
#define IDR_MAIN_MENU       129
#define IDC_REGION_LIST     1000
#define IDC_PROGRESS_TEXT   1001
#define IDC_PROGRESS_BAR    1002
#define ID_MENU_OPEN        32771
#define ID_MENU_EXECUTE     32772
#define ID_OPEN_START_LAYOUT 32773
#define IDM_ABOUTBOX        0x0010

#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif
