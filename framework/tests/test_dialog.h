#pragma once
#define IDD_TEST 100
#define IDC_NAME 1001
#define IDC_COUNT 1002
#define IDC_CHECK 1003
#define IDC_RADIO0 1004
#define IDC_RADIO1 1005
#define IDC_RADIO2 1006
#define IDC_COMBO 1007
#define IDC_AFTER 1008
