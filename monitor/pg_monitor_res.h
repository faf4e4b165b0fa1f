// Control ids of the monitor page (template IDD_PG_MONITOR).
#pragma once

#define IDC_MON_ONOFF 1006
#define IDC_MON_LED 1025
#define IDC_MON_INTERVAL 1040
#define IDC_MON_UPCOLOR 1041
#define IDC_MON_DOWNCOLOR 1042
#define IDC_MON_POSITION 1043
#define IDC_MON_UPLABEL 1046
#define IDC_MON_DOWNLABEL 1047
#define IDC_MON_RATEONLY 1048
#define IDC_MON_QUIET 1049
