// Resource and control ids of the status window and the error dialog; read
// by kestrel.rc and by the code.
#pragma once

#define IDD_STATUS_DIALOG 160
#define IDD_STATUS_DIALOG4 161

#define IDC_STATUS_TITLE 1005
#define IDC_STATUS_CANCEL 1007
#define IDC_STATUS_PAGES 1008
#define IDC_STATUS_CLOSE 1009
#define IDC_STATUS_MESSAGE 1015
#define IDC_STATUS_ANIMATION 1016
#define IDC_STATUS_PAGES_LABEL 1017
#define IDC_STATUS_BAND 1018

// Animation clips by delivery: print, save or open, mail.
#define IDR_ANIM_PRINT 168
#define IDR_ANIM_SAVE 169
#define IDR_ANIM_MAIL 171
