// The TWAIN session's state table, log names, FIX32 conversion and the
// driver adapter's code mappings.
#include <gtest/gtest.h>

#include <cstring>

#include "TwainLogic.h"

using namespace vlmscan;

namespace {

STriplet T(uint32_t dg, uint16_t dat, uint16_t msg, uint16_t rc) {
    STriplet t;
    t.DG = dg;
    t.DAT = dat;
    t.MSG = msg;
    t.RC = rc;
    return t;
}

TEST(TwainStateTable, TypicalBatchWalksUpAndDown) {
    int s = 2;
    s = NextState(s, T(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWRC_SUCCESS)).nState;
    EXPECT_EQ(s, 3);
    s = NextState(s, T(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWRC_SUCCESS)).nState;
    EXPECT_EQ(s, 4);
    s = NextState(s, T(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_SUCCESS)).nState;
    EXPECT_EQ(s, 5);
    STriplet ev = T(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_DSEVENT);
    ev.EventMessage = MSG_XFERREADY;
    s = NextState(s, ev).nState;
    EXPECT_EQ(s, 6);
    s = NextState(s, T(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_XFERDONE)).nState;
    EXPECT_EQ(s, 7);
    STriplet end = T(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_SUCCESS);
    end.PendingCount = 2;
    EXPECT_EQ(NextState(s, end).nState, 6);
    end.PendingCount = 0;
    s = NextState(s, end).nState;
    EXPECT_EQ(s, 5);
    s = NextState(s, T(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_SUCCESS)).nState;
    EXPECT_EQ(s, 4);
    s = NextState(s, T(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWRC_SUCCESS)).nState;
    EXPECT_EQ(s, 3);
    s = NextState(s, T(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, TWRC_SUCCESS)).nState;
    EXPECT_EQ(s, 2);
}

TEST(TwainStateTable, CheckStatusOnEnableCountsAsSuccess) {
    SStateStep st = NextState(4, T(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_CHECKSTATUS));
    EXPECT_TRUE(st.bSuccess);
    EXPECT_EQ(st.nState, 5);
    SStateStep fail = NextState(4, T(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_FAILURE));
    EXPECT_FALSE(fail.bSuccess);
    EXPECT_TRUE(fail.bError);
    EXPECT_EQ(fail.nState, 4);
}

TEST(TwainStateTable, DisableAfterCloseRequestWithSeqErrorStillReachesFour) {
    STriplet t = T(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE);
    t.CC = TWCC_SEQERROR;
    t.bCloseRequested = true;
    SStateStep st = NextState(5, t);
    EXPECT_EQ(st.nState, 4);
    EXPECT_TRUE(st.bClearCloseRequested);
    EXPECT_FALSE(st.bSuccess);
    t.bCloseRequested = false;
    EXPECT_EQ(NextState(5, t).nState, 5);
    t.bCloseRequested = true;
    t.CC = TWCC_BUMMER;
    EXPECT_EQ(NextState(5, t).nState, 5);
}

TEST(TwainStateTable, FailedEndXferDropsToFiveOnlyFromSixOrSeven) {
    STriplet t = T(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_FAILURE);
    EXPECT_EQ(NextState(7, t).nState, 5);
    EXPECT_EQ(NextState(6, t).nState, 5);
    EXPECT_EQ(NextState(4, t).nState, 4);
    EXPECT_EQ(NextState(6, T(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, TWRC_SUCCESS)).nState, 5);
}

TEST(TwainStateTable, CancelledTransferReachesSevenAndAsksForTheExtendedError) {
    SStateStep st = NextState(6, T(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, TWRC_CANCEL));
    EXPECT_EQ(st.nState, 7);
    EXPECT_TRUE(st.bFetchExtendedError);
    EXPECT_FALSE(st.bSuccess);
    SStateStep ok = NextState(6, T(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, TWRC_SUCCESS));
    EXPECT_EQ(ok.nState, 7);
    EXPECT_TRUE(ok.bSuccess);
    EXPECT_FALSE(ok.bFetchExtendedError);
    SStateStep failed = NextState(6, T(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_FAILURE));
    EXPECT_EQ(failed.nState, 6);
}

TEST(TwainStateTable, CloseRequestEventGoesToFive) {
    STriplet ev = T(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_DSEVENT);
    ev.EventMessage = MSG_CLOSEDSREQ;
    EXPECT_EQ(NextState(6, ev).nState, 5);
    ev.EventMessage = MSG_NULL;
    EXPECT_EQ(NextState(5, ev).nState, 5);
    ev.RC = TWRC_NOTDSEVENT;
    ev.EventMessage = MSG_XFERREADY;
    EXPECT_EQ(NextState(5, ev).nState, 5);
}

TEST(TwainNames, StatesCodesAndTriplets) {
    EXPECT_STREQ(StateName(1), "1(PRE_SESSION)");
    EXPECT_STREQ(StateName(7), "7(TRANSFERRING)");
    EXPECT_EQ(StateName(8), nullptr);
    EXPECT_EQ(StateName(0), nullptr);
    EXPECT_EQ(ReturnCodeName(6), "TWRC_XFERDONE");
    EXPECT_EQ(ConditionCodeName(7), "<bad cc:7>");
    EXPECT_EQ(ConditionCodeName(8), "<bad cc:8>");
    EXPECT_EQ(ConditionCodeName(15), "TWCC_CAPSEQERROR");
    EXPECT_EQ(DatName(0x105), "DAT_IMAGEFILEXFER");
    EXPECT_EQ(DatName(0x777), "1911");
    EXPECT_EQ(MsgName(0x301), "MSG_OPENDSM");
    EXPECT_EQ(CapName(0x100), "ICAP_COMPRESSION");
    EXPECT_EQ(CapName(0x8064), "CCAP_VLM_DISABLEITEM");
    EXPECT_EQ(CapName(0x8061), "CCAP_VLM_YIELDPROC");
    EXPECT_EQ(CapName(0x8100), "33024");
}

TEST(Fix32, RoundsHalfAwayFromZero) {
    SFix32 f = ToFix32(300.0);
    EXPECT_EQ(f.Whole, 300);
    EXPECT_EQ(f.Frac, 0);
    f = ToFix32(1.5);
    EXPECT_EQ(f.Whole, 1);
    EXPECT_EQ(f.Frac, 0x8000);
    f = ToFix32(-1.5);
    EXPECT_EQ(f.Whole, -2);
    EXPECT_EQ(f.Frac, 0x8000);
    EXPECT_DOUBLE_EQ(FromFix32(f), -1.5);
    // Half a step rounds away from zero.
    f = ToFix32(0.5 / 65536.0);
    EXPECT_EQ(f.Frac, 1);
    EXPECT_EQ(UnpackFix32(PackFix32(ToFix32(72.25))).Frac, 0x4000);
}

TEST(Resolutions, RangeStepsOfFiftyEndAtOrAboveTheMaximum) {
    EXPECT_EQ(ResolutionsFromRange(100, 360),
              (std::vector<uint16_t>{100, 150, 200, 250, 300, 350, 400}));
    std::vector<uint16_t> r = ResolutionsFromRange(100, 600);
    EXPECT_EQ(r.front(), 100);
    EXPECT_EQ(r.back(), 600);
    EXPECT_EQ(r.size(), 11u);
    EXPECT_EQ(ResolutionsFromRange(300, 300), (std::vector<uint16_t>{300}));
    EXPECT_TRUE(ResolutionsFromRange(0, 600).empty());
    EXPECT_TRUE(ResolutionsFromRange(600, 100).empty());
    EXPECT_EQ(IndexOf(r, 300), 4);
    EXPECT_EQ(IndexOf(r, 333), 0);
}

TEST(DropOut, CodesAndPairs) {
    int d, e;
    EXPECT_TRUE(DropOutToPair(3, &d, &e));
    EXPECT_EQ(d, 3);
    EXPECT_EQ(e, 0);
    EXPECT_TRUE(DropOutToPair(5, &d, &e));
    EXPECT_EQ(d, 0);
    EXPECT_EQ(e, 2);
    EXPECT_FALSE(DropOutToPair(7, &d, &e));
    EXPECT_EQ(d, 0);
    EXPECT_EQ(e, 0);
    bool valid;
    EXPECT_EQ(DropOutFromPair(2, 3, &valid), 2);
    EXPECT_TRUE(valid);
    EXPECT_EQ(DropOutFromPair(0, 3, &valid), 6);
    EXPECT_EQ(DropOutFromPair(0, 0, &valid), 0);
    EXPECT_EQ(DropOutFromPair(0, 9, &valid), 9);
    EXPECT_FALSE(valid);
    for (int c = 0; c <= 6; ++c) {
        ASSERT_TRUE(DropOutToPair(c, &d, &e));
        EXPECT_EQ(DropOutFromPair(d, e, &valid), c);
    }
}

TEST(ImageType, CodesAndSettings) {
    EXPECT_EQ(ImageTypeSetting(3800).nPixelType, kPixelRGB);
    EXPECT_EQ(ImageTypeSetting(3800).nBitDepth, 24);
    EXPECT_EQ(ImageTypeSetting(1800).nBitDepth, 8);
    EXPECT_EQ(ImageTypeSetting(1105).nHalftoneIndex, 5);
    EXPECT_EQ(ImageTypeSetting(1111).nTextEnhance, 1);
    EXPECT_EQ(ImageTypeSetting(1100).nTextEnhance, 0);
    EXPECT_EQ(ImageTypeSetting(4242).nPixelType, kPixelBW);
    EXPECT_EQ(ImageTypeCode(kPixelGray, false, 0, 0), 1800);
    EXPECT_EQ(ImageTypeCode(kPixelRGB, true, 1, 3), 3800);
    EXPECT_EQ(ImageTypeCode(kPixelBW, true, 1, 3), 1111);
    EXPECT_EQ(ImageTypeCode(kPixelBW, false, 0, 3), 1103);
    EXPECT_EQ(ImageTypeCode(kPixelBW, false, 0, 0), 1100);
}

TEST(Feeder, ListAndCurrentCode) {
    SFeederOffer o;
    o.FeederEnabledItems = {true, false};
    o.bDuplex = true;
    o.bFeederAutoReadable = true;
    o.bBlankSkipReadable = true;
    EXPECT_EQ(FeederList(o), (std::vector<uint16_t>{0, 1, 2, 4, 8}));
    SFeederOffer none; // no CAP_FEEDERENABLED: the feeder alone
    EXPECT_EQ(FeederList(none), (std::vector<uint16_t>{0}));

    SFeederState s;
    s.bDocPlaceReadable = true;
    s.nDocPlace = 2;
    EXPECT_EQ(FeederCode(s), 0);
    s.bDuplexOn = true;
    EXPECT_EQ(FeederCode(s), 1);
    s.bDuplexOn = false;
    s.nDocPlace = 1;
    EXPECT_EQ(FeederCode(s), 2);
    s.nDocPlace = 0;
    EXPECT_EQ(FeederCode(s), 4);
    s.bBlankSkipReadable = true;
    s.nBlankSkip = 1;
    EXPECT_EQ(FeederCode(s), 8); // whatever the place says
    SFeederState unreadable;
    unreadable.bFeederAutoReadable = true;
    EXPECT_EQ(FeederCode(unreadable), 4);
}

TEST(Side, TypesOneFourAndEightAlternate) {
    CSide side;
    side.Reset(1);
    EXPECT_EQ(side.Advance(), 0);
    EXPECT_EQ(side.Advance(), 1);
    EXPECT_EQ(side.Advance(), 0);
    side.Reset(0);
    EXPECT_EQ(side.Advance(), 0);
    EXPECT_EQ(side.Advance(), 0);
    side.Reset(8);
    side.Advance();
    EXPECT_EQ(side.Advance(), 1);
}

TEST(ExtendedError, BufferLayoutAndDisplayName) {
    char buf[1024];
    PrepareExtendedErrorBuffer(buf, 0xFFFFEEB6u);
    EXPECT_EQ(std::string(buf, 10), "0xFFFFEEB6");
    EXPECT_EQ(std::string(buf + 10, 6), "      ");
    EXPECT_EQ(buf[16], 0);
    strcpy(buf + 12, "Paper jam");
    EXPECT_STREQ(buf, "0xFFFFEEB6  Paper jam");
    EXPECT_EQ(DriverDisplayName("Velmora VX-410 TWAIN"), "VX-410");
    EXPECT_EQ(DriverDisplayName("TWAIN"), "");
    EXPECT_TRUE(ProductNameEquals("Velmora VX-410 TWAIN", "velmora vx-410 twain"));
    EXPECT_FALSE(ProductNameEquals("Velmora VX-410", "Velmora VX-410 TWAIN"));
    EXPECT_FALSE(ProductNameEquals(nullptr, "x"));
}

} // namespace
