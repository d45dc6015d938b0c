// Command blocks, title and panel data, and the sense and diagnostic texts.
#include <gtest/gtest.h>
#include "common/portable/DeviceCommand.h"

#include <cstring>
#include <string>
#include <vector>

using namespace vlm;

namespace {
template <class Array> std::vector<uint8_t> V(const Array& a) {
    return std::vector<uint8_t>(a.begin(), a.end());
}

std::string Text(const uint8_t* p, size_t n) {
    return std::string(reinterpret_cast<const char*>(p), n);
}

struct SenseCase {
    uint8_t byte2;
    uint16_t code;
    bool readDiagnostics;
    const char* text;
    bool translated;
};

void Sense(uint8_t byte2, uint16_t code, uint8_t (&out)[devcmd::kSenseSize]) {
    std::memset(out, 0, sizeof out);
    out[0] = 0x70;
    out[2] = byte2;
    out[7] = 6;
    out[12] = uint8_t(code >> 8);
    out[13] = uint8_t(code);
}

struct DiagCase {
    uint8_t results[devcmd::kDiagnosticSize];
    const char* text;
    bool translated;
};
} // namespace

TEST(DeviceCommand, BlocksCarryTheirTypeQualifierAndLength) {
    using B = std::vector<uint8_t>;
    EXPECT_EQ(V(JobTitleCommand(1)), (B{0x2A, 0, 0x84, 0, 0, 1, 0, 0, 0x20, 0}));
    EXPECT_EQ(V(JobTitleCommand(99)), (B{0x2A, 0, 0x84, 0, 0, 99, 0, 0, 0x20, 0}));
    EXPECT_EQ(V(PanelMessageCommand()), (B{0x2A, 0, 0x84, 0, 0, 0x65, 0, 0, 0x24, 0}));
    EXPECT_EQ(V(DeviceInfoCommand()), (B{0x28, 0, 0x8C, 0, 0, 0x01, 0, 0, 0x80, 0}));
    EXPECT_EQ(V(LoadCheckCommand()), (B{0x31, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(V(DiagnosticCommand()), (B{0x1C, 0, 0, 0x08, 0}));
}

TEST(DeviceCommand, TitleRefusedOutsideJobsOneToNinetyNineOrAboveTwentyNineBytes) {
    const char* t = "title";
    EXPECT_FALSE(IsWritableJobTitle(0, t, 5));
    EXPECT_FALSE(IsWritableJobTitle(100, t, 5));
    EXPECT_FALSE(IsWritableJobTitle(-1, t, 5));
    EXPECT_TRUE(IsWritableJobTitle(1, t, 5));
    EXPECT_TRUE(IsWritableJobTitle(99, t, 5));

    const std::string long30(30, 'x');
    EXPECT_TRUE(IsWritableJobTitle(7, long30.c_str(), 29));
    EXPECT_FALSE(IsWritableJobTitle(7, long30.c_str(), 30));
    // A negative length from a caller is a huge unsigned one: refused.
    EXPECT_FALSE(IsWritableJobTitle(7, long30.c_str(), static_cast<unsigned long>(-1)));
    // Clearing passes no text at all; a length without text is refused.
    EXPECT_TRUE(IsWritableJobTitle(7, nullptr, 0));
    EXPECT_TRUE(IsWritableJobTitle(7, "", 0));
    EXPECT_FALSE(IsWritableJobTitle(7, nullptr, 4));
}

TEST(DeviceCommand, TitleDataHoldsTheBytesFromByteThree) {
    const std::string full = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\xC4\xD6\xDC"; // 29 bytes, ANSI
    ASSERT_EQ(full.size(), devcmd::kTitleMaxBytes);
    const JobTitleData d = MakeJobTitleData(full.data(), full.size());
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[2], 0);
    EXPECT_EQ(Text(d.data() + 3, 29), full); // bytes 3..31, no terminator

    const JobTitleData s = MakeJobTitleData("Invoices", 8);
    EXPECT_EQ(Text(s.data() + 3, 8), "Invoices");
    for (size_t i = 11; i < s.size(); ++i)
        EXPECT_EQ(s[i], 0) << i;
    // The length decides, not a terminator.
    const JobTitleData part = MakeJobTitleData("Invoices", 3);
    EXPECT_EQ(Text(part.data() + 3, 4), std::string("Inv\0", 4));

    EXPECT_EQ(V(MakeJobTitleData(nullptr, 0)), std::vector<uint8_t>(32, 0));
    EXPECT_EQ(V(MakeJobTitleData("", 0)), std::vector<uint8_t>(32, 0));
}

TEST(DeviceCommand, PanelTextIsCopiedOrCutToThirtyTwoBytes) {
    const std::string exact(32, 'e');
    const PanelMessageData e = MakePanelMessageData(devcmd::kDisplayError, exact.c_str());
    EXPECT_EQ(e[0], 3);
    EXPECT_EQ(e[1] | e[2] | e[3], 0);
    EXPECT_EQ(Text(e.data() + 4, 32), exact); // bytes 4..35, no terminator

    const std::string forty = std::string(32, 'a') + "bbbbbbbb";
    const PanelMessageData c = MakePanelMessageData(devcmd::kDisplayNormal, forty.c_str());
    EXPECT_EQ(c[0], 1);
    EXPECT_EQ(Text(c.data() + 4, 32), forty.substr(0, 32));

    const PanelMessageData w = MakePanelMessageData(devcmd::kDisplayWarning, "Sending...");
    EXPECT_EQ(w[0], 2);
    EXPECT_EQ(Text(w.data() + 4, 10), "Sending...");
    for (size_t i = 14; i < w.size(); ++i)
        EXPECT_EQ(w[i], 0) << i;

    const PanelMessageData n = MakePanelMessageData(devcmd::kDisplayWarning, nullptr);
    EXPECT_EQ(n[0], 2);
    for (size_t i = 1; i < n.size(); ++i)
        EXPECT_EQ(n[i], 0) << i;
}

TEST(DeviceCommand, SenseKeyAndCodeChooseTheText) {
    const char* kDouble = "A double paper-feed has occured. Please check the document and the "
                          "scanned image on the display and scan the document again.";
    const SenseCase cases[] = {
        {0x00, 0x0000, false, "", false},
        {0x00, 0x1234, false, "Unknown error.", true},
        {0x03, 0x3A00, false, "", false},
        {0x03, 0x6000, false, "Lamp Error", false},
        {0x03, 0x8000, false, "Paper jammed in scanner; clear paper and continue.", true},
        {0x03, 0x8001, false, "Scanner cover is open.", true},
        {0x03, 0x8101, false, kDouble, true},
        {0x03, 0x8002, false, "Unknown error.", true},
        {0x04, 0x8004, true, nullptr, false},
        {0x04, 0x4400, false, "Unknown error.", true},
        {0x05, 0x2000, false, "Unknown error.", true},
        {0x02, 0x0400, false, "Unknown error.", true},
        // Only the low four bits of byte 2 are the key (ILI, EOM, filemark above).
        {0x23, 0x8001, false, "Scanner cover is open.", true},
        {0xE0, 0x0000, false, "", false},
        {0x14, 0x8004, true, nullptr, false},
    };
    for (const SenseCase& c : cases) {
        uint8_t sense[devcmd::kSenseSize];
        Sense(c.byte2, c.code, sense);
        const SenseVerdict v = InterpretSense(sense);
        SCOPED_TRACE(testing::Message()
                     << "byte 2 " << int(c.byte2) << " code " << std::hex << c.code);
        EXPECT_EQ(v.m_bReadDiagnostics, c.readDiagnostics);
        if (!c.readDiagnostics) {
            EXPECT_STREQ(v.m_text.m_pszEnglish, c.text);
            EXPECT_EQ(v.m_text.m_bTranslated, c.translated);
        }
    }
}

TEST(DeviceCommand, DiagnosticResultsChooseTheText) {
    const char* kHooks = "Please confirm Scanner Unit locking hooks and Scanning Unit slide lock, "
                         "and then restart scanner.";
    const DiagCase cases[] = {
        {{0x80, 0, 0, 0, 4, 0, 0x0E, 0x33}, "Error in shading position", true},
        {{0x80, 0, 0, 0, 4, 0, 0x0E, 0x35}, kHooks, true},
        {{0x80, 0, 0, 0, 4, 0, 0x0E, 0x44}, "error 0xE44", false},
        {{0x80, 0, 0, 0, 4, 0, 0x00, 0x00}, "Unknown error.", true},
        {{0x80, 0, 0, 0, 4, 0, 0x0E, 0x34}, "Unknown error.", true},
        // The number is big-endian: 0x330E is no known fault.
        {{0x80, 0, 0, 0, 4, 0, 0x33, 0x0E}, "Unknown error.", true},
        {{0x81, 0, 0, 0, 4, 0, 0x00, 0x00}, "DiagnosticResults[0]!=0x80", false},
        {{0x81, 0, 0, 0, 4, 0, 0x0E, 0x35}, kHooks, true},
        {{0x81, 0, 0, 0, 5, 0, 0x00, 0x00}, "DiagnosticResults[4]!=4", false},
        {{0x80, 0, 0, 0, 0, 0, 0x01, 0x00}, "DiagnosticResults[4]!=4", false},
        {{0x80, 0, 0, 0, 0, 0, 0x0E, 0x44}, "error 0xE44", false},
        // A read that returned nothing leaves zeros.
        {{0, 0, 0, 0, 0, 0, 0, 0}, "DiagnosticResults[4]!=4", false},
    };
    for (const DiagCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "byte 0 " << int(c.results[0]) << " byte 4 " << int(c.results[4]) << " D "
                     << std::hex << DiagnosticNumber(c.results));
        const DeviceText t = InterpretDiagnosticResults(c.results);
        EXPECT_STREQ(t.m_pszEnglish, c.text);
        EXPECT_EQ(t.m_bTranslated, c.translated);
    }
    const uint8_t r[devcmd::kDiagnosticSize] = {0x80, 0, 0, 0, 4, 0, 0x0E, 0x35};
    EXPECT_EQ(DiagnosticNumber(r), 0xE35);
    EXPECT_STREQ(UnknownDeviceError().m_pszEnglish, "Unknown error.");
    EXPECT_TRUE(UnknownDeviceError().m_bTranslated);
}
