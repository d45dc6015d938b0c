#include "vx410sim.h"
#include "pagegen.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace vx410sim;
using vx410sim::test::CTempFolder;

namespace {

DeviceState Sample() {
    DeviceState s;
    s.m_attachment = Attachment::Scsi;
    s.m_nDeviceIndex = 3;
    s.m_nPanelSetting = 200;
    s.m_titles[0] = "Invoices";
    s.m_titles[41] = std::string("Caf\xE9 %20 = x\x01", 12);
    s.m_titles[98] = std::string(29, 'Z');
    s.m_strPanelMessage = "Scanning...";
    s.m_nDisplayKind = kDisplayWarning;
    s.m_nSelectedJob = 42;
    s.m_feeder = {FeederEntry{"page-000001.pgm", 0, {{10, "4006381333931"}}},
                  FeederEntry{"", 7, {{4, "INV:2026/0001 %"}, {12, std::string(255, 'x')}}},
                  FeederEntry{"", 8, {}}};
    s.m_nPagesTaken = 4;
    s.m_nNextGenerated = 8;
    s.m_nNextFile = 2;
    s.m_bCoverOpen = true;
    s.m_nJamAtPage = 5;
    s.m_nDoubleFeedAtPage = 6;
    s.m_bJammed = true;
    s.m_bDoubleFed = true;
    s.m_bLampError = true;
    s.m_nDiagError = 0xE35;
    s.m_bSenseArmed = true;
    s.m_armedSense = SenseData{3, 0x8001};
    s.m_strSourceFault = "imageinfo";
    s.m_nSourceFaultAtPage = 2;
    s.m_bStartPending = true;
    s.m_bRunnerHolds = true;
    s.m_nCommands = 17;
    return s;
}

} // namespace

TEST(StateText, RoundTripsEveryField) {
    const DeviceState s = Sample();
    DeviceState back;
    std::string err;
    ASSERT_TRUE(ParseState(SerializeState(s), back, &err)) << err;
    EXPECT_EQ(back, s);
}

TEST(StateText, DefaultsAndUnknownKeys) {
    DeviceState s;
    ASSERT_TRUE(ParseState("# comment\r\nfuture_key=whatever\r\nselected_job=9\r\n", s));
    EXPECT_EQ(s.m_nSelectedJob, 9);
    EXPECT_EQ(s.m_attachment, Attachment::Usb);
    EXPECT_FALSE(s.PaperPresent());
    EXPECT_EQ(s.DeviceName(), "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000");
}

TEST(StateText, RejectsBadValuesAndLeavesTargetAlone) {
    const char* bad[] = {"selected_job=0",
                         "selected_job=100",
                         "attachment=firewire",
                         "title.100=x",
                         "title.1=%4",
                         "title.1=%ZZ",
                         "page=file:../../etc",
                         "page=file:a\\b",
                         "page=gen:0",
                         "no equals sign",
                         "jammed=2",
                         "armed_sense=3",
                         "source_fault=Image Info",
                         "source_fault_at_page=-1",
                         "page.barcode=4:before any page",
                         "title.2="
                         "123456789012345678901234567890"};
    for (const char* text : bad) {
        DeviceState s = Sample();
        std::string err;
        EXPECT_FALSE(ParseState(text, s, &err)) << text;
        EXPECT_NE(err.find("line 1"), std::string::npos) << err;
        EXPECT_EQ(s, Sample()) << text;
    }
}

TEST(SimDevice, MissingFileGivesDefaultsAndCorruptFileIsAnError) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_EQ(s, DeviceState{});
    std::ofstream(dir.File("state.txt")) << "selected_job=abc\n";
    std::string err;
    EXPECT_FALSE(dev.Read(s, &err));
    EXPECT_NE(err.find("selected_job"), std::string::npos) << err;
    // A failed read must not let an update overwrite the file.
    EXPECT_FALSE(dev.SetSelectedJob(3));
    std::ifstream f(dir.File("state.txt"));
    std::string line;
    std::getline(f, line);
    EXPECT_EQ(line, "selected_job=abc");
}

TEST(SimDevice, ConcurrentThreadsLoseNoUpdate) {
    CTempFolder dir;
    auto work = [&] {
        CSimDevice dev(dir.Path()); // own object, own file handles
        for (int i = 0; i < 500; ++i)
            ASSERT_TRUE(dev.Update([](DeviceState& s) {
                ++s.m_nCommands;
                return true;
            }));
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    DeviceState s;
    ASSERT_TRUE(CSimDevice(dir.Path()).Read(s));
    EXPECT_EQ(s.m_nCommands, 1000);
}

#ifndef _WIN32
TEST(SimDevice, ConcurrentProcessesLoseNoUpdate) {
    CTempFolder dir;
    std::vector<pid_t> kids;
    for (int k = 0; k < 3; ++k) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CSimDevice dev(dir.Path());
            for (int i = 0; i < 200; ++i)
                if (!dev.Update([](DeviceState& s) {
                        ++s.m_nCommands;
                        return true;
                    }))
                    _exit(1);
            _exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    DeviceState s;
    ASSERT_TRUE(CSimDevice(dir.Path()).Read(s));
    EXPECT_EQ(s.m_nCommands, 600);
}
#endif

TEST(SimDevice, StartPressIsConsumedOnce) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    EXPECT_FALSE(dev.TakeStartPress());
    ASSERT_TRUE(dev.PressStart());
    ASSERT_TRUE(dev.PressStart()); // presses before the service looks coalesce
    EXPECT_TRUE(dev.TakeStartPress());
    EXPECT_FALSE(dev.TakeStartPress());
}

TEST(SimDevice, SelectedJobAndRunnerFlag) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    std::string err;
    EXPECT_FALSE(dev.SetSelectedJob(0, &err));
    EXPECT_FALSE(dev.SetSelectedJob(100, &err));
    ASSERT_TRUE(dev.SetSelectedJob(99));
    ASSERT_TRUE(dev.SetRunnerHolds(true));
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_EQ(s.m_nSelectedJob, 99);
    EXPECT_TRUE(s.m_bRunnerHolds);
}

TEST(Feeder, GeneratedPagesComeOutInOrderThenEmpty) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    PageSource p;
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::Empty);
    ASSERT_TRUE(dev.FeedGenerated(3));
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(dev.TakeNextPage(p), TakeResult::Page);
        EXPECT_FALSE(p.m_bIsFile);
        EXPECT_EQ(p.m_nGenerated, i);
        EXPECT_EQ(p.m_nPageInBatch, i);
    }
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::Empty);
    // Loading an empty feeder starts a new count; generated numbers go on.
    ASSERT_TRUE(dev.FeedGenerated(1));
    ASSERT_EQ(dev.TakeNextPage(p), TakeResult::Page);
    EXPECT_EQ(p.m_nGenerated, 4);
    EXPECT_EQ(p.m_nPageInBatch, 1);
    EXPECT_FALSE(dev.FeedGenerated(0));
    EXPECT_FALSE(dev.FeedGenerated(10001));
}

TEST(Feeder, JamKeepsTheSheetUntilCleared) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    ASSERT_TRUE(dev.FeedGenerated(3));
    ASSERT_TRUE(dev.Update([](DeviceState& s) {
        s.m_nJamAtPage = 2;
        return true;
    }));
    PageSource p;
    ASSERT_EQ(dev.TakeNextPage(p), TakeResult::Page);
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::Jam);
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::Jam); // still stuck
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_EQ(s.m_feeder.size(), 2u);
    EXPECT_TRUE(s.m_bJammed);
    ASSERT_TRUE(dev.ClearFaults());
    ASSERT_EQ(dev.TakeNextPage(p), TakeResult::Page);
    EXPECT_EQ(p.m_nGenerated, 2);
    EXPECT_EQ(p.m_nPageInBatch, 2);
}

TEST(Feeder, DoubleFeedLosesThatSheetAndGoesOn) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    ASSERT_TRUE(dev.FeedGenerated(3));
    ASSERT_TRUE(dev.Update([](DeviceState& s) {
        s.m_nDoubleFeedAtPage = 1;
        return true;
    }));
    PageSource p;
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::DoubleFeed);
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_TRUE(s.m_bDoubleFed);
    EXPECT_EQ(s.m_feeder.size(), 2u);
    ASSERT_EQ(dev.TakeNextPage(p), TakeResult::Page);
    EXPECT_EQ(p.m_nGenerated, 2);
    ASSERT_TRUE(dev.Read(s));
    EXPECT_FALSE(s.m_bDoubleFed); // a good sheet ends the condition
}

TEST(Feeder, DeviceFaultsStopFeedingInPriorityOrder) {
    CTempFolder dir;
    CSimDevice dev(dir.Path());
    ASSERT_TRUE(dev.FeedGenerated(1));
    auto set = [&](auto fn) {
        ASSERT_TRUE(dev.Update([&](DeviceState& s) {
            fn(s);
            return true;
        }));
    };
    PageSource p;
    set([](DeviceState& s) { s.m_bCoverOpen = true; });
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::CoverOpen);
    set([](DeviceState& s) { s.m_bLampError = true; });
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::LampError);
    set([](DeviceState& s) { s.m_nDiagError = 0xE44; });
    EXPECT_EQ(dev.TakeNextPage(p), TakeResult::HardwareError);
    set([](DeviceState& s) { s.m_attachment = Attachment::None; });
    std::string err;
    EXPECT_EQ(dev.TakeNextPage(p, &err), TakeResult::NotReady);
    EXPECT_FALSE(err.empty());
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_EQ(s.m_feeder.size(), 1u); // nothing was lost on the way
}

TEST(Feeder, FilesAreCopiedTakenAndReleased) {
    CTempFolder dir, src;
    PageImage img;
    img.m_nWidth = 40;
    img.m_nHeight = 30;
    img.m_nBitsPerPixel = 8;
    img.m_data = GeneratePage(40, 30, 8, 300, 1);
    img.m_data.assign(img.m_data.size(), 77);
    ASSERT_TRUE(WritePnm(src.File("a.pgm"), img));
    CSimDevice dev(dir.Path());
    ASSERT_TRUE(dev.FeedFiles({src.File("a.pgm")}));
    std::filesystem::remove(src.File("a.pgm")); // the feeder has its own copy
    PageSource p;
    ASSERT_EQ(dev.TakeNextPage(p), TakeResult::Page);
    ASSERT_TRUE(p.m_bIsFile);
    PageImage back;
    ASSERT_TRUE(ReadImageFile(p.m_strPath, back));
    EXPECT_EQ(back.m_data, img.m_data);
    dev.ReleasePageFile(p);
    EXPECT_FALSE(std::filesystem::exists(p.m_strPath));
}

TEST(Feeder, ABadFileFeedsNothing) {
    CTempFolder dir, src;
    std::ofstream(src.File("good.pbm"), std::ios::binary) << "P4\n8 1\n" << char(0x0F);
    std::ofstream(src.File("bad.pbm"), std::ios::binary) << "P4\n8 100\n";
    CSimDevice dev(dir.Path());
    std::string err;
    EXPECT_FALSE(dev.FeedFiles({src.File("good.pbm"), src.File("bad.pbm")}, &err));
    EXPECT_NE(err.find("bad.pbm"), std::string::npos) << err;
    EXPECT_FALSE(dev.FeedFiles({src.File("missing.bmp")}, &err));
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_TRUE(s.m_feeder.empty());
}

TEST(Feeder, ClearAllEmptiesFeederButKeepsTitles) {
    CTempFolder dir, src;
    std::ofstream(src.File("p.pbm"), std::ios::binary) << "P4\n8 1\n" << char(0x0F);
    CSimDevice dev(dir.Path());
    ASSERT_TRUE(dev.FeedFiles({src.File("p.pbm")}));
    ASSERT_TRUE(dev.FeedGenerated(2));
    ASSERT_TRUE(dev.PressStart());
    ASSERT_TRUE(dev.Update([](DeviceState& s) {
        s.m_titles[4] = "Five";
        s.m_bLampError = true;
        s.m_nSelectedJob = 5;
        return true;
    }));
    DeviceState before;
    ASSERT_TRUE(dev.Read(before));
    const std::string copied = dir.File(before.m_feeder[0].m_strFile);
    ASSERT_TRUE(std::filesystem::exists(copied));
    ASSERT_TRUE(dev.ClearAll());
    DeviceState s;
    ASSERT_TRUE(dev.Read(s));
    EXPECT_TRUE(s.m_feeder.empty());
    EXPECT_FALSE(s.m_bLampError);
    EXPECT_FALSE(s.m_bStartPending);
    EXPECT_EQ(s.m_titles[4], "Five");
    EXPECT_EQ(s.m_nSelectedJob, 5);
    EXPECT_FALSE(std::filesystem::exists(copied));
}

TEST(Identity, ProbeAndDeviceNames) {
    DeviceState s;
    EXPECT_EQ(ProbeFriendlyName(s, "VELMORA VX-410 USB"), s.DeviceName());
    EXPECT_EQ(ProbeFriendlyName(s, "VELMORA VX-410 SCSI"), "");
    EXPECT_EQ(ProbeFriendlyName(s, nullptr), "");
    EXPECT_TRUE(DeviceNameMatches(s, "{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\0000"));
    EXPECT_FALSE(DeviceNameMatches(s, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001"));
    EXPECT_FALSE(DeviceNameMatches(s, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\00000"));
    EXPECT_FALSE(DeviceNameMatches(s, nullptr));
    s.m_attachment = Attachment::Scsi;
    s.m_nDeviceIndex = 12;
    EXPECT_EQ(ProbeFriendlyName(s, "VELMORA VX-410 SCSI"),
              "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0012");
    s.m_attachment = Attachment::None;
    EXPECT_FALSE(DeviceNameMatches(s, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0012"));
    EXPECT_EQ(ProbeFriendlyName(s, "VELMORA VX-410 SCSI"), "");
}

TEST(Identity, DisplayKindNames) {
    EXPECT_EQ(DisplayKindName(0), "none");
    EXPECT_EQ(DisplayKindName(1), "normal");
    EXPECT_EQ(DisplayKindName(2), "warning");
    EXPECT_EQ(DisplayKindName(3), "error");
    EXPECT_EQ(DisplayKindName(9), "unknown (9)");
}
