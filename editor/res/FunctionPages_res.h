// Resource ids of this group (range in res/README.md).
#pragma once

// "Send by E-Mail" page
#define IDD_MAIL_PAGE 600
#define IDC_MAIL_SEND_LABEL 601
#define IDC_MAIL_SEND 602
#define IDC_MAIL_ADD 603
#define IDC_MAIL_FROM_LABEL 604
#define IDC_MAIL_FROM 605
#define IDC_MAIL_SUBJECT_LABEL 606
#define IDC_MAIL_SUBJECT 607
#define IDC_MAIL_TEXT_LABEL 608
#define IDC_MAIL_TEXT 609

// The address list dialog ("Add")
#define IDD_MAIL_ADDRESS 620
#define IDC_ADDR_EDIT_LABEL 621
#define IDC_ADDR_EDIT 622
#define IDC_ADDR_ADD 623
#define IDC_ADDR_LIST_LABEL 624
#define IDC_ADDR_LIST 625
#define IDC_ADDR_DELETE 626

// "Print" page
#define IDD_PRINT_PAGE 640
#define IDC_PRINT_PRINTER_LABEL 641
#define IDC_PRINT_PRINTER_NAME 642
#define IDC_PRINT_SETTING 643
#define IDC_PRINT_FORMAT_LABEL 644
#define IDC_PRINT_ACTUAL 645
#define IDC_PRINT_FIT 646

// "Open by Application" page
#define IDD_APP_PAGE 660
#define IDC_APP_PATH_LABEL 661
#define IDC_APP_PATH 662
#define IDC_APP_SETTING 663
#define IDC_APP_CLEAR 664
