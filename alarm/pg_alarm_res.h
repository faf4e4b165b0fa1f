// Control ids of the alarm page (template IDD_PG_ALARM) and the sound
// chooser (template IDD_SOUND).
#pragma once

#define IDC_ALARM_SOUND_HIGH 1006
#define IDC_ALARM_SOUND_LOW 1023
#define IDC_ALARM_CHECK_HIGH 1026
#define IDC_ALARM_CHECK_LOW 1027
#define IDC_ALARM_LIMIT_HIGH 1028
#define IDC_ALARM_LIMIT_LOW 1029
#define IDC_ALARM_SWITCH 1030
#define IDC_ALARM_LED 1031

#define IDC_SOUND_PATH 1013
#define IDC_SOUND_SELECT 1014
#define IDC_SOUND_PLAY 1015
