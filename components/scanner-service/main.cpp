// scanner-service.exe: the simulated VX-410's scanner service.
//   scanner-service [--shared-memory] [--once] [--no-launch] [--log FILE]
//                   [--kestrel PATH] [--event ID] [--name CHANNEL] [--deny-after N]
//   scanner-service --stop [--name CHANNEL]
#include "ScannerService.h"

#include "contracts/ServiceChannel.h"

#include <cstdlib>
#include <cstring>

namespace {

void Usage() {
    std::fputs("usage: scanner-service [--shared-memory] [--once] [--no-launch] [--log FILE]\n"
               "                       [--kestrel PATH] [--event ID] [--name CHANNEL]\n"
               "                       [--deny-after N]\n"
               "       scanner-service --stop [--name CHANNEL]\n",
               stderr);
}

int StopService(const std::string& channel) {
    vlm::CHandle hStop(
        OpenEventA(EVENT_MODIFY_STATE, FALSE, scansvc::StopEventName(channel).c_str()));
    if (!hStop) {
        std::fprintf(stderr, "scanner-service: no service is running for \"%s\"\n",
                     channel.c_str());
        return 1;
    }
    vlm::CHandle hAlive(
        OpenMutexA(SYNCHRONIZE, FALSE, kestrel::ServiceAliveMutexName(channel).c_str()));
    SetEvent(hStop);
    if (hAlive) {
        DWORD w = WaitForSingleObject(hAlive, 15000);
        if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) {
            ReleaseMutex(hAlive);
        } else {
            std::fputs("scanner-service: the service did not stop within 15 s\n", stderr);
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    scansvc::ServiceOptions opts;
    bool bStop = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto next = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "scanner-service: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (!std::strcmp(a, "--shared-memory"))
            opts.m_bSharedMemory = true;
        else if (!std::strcmp(a, "--once"))
            opts.m_bOnce = true;
        else if (!std::strcmp(a, "--no-launch"))
            opts.m_bLaunch = false;
        else if (!std::strcmp(a, "--stop"))
            bStop = true;
        else if (!std::strcmp(a, "--log"))
            opts.m_strLog = next(a);
        else if (!std::strcmp(a, "--kestrel"))
            opts.m_strKestrel = next(a);
        else if (!std::strcmp(a, "--event"))
            opts.m_strEvent = next(a);
        else if (!std::strcmp(a, "--name"))
            opts.m_strChannel = next(a);
        else if (!std::strcmp(a, "--deny-after"))
            opts.m_nDenyAfter = std::atoi(next(a));
        else {
            Usage();
            return 2;
        }
    }
    if (opts.m_strChannel.empty() || opts.m_strChannel.size() > 200) {
        std::fputs("scanner-service: the channel name must have 1 to 200 characters\n", stderr);
        return 2;
    }
    if (bStop)
        return StopService(opts.m_strChannel);
    scansvc::CServiceLog log;
    if (!log.Open(opts.m_strLog)) {
        std::fprintf(stderr, "scanner-service: cannot open the log %s\n", opts.m_strLog.c_str());
        return 2;
    }
    scansvc::CScannerService service(opts, log);
    return service.Run();
}
