// Resource ids of this group (range in res/README.md).
#pragma once

// Dialogs.
#define IDD_SAVEPAGE 400       // save settings page without the save-image box
#define IDD_SAVEPAGE_IMAGE 401 // save settings page with the save-image box
#define IDD_ACCESS_SETTING 402
#define IDD_JPEG_SETTING 403
#define IDD_TIFF_SETTING 404
#define IDD_PDF_SETTING 405       // without the multi-page choice
#define IDD_PDF_SETTING_MULTI 406 // with the multi-page choice

// Save settings page.
#define IDC_SAVE_IMAGE 410
#define IDC_SAVE_MYPICTURE 411
#define IDC_SAVE_FOLDER_LABEL 412
#define IDC_SAVE_FOLDER 413
#define IDC_SAVE_BROWSE 414
#define IDC_SAVE_ACCESS 415
#define IDC_SAVE_FILENAME_LABEL 416
#define IDC_SAVE_FILENAME 417
#define IDC_SAVE_FILETYPE_LABEL 418
#define IDC_SAVE_FILETYPE 419
#define IDC_SAVE_FORMAT_SETTING 420

// Access setting.
#define IDC_ACCESS_USER_LABEL 430
#define IDC_ACCESS_USER 431
#define IDC_ACCESS_PASSWORD_LABEL 432
#define IDC_ACCESS_PASSWORD 433

// JPEG file setting.
#define IDC_JPEG_QUALITY_GROUP 440
#define IDC_JPEG_HIGH 441
#define IDC_JPEG_STANDARD 442
#define IDC_JPEG_COMPRESSION 443
#define IDC_JPEG_USER 444
#define IDC_JPEG_SLIDER 445
#define IDC_JPEG_TICK0 446
#define IDC_JPEG_TICK50 447
#define IDC_JPEG_TICK100 448
#define IDC_JPEG_LEFT 449
#define IDC_JPEG_RIGHT 450
#define IDC_JPEG_VALUE 451

// TIFF setting.
#define IDC_TIFF_MULTI_GROUP 460
#define IDC_TIFF_SINGLE 461
#define IDC_TIFF_MULTI 462
#define IDC_TIFF_COMPRESSION 463

// PDF setting (both forms).
#define IDC_PDF_MULTI_GROUP 470
#define IDC_PDF_SINGLE 471
#define IDC_PDF_MULTI 472
#define IDC_PDF_COMP_LABEL 473
#define IDC_PDF_NORMAL 474
#define IDC_PDF_HIGH 475
#define IDC_PDF_CHARACTER 476
#define IDC_PDF_OCR_GROUP 477
#define IDC_PDF_LANGUAGE_LABEL 478
#define IDC_PDF_LANGUAGE 479
#define IDC_PDF_APPLY_OCR 480
