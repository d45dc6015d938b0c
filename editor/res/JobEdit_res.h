// Resource ids of this group (range in res/README.md).
#pragma once

#define IDD_JOBEDIT 200             // form with the function list
#define IDD_JOBEDIT2 201            // form without it
#define IDD_JOBEDIT_BUTTONS 202     // OK and Cancel, placed under the pages
#define IDD_JOBEDIT_SETTINGHOST 203 // hidden window while the data source's settings are up

#define IDC_JOBEDIT_NUMBER 210
#define IDC_JOBEDIT_TITLE_LABEL 211
#define IDC_JOBEDIT_TITLE 212
#define IDC_JOBEDIT_FUNCTION_LABEL 213
#define IDC_JOBEDIT_FUNCTION 214
#define IDC_JOBEDIT_DESCRIPTION 215
#define IDC_JOBEDIT_SCANNER_LABEL 216
#define IDC_JOBEDIT_SETTING 217
#define IDC_JOBEDIT_SEPARATOR 218
#define IDC_JOBEDIT_MARKER1 219
#define IDC_JOBEDIT_MARKER2 220
#define IDC_JOBEDIT_BUTTONBAR 221 // the button bar's window id inside the dialog
