// Open-with-application delivery: the job's program is started once for each
// saved file, in order, and not waited for.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct IJobData;

struct CAppContext {
    IJobData* m_pJob = nullptr; // "app path"
    // The session's DispMessage (text, is-error).
    std::function<void(const char*, BOOL)> m_fnDispMessage;
};

// The work of the job session's open-with-application dispatch: reads "app
// path" (empty: nothing to start, success), then starts "\"program\"
// \"file\"" for each of savedFiles in order, closing the process handles at
// once. A start that fails (or a command line beyond the platform's limit,
// or a job that cannot be read) shows "Can't launch application." as an
// error and returns FALSE; later files are not opened.
BOOL OpenFilesWithApplication(const CAppContext& ctx, const std::vector<std::string>& savedFiles);
