#include "runner/OpenWithApp.h"

#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "runner/core/AppCommandLine.h"

namespace {

CVlmLog& Log() {
    return CVlmLog::Instance();
}

// Starts the command line without waiting; the handles are closed at once.
BOOL StartProcess(const std::string& cmd) {
    // CreateProcess may write into its command line.
    std::vector<char> buffer(cmd.begin(), cmd.end());
    buffer.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        Log().Write("CreateProcess(%s) failed (error %lu)", cmd.c_str(), ::GetLastError());
        return FALSE;
    }
    CHandle process(pi.hProcess), thread(pi.hThread);
    Log().Write("CreateProcess: %s", cmd.c_str());
    return TRUE;
}

} // namespace

BOOL OpenFilesWithApplication(const CAppContext& ctx, const std::vector<std::string>& savedFiles) {
    auto fail = [&ctx] {
        if (ctx.m_fnDispMessage)
            ctx.m_fnDispMessage(VlmLocalize("Can't launch application.").c_str(), TRUE);
        return FALSE;
    };
    std::string program;
    try {
        program = JobGetString(ctx.m_pJob, vlm::kKeyAppPath);
    } catch (const CComError& e) {
        Log().Write("app path cannot be read: %s", e.Message().c_str());
        return fail();
    }
    if (program.empty()) {
        Log().Write("app path is empty: nothing is started");
        return TRUE;
    }
    for (const std::string& file : savedFiles) {
        std::string cmd;
        BOOL started = kestrel::BuildAppCommandLine(program, file, cmd) && StartProcess(cmd);
        if (!started && cmd.empty())
            Log().Write("The command line for %s is longer than %u characters", file.c_str(),
                        unsigned(kestrel::kMaxCommandLine - 1));
        if (!started)
            return fail();
    }
    return TRUE;
}
