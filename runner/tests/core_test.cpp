#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "contracts/ServiceChannel.h"
#include "contracts/WindowMessages.h"
#include "runner/core/PanelKind.h"
#include "runner/core/StiArguments.h"

using namespace kestrel;

TEST(StiArguments, ParsesDeviceAndEventAndIgnoresTheRest) {
    auto a = ParseStiArguments({"/StiDevice:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000", "/x",
                                "/StiEvent:{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}", "job"});
    EXPECT_EQ(a.m_strDevice, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000");
    EXPECT_EQ(a.m_strEvent, "{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}");
    EXPECT_TRUE(IsScannerEvent(a.m_strEvent));
}

TEST(StiArguments, LaterOccurrenceWinsAndPrefixCaseMatters) {
    auto a = ParseStiArguments(
        {"/StiDevice:one", "/StiDevice:two", "/stievent:{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}"});
    EXPECT_EQ(a.m_strDevice, "two");
    EXPECT_EQ(a.m_strEvent, ""); // lower-case prefix is not an event
    EXPECT_FALSE(IsScannerEvent(a.m_strEvent));
    auto b = ParseStiArguments({"/StiEvent:first", "/StiEvent:", "/StiDevice:"});
    EXPECT_EQ(b.m_strEvent, "");
    EXPECT_EQ(b.m_strDevice, "");
}

TEST(StiArguments, ScannerEventsMatchIgnoringCaseOnlyWhole) {
    EXPECT_TRUE(IsScannerEvent("{aadf8531-9B29-4E93-8067-c8c186b0fea3}"));
    EXPECT_TRUE(IsScannerEvent("{895dbeb0-1f4a-4756-abfd-3218cf1f10a5}"));
    EXPECT_FALSE(IsScannerEvent("{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}x"));
    EXPECT_FALSE(IsScannerEvent("{895DBEB0-1F4A-4756-ABFD-3218CF1F10A}"));
    EXPECT_FALSE(IsScannerEvent(""));
}

TEST(WindowMessages, TheCollisionCheckCatchesASharedNumber) {
    // The job dialog once started itself with WM_APP + 1, which is the page
    // message the scan engine sends to the same window.
    constexpr unsigned int kOldStart = 0x8000 + 1;
    constexpr unsigned int clash[] = {WM_VLM_PAGE_SCANNED0, WM_VLM_BATCH_SCANNED, kOldStart};
    static_assert(!vlm::messages::AllDistinct(clash));
    constexpr unsigned int system[] = {WM_VLM_JOB_START, 0x0010 /* WM_CLOSE */};
    static_assert(!vlm::messages::AllPrivate(system));
    static_assert(vlm::messages::AllDistinct(vlm::messages::kAll));
    // Numbers other programs rely on (a newer runner, the status window).
    EXPECT_EQ(WM_VLM_REQUEST_CLOSE, 0x8039u);
    EXPECT_EQ(WM_VLM_JOB_START, 0x803Au);
    EXPECT_EQ(WM_VLM_WATCH_SCANNER, 0x803Bu);
    EXPECT_EQ(WM_VLM_JOB_COMPLETE, 0x803Fu);
    EXPECT_STREQ(kVX410ErrorModeMessageName, "VX410_StatusDialog_ErrorMode");
}

TEST(ServiceMessages, AreLittleEndian32Bit) {
    auto b = EncodeServiceMessage(0x01020307);
    EXPECT_EQ(b[0], 7);
    EXPECT_EQ(b[1], 3);
    EXPECT_EQ(b[2], 2);
    EXPECT_EQ(b[3], 1);
    EXPECT_EQ(DecodeServiceMessage(b.data()), 0x01020307u);
    EXPECT_EQ(DecodeServiceMessage(EncodeServiceMessage(0xFFFFFFFF).data()), 0xFFFFFFFFu);
    EXPECT_EQ(ServicePipePath("VX-410 Service Pipe for Kestrel"),
              "\\\\.\\pipe\\VX-410 Service Pipe for Kestrel");
    EXPECT_STREQ(ServiceRequestName(2), "job number");
    EXPECT_STREQ(ServiceRequestName(9), "unknown");
}

TEST(SharedBlock, AttachIsExclusiveUntilTheServiceEndsTheSession) {
    ServiceShmBlock b{};
    EXPECT_FALSE(shm::SessionActive(b));
    EXPECT_TRUE(shm::TryAttach(b));
    EXPECT_FALSE(shm::TryAttach(b));
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&b)[264], 1);
    shm::EndSession(b);
    EXPECT_FALSE(shm::SessionActive(b));
    EXPECT_TRUE(shm::TryAttach(b));
}

TEST(SharedBlock, PostAndTakeUseTheFixedOffsetsAndDirection) {
    ServiceShmBlock b{};
    auto msg = EncodeServiceMessage(kRequestJobNumber);
    EXPECT_EQ(shm::Post(b, kDirectionToService, msg.data(), 4), 4u);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&b);
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[1], 2);
    EXPECT_EQ(raw[260], 0);
    EXPECT_TRUE(shm::HasRequest(b));
    EXPECT_FALSE(shm::HasReply(b));
    uint8_t out[4] = {};
    EXPECT_EQ(shm::Take(b, out, 4), 4u);
    EXPECT_EQ(DecodeServiceMessage(out), 2u);
    EXPECT_FALSE(shm::IsFull(b));
    auto reply = EncodeServiceMessage(7);
    shm::Post(b, kDirectionToClient, reply.data(), 4);
    EXPECT_EQ(raw[260], 1);
    EXPECT_TRUE(shm::HasReply(b));
    EXPECT_FALSE(shm::HasRequest(b));
}

TEST(SharedBlock, CopiesAreBoundedBy256Bytes) {
    ServiceShmBlock b{};
    std::vector<uint8_t> big(400, 0xAB);
    EXPECT_EQ(shm::Post(b, kDirectionToService, big.data(), big.size()), 256u);
    EXPECT_EQ(b.reserved1[0], 0); // nothing spilled past the buffer
    EXPECT_EQ(b.direction, 0u);
    std::vector<uint8_t> out(400, 0);
    EXPECT_EQ(shm::Take(b, out.data(), out.size()), 256u);
    EXPECT_EQ(out[255], 0xAB);
    EXPECT_EQ(out[256], 0);
}

// Both sides of the protocol on one block from two threads: every request
// gets exactly its own reply, nothing is lost or read twice.
TEST(SharedBlock, TwoThreadExchangeKeepsEveryMessage) {
    ServiceShmBlock b{};
    ASSERT_TRUE(shm::TryAttach(b));
    constexpr uint32_t kCount = 2000;
    std::thread service([&] {
        for (uint32_t i = 0; i < kCount; ++i) {
            while (!shm::HasRequest(b))
                std::this_thread::yield();
            uint8_t m[4];
            shm::Take(b, m, 4);
            auto r = EncodeServiceMessage(DecodeServiceMessage(m) * 3);
            shm::Post(b, kDirectionToClient, r.data(), 4);
        }
    });
    for (uint32_t i = 0; i < kCount; ++i) {
        while (shm::IsFull(b))
            std::this_thread::yield();
        auto m = EncodeServiceMessage(i);
        shm::Post(b, kDirectionToService, m.data(), 4);
        while (!shm::HasReply(b))
            std::this_thread::yield();
        uint8_t r[4];
        shm::Take(b, r, 4);
        ASSERT_EQ(DecodeServiceMessage(r), i * 3);
    }
    service.join();
}

TEST(PanelKind, DisplayKindFollowsErrorFlagAndProgressTexts) {
    const std::string scanning = "Scanning...", done = "Sending complete.";
    EXPECT_EQ(ChoosePanelDisplayKind(false, "Sending complete.", scanning, done),
              devcmd::kDisplayNormal);
    EXPECT_EQ(ChoosePanelDisplayKind(false, "Scanning...", scanning, done), devcmd::kDisplayNormal);
    EXPECT_EQ(ChoosePanelDisplayKind(false, "Sending...", scanning, done), devcmd::kDisplayWarning);
    EXPECT_EQ(ChoosePanelDisplayKind(false, "Please wait.", scanning, done),
              devcmd::kDisplayWarning);
    EXPECT_EQ(ChoosePanelDisplayKind(true, "Scanning...", scanning, done), devcmd::kDisplayError);
    // Localised texts are compared, not the English keys.
    EXPECT_EQ(ChoosePanelDisplayKind(false, "Scanning...", "Numérisation...", done),
              devcmd::kDisplayWarning);
    EXPECT_STREQ(PanelDisplayKindWord(devcmd::kDisplayNormal), "normal");
    EXPECT_STREQ(PanelDisplayKindWord(devcmd::kDisplayWarning), "warning");
    EXPECT_STREQ(PanelDisplayKindWord(devcmd::kDisplayError), "error");
}
