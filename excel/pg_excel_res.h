// Control ids of the Excel page (template 138).
#pragma once

#define IDC_EXCEL_PATH 1032
#define IDC_EXCEL_BROWSE 1006
#define IDC_READ_FROM 1035
#define IDC_READ_TO 1036
#define IDC_WRITE_FROM 1037
#define IDC_WRITE_TO 1038
#define IDC_SHEET_NO 1033
#define IDC_SHEET_SPIN 1034
#define IDC_IMPORT 1023
#define IDC_PROGRESS 1039
