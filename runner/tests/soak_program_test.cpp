// Back-to-back jobs from the simulated panel for a fixed time
// (VLM_SOAK_SECONDS, 60 unless set), each with a random function, file type,
// page count and fault (VLM_SOAK_SEED repeats a run; the seed is printed).
// Every job must end, the service must stay up and keep its handle count and
// working set, no temporary folder may outlive the next job, the pages of the
// jobs that failed must all be found again, and the store must read back.
// runner/tests/soak_jobs.sh runs it with the small disk (VLM_SMALL_DRIVE) and
// the mail server that drops the message (VLM_DROP_PORT) it provides; a
// fault whose means are missing is left out, and the summary says why.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "FaultFixture.h"
#include "PcFaults.h"
#include "PrintTestPages.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

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
    SourceExit,
    DiskFull,
    ShareGone,
    MailDropped,
    PrinterGone
};
const char* const kFaultNames[] = {"none",           "jam",          "double feed",
                                   "missing folder", "store locked", "runner killed",
                                   "service killed", "source crash", "source exit",
                                   "disk full",      "share gone",   "mail dropped",
                                   "printer gone"};
constexpr int kFaultKinds = 13;

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
const SoakJob& kPrintJob = kJobs[4];
// The jobs of one fault each: the save folder gone, on the small disk, on a
// share, and mail through the server that drops the message.
const int kMissingFolderJob = 6, kDiskFullJob = 7, kShareJob = 8, kMailJob = 9;

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
        // The print job's own printer, which the printer fault takes away.
        StorePrinter(kPrintJob.m_nNumber, printtest::DevModeOf(printtest::kA4Printer),
                     printtest::DevNamesOf(printtest::kA4Printer));
        ASSERT_EQ(Taskstore("copy 1 " + std::to_string(kMissingFolderJob) + " \"Gone folder\""), 0);
        Set(kMissingFolderJob, "save_path", "string", m_strDir + "\\no such folder");
        std::vector<int> stored = {1, 2, 3, 4, kMissingFolderJob};
        m_faultsOn.assign(kFaultKinds, true);
        m_faultsOn[int(Fault::None)] = false;
        if (const char* drive = std::getenv("VLM_SMALL_DRIVE")) {
            // Two to four uncompressed grey A4 pages at 100 dpi, of some 1 MB
            // each, in one TIFF with 1 MB free: the disk fills in the middle
            // of the document.
            m_strSmallFolder = std::string(drive) + "\\scans";
            ASSERT_TRUE(CreateDirectoryA(m_strSmallFolder.c_str(), nullptr));
            RegisterSaveJob(kDiskFullJob, 0, kTiff, kGrey, 100, kA4);
            Set(kDiskFullJob, "tiff_MultiPage", "i4", "1");
            Set(kDiskFullJob, "save_path", "string", m_strSmallFolder);
            stored.push_back(kDiskFullJob);
        } else {
            Leave(Fault::DiskFull, "VLM_SOAK_NO_DISK");
        }
        ASSERT_TRUE(m_share.Made());
        RegisterSaveJob(kShareJob, 0, kJpeg, kGrey, 100, kBusinessCard);
        Set(kShareJob, "save_path", "string", m_share.Folder());
        stored.push_back(kShareJob);
        if (std::getenv("VLM_DROP_PORT")) {
            RegisterMailJob(kMailJob, kBmp, kGrey, Loopback("VLM_DROP_PORT"));
            stored.push_back(kMailJob);
        } else {
            Leave(Fault::MailDropped, "VLM_SOAK_NO_MAIL");
        }
        for (int n : stored)
            ASSERT_EQ(Taskstore("show " + std::to_string(n), &m_stored[n]), 0);
    }
    // A fault the soak cannot make here, with why (from the script's variable).
    void Leave(Fault f, const char* why) {
        m_faultsOn[int(f)] = false;
        m_strLeftOut += std::string("; ") + kFaultNames[int(f)] + " left out: " +
                        (std::getenv(why) ? std::getenv(why) : "not run by soak_jobs.sh");
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
        int pages = 1 + int(rng() % 4);
        // One fault in three jobs is none; the rest are spread evenly over
        // the faults the soak can make here.
        std::vector<Fault> on;
        for (int k = 0; k < kFaultKinds; ++k)
            if (m_faultsOn[k] && Fault(k) != Fault::SourceCrash)
                on.push_back(Fault(k));
        Fault f = rng() % 3 == 0 ? Fault::None : on[rng() % on.size()];
        if (f == Fault::SourceExit && rng() % 2) // both endings of the data source
            f = Fault::SourceCrash;
        const SoakJob& job =
            f == Fault::PrinterGone ? kPrintJob : kJobs[rng() % (sizeof kJobs / sizeof kJobs[0])];
        const bool stopsAtPage = f == Fault::Jam || f == Fault::DoubleFeed ||
                                 f == Fault::RunnerKilled || f == Fault::ServiceKilled ||
                                 f == Fault::ShareGone;
        if ((stopsAtPage || f == Fault::DiskFull) && pages < 2)
            pages = 2;
        // The page the fault strikes: any for the data source, from the
        // second for the faults that stop at the driver's message.
        const int at = stopsAtPage ? 2 + int(rng() % (pages - 1)) : 1 + int(rng() % pages);
        const std::map<Fault, int> ownJob = {{Fault::MissingFolder, kMissingFolderJob},
                                             {Fault::DiskFull, kDiskFullJob},
                                             {Fault::ShareGone, kShareJob},
                                             {Fault::MailDropped, kMailJob}};
        const auto own = ownJob.find(f);
        const int number = own != ownJob.end() ? own->second : job.m_nNumber;
        ++m_faults[kFaultNames[int(f)]];
        std::printf("soak job %d: job %d, %d page(s), fault %s at %d\n", m_nJobs + 1, number, pages,
                    kFaultNames[int(f)], at);
        std::fflush(stdout);

        ASSERT_EQ(Tool("clear"), 0);
        ASSERT_EQ(Tool("feed --generate " + std::to_string(pages)), 0);
        std::string fault;
        if (f == Fault::Jam || f == Fault::RunnerKilled || f == Fault::ServiceKilled ||
            f == Fault::ShareGone)
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
        const std::string filler = m_strSmallFolder.substr(0, 2) + "\\filler";
        if (f == Fault::DiskFull) {
            ASSERT_TRUE(FillDiskLeaving(m_strSmallFolder, filler, 1024 * 1024));
        }
        std::unique_ptr<printtest::CRemovedPrinter> printerGone;
        if (f == Fault::PrinterGone) {
            printerGone = std::make_unique<printtest::CRemovedPrinter>(printtest::kA4Printer);
            ASSERT_TRUE(printerGone->Removed());
        }
        const std::vector<std::string> recoveredBefore = RecoveredFolders();
        ASSERT_TRUE(m_pDevice->PressStart());
        ++m_nRuns;
        int delivered = 0;             // pages that must reach the save folder or printer
        int leftPages = -1;            // pages a failed runner must leave, -1: none may be left
        int keptPages = 0;             // pages the runner itself must keep for a failed delivery
        const char* failure = nullptr; // the delivery's error on the panel
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
        case Fault::DiskFull:
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            EXPECT_TRUE(ListFiles(m_strSmallFolder).empty()) << "a file cut short is left";
            EXPECT_TRUE(DeleteFileA(filler.c_str()));
            failure = "Can't access folder.";
            keptPages = pages;
            break;
        case Fault::ShareGone:
            ASSERT_TRUE(WaitBox("(-4426)").m_hWnd);
            ASSERT_TRUE(m_share.Remove());
            AnswerStop(f);
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            EXPECT_TRUE(m_share.Return());
            failure = "Can't access folder.";
            keptPages = at - 1;
            break;
        case Fault::MailDropped:
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            failure = "Connection reset.";
            delivered = keptPages = pages; // saved before they are sent
            break;
        case Fault::PrinterGone:
            EXPECT_EQ(WaitRunnerEnd(m_nRuns), 0u) << ServiceLog();
            EXPECT_TRUE(printerGone->Restore());
            failure = "Print failed.";
            keptPages = pages;
            break;
        }
        storeLock.Close();
        if (failure)
            ExpectKept(recoveredBefore, number, keptPages, failure);
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
                ++m_nKept;
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
    // A job whose delivery failed with text: said so on the panel as an
    // error, never "Sending complete.", and kept its pages as one new
    // recovered job for that reason.
    void ExpectKept(const std::vector<std::string>& before, int number, int pages,
                    const char* text) {
        EXPECT_EQ(Panel().m_strPanelMessage, text) << "job " << m_nJobs;
        EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
        EXPECT_FALSE(InLog("msg = Sending complete."));
        const std::set<std::string> old(before.begin(), before.end());
        int found = 0;
        for (const std::string& folder : RecoveredFolders()) {
            const vlm::RecoveryRecord r = Manifest(folder);
            if (old.count(folder) || r.m_strReason != text)
                continue;
            ++found;
            EXPECT_EQ(r.m_nJob, number);
            EXPECT_EQ(r.m_nPages, pages);
        }
        EXPECT_EQ(found, pages > 0 ? 1 : 0) << "job " << m_nJobs;
        if (pages > 0) {
            m_failed[number] += pages;
            ++m_nKept;
        }
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
    int m_nJobs = 0, m_nRuns = 0, m_nKept = 0; // m_nKept: failed jobs with pages to keep
    std::map<int, std::string> m_stored;       // "taskstore show" of the jobs no run changes
    std::vector<bool> m_faultsOn;              // by kind: the soak can make it here
    std::string m_strLeftOut;                  // the faults left out, and why
    std::string m_strSmallFolder;              // the disk-full job's folder
    CShare m_share;                            // the save folder of the share job
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
    EXPECT_EQ(int(RecoveredFolders().size()), m_nKept);
    EXPECT_EQ(lost, 0);

    std::string kinds;
    for (const auto& [name, n] : m_faults)
        kinds += (kinds.empty() ? "" : ", ") + name + " " + std::to_string(n);
    std::printf("soak summary: %d jobs run; faults: %s; recovered %d jobs with %d pages "
                "(%d pages of jobs that failed); lost %d%s\n",
                m_nJobs, kinds.c_str(), int(RecoveredFolders().size()), recoveredPages, failedPages,
                lost, m_strLeftOut.c_str());
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
