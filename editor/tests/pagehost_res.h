#pragma once
#define IDD_PAGEHOST 190

// The fit check's own probe: controls that fit, that are clipped and that
// the check passes over (ids outside the editor's groups).
#define IDD_FITPROBE 191
#define IDC_FIT_FIRST 1001 // 1001-1006 fit
#define IDC_FIT_CLIPPED 1011 // 1011-1018 clipped
#define IDC_FIT_SKIPPED 1021 // 1021-1023 not measured
