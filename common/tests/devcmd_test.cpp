// The device command channel through devlink.dll against a private simulator
// state folder per test.
#include <gtest/gtest.h>
#include "common/Localize.h"
#include "common/StiCmd.h"
#include "components/vx410sim/tests/testfolder.h"
#include "vx410sim.h"

#include <cstring>
#include <functional>
#include <string>

using namespace vx410sim;

namespace {

const char* const kDevice0 = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
const char* const kDoubleFeed = "A double paper-feed has occured. Please check the document and "
                                "the scanned image on the display and scan the document again.";
const char* const kLockingHooks = "Please confirm Scanner Unit locking hooks and Scanning Unit "
                                  "slide lock, and then restart scanner.";

std::string Old(int job) {
    return "old " + std::to_string(job);
}

class StiCmdTest : public ::testing::Test {
protected:
    void TearDown() override { m_cmd.Close(); }
    CSimDevice Sim() { return m_sim.Device(); }
    DeviceState State() { return m_sim.State(); }
    void Set(const std::function<void(DeviceState&)>& fn) { ASSERT_TRUE(m_sim.Set(fn)); }
    // The next command fails with this sense.
    void Arm(uint8_t key, uint16_t code) {
        Set([&](DeviceState& s) {
            s.m_bSenseArmed = true;
            s.m_armedSense = SenseData{key, code};
        });
    }
    void SeedOldTitles() {
        Set([](DeviceState& s) {
            for (int job = 1; job <= kJobCount; ++job)
                s.m_titles[size_t(job - 1)] = Old(job);
        });
    }

    test::CSimFolder m_sim;
    CSuSTICmd m_cmd;
};

// The slot of a virtual member function (pointer-to-member layout of the
// Itanium C++ ABI that MinGW-w64 follows: vtable offset + 1).
template <class F> ptrdiff_t Slot(F pmf) {
    struct Rep {
        uintptr_t ptr;
        ptrdiff_t adj;
    } rep;
    static_assert(sizeof(F) == sizeof(Rep));
    std::memcpy(&rep, &pmf, sizeof rep);
    if ((rep.ptr & 1) == 0)
        return -1; // not virtual
    return ptrdiff_t((rep.ptr - 1) / sizeof(void*));
}

} // namespace

TEST_F(StiCmdTest, SlotsStayInTheirOrder) {
    EXPECT_EQ(Slot(&CStiCmd::Open), 0);
    EXPECT_EQ(Slot(&CStiCmd::ReservedA), 1);
    EXPECT_EQ(Slot(&CStiCmd::Close), 2);
    EXPECT_EQ(Slot(&CStiCmd::ReservedB), 3);
    EXPECT_EQ(Slot(&CStiCmd::ExecCommand), 4);
    EXPECT_EQ(Slot(&CStiCmd::Write), 5);
    EXPECT_EQ(Slot(&CStiCmd::Read), 6);
    EXPECT_EQ(Slot(&CStiCmd::ReservedC), 7);
    EXPECT_EQ(Slot(&CStiCmd::GetSenseCode), 8);
    EXPECT_EQ(Slot(&CSuSTICmd::GetSenseCode), 8);
}

TEST_F(StiCmdTest, AHeldHandleIsKeptUntilClose) {
    EXPECT_EQ(m_cmd.GetHandle(), 0u);
    EXPECT_EQ(m_cmd.Close(), 0);
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    const STIHANDLE held = m_cmd.GetHandle();
    ASSERT_NE(held, 0u);

    // With the scanner gone devlink would refuse every open: a held handle
    // answers TRUE without asking it.
    Set([](DeviceState& s) { s.m_attachment = Attachment::None; });
    EXPECT_EQ(m_cmd.Open("no such device"), TRUE);
    EXPECT_EQ(m_cmd.OpenByFriendlyName("VELMORA VX-410 SCSI"), TRUE);
    EXPECT_EQ(m_cmd.GetHandle(), held);

    EXPECT_EQ(m_cmd.Close(), 1);
    EXPECT_EQ(m_cmd.GetHandle(), 0u);
    EXPECT_EQ(m_cmd.Close(), 0);
    EXPECT_FALSE(StiClose(held)); // really closed
    EXPECT_EQ(m_cmd.Open(kDevice0), FALSE);
    EXPECT_EQ(m_cmd.GetHandle(), 0u);

    // An owner that forgets Close does not keep the device open.
    Set([](DeviceState& s) { s.m_attachment = Attachment::Usb; });
    STIHANDLE left = 0;
    {
        CSuSTICmd forgotten;
        ASSERT_TRUE(forgotten.Open(kDevice0));
        left = forgotten.GetHandle();
    }
    EXPECT_FALSE(StiClose(left));
}

TEST_F(StiCmdTest, OpenByFriendlyNameProbesThenOpens) {
    EXPECT_EQ(m_cmd.OpenByFriendlyName(nullptr), FALSE);
    EXPECT_EQ(m_cmd.OpenByFriendlyName("VELMORA VX-410 SCSI"), FALSE);
    EXPECT_EQ(m_cmd.OpenByFriendlyName("VELMORA VX-420 USB"), FALSE);
    EXPECT_EQ(m_cmd.GetHandle(), 0u);
    ASSERT_EQ(m_cmd.OpenByFriendlyName("VELMORA VX-410 USB"), TRUE);
    EXPECT_TRUE(m_cmd.ExecCommand(0)); // test unit ready on the opened device
    EXPECT_EQ(m_cmd.Close(), 1);

    Set([](DeviceState& s) {
        s.m_attachment = Attachment::Scsi;
        s.m_nDeviceIndex = 3;
    });
    EXPECT_EQ(m_cmd.OpenByFriendlyName("VELMORA VX-410 USB"), FALSE);
    ASSERT_EQ(m_cmd.OpenByFriendlyName("VELMORA VX-410 SCSI"), TRUE);
    EXPECT_NE(m_cmd.GetHandle(), 0u);
}

TEST_F(StiCmdTest, WithoutAHandleNothingReachesTheScanner) {
    SeedOldTitles();
    const int before = State().m_nCommands;
    const vlm::CommandBlock info = vlm::DeviceInfoCommand();
    BYTE buf[devcmd::kDeviceInfoSize];
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(m_cmd.Read(info.data(), 10, buf, sizeof buf), 0);
    const vlm::CommandBlock title = vlm::JobTitleCommand(1);
    const vlm::JobTitleData data = vlm::MakeJobTitleData("x", 1);
    EXPECT_EQ(m_cmd.Write(title.data(), 10, data.data(), 32), 0);
    EXPECT_EQ(m_cmd.GetSenseCode(buf, 14), 0);
    EXPECT_EQ(m_cmd.WriteJobTitle(1, "x", 1), FALSE);
    EXPECT_EQ(m_cmd.ClearJobTitle(1), FALSE);
    EXPECT_EQ(m_cmd.ShowPanelMessage(devcmd::kDisplayNormal, "Scanning..."), FALSE);
    EXPECT_EQ(m_cmd.LoadCheck(), FALSE);
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(m_cmd.ReadDeviceInformation(buf), FALSE);
    EXPECT_EQ(buf[0] | buf[24] | buf[127], 0);
    EXPECT_EQ(m_cmd.GetSenseText(), "Unknown error.");
    // Passed through to devlink, which refuses the missing handle.
    EXPECT_EQ(m_cmd.ExecCommand(0), FALSE);
    EXPECT_EQ(m_cmd.ReservedA(), 0);
    EXPECT_EQ(m_cmd.ReservedC(1, 2), 0);
    m_cmd.ReservedB();

    const DeviceState after = State();
    EXPECT_EQ(after.m_nCommands, before);
    EXPECT_EQ(after.m_titles[0], Old(1));
    EXPECT_TRUE(after.m_strPanelMessage.empty());
}

TEST_F(StiCmdTest, JobTitleRefusalsSendNothing) {
    SeedOldTitles();
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    const int before = State().m_nCommands;
    const std::string thirty(30, 'T');
    EXPECT_EQ(m_cmd.WriteJobTitle(0, "zero", 4), FALSE);
    EXPECT_EQ(m_cmd.WriteJobTitle(100, "hundred", 7), FALSE);
    EXPECT_EQ(m_cmd.WriteJobTitle(-1, "minus", 5), FALSE);
    EXPECT_EQ(m_cmd.WriteJobTitle(5, thirty.c_str(), 30), FALSE);
    EXPECT_EQ(m_cmd.WriteJobTitle(5, thirty.c_str(), DWORD(-1)), FALSE);
    EXPECT_EQ(m_cmd.WriteJobTitle(5, nullptr, 3), FALSE);
    EXPECT_EQ(m_cmd.ClearJobTitle(0), FALSE);
    EXPECT_EQ(m_cmd.ClearJobTitle(100), FALSE);
    DeviceState s = State();
    EXPECT_EQ(s.m_nCommands, before);
    EXPECT_EQ(s.m_titles[4], Old(5));

    // 29 bytes in the ANSI code page, no terminator: the whole title arrives.
    const std::string full = "Rechnungen \xC4nderungen 2024 ab"; // 29 bytes
    ASSERT_EQ(full.size(), 29u);
    EXPECT_EQ(m_cmd.WriteJobTitle(1, full.data(), DWORD(full.size())), TRUE);
    EXPECT_EQ(m_cmd.WriteJobTitle(99, "Last", 4), TRUE);
    EXPECT_EQ(m_cmd.ClearJobTitle(50), TRUE);
    s = State();
    EXPECT_EQ(s.m_titles[0], full);
    EXPECT_EQ(s.m_titles[98], "Last");
    EXPECT_EQ(s.m_titles[49], "");
    EXPECT_EQ(s.m_titles[48], Old(49));

    // The scanner's own refusal comes back as FALSE.
    Arm(5, 0x2400);
    EXPECT_EQ(m_cmd.WriteJobTitle(2, "Two", 3), FALSE);
    EXPECT_EQ(State().m_titles[1], Old(2));
}

TEST_F(StiCmdTest, TitleListStopsAtTheFirstRefusedTitle) {
    SeedOldTitles();
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    const auto list = [](long job, std::string& title) {
        if (job % 10 == 2)
            return JobTitleAction::Clear; // no job under this number
        title = job == 25 ? std::string(30, 'L') : "Job " + std::to_string(job);
        return JobTitleAction::Write;
    };
    EXPECT_EQ(m_cmd.WriteJobTitles(list), 25);
    DeviceState s = State();
    for (int job = 1; job <= kJobCount; ++job) {
        const std::string& t = s.m_titles[size_t(job - 1)];
        if (job >= 25)
            EXPECT_EQ(t, Old(job)) << job;
        else if (job % 10 == 2)
            EXPECT_EQ(t, "") << job;
        else
            EXPECT_EQ(t, "Job " + std::to_string(job)) << job;
    }

    // Every title fits: all 99 are written.
    EXPECT_EQ(m_cmd.WriteJobTitles([](long job, std::string& title) {
        title = std::string(29, char('A' + job % 26));
        return JobTitleAction::Write;
    }),
              0);
    s = State();
    EXPECT_EQ(s.m_titles[0], std::string(29, 'B'));
    EXPECT_EQ(s.m_titles[98], std::string(29, char('A' + 99 % 26)));

    // A stop request ends the list without a failure.
    SeedOldTitles();
    EXPECT_EQ(m_cmd.WriteJobTitles([](long job, std::string& title) {
        title = "New";
        return job == 10 ? JobTitleAction::Stop : JobTitleAction::Write;
    }),
              0);
    s = State();
    EXPECT_EQ(s.m_titles[8], "New");
    EXPECT_EQ(s.m_titles[9], Old(10));
    EXPECT_EQ(s.m_titles[98], Old(99));

    // The scanner refusing a clear ends it too.
    SeedOldTitles();
    EXPECT_EQ(m_cmd.WriteJobTitles([this](long job, std::string& title) {
        if (job == 3)
            Arm(2, 0x0400);
        title = "New";
        return job == 3 ? JobTitleAction::Clear : JobTitleAction::Write;
    }),
              3);
    s = State();
    EXPECT_EQ(s.m_titles[1], "New");
    EXPECT_EQ(s.m_titles[2], Old(3));
    EXPECT_EQ(s.m_titles[3], Old(4));
}

TEST_F(StiCmdTest, PanelLineAndDeviceInformation) {
    Set([](DeviceState& s) { s.m_nPanelSetting = 0x5A; });
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    const std::string exact(32, 'E');
    EXPECT_EQ(m_cmd.ShowPanelMessage(devcmd::kDisplayNormal, exact.c_str()), TRUE);
    DeviceState s = State();
    EXPECT_EQ(s.m_strPanelMessage, exact);
    EXPECT_EQ(s.m_nDisplayKind, kDisplayNormal);

    const std::string forty = "Scannerabdeckung ist offen, bitte schliessen";
    ASSERT_GE(forty.size(), 40u);
    EXPECT_EQ(m_cmd.ShowPanelMessage(devcmd::kDisplayError, forty.c_str()), TRUE);
    s = State();
    EXPECT_EQ(s.m_strPanelMessage, forty.substr(0, 32));
    EXPECT_EQ(s.m_nDisplayKind, kDisplayError);
    EXPECT_EQ(m_cmd.ShowPanelMessage(devcmd::kDisplayWarning, "Sending..."), TRUE);
    s = State();
    EXPECT_EQ(s.m_strPanelMessage, "Sending...");
    EXPECT_EQ(s.m_nDisplayKind, kDisplayWarning);

    BYTE info[devcmd::kDeviceInfoSize];
    std::memset(info, 0xEE, sizeof info);
    ASSERT_EQ(m_cmd.ReadDeviceInformation(info), TRUE);
    EXPECT_EQ(info[devcmd::kDeviceInfoPanelByte], 0x5A);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info), 8), "VELMORA ");
    EXPECT_EQ(info[127], 0);
}

TEST_F(StiCmdTest, LoadCheckAndWhatTheSenseSays) {
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    EXPECT_EQ(m_cmd.GetSenseText(), ""); // nothing failed yet

    // No paper is nothing to report; with paper the check passes.
    EXPECT_EQ(m_cmd.LoadCheck(), FALSE);
    EXPECT_EQ(m_cmd.GetSenseText(), "");
    ASSERT_TRUE(Sim().FeedGenerated(1));
    EXPECT_EQ(m_cmd.LoadCheck(), TRUE);

    struct Fault {
        std::function<void(DeviceState&)> set;
        const char* text;
    };
    const Fault faults[] = {
        {[](DeviceState& s) { s.m_bJammed = true; },
         "Paper jammed in scanner; clear paper and continue."},
        {[](DeviceState& s) { s.m_bCoverOpen = true; }, "Scanner cover is open."},
        {[](DeviceState& s) { s.m_bDoubleFed = true; }, kDoubleFeed},
        {[](DeviceState& s) { s.m_bLampError = true; }, "Lamp Error"},
        {[](DeviceState& s) { s.m_nDiagError = 0xE33; }, "Error in shading position"},
        {[](DeviceState& s) { s.m_nDiagError = 0xE35; }, kLockingHooks},
        {[](DeviceState& s) { s.m_nDiagError = 0xE44; }, "error 0xE44"},
        {[](DeviceState& s) { s.m_nDiagError = 0x123; }, "Unknown error."},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.text);
        Set(f.set);
        EXPECT_EQ(m_cmd.LoadCheck(), FALSE);
        EXPECT_EQ(m_cmd.GetSenseText(), f.text);
        // Reading the diagnostics is a command of its own, with its own sense.
        EXPECT_EQ(m_cmd.LoadCheck(), FALSE);
        EXPECT_EQ(m_cmd.GetSenseText(), f.text);
        Set([](DeviceState& s) {
            s.m_bJammed = s.m_bCoverOpen = s.m_bDoubleFed = s.m_bLampError = false;
            s.m_nDiagError = 0;
        });
    }

    Set([](DeviceState& s) { s.m_nDiagError = 0xE35; });
    EXPECT_EQ(m_cmd.GetDiagnosticText(), kLockingHooks);
    Set([](DeviceState& s) { s.m_nDiagError = 0; });
    EXPECT_EQ(m_cmd.GetDiagnosticText(), "Unknown error.");

    struct Injected {
        uint8_t key;
        uint16_t code;
        const char* text;
    };
    const Injected injected[] = {
        {0, 0x1234, "Unknown error."},
        {3, 0x3A00, ""},
        {3, 0x9999, "Unknown error."},
        {4, 0x4400, "Unknown error."},
        {5, 0x2000, "Unknown error."},
        {4, 0x8004, "Unknown error."}, // no diagnostic number
        {3, 0x8001, "Scanner cover is open."},
    };
    for (const Injected& i : injected) {
        SCOPED_TRACE(testing::Message() << int(i.key) << " " << std::hex << i.code);
        Arm(i.key, i.code);
        EXPECT_EQ(m_cmd.LoadCheck(), FALSE);
        EXPECT_EQ(m_cmd.GetSenseText(), i.text);
    }
}

TEST_F(StiCmdTest, UnreadableSenseIsNoAllClear) {
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    EXPECT_EQ(m_cmd.LoadCheck(), FALSE); // no paper: nothing to report
    EXPECT_EQ(m_cmd.GetSenseText(), "");
    ASSERT_EQ(m_cmd.Close(), 1);
    // The handle is gone, so is its sense: the user must not be told the
    // scanner is ready.
    EXPECT_EQ(m_cmd.GetSenseText(), "Unknown error.");
    EXPECT_EQ(CSuSTICmd().GetSenseText(), "Unknown error.");
}

namespace {
std::string Ansi(const wchar_t* w) {
    char buf[512] = {};
    WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}
// The texts in the user's language, through the localisation library and the
// runner's catalogue beside the test program.
class StiCmdGermanTest : public StiCmdTest {
protected:
    void SetUp() override {
        StiCmdTest::SetUp();
        ASSERT_TRUE(VlmLocalizer().Init("TaskdeckCore.loc", 0x0407));
    }
    void TearDown() override {
        if (VlmLocalizer().m_pfnClearFiles)
            VlmLocalizer().m_pfnClearFiles();
        StiCmdTest::TearDown();
    }
};
} // namespace

TEST_F(StiCmdGermanTest, TranslatedTextsAndTheTwoThatStayEnglish) {
    ASSERT_TRUE(m_cmd.Open(kDevice0));
    ASSERT_TRUE(Sim().FeedGenerated(1));
    struct Fault {
        std::function<void(DeviceState&)> set;
        std::string text;
    };
    const Fault faults[] = {
        {[](DeviceState& s) { s.m_bCoverOpen = true; },
         Ansi(L"Die Scannerabdeckung ist ge\u00f6ffnet.")},
        {[](DeviceState& s) { s.m_bJammed = true; },
         Ansi(L"Papierstau im Scanner; Papier entfernen und fortfahren.")},
        {[](DeviceState& s) { s.m_bDoubleFed = true; },
         Ansi(L"Ein Doppeleinzug ist aufgetreten. Bitte pr\u00fcfen Sie das Dokument und das "
              L"gescannte Bild auf dem Bildschirm und scannen Sie das Dokument erneut.")},
        {[](DeviceState& s) { s.m_nDiagError = 0xE33; }, Ansi(L"Fehler in der Shading-Position")},
        {[](DeviceState& s) { s.m_nDiagError = 0xE35; },
         Ansi(L"Bitte pr\u00fcfen Sie die Transportsicherungen der Scannereinheit und die "
              L"Schiebesperre der Scaneinheit und starten Sie den Scanner dann neu.")},
        {[](DeviceState& s) { s.m_nDiagError = 0x777; }, Ansi(L"Unbekannter Fehler.")},
        // The catalogue knows "Lamp Error", but the scanner's text stays English.
        {[](DeviceState& s) { s.m_bLampError = true; }, "Lamp Error"},
        {[](DeviceState& s) { s.m_nDiagError = 0xE44; }, "error 0xE44"},
    };
    ASSERT_EQ(VlmLocalize("Lamp Error"), Ansi(L"Lampenfehler")); // the catalogue is active
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.text);
        Set(f.set);
        EXPECT_EQ(m_cmd.LoadCheck(), FALSE);
        EXPECT_EQ(m_cmd.GetSenseText(), f.text);
        Set([](DeviceState& s) {
            s.m_bJammed = s.m_bCoverOpen = s.m_bDoubleFed = s.m_bLampError = false;
            s.m_nDiagError = 0;
        });
    }
    EXPECT_EQ(CSuSTICmd().GetSenseText(), Ansi(L"Unbekannter Fehler."));
}
