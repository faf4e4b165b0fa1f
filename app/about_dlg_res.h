// Control ids of the About box (template IDD_ABOUTBOX).
#pragma once

#define IDC_ABOUT_LINK 1005
#define IDC_ABOUT_CAPTION 1017
#define IDC_ABOUT_VERSION 1018
