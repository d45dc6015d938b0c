// Back-to-back jobs from the simulated panel for a fixed time
// (VLM_SOAK_SECONDS, 60 unless set), each with a random function, file type,
// page count and fault (VLM_SOAK_SEED repeats a run; the seed is printed).
// Every job must end, the service must stay up and keep its handle count and
// working set, no temporary folder may outlive the next job, the pages of the
// jobs that failed must all be found again, and the store must read back.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "FaultFixture.h"
#include "PrintTestPages.h"

using namespace kestreltest;

namespace {

enum class Fault {
    None,
    Jam,
    DoubleFeed,
    MissingFolder,
    StoreLocked,
    RunnerKilled,
    ServiceKilled,
    SourceCrash,
    SourceExit
};
const char* const kFaultNames[] = {"none",           "jam",          "double feed",
                                   "missing folder", "store locked", "runner killed",
                                   "service killed", "source crash", "source exit"};
constexpr int kFaultKinds = 9;

// The jobs the soak picks from: a save job per file type and a print job.
struct SoakJob {
    int m_nNumber;
    long m_nFunction;
    int m_nFileType;
    int m_nScanType;
};
const SoakJob kJobs[] = {{1, 0, kBmp, kBw},
                         {2, 0, kJpeg, kGrey},
                         {3, 0, kPdf, kGrey},
                         {4, 0, kTiff, kBw},
                         {5, 2, kTiff, kBw}};
const int kMissingFolderJob = 6;

struct Usage {
    DWORD m_nHandles = 0;
    SIZE_T m_nWorkingSet = 0;
};

// The handles a process holds, from the system's handle table (the
// platform's per-process count is not kept for other processes here);
// 0 when the table cannot be read.
DWORD HandlesOf(DWORD pid) {
    struct Entry { // SYSTEM_HANDLE_TABLE_ENTRY_INFO
        USHORT m_nPid, m_nBackTrace;
        UCHAR m_nType, m_nAttributes;
        USHORT m_nHandle;
        PVOID m_pObject;
        ULONG m_nAccess;
    };
    struct Table {
        ULONG m_nCount;
        Entry m_entries[1];
    };
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    const ULONG kSystemHandleInformation = 16;
    std::vector<BYTE> buf(1 << 20);
    for (int i = 0; query && i < 8; ++i) {
        ULONG need = 0;
        const LONG status = query(kSystemHandleInformation, buf.data(), ULONG(buf.size()), &need);
        if (status == 0) {
            const auto* t = reinterpret_cast<const Table*>(buf.data());
            DWORD n = 0;
            for (ULONG k = 0; k < t->m_nCount; ++k)
                n += t->m_entries[k].m_nPid == USHORT(pid);
            return n;
        }
        buf.resize(std::max<size_t>(buf.size() * 2, need + 65536));
    }
    return 0;
}

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

} // namespace

class KestrelSoak : public KestrelFault {
protected:
    void RegisterJobs() {
        for (const SoakJob& j : kJobs)
            RegisterSaveJob(j.m_nNumber, j.m_nFunction, j.m_nFileType, j.m_nScanType, 100,
                            j.m_nFunction == 2 ? kA4 : kBusinessCard);
        ASSERT_EQ(Taskstore("copy 1 " + std::to_string(kMissingFolderJob) + " \"Gone folder\""), 0);
        Set(kMissingFolderJob, "save_path", "string", m_strDir + "\\no such folder");
        for (int n : {1, 2, 3, 4, kMissingFolderJob})
            ASSERT_EQ(Taskstore("show " + std::to_string(n), &m_stored[n]), 0);
    }
    // The service's handle count and working set, read from outside.
    Usage Measure() {
        Usage u;
        if (!GetProcessHandleCount(m_pService->m_hProcess, &u.m_nHandles) || !u.m_nHandles)
            u.m_nHandles = HandlesOf(m_pService->m_nPid);
        EXPECT_GT(u.m_nHandles, 0u);
        PROCESS_MEMORY_COUNTERS pmc{};
        pmc.cb = sizeof pmc;
        EXPECT_TRUE(GetProcessMemoryInfo(m_pService->m_hProcess, &pmc, sizeof pmc));
        u.m_nWorkingSet = pmc.WorkingSetSize;
        return u;
    }
    // The jam-like faults stop the runner at the driver's message for page k.
    void AnswerStop(Fault f) {
        const bool jam = f != Fault::DoubleFeed;
        Answer(jam ? "(-4426)" : "(-4619)", "OK");
        Answer(jam ? kJamQuestion : kDoubleFeedQuestion, "Yes");
    }
    // One job from Start to its end, and the checks that the suite is ready
    // for the next.
    void RunOne(std::mt19937& rng) {
        const SoakJob& job = kJobs[rng() % (sizeof kJobs / sizeof kJobs[0])];
        int pages = 1 + int(rng() % 4);
        // One fault in three jobs is none; the rest are spread evenly.
        Fault f = rng() % 3 == 0 ? Fault::None : Fault(1 + rng() % (kFaultKinds - 1));
        if (f == Fault::SourceExit && rng() % 2) // both endings of the data source
            f = Fault::SourceCrash;
        const bool stopsAtPage = f == Fault::Jam || f == Fault::DoubleFeed ||
                                 f == Fault::RunnerKilled || f == Fault::ServiceKilled;
        if (stopsAtPage && pages < 2)
            pages = 2;
        // The page the fault strikes: any for the data source, from the
        // second for the faults that stop at the driver's message.
        const int at = stopsAtPage ? 2 + int(rng() % (pages - 1)) : 1 + int(rng() % pages);
        const int number = f == Fault::MissingFolder ? kMissingFolderJob : job.m_nNumber;
        ++m_faults[kFaultNames[int(f)]];
        std::printf("soak job %d: job %d, %d page(s), fault %s at %d\n", m_nJobs + 1, number, pages,
                    kFaultNames[int(f)], at);
        std::fflush(stdout);

        ASSERT_EQ(Tool("clear"), 0);
        ASSERT_EQ(Tool("feed --generate " + std::to_string(pages)), 0);
        std::string fault;
        if (f == Fault::Jam || f == Fault::RunnerKilled || f == Fault::ServiceKilled)
            fault = "jam ";
        else if (f == Fault::DoubleFeed)
            fault = "doublefeed ";
        else if (f == Fault::SourceCrash || f == Fault::SourceExit)
            fault = f == Fault::SourceCrash ? "source crash " : "source exit ";
        if (!fault.empty()) {
            ASSERT_EQ(Tool("fault " + fault + std::to_string(at)), 0);
        }
        ASSERT_TRUE(m_pDevice->SetSelectedJob(number));
        const size_t savedBefore = SavedFiles().size();
        DeleteFileA(printtest::PrinterOutput(printtest::kA4Printer).c_str());
        ClearRunLog();

        vlm::CHandle storeLock;
        if (f == Fault::StoreLocked) {
            // A writer that keeps the store's lock for the whole run.
            storeLock.Attach(CreateFileA((m_strDir + "\\Taskstore.reg.lock").c_str(),
                                         GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_ALWAYS, 0, nullptr));
            OVERLAPPED ov = {};
            ASSERT_TRUE(LockFileEx(storeLock, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov));
        }
        ASSERT_TRUE(m_pDevice->PressStart());
        ++m_nRuns;
        int delivered = 0;  // pages that must reach the save folder or printer
        int leftPages = -1; // pages a failed runner must leave, -1: none may be left
        switch (f) {
        case Fault::None:
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            delivered = pages;
            break;
        case Fault::Jam:
        case Fault::DoubleFeed:
            AnswerStop(f);
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            delivered = at - 1;
            break;
        case Fault::MissingFolder:
            // From the scanner the panel says it; no box waits on the PC.
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 1u) << ServiceLog();
            EXPECT_EQ(Panel().m_strPanelMessage, "Save location is not found.");
            break;
        case Fault::StoreLocked:
            Answer("vender defined error 514", "OK");
            EXPECT_NE(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            break;
        case Fault::RunnerKilled: {
            ASSERT_TRUE(WaitBox("(-4426)").m_hWnd);
            vlm::CHandle runner = OpenRunner(m_nRuns);
            Kill(runner);
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 1u) << ServiceLog();
            leftPages = at - 1;
            break;
        }
        case Fault::ServiceKilled: {
            ASSERT_TRUE(WaitBox("(-4426)").m_hWnd);
            CProcess runner;
            runner.m_hProcess = OpenRunner(m_nRuns).Detach();
            runner.m_nPid = RunnerPid(m_nRuns);
            RecordUsage();
            RestartServiceAfterKill();
            m_nRuns = 0;
            m_bFreshService = true;
            AnswerStop(f);
            CMessageBoxInfo box;
            EXPECT_EQ(WaitEndAnsweringBoxes(runner, 120000, &box), 0u);
            EXPECT_EQ(box.m_hWnd, nullptr) << box.m_strText;
            delivered = at - 1;
            break;
        }
        case Fault::SourceCrash:
        case Fault::SourceExit: {
            const DWORD code = WaitRunnerEnd(m_nRuns);
            EXPECT_NE(code, 0u);
            EXPECT_NE(code, 0xFFFFFFFEu) << "the runner did not end";
            leftPages = at - 1;
            break;
        }
        }
        storeLock.Close();
        ++m_nJobs;

        // The suite is ready for the next job.
        ASSERT_TRUE(m_pService->Running()) << "the scanner service ended";
        EXPECT_FALSE(Panel().m_bRunnerHolds);
        EXPECT_FALSE(ToolMutexExists());
        // A runner that died leaves its pages, which the next runner moves
        // to the recovered scans as it starts; any other job leaves nothing.
        if (leftPages >= 0) {
            EXPECT_EQ(int(TempPages().size()), leftPages) << "job " << m_nJobs;
            if (leftPages > 0) {
                m_failed[number] += leftPages;
                ++m_nDied;
            }
        } else {
            EXPECT_FALSE(TempJobFolderExists()) << "job " << m_nJobs;
        }
        if (job.m_nFunction == 2 && number == job.m_nNumber) {
            const std::string ps = ReadFileText(printtest::PrinterOutput(printtest::kA4Printer));
            EXPECT_EQ(int(printtest::PsPages(ps).size()), delivered) << "job " << m_nJobs;
            EXPECT_EQ(SavedFiles().size(), savedBefore) << "job " << m_nJobs;
        } else {
            EXPECT_EQ(int(SavedFiles().size() - savedBefore), delivered) << "job " << m_nJobs;
        }
        RecordUsage();
    }
    void RecordUsage() {
        const Usage u = Measure();
        if (m_bFreshService) {
            m_instances.push_back({u, u, 0});
            m_bFreshService = false;
        }
        m_instances.back().m_end = u;
        ++m_instances.back().m_nJobs;
    }

    struct Instance {
        Usage m_start, m_end;
        int m_nJobs;
    };
    std::vector<Instance> m_instances; // one per service started
    bool m_bFreshService = true;
    std::map<std::string, int> m_faults;
    std::map<long, int> m_failed;              // pages of the jobs that died, by job number
    int m_nJobs = 0, m_nRuns = 0, m_nDied = 0; // m_nDied: jobs that died with pages
    std::map<int, std::string> m_stored;       // "taskstore show" of the jobs no run changes
};

TEST_F(KestrelSoak, BackToBackJobsWithFaultsAllEndAndLoseNothing) {
    const unsigned long seconds = EnvNumber("VLM_SOAK_SECONDS", 60);
    const unsigned long seed = EnvNumber("VLM_SOAK_SEED", GetTickCount());
    std::printf("soak seed %lu for %lu s (VLM_SOAK_SEED=%lu repeats it)\n", seed, seconds, seed);
    std::mt19937 rng(seed);
    ClearRecovered();
    RegisterJobs();
    StartService();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end && !HasFailure())
        RunOne(rng);

    // The last job's leftovers go with one more clean job; the store reads back.
    if (!HasFailure()) {
        ASSERT_TRUE(m_pDevice->SetSelectedJob(4));
        ExpectNormalJob(m_nRuns + 1, SavedFiles().size());
    }
    for (const auto& [n, text] : m_stored) {
        std::string now;
        EXPECT_EQ(Taskstore("show " + std::to_string(n), &now), 0);
        EXPECT_EQ(now, text) << "job " << n;
    }

    // The recovered jobs are exactly the ones that died, page for page.
    const std::map<long, int> recovered = RecoveredPages();
    int failedPages = 0, recoveredPages = 0, lost = 0;
    for (const auto& [job, n] : m_failed) {
        failedPages += n;
        const auto it = recovered.find(job);
        lost += std::max(0, n - (it == recovered.end() ? 0 : it->second));
    }
    for (const auto& [job, n] : recovered)
        recoveredPages += n;
    EXPECT_EQ(recovered, m_failed);
    EXPECT_EQ(int(RecoveredFolders().size()), m_nDied);
    EXPECT_EQ(lost, 0);

    std::string kinds;
    for (const auto& [name, n] : m_faults)
        kinds += (kinds.empty() ? "" : ", ") + name + " " + std::to_string(n);
    std::printf("soak summary: %d jobs run; faults: %s; recovered %d jobs with %d pages "
                "(%d pages of jobs that died); lost %d\n",
                m_nJobs, kinds.c_str(), int(RecoveredFolders().size()), recoveredPages, failedPages,
                lost);
    for (const Instance& i : m_instances) {
        std::printf("soak service: %d jobs, handles %lu -> %lu, working set %lu KiB -> %lu KiB\n",
                    i.m_nJobs, i.m_start.m_nHandles, i.m_end.m_nHandles,
                    static_cast<unsigned long>(i.m_start.m_nWorkingSet / 1024),
                    static_cast<unsigned long>(i.m_end.m_nWorkingSet / 1024));
        // Start-up settles in the first jobs; after that nothing may pile up.
        EXPECT_LE(i.m_end.m_nHandles, i.m_start.m_nHandles + 16);
        EXPECT_LE(i.m_end.m_nWorkingSet, i.m_start.m_nWorkingSet + 8 * 1024 * 1024);
    }
}
