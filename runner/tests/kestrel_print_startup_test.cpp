// kestrel's start-up with print jobs, whole program: the default printer
// written into a job that has none, and no printer at all.
#include <gtest/gtest.h>

#include <windows.h>

#include "KestrelFixture.h"
#include "PrintTestPages.h"
#include "framework/Handles.h"
#include "uirobot.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

using namespace kestreltest;
using namespace printtest;

namespace {

// A byte block as taskstore.exe prints it (hex digits) back to bytes.
std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (!isxdigit(static_cast<unsigned char>(hex[i])))
            break;
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

class KestrelPrint : public Kestrel {
protected:
    void SetUp() override {
        Kestrel::SetUp();
        m_strDefault = DefaultPrinter();
        ASSERT_FALSE(m_strDefault.empty()) << "the prefix has no default printer";
    }
    void TearDown() override {
        if (DefaultPrinter() != m_strDefault)
            SetDefaultPrinterA(m_strDefault.c_str());
        Kestrel::TearDown();
    }
    std::string Get(int job, const char* key, int* pExit = nullptr) {
        std::string out;
        const int rc = Taskstore("get " + std::to_string(job) + " " + key, &out);
        if (pExit)
            *pExit = rc;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return out;
    }
    std::string m_strDefault;
};

TEST_F(KestrelPrint, AJobWithoutPrinterGetsTheDefaultPrinterAtItsFirstRun) {
    RegisterJob(6, 2);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(6));
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    // The dispatch names the function, then the printer is settled.
    EXPECT_TRUE(
        InOrder(RunLog(), {"set information to dlg class start", "SCAN_TO_PR",
                           "SetPrintInformation start", "SetPrintInformation end",
                           "set information to dlg class end", "DoModal start", "DoModal end"}));

    // DEVNAMES: the device name at its offset (the second WORD).
    const std::string names = FromHex(Get(6, "devname"));
    ASSERT_GE(names.size(), 8u);
    const size_t device =
        static_cast<unsigned char>(names[2]) | static_cast<unsigned char>(names[3]) << 8;
    ASSERT_LT(device, names.size());
    EXPECT_EQ(std::string(names.c_str() + device), m_strDefault);
    // DEVMODE: the device name first.
    EXPECT_EQ(std::string(FromHex(Get(6, "devmode")).c_str()), m_strDefault);
    const long flags = std::stol(Get(6, "Flags"));
    EXPECT_EQ(flags & 0x400, 0);
    EXPECT_EQ(flags & 0x3F400, 0);
    EXPECT_EQ(flags & 0x14000C, 0x14000C);
    for (const char* key : {"nFromPage", "nToPage", "nMinPage", "nMaxPage", "nCopies"}) {
        int rc = -1;
        Get(6, key, &rc);
        EXPECT_EQ(rc, 0) << key;
    }

    // The next run finds it and writes nothing.
    SetDefaultPrinterA(kSmallPrinter);
    CProcess again;
    ASSERT_TRUE(again.Start(KestrelCommand(true)));
    EXPECT_EQ(again.Wait(60000), 0u) << ServiceLog();
    EXPECT_EQ(std::string(FromHex(Get(6, "devmode")).c_str()), m_strDefault);
}

TEST_F(KestrelPrint, NoPrinterStoredAndNoDefaultPrinterEndsTheJobBeforeScanning) {
    RegisterJob(6, 2);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(6));
    ASSERT_TRUE(RemoveDefaultPrinter());

    StartService("--no-launch");
    CProcess k;
    ASSERT_TRUE(k.Start(KestrelCommand(false)));
    CUiFindOptions o;
    o.m_dwProcessId = k.m_nPid;
    CUiDialogInfo box;
    ASSERT_TRUE(UiWaitForDialog(o, 60000, box));
    EXPECT_EQ(box.m_strCaption, "VX-410");
    ASSERT_EQ(box.m_texts.size(), 1u) << UiDescribe(box);
    EXPECT_EQ(box.m_texts[0], "Can't initialize printer.");
    ASSERT_TRUE(UiPressButton(box, "OK"));
    EXPECT_EQ(k.Wait(60000), 1u);

    EXPECT_TRUE(InOrder(RunLog(), {"SCAN_TO_PR", "SetPrintInformation start"}));
    EXPECT_FALSE(InLog("SetPrintInformation end"));
    EXPECT_FALSE(InLog("DoModal start"));
    int rc = 0;
    Get(6, "devmode", &rc);
    EXPECT_EQ(rc, 3); // no such value
    EXPECT_NE(ServiceLog().find("unlock: the scanner is back"), std::string::npos);
}

} // namespace
