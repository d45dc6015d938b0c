// The fixture of whole jobs: jobs registered in the store with their save
// folder and driver settings, sheets in the simulated feeder, and readers
// for the panel texts and the runner's message boxes.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "KestrelFixture.h"
#include "common/RecoveredScans.h"
#include "framework/Handles.h"
#include "components/vx410sim/pagegen.h"
#include "uirobot.h"

namespace kestreltest {

const char kTempJobFolder[] = "VX410JOB_83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
const char kBusinessCard[] = "Business card - 55 x 91 mm";
const char kA4[] = "A4 - 210 x 297 mm";
const char kJamQuestion[] = "Scan aborted because Paper jammed in scanner.  Do you want to output "
                            "the already scanned image ?";
const char kDoubleFeedQuestion[] = "Scan aborted because double paper-feed has occurred.  Do you "
                                   "want to output the already scanned image ?";
enum ScanType { kBw = 0, kGrey = 2, kColour = 3 };
enum FileType { kBmp = 0, kJpeg = 1, kPdf = 2, kTiff = 3, kUnknown = 7 };

class KestrelSession : public Kestrel {
protected:
    void SetUp() override {
        Kestrel::SetUp();
        m_strSave = m_strDir + "\\saved";
        CreateDirectoryA(m_strSave.c_str(), nullptr);
    }
    void TearDown() override {
        Kestrel::TearDown();
        SetEnvironmentVariableA("SLMSG_TRACE", nullptr);
        ClearRecovered();
    }

    // From here on the panel text library records every call in a file of
    // this test; the runners the service starts inherit the setting.
    void TracePanelLibrary() {
        m_strTrace = m_strDir + "\\slmsg-trace.txt";
        SetEnvironmentVariableA("SLMSG_TRACE", m_strTrace.c_str());
    }
    // Each call of the library: "setting|catalogue|message".
    std::vector<std::string> Trace() { return SplitLines(ReadFileText(m_strTrace)); }
    std::string Catalogue() { return ProgramPath("Task Deck", "TaskdeckCore.loc"); }

    int Tool(const std::string& args, std::string* pOut = nullptr) {
        return static_cast<int>(
            RunCapture("\"" + ProgramPath("VX-410 Simulator", "vx410.exe") + "\" " + args, pOut));
    }
    void Set(int job, const char* key, const char* type, const std::string& value) {
        ASSERT_EQ(Taskstore("set " + std::to_string(job) + " \"" + key + "\" " + type + " \"" +
                            value + "\""),
                  0)
            << key;
    }
    // A job that saves its files into m_strSave, scanning with these settings.
    void RegisterSaveJob(int n, long function, int fileType, int scanType, int dpi,
                         const char* pageSize) {
        const char* names[] = {"Save as file", "Send by E-Mail", "Print", "Open by Application",
                               "Attach to E-mail"};
        Set(n, "title", "string", "Job " + std::to_string(n));
        Set(n, "function id", "i4", std::to_string(function));
        Set(n, "function id name", "string", names[function]);
        Set(n, "save", "i2", "1");
        Set(n, "mypicture", "i4", "0");
        Set(n, "save_path", "string", m_strSave);
        Set(n, "username", "string", "");
        Set(n, "password", "string", "");
        Set(n, "filename", "string", "scan");
        Set(n, "filetype", "i4", std::to_string(fileType));
        Set(n, "tiff_Comp", "i4", "0");
        Set(n, "tiff_MultiPage", "i4", "0");
        Set(n, "pdf_MultiPage", "i4", "0");
        Set(n, "pdf_OCRLangID", "i4", "0");
        Set(n, "pdf_AddOCR", "i4", "0");
        Set(n, "pdf_CompRate", "i4", "0");
        Set(n, "jpeg_Comp", "i4", "80");
        const std::string ini = m_strDir + "\\driver" + std::to_string(n) + ".ini";
        const std::string text = "[CustomDsData]\r\nScanType=" + std::to_string(scanType) +
                                 "\r\nXResolution=" + std::to_string(dpi) +
                                 "\r\nYResolution=" + std::to_string(dpi) +
                                 "\r\nPageSize=" + pageSize + "\r\n";
        HANDLE h = CreateFileA(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(h);
        Set(n, "driver", "bytesfile", ini);
        ASSERT_TRUE(m_pDevice->SetSelectedJob(n));
    }
    // The job's printer as the editor stores it: its DEVMODE and DEVNAMES.
    void StorePrinter(int n, const std::vector<uint8_t>& devMode,
                      const std::vector<uint8_t>& devNames) {
        ASSERT_FALSE(devMode.empty());
        const std::string mode = m_strDir + "\\devmode.bin", names = m_strDir + "\\devnames.bin";
        std::ofstream(mode, std::ios::binary)
            .write(reinterpret_cast<const char*>(devMode.data()), devMode.size());
        std::ofstream(names, std::ios::binary)
            .write(reinterpret_cast<const char*>(devNames.data()), devNames.size());
        Set(n, "devmode", "bytesfile", mode);
        Set(n, "devname", "bytesfile", names);
        Set(n, "Flags", "i4", std::to_string(0x14010C));
        for (const char* key : {"nFromPage", "nToPage", "nMinPage", "nMaxPage"})
            Set(n, key, "i4", "0");
        Set(n, "nCopies", "i4", "1");
    }
    // A "Send by E-Mail" job scanned with these settings and sent through
    // server (the store-wide server settings are set too).
    void RegisterMailJob(int n, int fileType, int scanType, const std::string& server,
                         long smtpId = 0, const std::string& password = "", int dpi = 100,
                         const char* pageSize = kBusinessCard) {
        RegisterSaveJob(n, 1, fileType, scanType, dpi, pageSize);
        Set(n, "from", "string", "scanner@example.com");
        Set(n, "send", "string", "office@example.com");
        Set(n, "subject", "string", "Scanned pages of job " + std::to_string(n));
        Set(n, "text", "string", "The pages are attached.");
        ASSERT_EQ(Taskstore("common set MailSize i4 10"), 0);
        ASSERT_EQ(Taskstore("common set SMTP_ID i4 " + std::to_string(smtpId)), 0);
        ASSERT_EQ(Taskstore("common set username string scanner"), 0);
        ASSERT_EQ(Taskstore("common set password string \"" + password + "\""), 0);
        ASSERT_EQ(Taskstore("common set SMTPServerName string \"" + server + "\""), 0);
    }
    static std::string Env(const char* name) {
        const char* v = std::getenv(name);
        return v ? v : "";
    }
    // The store-wide server text of a loopback server, with blanks as users type them.
    static std::string Loopback(const char* portVariable) {
        return " 127.0.0.1 : " + Env(portVariable);
    }
    // Sheets of the feeder: generated document pages of the given size.
    void FeedSheets(int count, int width, int height, int bitsPerPixel) {
        std::string files;
        for (int i = 1; i <= count; ++i) {
            vx410sim::PageImage img;
            img.m_nWidth = width;
            img.m_nHeight = height;
            img.m_nBitsPerPixel = bitsPerPixel;
            img.m_data = vx410sim::GeneratePage(width, height, bitsPerPixel, 200, i);
            const std::string path = m_strDir + "\\sheet" + std::to_string(i) + ".pnm";
            ASSERT_TRUE(vx410sim::WritePnm(path, img));
            files += " \"" + path + "\"";
        }
        ASSERT_EQ(Tool("feed" + files), 0);
    }
    // Those sheets scanned by the job the panel selects: the service starts,
    // Start is pressed and the runner it starts ends without an error.
    void ScanSheets(int count, int width, int height, int bitsPerPixel) {
        FeedSheets(count, width, height, bitsPerPixel);
        StartService();
        EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    }
    std::vector<std::string> SavedFiles() { return ListFiles(m_strSave); }
    bool TempJobFolderExists() {
        return GetFileAttributesA((m_strTemp + kTempJobFolder).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // The texts the runner sent to the panel, with "|1" for errors.
    std::vector<std::string> PanelTexts() {
        const std::string start = "DispMessageToScaner Start msg = ";
        std::vector<std::string> texts;
        for (const std::string& l : RunLog()) {
            if (l.compare(0, start.size(), start) != 0)
                continue;
            const std::string rest = l.substr(start.size());
            const size_t p = rest.rfind("  iserror = ");
            if (p == std::string::npos)
                continue;
            texts.push_back(rest.substr(0, p) + (rest.substr(p + 12) == "1" ? "|1" : ""));
        }
        return texts;
    }
    int CountInLog(const std::string& text) {
        auto log = RunLog();
        return static_cast<int>(std::count(log.begin(), log.end(), text));
    }
    // Waits (two minutes at most) until count run log lines contain text.
    bool WaitInLog(const std::string& text, int count = 1) {
        for (int i = 0; i < 1200; ++i) {
            int n = 0;
            for (const std::string& l : RunLog())
                n += l.find(text) != std::string::npos;
            if (n >= count)
                return true;
            Sleep(100);
        }
        return false;
    }
    // Waits for a message box of kestrel whose text contains want.
    CUiDialogInfo WaitBox(const std::string& want) {
        CUiFindOptions o;
        o.m_strExeName = "kestrel.exe";
        for (int i = 0; i < 1200; ++i) {
            for (const CUiDialogInfo& d : UiFindDialogs(o))
                for (const std::string& t : d.m_texts)
                    if (t.find(want) != std::string::npos)
                        return d;
            Sleep(100);
        }
        ADD_FAILURE() << "no message box with \"" << want << "\"";
        return CUiDialogInfo();
    }
    void Answer(const std::string& want, const char* button) {
        CUiDialogInfo d = WaitBox(want);
        ASSERT_TRUE(d.m_hWnd);
        EXPECT_EQ(d.m_strCaption, "VX-410");
        ASSERT_TRUE(UiPressButton(d, button)) << UiDescribe(d);
    }
    // Feeds three sheets with a fault at the second, presses Start and
    // answers the driver's message (OK) and then the question, before which
    // atQuestion runs while the job waits.
    void FaultAtPageTwo(int job, int fileType, int scanType, int bitsPerPixel, const char* fault,
                        const char* number, const char* question, const char* answer,
                        const std::function<void()>& atQuestion = nullptr) {
        RegisterSaveJob(job, 0, fileType, scanType, 100, kBusinessCard);
        FeedSheets(3, 100, 150, bitsPerPixel);
        ASSERT_EQ(Tool(std::string("fault ") + fault + " 2"), 0);
        StartService();
        ASSERT_TRUE(m_pDevice->PressStart());
        Answer(number, "OK");
        WaitBox(question);
        if (atQuestion)
            atQuestion();
        Answer(question, answer);
        EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    }
    // Every job ends with its temporary folder and settings file gone and the
    // scanner handed back.
    void ExpectCleanEnd() {
        EXPECT_FALSE(TempJobFolderExists());
        EXPECT_NE(ServiceLog().find("unlock: the scanner is back with the service"),
                  std::string::npos);
        EXPECT_FALSE(Panel().m_bRunnerHolds);
    }

    // After a fault: one sheet fed and Start pressed, the runs-th runner
    // saves it as one more file and says so.
    void ExpectNextJobSaves(int runs) {
        const size_t before = SavedFiles().size();
        FeedSheets(1, 100, 150, 8);
        ASSERT_TRUE(m_pDevice->PressStart());
        EXPECT_EQ(WaitRunnerEnd(runs), 0u) << ServiceLog();
        EXPECT_EQ(SavedFiles().size(), before + 1);
        EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
        ExpectCleanEnd();
    }
    // The page files the runner wrote, in order, from its run log.
    std::vector<std::string> WrittenPageNames() {
        const std::string head = "TempFileName is ";
        std::vector<std::string> names;
        for (const std::string& l : RunLog())
            if (l.compare(0, head.size(), head) == 0)
                names.push_back(l.substr(head.size()));
        return names;
    }
    // A failed job's pages (its first files page files, holding pages
    // pages) are the one recovered job, kept for reason, and the run log
    // names its folder. Answers the folder.
    std::string ExpectPagesRecovered(size_t files, int pages, const std::string& reason) {
        const auto folders = RecoveredFolders();
        if (folders.size() != 1) {
            ADD_FAILURE() << folders.size() << " recovered jobs";
            return std::string();
        }
        EXPECT_TRUE(InLog("the job's pages were kept in " + folders[0]));
        const vlm::RecoveryRecord r = Manifest(folders[0]);
        EXPECT_EQ(r.m_nPages, pages);
        EXPECT_EQ(r.m_strReason, reason);
        std::vector<std::string> written = WrittenPageNames();
        written.resize(std::min(written.size(), files));
        EXPECT_EQ(r.m_Files, written);
        for (const std::string& f : r.m_Files)
            EXPECT_NE(GetFileAttributesA((folders[0] + "\\" + f).c_str()), INVALID_FILE_ATTRIBUTES);
        return folders[0];
    }
    // The recovered jobs of the prefix, their folders (full paths).
    static std::vector<std::string> RecoveredFolders() {
        std::vector<std::string> folders;
        const std::string root = vlm::RecoveredScansRoot();
        WIN32_FIND_DATAA fd;
        vlm::CFindHandle h(FindFirstFileA((root + "\\*").c_str(), &fd));
        if (h) {
            do {
                const std::string name = fd.cFileName;
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
                    folders.push_back(root + "\\" + name);
            } while (FindNextFileA(h, &fd));
        }
        std::sort(folders.begin(), folders.end());
        return folders;
    }
    static void ClearRecovered() {
        for (const std::string& f : RecoveredFolders())
            vlm::DeleteRecoveredScan(f);
    }
    // A recovered job of job n made days ago, one page file "page.bmp" with text.
    static std::string MakeRecovered(long n, int daysAgo, const std::string& text) {
        SYSTEMTIME st;
        GetLocalTime(&st);
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
        t.QuadPart -= ULONGLONG(daysAgo) * 24 * 3600 * 10000000;
        ft = {t.LowPart, t.HighPart};
        FileTimeToSystemTime(&ft, &st);
        vlm::RecoveryRecord r;
        r.m_nJob = n;
        r.m_strTitle = "Job " + std::to_string(n);
        r.m_nFunctionId = 0;
        r.m_nPages = 1;
        r.m_strTime =
            vlm::FormatRecoveryTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
        r.m_strReason = "Can't access folder.";
        r.m_Files = {"page.bmp"};
        const std::string folder = vlm::CreateRecoveryFolder(r);
        EXPECT_FALSE(folder.empty());
        std::ofstream(folder + "\\page.bmp", std::ios::binary) << text;
        EXPECT_TRUE(vlm::WriteRecoveryManifest(folder, r));
        return folder;
    }
    static vlm::RecoveryRecord Manifest(const std::string& folder) {
        vlm::RecoveryRecord r;
        EXPECT_TRUE(vlm::ReadRecoveryManifest(folder, r)) << folder;
        return r;
    }

    std::string m_strSave, m_strTrace;
};

} // namespace kestreltest
