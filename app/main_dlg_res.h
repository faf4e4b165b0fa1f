// Control ids of the main dialog (template IDD_MAIN).
#pragma once

#define IDC_CURRENCY1 1001
#define IDC_CURRENCY2 1002
#define IDC_RATE 1003
#define IDC_EXIT 1006
#define IDC_CHART 1019
#define IDC_TAB 1022
#define IDC_HIDE 1023
