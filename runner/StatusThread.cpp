#include "runner/StatusThread.h"

#include "common/VlmLog.h"

std::unique_ptr<CStatusDialogThread> CreateStatusDialogThread(CJobDlg*, long) {
    // The status window is not part of this build yet: the job session runs
    // as with "MonitorOpen" off.
    CVlmLog::Instance().Write("CreateStatusDialogThread: the status window is not built");
    return nullptr;
}
