// Resource ids of the job list tool. The list, the close button and the
// menu commands keep the numbers the suite's tools have always used.
#pragma once

#define IDD_CORVID 102
#define IDD_RECOVERED 103
#define IDR_MAINMENU 128
#define IDR_DEFAULT 148 // type "Default": the editor's default driver settings

#define IDC_JOBLIST 1001
#define IDC_CLOSE 1094
#define IDC_REGISTRATION 1010
#define IDC_JOBINFO 1011
#define IDC_SAVEFOLDER_LABEL 1012
#define IDC_SAVEFOLDER 1013
#define IDC_FILENAME_LABEL 1014
#define IDC_FILENAME 1015
#define IDC_FILETYPE_LABEL 1016
#define IDC_FILETYPE 1017

#define ID_VERSION 32783
#define ID_TASKDECK_HELP 32784
#define ID_ADMIN_SETTING 32785
#define ID_NEW_EDITING 32789
#define ID_COPY 32791
#define ID_DELETE 32792
#define ID_RECOVERED_SCANS 32793

// "Recovered scans".
#define IDC_RECOVERED_LIST 1101
#define IDC_RECOVERED_DELIVER 1102
#define IDC_RECOVERED_DELETE 1103
#define IDC_RECOVERED_OPEN 1104
