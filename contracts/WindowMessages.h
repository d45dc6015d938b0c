// Every private window-message number of the suite, in one place: what the
// scan engine sends to the application's main window, the commands to the
// scan thread's hidden window, the job dialog's and the status window's own
// messages, and the names of the registered messages. Numbers are shared
// between processes (a newer runner posts 0x8039 to an older one), so they
// never change; the check at the end refuses two names with one number.
#pragma once

#include <cstddef>

// ---- from the scan engine to the application's main window ----------------
constexpr unsigned int WM_VLM_PAGE_SCANNED0 = 0x8001; // wParam VlmPageMessage*, lParam VlmPageInfo*
constexpr unsigned int WM_VLM_BATCH_SCANNED = 0x8002; // wParam 1 when aborted / reopen failed
constexpr unsigned int WM_VLM_PAGE_SCANNED = 0x8034;  // wParam VlmPageMessage*, lParam VlmPageInfo*

// ---- to the scan thread's hidden window -------------------------------------
constexpr unsigned int WM_SCAN_OPENDRIVER = 0x8004;
constexpr unsigned int WM_SCAN_PROGRESS_START = 0x8005;
constexpr unsigned int WM_SCAN_PROGRESS_END = 0x8006;
constexpr unsigned int WM_SCAN_PROGRESS = 0x8007;
constexpr unsigned int WM_SCAN_SETTING = 0x8008;
constexpr unsigned int WM_SCAN_SELECT = 0x8009;
constexpr unsigned int WM_SCAN_REOPEN = 0x800A;
constexpr unsigned int WM_SCAN_CLOSEDRIVER = 0x800B;
// Accepted and ignored by the scan thread's window (answer 0).
constexpr unsigned int WM_SCAN_IGNORED_800C = 0x800C;
constexpr unsigned int WM_SCAN_IGNORED_800D = 0x800D;
constexpr unsigned int WM_SCAN_SCAN = 0x800E;
constexpr unsigned int WM_SCAN_SCANPAGE = 0x800F;
constexpr unsigned int WM_SCAN_PROBE = 0x8010;
constexpr unsigned int WM_SCAN_OPENMANAGER = 0x8011;
constexpr unsigned int WM_SCAN_CLOSEMANAGER = 0x8012;
constexpr unsigned int WM_SCAN_STORESETTING = 0x8014;
constexpr unsigned int WM_SCAN_RESTORESETTING = 0x8015;
constexpr unsigned int WM_SCAN_SETFEEDER = 0x8016;
constexpr unsigned int WM_SCAN_GETFEEDER = 0x8017;
constexpr unsigned int WM_SCAN_GETENUMFEEDER = 0x8018;
constexpr unsigned int WM_SCAN_SETIMAGETYPE = 0x8019;
constexpr unsigned int WM_SCAN_GETIMAGETYPE = 0x801A;
constexpr unsigned int WM_SCAN_GETENUMIMAGETYPE = 0x801C;
constexpr unsigned int WM_SCAN_SETRESOLUTION = 0x801D;
constexpr unsigned int WM_SCAN_GETRESOLUTION = 0x801E;
constexpr unsigned int WM_SCAN_GETENUMRESOLUTION = 0x801F;
constexpr unsigned int WM_SCAN_GETENUMRESOLUTIONALL = 0x8020;
constexpr unsigned int WM_SCAN_GETHALFTONESTRING = 0x8024;
constexpr unsigned int WM_SCAN_GETENUMHALFTONESTRING = 0x8025;
constexpr unsigned int WM_SCAN_SETJOBCONTROL = 0x8026;
constexpr unsigned int WM_SCAN_GETJOBCONTROL = 0x8027;
constexpr unsigned int WM_SCAN_GETENUMJOBCONTROL = 0x8028;
constexpr unsigned int WM_SCAN_SETJOBCONTROLDIALOG = 0x8029;
constexpr unsigned int WM_SCAN_SETFEEDINGOPTION = 0x802A;
constexpr unsigned int WM_SCAN_GETFEEDINGOPTION = 0x802B;
constexpr unsigned int WM_SCAN_SETJOBSEPARATOR = 0x802C;
constexpr unsigned int WM_SCAN_GETJOBSEPARATOR = 0x802D;
constexpr unsigned int WM_SCAN_SETJOBSEPTYPE = 0x802E;
constexpr unsigned int WM_SCAN_GETJOBSEPTYPE = 0x802F;
constexpr unsigned int WM_SCAN_GETDROPOUT = 0x8030;
constexpr unsigned int WM_SCAN_SETDROPOUT = 0x8031;
constexpr unsigned int WM_SCAN_GETENUMDROPOUT = 0x8032;
constexpr unsigned int WM_SCAN_SETMULTISTREAM = 0x8033;
constexpr unsigned int WM_SCAN_SCANMULTISTREAM = 0x8036;
constexpr unsigned int WM_SCAN_GETENUMJOBCONTROLALL = 0x8037;
constexpr unsigned int WM_SCAN_SETDISABLEITEM = 0x8038;
constexpr unsigned int WM_SCAN_SETCCAPABILITY = 0x803D;
constexpr unsigned int WM_SCAN_GETCCAPABILITY = 0x803E;
constexpr unsigned int WM_SCAN_SETTAGLONG = 0x8040;
constexpr unsigned int WM_SCAN_GETTAGLONG = 0x8041;
constexpr unsigned int WM_SCAN_SETTAGASCII = 0x8042;
constexpr unsigned int WM_SCAN_GETTAGASCII = 0x8043;
// Shows a plain "Dummy" box from the scan thread: proves the thread's window
// answers.
constexpr unsigned int WM_SCAN_SHOW_TEST_BOX = 0x8064;

// ---- the runner's job dialog and status window ------------------------------
// Close at once: a newer runner posts it to the older job dialog; the job
// dialog and the status window post it to each other at the end of a job.
constexpr unsigned int WM_VLM_REQUEST_CLOSE = 0x8039;
// Posted by the job dialog to itself once it is up: the job starts.
constexpr unsigned int WM_VLM_JOB_START = 0x803A;
// To the status window: a batch found no page, watch the scanner until it is
// ready again.
constexpr unsigned int WM_VLM_WATCH_SCANNER = 0x803B;
// To the status window: the job is over, offer Close.
constexpr unsigned int WM_VLM_JOB_COMPLETE = 0x803F;
// The job dialog's thread asks the status window to start one of its timers
// (a thread cannot start a timer on another thread's window); wParam the
// timer id, lParam the milliseconds.
constexpr unsigned int WM_VLM_STATUS_START_TIMER = 0x8300;
// The status window's scanner watch ended: the job dialog gives the scanner back.
constexpr unsigned int WM_VLM_STATUS_UNLOCK = 0x8301;

// ---- registered messages (their numbers come from the system) ---------------
// Broadcast by a starting VX-410 runner: error dialogs of earlier runs close.
constexpr char kVX410ErrorModeMessageName[] = "VX410_StatusDialog_ErrorMode";

namespace vlm::messages {

// Every number above once; a new message is added here too.
inline constexpr unsigned int kAll[] = {
    WM_VLM_PAGE_SCANNED0,
    WM_VLM_BATCH_SCANNED,
    WM_VLM_PAGE_SCANNED,
    WM_SCAN_OPENDRIVER,
    WM_SCAN_PROGRESS_START,
    WM_SCAN_PROGRESS_END,
    WM_SCAN_PROGRESS,
    WM_SCAN_SETTING,
    WM_SCAN_SELECT,
    WM_SCAN_REOPEN,
    WM_SCAN_CLOSEDRIVER,
    WM_SCAN_IGNORED_800C,
    WM_SCAN_IGNORED_800D,
    WM_SCAN_SCAN,
    WM_SCAN_SCANPAGE,
    WM_SCAN_PROBE,
    WM_SCAN_OPENMANAGER,
    WM_SCAN_CLOSEMANAGER,
    WM_SCAN_STORESETTING,
    WM_SCAN_RESTORESETTING,
    WM_SCAN_SETFEEDER,
    WM_SCAN_GETFEEDER,
    WM_SCAN_GETENUMFEEDER,
    WM_SCAN_SETIMAGETYPE,
    WM_SCAN_GETIMAGETYPE,
    WM_SCAN_GETENUMIMAGETYPE,
    WM_SCAN_SETRESOLUTION,
    WM_SCAN_GETRESOLUTION,
    WM_SCAN_GETENUMRESOLUTION,
    WM_SCAN_GETENUMRESOLUTIONALL,
    WM_SCAN_GETHALFTONESTRING,
    WM_SCAN_GETENUMHALFTONESTRING,
    WM_SCAN_SETJOBCONTROL,
    WM_SCAN_GETJOBCONTROL,
    WM_SCAN_GETENUMJOBCONTROL,
    WM_SCAN_SETJOBCONTROLDIALOG,
    WM_SCAN_SETFEEDINGOPTION,
    WM_SCAN_GETFEEDINGOPTION,
    WM_SCAN_SETJOBSEPARATOR,
    WM_SCAN_GETJOBSEPARATOR,
    WM_SCAN_SETJOBSEPTYPE,
    WM_SCAN_GETJOBSEPTYPE,
    WM_SCAN_GETDROPOUT,
    WM_SCAN_SETDROPOUT,
    WM_SCAN_GETENUMDROPOUT,
    WM_SCAN_SETMULTISTREAM,
    WM_SCAN_SCANMULTISTREAM,
    WM_SCAN_GETENUMJOBCONTROLALL,
    WM_SCAN_SETDISABLEITEM,
    WM_SCAN_SETCCAPABILITY,
    WM_SCAN_GETCCAPABILITY,
    WM_SCAN_SETTAGLONG,
    WM_SCAN_GETTAGLONG,
    WM_SCAN_SETTAGASCII,
    WM_SCAN_GETTAGASCII,
    WM_SCAN_SHOW_TEST_BOX,
    WM_VLM_REQUEST_CLOSE,
    WM_VLM_JOB_START,
    WM_VLM_WATCH_SCANNER,
    WM_VLM_JOB_COMPLETE,
    WM_VLM_STATUS_START_TIMER,
    WM_VLM_STATUS_UNLOCK,
};

template <std::size_t N> constexpr bool AllDistinct(const unsigned int (&numbers)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j)
            if (numbers[i] == numbers[j])
                return false;
    return true;
}

// The application's private range (WM_APP .. 0xBFFF): never a system message,
// never a registered one.
template <std::size_t N> constexpr bool AllPrivate(const unsigned int (&numbers)[N]) {
    for (unsigned int n : numbers)
        if (n < 0x8000 || n > 0xBFFF)
            return false;
    return true;
}

static_assert(AllDistinct(kAll), "two window messages of the suite share a number");
static_assert(AllPrivate(kAll), "a window message of the suite is outside WM_APP..0xBFFF");

} // namespace vlm::messages
