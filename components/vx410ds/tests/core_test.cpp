// Native tests of the data source's portable core: capability negotiation
// rules, the "[CustomDsData]" profile text and page rendering.
#include "core/dssettings.h"
#include "core/pagerender.h"
#include "pagegen.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vx410ds;

namespace {

CapValue V(double d) {
    return CapValue{d, {}};
}
CapValue T(const char* s) {
    return CapValue{0, s};
}

double Cur(CCapModel& m, TW_UINT16 cap) {
    CapAnswer a;
    EXPECT_EQ(m.Get(cap, MSG_GETCURRENT, a).m_nRc, TWRC_SUCCESS);
    return a.m_items.at(0).m_dValue;
}

TEST(CapModel, PixelTypeDrivesBitDepth) {
    CDsSettings s;
    CCapModel m(s);
    EXPECT_EQ(Cur(m, ICAP_BITDEPTH), 1);
    EXPECT_EQ(m.Set(ICAP_PIXELTYPE, TWTY_UINT16, V(TWPT_RGB)).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(Cur(m, ICAP_BITDEPTH), 24);
    EXPECT_EQ(m.Set(ICAP_BITDEPTH, TWTY_UINT16, V(8)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(ICAP_BITDEPTH, TWTY_UINT16, V(24)).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(m.Set(ICAP_PIXELTYPE, TWTY_UINT16, V(TWPT_PALETTE)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(s.m_nPixelType, TWPT_RGB);
}

TEST(CapModel, ResolutionEnumerationAndSnapping) {
    CDsSettings s;
    CCapModel m(s);
    CapAnswer a;
    ASSERT_EQ(m.Get(ICAP_XRESOLUTION, MSG_GET, a).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(a.m_nConType, TWON_ENUMERATION);
    EXPECT_EQ(a.m_nItemType, TWTY_FIX32);
    ASSERT_EQ(a.m_items.size(), Resolutions().size());
    EXPECT_EQ(a.m_items[a.m_nCurrentIndex].m_dValue, 200);
    EXPECT_EQ(m.Set(ICAP_XRESOLUTION, TWTY_FIX32, V(250)).m_nRc, TWRC_CHECKSTATUS);
    EXPECT_EQ(s.m_nXRes, 240);
    EXPECT_EQ(s.m_nYRes, 240);
    EXPECT_EQ(m.Set(ICAP_YRESOLUTION, TWTY_FIX32, V(600)).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(s.m_nXRes, 240);
    EXPECT_EQ(s.m_nYRes, 600);
    EXPECT_EQ(m.Set(ICAP_XRESOLUTION, TWTY_FIX32, V(10)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(ICAP_XRESOLUTION, TWTY_FIX32, V(9000)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(s.m_nXRes, 240);
}

TEST(CapModel, ReadOnlyUnsupportedAndWrongTypes) {
    CDsSettings s;
    CCapModel m(s);
    EXPECT_EQ(m.Set(CAP_DUPLEX, TWTY_UINT16, V(0)).m_nCc, TWCC_CAPBADOPERATION);
    EXPECT_EQ(m.Set(ICAP_PHYSICALWIDTH, TWTY_FIX32, V(1)).m_nCc, TWCC_CAPBADOPERATION);
    EXPECT_EQ(m.Set(0x7001, TWTY_INT32, V(1)).m_nCc, TWCC_CAPUNSUPPORTED);
    EXPECT_EQ(m.Set(ICAP_PIXELTYPE, TWTY_STR32, T("x")).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(ICAP_HALFTONES, TWTY_UINT16, V(1)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(CAP_XFERCOUNT, TWTY_INT16, V(0)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(CAP_XFERCOUNT, TWTY_INT16, V(5)).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(m.Set(CCAP_VLM_DISABLEITEM, TWTY_INT32, V(8)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(CCAP_VLM_DISABLEITEM, TWTY_INT32, V(7)).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(m.Set(ICAP_JPEGQUALITY, TWTY_UINT16, V(101)).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.QuerySupport(CAP_DUPLEX) & 0x2, 0); // no set
    EXPECT_NE(m.QuerySupport(ICAP_PIXELTYPE) & 0x2, 0);
}

TEST(CapModel, HalftoneNamesAndReset) {
    CDsSettings s;
    CCapModel m(s);
    EXPECT_EQ(m.Set(ICAP_HALFTONES, TWTY_STR32, T("Error Diffusion")).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(s.m_nHalftone, 3);
    EXPECT_EQ(m.Set(ICAP_HALFTONES, TWTY_STR32, T("")).m_nRc, TWRC_SUCCESS); // plain
    EXPECT_EQ(s.m_nHalftone, 0);
    EXPECT_EQ(m.Set(ICAP_HALFTONES, TWTY_STR32, T("Nope")).m_nCc, TWCC_BADVALUE);
    EXPECT_EQ(m.Set(ICAP_SUPPORTEDSIZES, TWTY_UINT16, V(TWSS_USLEGAL)).m_nRc, TWRC_SUCCESS);
    CapAnswer a;
    EXPECT_EQ(m.Reset(ICAP_SUPPORTEDSIZES, a).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(s.m_nPageSize, TWSS_A4LETTER);
    EXPECT_EQ(a.m_nConType, TWON_ENUMERATION);
}

TEST(CapModel, PhysicalSizeFollowsUnits) {
    CDsSettings s;
    CCapModel m(s);
    EXPECT_NEAR(Cur(m, ICAP_PHYSICALHEIGHT), 356 / 25.4, 1e-9);
    ASSERT_EQ(m.Set(ICAP_UNITS, TWTY_UINT16, V(TWUN_CENTIMETERS)).m_nRc, TWRC_SUCCESS);
    EXPECT_NEAR(Cur(m, ICAP_PHYSICALHEIGHT), 35.6, 1e-9);
    ASSERT_EQ(m.Set(ICAP_UNITS, TWTY_UINT16, V(TWUN_PIXELS)).m_nRc, TWRC_SUCCESS);
    EXPECT_NEAR(Cur(m, ICAP_PHYSICALWIDTH), 216 / 25.4 * 200, 1e-6);
}

TEST(CapModel, SupportedCapsListsTheVendorOnes) {
    CDsSettings s;
    CCapModel m(s);
    CapAnswer a;
    ASSERT_EQ(m.Get(CAP_SUPPORTEDCAPS, MSG_GET, a).m_nRc, TWRC_SUCCESS);
    EXPECT_EQ(a.m_nConType, TWON_ARRAY);
    int found = 0;
    for (const auto& v : a.m_items)
        found += v.m_dValue == CCAP_VLM_YIELDPROC || v.m_dValue == ICAP_XFERMECH ||
                 v.m_dValue == CAP_JOBCONTROL;
    EXPECT_EQ(found, 3);
}

TEST(Profile, RoundTripKeepsSettingsAndUnknownKeys) {
    CDsSettings s;
    s.m_nPixelType = TWPT_RGB;
    s.m_nXRes = 300;
    s.m_nYRes = 150;
    s.m_nPageSize = TWSS_USLETTER;
    s.m_bDuplex = true;
    s.m_nDropOut = 2;
    s.m_nJpegQuality = 40;
    s.m_extra["GammaGray"] = "9 8 7";
    s.m_extra["SomeFutureKey"] = "abc";
    const std::string text = SaveProfileText(s, "CustomDsData");
    EXPECT_EQ(text.rfind("[CustomDsData]\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nScanType=3\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPageSize=Letter - 8.5 x 11 in\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nImageWidthInch(0)(0)=17/2\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nGammaGray.Length=256\r\nGammaGray=9 8 7\r\n"), std::string::npos);
    CDsSettings back;
    std::string err;
    ASSERT_TRUE(LoadProfileText(text, "customdsdata", back, &err)) << err;
    // Saving what was loaded gives the same text again.
    EXPECT_EQ(SaveProfileText(back, "CustomDsData"), text);
    EXPECT_EQ(back.m_extra["SomeFutureKey"], "abc");
    EXPECT_EQ(back.m_extra["GammaGray"], "9 8 7");
    back.m_extra = s.m_extra; // the model's neutral keys came along too
    EXPECT_EQ(back, s);
}

TEST(Profile, SampleLayoutDecidesThePixelTypeOverScanType) {
    // The plug-in's initial settings: ScanType 3 in both sections, the
    // layout telling black and white from colour.
    std::string err;
    CDsSettings bw;
    ASSERT_TRUE(
        LoadProfileText("[CustomDsData]\r\nScanType=3\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n",
                        "CustomDsData", bw, &err))
        << err;
    EXPECT_EQ(bw.m_nPixelType, TWPT_BW);
    CDsSettings grey, colour, typeOnly;
    ASSERT_TRUE(
        LoadProfileText("[CustomDsData]\r\nScanType=0\r\nSamplesPerPixel=1\r\nBitsPerSample=8\r\n",
                        "CustomDsData", grey, &err));
    EXPECT_EQ(grey.m_nPixelType, TWPT_GRAY);
    ASSERT_TRUE(
        LoadProfileText("[CustomDsData]\r\nScanType=0\r\nSamplesPerPixel=3\r\nBitsPerSample=8\r\n",
                        "CustomDsData", colour, &err));
    EXPECT_EQ(colour.m_nPixelType, TWPT_RGB);
    ASSERT_TRUE(
        LoadProfileText("[CustomDsData]\r\nScanType=3\r\n", "CustomDsData", typeOnly, &err));
    EXPECT_EQ(typeOnly.m_nPixelType, TWPT_RGB);
}

TEST(Profile, HalftoneOnlyStaysWithBlackAndWhite) {
    // "Dither" sorts before "ScanType": a colour type read after it must not
    // keep the halftone, or the saved text loads differently the next time.
    CDsSettings s;
    std::string err;
    ASSERT_TRUE(
        LoadProfileText("[CustomDsData]\r\nScanType=3\r\nDither=2\r\n", "CustomDsData", s, &err))
        << err;
    EXPECT_EQ(s.m_nPixelType, TWPT_RGB);
    EXPECT_EQ(s.m_nHalftone, 0);
    const std::string saved = SaveProfileText(s, "CustomDsData");
    CDsSettings again;
    ASSERT_TRUE(LoadProfileText(saved, "CustomDsData", again, &err)) << err;
    EXPECT_EQ(SaveProfileText(again, "CustomDsData"), saved);
    CDsSettings bw;
    ASSERT_TRUE(
        LoadProfileText("[CustomDsData]\r\nScanType=1\r\nDither=2\r\n", "CustomDsData", bw, &err));
    EXPECT_EQ(bw.m_nHalftone, 2);
}

TEST(Profile, BadValuesChangeNothing) {
    CDsSettings s;
    const CDsSettings before = s;
    std::string err;
    EXPECT_FALSE(LoadProfileText("[CustomDsData]\r\nScanType=2\r\nXResolution=12x\r\n",
                                 "CustomDsData", s, &err));
    EXPECT_NE(err.find("XResolution"), std::string::npos);
    EXPECT_FALSE(
        LoadProfileText("[CustomDsData]\r\nPageSize=Tabloid\r\n", "CustomDsData", s, &err));
    EXPECT_FALSE(LoadProfileText("[CustomDsData]\r\njunk line\r\n", "CustomDsData", s, &err));
    EXPECT_FALSE(LoadProfileText("[Other]\r\nScanType=2\r\n", "CustomDsData", s, &err));
    EXPECT_FALSE(LoadProfileText("", "CustomDsData", s, &err));
    EXPECT_EQ(s, before);
}

TEST(Profile, LoadSnapsResolutionAndAcceptsPageSizeCodes) {
    CDsSettings s;
    std::string err;
    ASSERT_TRUE(LoadProfileText("[CustomDsData]\nXResolution=290\nYResolution=290\nPageSize=4\n",
                                "CustomDsData", s, &err))
        << err;
    EXPECT_EQ(s.m_nXRes, 300);
    EXPECT_EQ(s.m_nPageSize, TWSS_USLEGAL);
}

TEST(Profile, MergeKeepsOtherSections) {
    const std::string file = "[A]\r\nx=1\r\n[CustomDsData]\r\nold=1\r\n[B]\r\ny=2\r\n";
    const std::string merged =
        MergeProfileSection(file, "[CustomDsData]\r\nnew=2\r\n", "CustomDsData");
    EXPECT_EQ(merged, "[A]\r\nx=1\r\n[CustomDsData]\r\nnew=2\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(MergeProfileSection("", "[S]\r\nk=v\r\n", "S"), "[S]\r\nk=v\r\n");
}

TEST(Render, GeneratedPagesInScanOrder) {
    ScanFormat f;
    f.m_nXRes = f.m_nYRes = 100;
    PageInches(CDsSettings{}, f.m_dWidthIn, f.m_dLengthIn);
    EXPECT_EQ(f.Width(), 827);
    EXPECT_EQ(f.Height(), 1169);
    for (int pt : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) {
        f.m_nPixelType = pt;
        ScannedPage page;
        std::string err;
        ASSERT_TRUE(RenderGenerated(f, 3, page, &err)) << err;
        const auto sim = vx410sim::GeneratePage(827, 1169, f.BitsPerPixel(), 100, 3);
        ASSERT_EQ(page.m_data.size(), sim.size());
        // Every byte: 1-bit inverted (pad bits white), grey as is, R and B swapped.
        size_t bad = 0;
        for (size_t i = 0; i < sim.size(); ++i) {
            uint8_t want = sim[i];
            if (pt == TWPT_BW) {
                want = uint8_t(~sim[i]);
                if ((i + 1) % page.m_nRowBytes == 0)
                    want |= 0x1F; // 827 = 103 * 8 + 3: five pad bits
            } else if (pt == TWPT_RGB) {
                const size_t c = i % 3;
                want = c == 1 ? sim[i] : c == 0 ? sim[i + 2] : sim[i - 2];
            }
            bad += page.m_data[i] != want;
        }
        EXPECT_EQ(bad, 0u) << "pixel type " << pt;
    }
}

TEST(Render, SheetIsScaledPlacedAndPadded) {
    // A 4 x 2 black sheet at 100 dpi onto a page at 200 dpi.
    std::vector<uint8_t> black(4 * 2, 0);
    SheetImage sheet{4, 2, 8, 100, black.data()};
    ScanFormat f;
    f.m_nPixelType = TWPT_GRAY;
    f.m_nXRes = f.m_nYRes = 200;
    f.m_dWidthIn = 0.1;   // 20 px
    f.m_dLengthIn = 0.05; // 10 rows
    ScannedPage page;
    ASSERT_TRUE(RenderSheet(f, sheet, page, nullptr));
    EXPECT_EQ(page.m_nWidth, 20);
    EXPECT_EQ(page.m_nHeight, 10);
    EXPECT_EQ(page.m_data[0], 0);
    EXPECT_EQ(page.m_data[3 * 20 + 7], 0);   // inside the 8 x 4 scaled sheet
    EXPECT_EQ(page.m_data[3 * 20 + 8], 255); // padding is white paper
    EXPECT_EQ(page.m_data[4 * 20], 255);
    SheetImage bad{0, 2, 8, 100, black.data()};
    std::string err;
    EXPECT_FALSE(RenderSheet(f, bad, page, &err));
}

TEST(Render, PackedDibIsBottomUpAndPadded) {
    ScannedPage page;
    page.m_nWidth = 3;
    page.m_nHeight = 2;
    page.m_nBitsPerPixel = 24;
    page.m_nRowBytes = 9;
    page.m_data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const std::vector<uint8_t> dib = MakePackedDib(page, 200, 200);
    ASSERT_EQ(dib.size(), 40u + 2 * 12);
    EXPECT_EQ(dib[14], 24);
    // First stored row is the bottom row, pixels as B,G,R.
    EXPECT_EQ(dib[40], 13);
    EXPECT_EQ(dib[42], 11);
    EXPECT_EQ(dib[52], 3);
    EXPECT_EQ(dib[54], 1);
    page.m_nBitsPerPixel = 1;
    page.m_nRowBytes = 1;
    page.m_data = {0x5F, 0xA0};
    const std::vector<uint8_t> mono = MakePackedDib(page, 200, 200);
    ASSERT_EQ(mono.size(), 40u + 8 + 2 * 4);
    EXPECT_EQ(mono[44], 255); // palette entry 1 is white
    EXPECT_EQ(mono[48], 0xA0);
    EXPECT_EQ(mono[52], 0x5F);
}

} // namespace
