// The fixture of the whole-program tests of kestrel: a private simulator
// state folder and job store, kestrel's run log switched on, the scanner
// service started on demand, and readers for the run log and the panel.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ProcessDriver.h"
#include "components/vx410sim/vx410sim.h"
#include "framework/Handles.h"
#include "framework/Profile.h"

namespace kestreltest {

const char kScanEvent[] = "{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}";
const char kDialogCaption[] = "VX410KESTREL_83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
const char kToolMutex[] = "VX410-Taskdeck-83D649F0-02A1-4a3f-BB2A-B312F6B8E49";

class Kestrel : public ::testing::Test {
protected:
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        m_strTemp = tmp;
        const std::string id = std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(GetTickCount()) + "-" + std::to_string(++s_nRun);
        m_strDir = m_strTemp + "kestrel-test-" + id;
        CreateDirectoryA(m_strDir.c_str(), nullptr);
        m_strState = m_strDir + "\\state";
        CreateDirectoryA(m_strState.c_str(), nullptr);
        m_strServiceLog = m_strDir + "\\service.log";
        m_strLogName = "kestrel-test-" + id + ".log";
        SetEnvironmentVariableA("VX410SIM_DIR", m_strState.c_str());
        SetEnvironmentVariableA("TASKSTORE_FILE", (m_strDir + "\\Taskstore.reg").c_str());
        SetEnvironmentVariableA("VX410_SERVICE_TRANSPORT", nullptr);
        m_profile.WriteInt("General", "WriteLog", 1);
        m_profile.WriteString("General", "LogFileName", m_strLogName.c_str());
        m_profile.WriteInt("General", "JobNumber", 0);
        m_profile.WriteInt("General", "DeviceID", 0);
        m_pDevice = std::make_unique<vx410sim::CSimDevice>(m_strState);
        vx410sim::DeviceState st;
        ASSERT_TRUE(m_pDevice->Read(st));
        m_strDevice = st.DeviceName();
    }
    void TearDown() override {
        EndLeftRunners();
        if (m_pService && m_pService->Running()) {
            RunCapture("\"" + ProgramPath("VX-410 Simulator", "scanner-service.exe") + "\" --stop",
                       nullptr);
            EXPECT_EQ(m_pService->Wait(15000), 0u);
        }
        m_profile.WriteInt("General", "JobNumber", 0);
        m_profile.WriteInt("General", "DeviceID", 0);
        SetEnvironmentVariableA("VX410_SERVICE_TRANSPORT", nullptr);
    }

    // A runner still alive after a test (one that failed half-way) would
    // hold the scanner and answer the next test's questions: it gets time
    // to end by itself, then it is reported and ended.
    void EndLeftRunners() {
        for (const CRunningProcess& p : RunningProcesses("kestrel.exe")) {
            vlm::CHandle runner(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.m_nPid));
            if (!runner.IsValid() || WaitForSingleObject(runner, 30000) == WAIT_OBJECT_0)
                continue;
            ADD_FAILURE() << "a runner (pid " << p.m_nPid << ") was left running; ended";
            TerminateProcess(runner, 99);
            WaitForSingleObject(runner, 30000);
        }
    }
    int Taskstore(const std::string& args, std::string* pOut = nullptr) {
        return static_cast<int>(
            RunCapture("\"" + ProgramPath("Taskstore", "taskstore.exe") + "\" " + args, pOut));
    }
    void RegisterJob(int n, int function) {
        const std::string N = std::to_string(n);
        ASSERT_EQ(Taskstore("set " + N + " title string \"Job " + N + "\""), 0);
        ASSERT_EQ(Taskstore("set " + N + " \"function id\" i4 " + std::to_string(function)), 0);
        ASSERT_EQ(Taskstore("set " + N + " \"function id name\" string \"Save as file\""), 0);
        ASSERT_EQ(Taskstore("set " + N + " save i2 0"), 0);
    }
    long LastJobNum() {
        std::string out;
        if (Taskstore("common get LastJobNum", &out) != 0)
            return -1;
        size_t p = out.find_first_of("0123456789");
        return p == std::string::npos ? -1 : std::atol(out.c_str() + p);
    }
    void StartService(const std::string& extra = "") {
        m_pService = std::make_unique<CProcess>();
        ASSERT_TRUE(m_pService->Start("\"" +
                                      ProgramPath("VX-410 Simulator", "scanner-service.exe") +
                                      "\" --log \"" + m_strServiceLog + "\" " + extra));
        for (int i = 0;
             i < 100 && ServiceLog().find("scanner service started") == std::string::npos; ++i)
            Sleep(100);
        ASSERT_NE(ServiceLog().find("scanner service started"), std::string::npos);
    }
    std::string ServiceLog() { return ReadFileText(m_strServiceLog); }
    // Presses Start and waits for the runner the service starts to end.
    DWORD PressStartAndWait() {
        EXPECT_TRUE(m_pDevice->PressStart());
        return WaitRunnerEnd();
    }
    // Exit code of the runs-th runner the service started, from its log.
    DWORD WaitRunnerEnd(int runs = 1) {
        for (int i = 0; i < 1200; ++i) {
            const std::string log = ServiceLog();
            size_t p = 0;
            for (int k = 0; k < runs && p != std::string::npos; ++k)
                p = log.find("kestrel ended", k ? p + 1 : 0);
            if (p != std::string::npos)
                return static_cast<DWORD>(
                    std::strtoul(log.c_str() + log.find("exit code ", p) + 10, nullptr, 10));
            Sleep(100);
        }
        return 0xFFFFFFFE;
    }
    std::string KestrelCommand(bool bScanner) {
        return "\"" + ProgramPath("Task Deck", "kestrel.exe") + "\" /StiDevice:" + m_strDevice +
               (bScanner ? std::string(" /StiEvent:") + kScanEvent : std::string());
    }
    // The run log's texts without their time and thread prefix.
    std::vector<std::string> RunLog() {
        std::vector<std::string> texts;
        for (const std::string& line : SplitLines(ReadFileText(m_strTemp + m_strLogName))) {
            size_t p = line.find("]  ");
            texts.push_back(p == std::string::npos ? line : line.substr(p + 3));
        }
        return texts;
    }
    // Milliseconds of the day of the first run log line containing text.
    long LogTime(const std::string& text) {
        for (const std::string& line : SplitLines(ReadFileText(m_strTemp + m_strLogName))) {
            if (line.find(text) != std::string::npos && line.size() > 23) {
                int h = 0, m = 0, s = 0, ms = 0;
                if (sscanf(line.c_str() + 11, "%d:%d:%d.%d", &h, &m, &s, &ms) == 4)
                    return ((h * 60 + m) * 60 + s) * 1000L + ms;
            }
        }
        return -1;
    }
    // The next run starts a fresh run log.
    void ClearRunLog() { DeleteFileA((m_strTemp + m_strLogName).c_str()); }
    bool InLog(const std::string& text) {
        auto log = RunLog();
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    vx410sim::DeviceState Panel() {
        vx410sim::DeviceState st;
        EXPECT_TRUE(m_pDevice->Read(st));
        return st;
    }
    // Runs kestrel by hand and answers its one message box (or error dialog).
    CMessageBoxInfo RunAndAnswer(const std::string& cmd, DWORD* pExit, const char* button = "OK") {
        CProcess k;
        CMessageBoxInfo box;
        EXPECT_TRUE(k.Start(cmd));
        EXPECT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box)) << "no message box";
        if (box.m_hWnd) {
            EXPECT_TRUE(PressButton(box, button));
        }
        *pExit = k.Wait(60000);
        return box;
    }

    static inline int s_nRun = 0;
    CVlmProfile m_profile{"Velmora Works Inc.", "kestrel"};
    std::string m_strTemp, m_strDir, m_strState, m_strServiceLog, m_strLogName, m_strDevice;
    std::unique_ptr<vx410sim::CSimDevice> m_pDevice;
    std::unique_ptr<CProcess> m_pService;
};

// Checks that want appears in log as a subsequence, in order.
inline ::testing::AssertionResult InOrder(const std::vector<std::string>& log,
                                          const std::vector<std::string>& want) {
    size_t i = 0;
    for (const std::string& w : want) {
        while (i < log.size() && log[i] != w)
            ++i;
        if (i == log.size()) {
            std::string all;
            for (const auto& l : log)
                all += "  " + l + "\n";
            return ::testing::AssertionFailure()
                   << "missing or out of order: \"" << w << "\"\nlog:\n"
                   << all;
        }
        ++i;
    }
    return ::testing::AssertionSuccess();
}

} // namespace kestreltest
