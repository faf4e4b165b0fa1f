// Resource numbers shared by the program, its resource script and the test
// driver. Control ids of a dialog live beside that dialog's code.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_SOUND 132
#define IDD_CHART 133
#define IDD_PG_MONITOR 136
#define IDD_PG_ALARM 137
#define IDD_PG_EXCEL 138
#define IDD_PG_LOG 140

// Icons and menus.
#define IDR_MAINFRAME 128
#define IDR_TRAYMENU 131
#define IDI_LED_OFF 134
#define IDI_LED_ON 135

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_UPDATE_DONE 103
#define IDS_UPDATE_NO_CONNECTION 104
#define IDS_UPDATE_LATEST 105

// Commands.
#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_SHOW 32773
#define ID_TRAY_EXIT 32774
#define ID_APP_ABOUT 32775
#define ID_TRAY_SNOOZE_HOUR 32776
#define ID_TRAY_SNOOZE_MORNING 32777
#define ID_TRAY_RESUME 32778

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
