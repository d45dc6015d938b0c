// The New/Editing dialog's test page (ids of the JobEdit group's range).
#pragma once
#define IDD_JOBEDIT_TESTPAGE 390
#define IDC_JOBEDIT_TESTPAGE_EDIT 391
#define IDC_JOBEDIT_TESTPAGE_LABEL 392
// A test page's window id: 380 + 2 * function id + index of the page (0, 1).
#define IDC_JOBEDIT_TESTPAGE_FIRST 380
