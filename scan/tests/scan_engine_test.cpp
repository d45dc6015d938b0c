// The scan engine end to end under Wine: CScan on its own thread, the
// platform's TWAIN source manager, the VX-410 data source over a simulated
// feeder, and a hidden test window that receives the page and batch
// messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/VlmLog.h"
#include "components/jpeg/jpegcodec.h"
#include "components/vx410sim/pagegen.h"
#include "components/vx410sim/vx410sim.h"
#include "Scan.h"
#include "ScanSupport.h"
#include "Twain.h"
#include "TwainDriver.h"

namespace {

const char kSource[] = "Velmora VX-410 TWAIN";

struct SPage {
    int Width, Height, Bps, Spp, XRes;
    uint32_t Aborted;
    bool bHasDib, bHasImage;
    std::vector<uint8_t> Pixels; // memory transfer: the page as delivered
    uint32_t Sync;
    uint32_t ImageSize;
    bool bHasBarcodeList;
    std::vector<vx410sim::Barcode> Barcodes;
};

// A caller's own yield procedure: cancels once told to, and counts its calls.
volatile LONG g_nOwnYieldCalls = 0;
volatile LONG g_bOwnYieldCancels = FALSE;
int WINAPI OwnYield() {
    InterlockedIncrement(&g_nOwnYieldCalls);
    return g_bOwnYieldCancels ? 1 : 0;
}

// What the test window saw, in order.
struct SRecord {
    std::vector<UINT> Messages;
    std::vector<SPage> Pages;
    std::vector<WPARAM> BatchEnds;
    std::vector<WPARAM> Closes;
    int nBusyAnswers = 0; // 0x8002 that arrived while a page was being handled
    bool bInPage = false;
    CScan* pScan = nullptr;
    std::function<void(int)> OnPage; // called after each 0x8034 with the page count
};
SRecord* g_pRec = nullptr;
std::vector<std::string> g_Boxes;

int BoxHook(const char* text, const char* caption, UINT) {
    g_Boxes.push_back(text);
    return IDOK;
}

LRESULT CALLBACK TestWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    SRecord* r = g_pRec;
    if (!r)
        return DefWindowProcA(hWnd, msg, wParam, lParam);
    switch (msg) {
    case WM_VLM_PAGE_SCANNED0:
        r->Messages.push_back(msg);
        return 0;
    case WM_VLM_PAGE_SCANNED: {
        r->Messages.push_back(msg);
        const VlmPageInfo* info = reinterpret_cast<const VlmPageInfo*>(lParam);
        const VlmPageMessage* rec = reinterpret_cast<const VlmPageMessage*>(wParam);
        EXPECT_NE(rec, nullptr);
        SPage p{};
        p.Width = info->vlminfo.Width;
        p.Height = info->vlminfo.Height;
        p.Bps = static_cast<int>(info->vlminfo.Bps);
        p.Spp = static_cast<int>(info->vlminfo.Spp);
        p.XRes = static_cast<int>(info->vlminfo.XRes);
        p.Sync = info->vlminfo.Sync;
        p.ImageSize = info->vlminfo.ImageSize;
        p.Aborted = info->Aborted;
        p.bHasDib = info->hDib != nullptr;
        p.bHasImage = info->vlminfo.lpImage != nullptr;
        if (info->vlminfo.lpImage)
            p.Pixels.assign(info->vlminfo.lpImage, info->vlminfo.lpImage + info->vlminfo.ImageSize);
        if (const auto* list = static_cast<const VlmBarcodeList*>(info->pBarcode)) {
            p.bHasBarcodeList = true;
            for (uint32_t i = 0; i < list->Count; ++i)
                p.Barcodes.push_back({list->Entry[i].Type, list->Entry[i].Text});
        }
        r->Pages.push_back(std::move(p));
        r->bInPage = true;
        if (r->OnPage)
            r->OnPage(static_cast<int>(r->Pages.size()));
        r->bInPage = false;
        // The receiver gives the page back once it has used it.
        r->pScan->ReleaseImage(info->hDib);
        return 0;
    }
    case WM_VLM_BATCH_SCANNED:
        r->Messages.push_back(msg);
        if (r->bInPage)
            ++r->nBusyAnswers;
        else
            r->BatchEnds.push_back(wParam);
        return 0;
    case WM_CLOSE:
        r->Closes.push_back(wParam);
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class ScanEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strDir = std::string(tmp) + "scanengine_" + info->name();
        CreateDirectoryA(m_strDir.c_str(), nullptr);
        m_strSim = m_strDir + "\\sim";
        CreateDirectoryA(m_strSim.c_str(), nullptr);
        SetEnvironmentVariableA("VX410SIM_DIR", m_strSim.c_str());
        m_pDev = std::make_unique<vx410sim::CSimDevice>(m_strSim);
        ASSERT_TRUE(m_pDev->ClearAll());
        m_strLog = m_strDir + "\\run.log";
        DeleteFileA(m_strLog.c_str());
        CVlmLog::Instance().OpenPath(m_strLog.c_str());
        g_Boxes.clear();
        ScanSetBoxHook(&BoxHook);

        WNDCLASSA wc{};
        wc.lpfnWndProc = TestWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ScanEngineTestWnd";
        RegisterClassA(&wc);
        m_hWnd = CreateWindowExA(0, "ScanEngineTestWnd", "scan test", WS_OVERLAPPED, 0, 0, 10, 10,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_hWnd, nullptr);
        g_pRec = &m_rec;
    }
    void TearDown() override {
        g_pRec = nullptr;
        if (m_hWnd)
            DestroyWindow(m_hWnd);
        CVlmLog::Instance().Close();
        ScanSetBoxHook(nullptr);
        SetEnvironmentVariableA("VX410SIM_DIR", nullptr);
    }
    // Pumps this thread's messages until done() (or the time is up). done()
    // is asked before each message, so the caller acts on the state that
    // made it true before anything else is handled.
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = 60000) {
        const DWORD start = GetTickCount();
        MSG msg;
        for (;;) {
            if (done())
                return true;
            if (GetTickCount() - start > ms)
                return false;
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
                continue;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    bool RunBatch(CScan& scan) {
        m_rec.pScan = &scan;
        scan.ScanStart(m_hWnd);
        return PumpUntil([&] { return !m_rec.BatchEnds.empty(); });
    }
    void Feed(int n) { ASSERT_TRUE(m_pDev->FeedGenerated(n)); }
    void JamAtPage(int page) {
        ASSERT_TRUE(m_pDev->Update([&](vx410sim::DeviceState& s) {
            s.m_nJamAtPage = page;
            return true;
        }));
    }
    // The code of the driver's last error, 0 when there is none.
    static DWORD DriverErrorCode(CScan& scan) {
        std::string text;
        DWORD code = 0;
        return scan.GetLastDriverError(&text, &code) ? code : 0;
    }
    void SourceFault(const char* name, int page) {
        ASSERT_TRUE(m_pDev->Update([&](vx410sim::DeviceState& s) {
            s.m_strSourceFault = name;
            s.m_nSourceFaultAtPage = page;
            return true;
        }));
    }
    std::vector<int> GeneratedNumbers() {
        vx410sim::DeviceState st;
        m_pDev->Read(st);
        std::vector<int> out;
        for (const auto& e : st.m_feeder)
            out.push_back(e.m_nGenerated);
        return out;
    }
    int PagesWithImage() const {
        int n = 0;
        for (const SPage& p : m_rec.Pages)
            n += (p.bHasDib || p.bHasImage) ? 1 : 0;
        return n;
    }
    void ExpectMessagesForPages(size_t pages) {
        std::vector<UINT> want;
        for (size_t i = 0; i < pages; ++i) {
            want.push_back(WM_VLM_PAGE_SCANNED0);
            want.push_back(WM_VLM_PAGE_SCANNED);
        }
        want.push_back(WM_VLM_BATCH_SCANNED);
        EXPECT_EQ(m_rec.Messages, want);
    }
    std::string WriteSettings(const char* text) {
        std::string path = m_strDir + "\\settings.ini";
        std::ofstream f(path, std::ios::binary);
        f << text;
        return path;
    }

    std::string m_strDir, m_strSim, m_strLog;
    std::unique_ptr<vx410sim::CSimDevice> m_pDev;
    HWND m_hWnd = nullptr;
    SRecord m_rec;
};

TEST_F(ScanEngineTest, SourceManagerOpensAndTheSourceIsFound) {
    CScan scan;
    EXPECT_FALSE(CTwain::LoadedSourceManagerPath().empty());
    EXPECT_TRUE(IsWindow(scan.GetScanWnd()));
    char cls[64] = {};
    GetClassNameA(scan.GetScanWnd(), cls, sizeof cls);
    EXPECT_STREQ(cls, "Harv Scan Thread");
    // Product names are compared without regard to case.
    ASSERT_TRUE(scan.Probe("velmora vx-410 twain", FALSE));
    EXPECT_EQ(scan.GetDriver()->GetSourceName(), kSource);
    std::vector<uint16_t> types;
    scan.GetEnumImageType(&types);
    EXPECT_FALSE(types.empty());
    std::vector<uint16_t> res;
    scan.GetEnumResolution(&res);
    EXPECT_FALSE(res.empty());
    EXPECT_TRUE(g_Boxes.empty());
}

TEST_F(ScanEngineTest, MissingSourceShowsTheBoxOnceAndStaysWithTheManager) {
    CScan scan;
    EXPECT_FALSE(scan.Probe("Velmora VX-999 TWAIN", TRUE));
    ASSERT_EQ(g_Boxes.size(), 1u);
    EXPECT_NE(g_Boxes[0].find("Can't use device driver"), std::string::npos);
    EXPECT_EQ(static_cast<CTwainDriver*>(scan.GetDriver())->GetState(), 3);
}

TEST_F(ScanEngineTest, NativeBatchOfThreePagesReachesTheWindow) {
    Feed(3);
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    ASSERT_TRUE(RunBatch(scan));
    ExpectMessagesForPages(3);
    ASSERT_EQ(m_rec.Pages.size(), 3u);
    for (const SPage& p : m_rec.Pages) {
        EXPECT_TRUE(p.bHasDib);
        EXPECT_FALSE(p.bHasImage);
        EXPECT_GT(p.Width, 0);
        EXPECT_GT(p.Height, 0);
        EXPECT_EQ(p.Aborted, 0u);
    }
    EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{0}));
    // The states of a typical batch, in order, in the run log.
    std::string log = ReadFile(m_strLog);
    size_t pos = 0;
    for (const char* s :
         {"3(SOURCE_MANAGER_OPEN)", "4(SOURCE_OPEN)", "5(SOURCE_ENABLED)", "6(TRANSFER_READY)",
          "7(TRANSFERRING)", "6(TRANSFER_READY)", "7(TRANSFERRING)", "5(SOURCE_ENABLED)",
          "4(SOURCE_OPEN)", "3(SOURCE_MANAGER_OPEN)", "4(SOURCE_OPEN)"}) {
        size_t at = log.find(s, pos);
        ASSERT_NE(at, std::string::npos) << s << " after offset " << pos;
        pos = at + 1;
    }
    EXPECT_EQ(static_cast<CTwainDriver*>(scan.GetDriver())->GetState(), 4);
    EXPECT_EQ(scan.GetBusyState(), 0);
}

TEST_F(ScanEngineTest, MemoryBatchDeliversColourRowsAsBlueGreenRed) {
    Feed(3);
    std::vector<int> numbers = GeneratedNumbers();
    CScan scan;
    scan.SetScanLog(FALSE, TWSX_MEMORY);
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    std::string ini = WriteSettings("[CustomDsData]\r\nScanType=3\r\nXResolution=100\r\n"
                                    "YResolution=100\r\nPageSize=A4 - 210 x 297 mm\r\n");
    ASSERT_TRUE(scan.RestoreSetting(ini.c_str()));
    ASSERT_TRUE(RunBatch(scan));
    ExpectMessagesForPages(3);
    ASSERT_EQ(m_rec.Pages.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const SPage& p = m_rec.Pages[i];
        ASSERT_TRUE(p.bHasImage);
        EXPECT_FALSE(p.bHasDib);
        EXPECT_EQ(p.Spp, 3);
        EXPECT_EQ(p.Bps, 8);
        EXPECT_EQ(p.XRes, 100);
        EXPECT_EQ(p.Aborted, 0u);
        // The generator's rows are B,G,R without padding; ours are padded.
        std::vector<uint8_t> want = vx410sim::GeneratePage(p.Width, p.Height, 24, 100, numbers[i]);
        const size_t row = size_t(p.Width) * 3;
        ASSERT_EQ(want.size(), row * p.Height);
        bool same = true;
        for (int y = 0; y < p.Height && same; ++y)
            same = memcmp(p.Pixels.data() + size_t(y) * p.Sync, want.data() + y * row, row) == 0;
        EXPECT_TRUE(same) << "page " << i;
    }
    EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{0}));
}

TEST_F(ScanEngineTest, SettingsFileResolutionShowsInThePages) {
    Feed(1);
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    std::string ini = WriteSettings("[CustomDsData]\r\nScanType=2\r\nXResolution=150\r\n"
                                    "YResolution=150\r\n");
    ASSERT_TRUE(scan.RestoreSetting(ini.c_str()));
    int dpi = 0;
    EXPECT_TRUE(scan.GetResolution(&dpi));
    EXPECT_EQ(dpi, 150);
    ASSERT_TRUE(RunBatch(scan));
    ASSERT_EQ(m_rec.Pages.size(), 1u);
    EXPECT_EQ(m_rec.Pages[0].XRes, 150);
    EXPECT_EQ(m_rec.Pages[0].Bps * m_rec.Pages[0].Spp, 8);
}

TEST_F(ScanEngineTest, StoreAndRestoreRoundTripTheSourceSettings) {
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    std::string in = WriteSettings("[CustomDsData]\r\nScanType=2\r\nXResolution=300\r\n"
                                   "YResolution=300\r\n");
    ASSERT_TRUE(scan.RestoreSetting(in.c_str()));
    std::string out = m_strDir + "\\stored.ini";
    ASSERT_TRUE(scan.StoreSetting(out.c_str()));
    std::string text = ReadFile(out);
    EXPECT_NE(text.find("[CustomDsData]"), std::string::npos);
    EXPECT_NE(text.find("XResolution=300"), std::string::npos);
    EXPECT_NE(text.find("ScanType=2"), std::string::npos);
    // Something else, then the stored file brings it back.
    ASSERT_TRUE(scan.SetResolution(200));
    ASSERT_TRUE(scan.RestoreSetting(out.c_str()));
    int dpi = 0;
    scan.GetResolution(&dpi);
    EXPECT_EQ(dpi, 300);
    int type = 0;
    scan.GetImageType(&type);
    EXPECT_EQ(type, 1800);
}

TEST_F(ScanEngineTest, PaperJamOnPageTwoEndsTheBatchWithTheDriverError) {
    Feed(3);
    JamAtPage(2);
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    scan.ClearLastDriverError();
    ASSERT_TRUE(RunBatch(scan));
    EXPECT_EQ(PagesWithImage(), 1);
    ASSERT_EQ(m_rec.Pages.size(), 2u);
    EXPECT_TRUE(m_rec.Pages[0].bHasDib);
    // The jammed sheet arrives as a native page without image, aborted, and
    // being the last page its flag is the batch end's wParam.
    EXPECT_FALSE(m_rec.Pages[1].bHasDib);
    EXPECT_EQ(m_rec.Pages[1].Aborted, 1u);
    ASSERT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{1}));
    std::string text;
    DWORD code = 0;
    EXPECT_TRUE(scan.GetLastDriverError(&text, &code));
    EXPECT_EQ(code, VLM_EXTERR_PAPERJAM);
    EXPECT_EQ(text.substr(0, 12), "0xFFFFEEB6  ");
    EXPECT_GT(text.size(), 12u);
}

TEST_F(ScanEngineTest, PaperJamInAMemoryBatchEndsWithWParamZero) {
    Feed(3);
    JamAtPage(2);
    CScan scan;
    scan.SetScanLog(FALSE, TWSX_MEMORY);
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    ASSERT_TRUE(RunBatch(scan));
    ASSERT_EQ(m_rec.Pages.size(), 2u);
    EXPECT_EQ(m_rec.Pages[0].Aborted, 0u);
    // A memory page is delivered with what arrived (here nothing: no image,
    // not a blank page), marked aborted; the receiver left the flag alone,
    // so the driver clears it and the batch end says 0. The jam is told by
    // the driver error.
    EXPECT_EQ(m_rec.Pages[1].Aborted, 1u);
    EXPECT_FALSE(m_rec.Pages[1].bHasImage);
    EXPECT_EQ(m_rec.Pages[1].Height, 0);
    EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{0}));
    EXPECT_EQ(DriverErrorCode(scan), VLM_EXTERR_PAPERJAM);
}

TEST_F(ScanEngineTest, DoubleFeedEndsTheBatchWithTheDriverError) {
    Feed(3);
    ASSERT_TRUE(m_pDev->Update([](vx410sim::DeviceState& s) {
        s.m_nDoubleFeedAtPage = 2;
        return true;
    }));
    CScan scan;
    scan.SetScanLog(FALSE, TWSX_MEMORY);
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    ASSERT_TRUE(RunBatch(scan));
    EXPECT_GE(m_rec.Pages.size(), 1u);
    EXPECT_TRUE(m_rec.Pages[0].bHasImage);
    EXPECT_EQ(m_rec.Pages[0].Aborted, 0u);
    ASSERT_EQ(m_rec.BatchEnds.size(), 1u);
    std::string text;
    DWORD code = 0;
    EXPECT_TRUE(scan.GetLastDriverError(&text, &code));
    EXPECT_EQ(code, VLM_EXTERR_DOUBLEFEED);
    scan.ClearLastDriverError();
    EXPECT_FALSE(scan.GetLastDriverError(&text, &code));
}

TEST_F(ScanEngineTest, CancelDuringTheBatchEndsItAfterTheCurrentPage) {
    Feed(3);
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    m_rec.OnPage = [&](int n) {
        if (n == 1)
            scan.ScanCancel();
    };
    ASSERT_TRUE(RunBatch(scan));
    EXPECT_EQ(m_rec.Pages.size(), 1u);
    // Cancelled between images: no page was cut short.
    ASSERT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{0}));
    // The remaining sheets stay in the feeder.
    EXPECT_EQ(GeneratedNumbers().size(), 2u);
    EXPECT_EQ(scan.GetBusyState(), 0);
}

TEST_F(ScanEngineTest, ScanRequestDuringABatchIsAnsweredOnceAndStartsNothing) {
    Feed(3);
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    m_rec.OnPage = [&](int n) {
        if (n == 1)
            scan.ScanStart(m_hWnd);
    };
    ASSERT_TRUE(RunBatch(scan));
    EXPECT_EQ(m_rec.nBusyAnswers, 1);
    EXPECT_EQ(m_rec.Pages.size(), 3u);
    // Nothing else arrives afterwards.
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(m_rec.BatchEnds.size(), 1u);
}

TEST_F(ScanEngineTest, EmptyFeederEndsTheBatchWithoutPages) {
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    ASSERT_TRUE(RunBatch(scan));
    EXPECT_TRUE(m_rec.Pages.empty());
    EXPECT_EQ(m_rec.BatchEnds.size(), 1u);
    EXPECT_EQ(scan.GetBusyState(), 0);
}

TEST_F(ScanEngineTest, TwoByTwoSplittingDeliversFourPagesInOrder) {
    Feed(1);
    std::vector<int> numbers = GeneratedNumbers();
    CScan scan;
    scan.SetScanLog(FALSE, TWSX_MEMORY);
    scan.SetSplit(2, 2, 0);
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    std::string ini = WriteSettings("[CustomDsData]\r\nScanType=2\r\nXResolution=100\r\n"
                                    "YResolution=100\r\n");
    ASSERT_TRUE(scan.RestoreSetting(ini.c_str()));
    ASSERT_TRUE(RunBatch(scan));
    ExpectMessagesForPages(4);
    ASSERT_EQ(m_rec.Pages.size(), 4u);
    const int w = m_rec.Pages[0].Width, h = m_rec.Pages[0].Height;
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    for (const SPage& p : m_rec.Pages) {
        EXPECT_EQ(p.Width, w);
        EXPECT_EQ(p.Height, h);
        ASSERT_TRUE(p.bHasImage);
    }
    // The page was 2w or 2w+1 wide and 2h or 2h+1 tall; the pieces must be its
    // quarters, top-left, top-right, bottom-left, bottom-right.
    bool matched = false;
    for (int W : {2 * w, 2 * w + 1})
        for (int H : {2 * h, 2 * h + 1}) {
            std::vector<uint8_t> page = vx410sim::GeneratePage(W, H, 8, 100, numbers[0]);
            bool all = true;
            for (int i = 0; i < 4 && all; ++i) {
                const SPage& p = m_rec.Pages[i];
                const int k = i % 2, j = i / 2;
                for (int y = 0; y < h && all; ++y)
                    all = memcmp(p.Pixels.data() + size_t(y) * p.Sync,
                                 page.data() + size_t(j * h + y) * W + size_t(k) * w, w) == 0;
            }
            matched = matched || all;
        }
    EXPECT_TRUE(matched);
}

TEST_F(ScanEngineTest, SettingsWindowClosedWithOkSendsWmCloseWithOne) {
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    ASSERT_TRUE(scan.ScannerSetting(m_hWnd, FALSE));
    EXPECT_EQ(scan.GetBusyState(), 2);
    // Press OK in the source's own window (a dialog on the scan thread).
    DWORD tid = GetWindowThreadProcessId(scan.GetScanWnd(), nullptr);
    HWND hDlg = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            EnumThreadWindows(
                tid,
                [](HWND h, LPARAM lp) {
                    char cls[16] = {};
                    GetClassNameA(h, cls, sizeof cls);
                    if (strcmp(cls, "#32770") == 0) {
                        *reinterpret_cast<HWND*>(lp) = h;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&hDlg));
            return hDlg != nullptr;
        },
        10000));
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(PumpUntil([&] { return !m_rec.Closes.empty(); }, 20000));
    EXPECT_EQ(m_rec.Closes, (std::vector<WPARAM>{1}));
    EXPECT_EQ(scan.GetBusyState(), 0);
}

TEST_F(ScanEngineTest, CallersOwnYieldProcedureCancelsTheBatch) {
    // The procedure lives in this program, above 4 GB: only a whole 64-bit
    // address reaches the source.
    ASSERT_GT(reinterpret_cast<uintptr_t>(&OwnYield), uintptr_t(0xFFFFFFFF));
    g_nOwnYieldCalls = 0;
    g_bOwnYieldCancels = FALSE;
    Feed(3);
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    ASSERT_TRUE(scan.SetCCapability(CCAP_VLM_YIELDPROC, reinterpret_cast<LONG_PTR>(&OwnYield)));
    LONG_PTR back = 0;
    ASSERT_TRUE(scan.GetCCapability(CCAP_VLM_YIELDPROC, &back));
    EXPECT_EQ(back, reinterpret_cast<LONG_PTR>(&OwnYield));
    scan.ClearLastDriverError();
    m_rec.OnPage = [&](int n) {
        if (n == 1)
            g_bOwnYieldCancels = TRUE; // the caller's own cancel, not ScanCancel
    };
    ASSERT_TRUE(RunBatch(scan));
    EXPECT_GT(g_nOwnYieldCalls, 0);
    ASSERT_EQ(m_rec.Pages.size(), 2u);
    EXPECT_TRUE(m_rec.Pages[0].bHasDib);
    // The source cancelled the second image: a page without image, aborted,
    // which reaches the batch end.
    EXPECT_FALSE(m_rec.Pages[1].bHasDib);
    EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{1}));
    EXPECT_EQ(DriverErrorCode(scan), VLM_EXTERR_CANCELLED);
    EXPECT_EQ(GeneratedNumbers().size(), 2u);
    EXPECT_EQ(scan.GetBusyState(), 0);
}

// A source that fails one image (a set-up or information call, a page
// without width or depth, a page or strip buffer no memory holds, a strip
// that claims more rows than its buffer holds): the batch ends there with
// wParam 1 instead of asking for the same image forever or reading past the
// buffer, and the sheets not scanned stay in the feeder.
struct SSourceFaultCase {
    const char* pszFault;
    int nXferMech;
    bool bPageBegun;     // an aborted page without image is delivered for it
    DWORD dwDriverError; // 0: none of ours
    size_t nSheetsLeft;  // 2 when the struck sheet was not fed
};
class ScanEngineSourceFault : public ScanEngineTest,
                              public ::testing::WithParamInterface<SSourceFaultCase> {};

TEST_P(ScanEngineSourceFault, EndsTheBatchAtTheStruckImage) {
    const SSourceFaultCase& c = GetParam();
    Feed(3);
    SourceFault(c.pszFault, 2);
    CScan scan;
    scan.SetScanLog(FALSE, c.nXferMech);
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    scan.ClearLastDriverError();
    ASSERT_TRUE(RunBatch(scan)) << "the batch did not end";
    EXPECT_EQ(PagesWithImage(), 1);
    ASSERT_EQ(m_rec.Pages.size(), c.bPageBegun ? 2u : 1u);
    EXPECT_EQ(m_rec.Pages[0].Aborted, 0u);
    if (c.bPageBegun) {
        EXPECT_FALSE(m_rec.Pages[1].bHasImage || m_rec.Pages[1].bHasDib);
        EXPECT_EQ(m_rec.Pages[1].Aborted, 1u);
    }
    EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{1}));
    EXPECT_EQ(GeneratedNumbers().size(), c.nSheetsLeft);
    EXPECT_EQ(DriverErrorCode(scan), c.dwDriverError);
    EXPECT_EQ(scan.GetBusyState(), 0);
    // The session is back at an open source, ready for the next batch.
    EXPECT_EQ(static_cast<CTwainDriver*>(scan.GetDriver())->GetState(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScanEngineSourceFault,
    ::testing::Values(SSourceFaultCase{"setupmem", TWSX_MEMORY, false, 0, 2},
                      SSourceFaultCase{"imageinfo", TWSX_MEMORY, false, 0, 2},
                      SSourceFaultCase{"zerowidth", TWSX_MEMORY, true, 0, 2},
                      SSourceFaultCase{"zerodepth", TWSX_MEMORY, true, 0, 2},
                      SSourceFaultCase{"hugepage", TWSX_MEMORY, true, VLM_EXTERR_LOWMEMORY, 2},
                      SSourceFaultCase{"hugebuffer", TWSX_MEMORY, true, VLM_EXTERR_LOWMEMORY, 2},
                      SSourceFaultCase{"hugestrip", TWSX_MEMORY, true, 0, 1},
                      SSourceFaultCase{"nativefail", TWSX_NATIVE, true, 0, 2}),
    [](const ::testing::TestParamInfo<SSourceFaultCase>& i) {
        return std::string(i.param.pszFault);
    });

// Barcodes on a sheet reach the receiver with its front page, every one of
// them with its type and whole text: texts longer than a TWAIN item and
// several per sheet travel in the source's handles, a single text of 8
// bytes in the item itself.
TEST_F(ScanEngineTest, BarcodesOnASheetArriveWithItsPage) {
    const std::vector<vx410sim::Barcode> three = {
        {4, "INV-2026-000123"}, {0, "ABC"}, {12, std::string(254, 'q') + "!"}};
    const std::vector<vx410sim::Barcode> one = {{10, "40123455"}};
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    for (int mech : {TWSX_NATIVE, TWSX_MEMORY}) {
        m_rec = SRecord{};
        ASSERT_TRUE(m_pDev->FeedGenerated(1, three));
        ASSERT_TRUE(m_pDev->FeedGenerated(1, one));
        Feed(1);
        scan.SetScanLog(FALSE, mech);
        ASSERT_TRUE(RunBatch(scan));
        ASSERT_EQ(m_rec.Pages.size(), 3u) << mech;
        EXPECT_EQ(m_rec.Pages[0].Barcodes, three) << mech;
        EXPECT_EQ(m_rec.Pages[1].Barcodes, one) << mech;
        EXPECT_TRUE(m_rec.Pages[2].Barcodes.empty()) << mech;
        for (const SPage& p : m_rec.Pages)
            EXPECT_TRUE(p.bHasBarcodeList && (p.bHasDib || p.bHasImage)) << mech;
        EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{0}));
    }
}

TEST_F(ScanEngineTest, JpegMemoryPagesHaveNoWidthOrHeightAndCarryTheStream) {
    Feed(2);
    CScan scan;
    scan.SetScanLog(FALSE, TWSX_MEMORY);
    scan.SetCompType(TRUE, 80);
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    std::string ini = WriteSettings("[CustomDsData]\r\nScanType=3\r\nXResolution=100\r\n"
                                    "YResolution=100\r\nPageSize=A4 - 210 x 297 mm\r\n");
    ASSERT_TRUE(scan.RestoreSetting(ini.c_str()));
    ASSERT_TRUE(RunBatch(scan));
    ExpectMessagesForPages(2);
    ASSERT_EQ(m_rec.Pages.size(), 2u);
    for (const SPage& p : m_rec.Pages) {
        ASSERT_TRUE(p.bHasImage);
        EXPECT_EQ(p.Width, -1);
        EXPECT_EQ(p.Height, -1);
        EXPECT_EQ(p.Aborted, 0u);
        // ImageSize is the byte count of one whole JPEG stream of the page.
        ASSERT_EQ(p.Pixels.size(), p.ImageSize);
        ASSERT_GT(p.ImageSize, 4u);
        EXPECT_EQ(p.Pixels[0], 0xFF);
        EXPECT_EQ(p.Pixels[1], 0xD8);
        EXPECT_EQ(p.Pixels[p.ImageSize - 2], 0xFF);
        EXPECT_EQ(p.Pixels[p.ImageSize - 1], 0xD9);
        vlm::jpeg::DecodedImage img;
        std::string err;
        ASSERT_TRUE(vlm::jpeg::Decode(p.Pixels.data(), p.Pixels.size(), img, {}, &err)) << err;
        EXPECT_EQ(img.width, 827); // A4 at 100 dpi
        EXPECT_EQ(img.height, 1169);
        EXPECT_EQ(img.components, 3);
    }
    EXPECT_EQ(m_rec.BatchEnds, (std::vector<WPARAM>{0}));
}

TEST_F(ScanEngineTest, DestroyingTheControllerInABatchCancelsItAndClosesTheSource) {
    Feed(5);
    auto scan = std::make_unique<CScan>();
    ASSERT_TRUE(scan->Probe(kSource, FALSE));
    bool bFirstPage = false;
    m_rec.OnPage = [&](int n) { bFirstPage = bFirstPage || n == 1; };
    m_rec.pScan = scan.get();
    scan->ScanStart(m_hWnd);
    ASSERT_TRUE(PumpUntil([&] { return bFirstPage; }));
    scan.reset(); // the batch is still running
    std::string log = ReadFile(m_strLog);
    EXPECT_NE(log.find("delete m_pScanDriver; end"), std::string::npos);
    EXPECT_EQ(log.find("did not end"), std::string::npos);
    // The page in transfer at most was finished; the rest stay in the feeder.
    EXPECT_LE(PagesWithImage(), 2);
    EXPECT_GE(GeneratedNumbers().size(), 3u);
    // The end of the batch was posted before the controller went.
    ASSERT_TRUE(PumpUntil([&] { return !m_rec.BatchEnds.empty(); }, 10000));
    EXPECT_EQ(m_rec.BatchEnds.size(), 1u);
    // The source was closed: another controller opens it again.
    m_rec = SRecord{};
    CScan again;
    EXPECT_TRUE(again.Probe(kSource, FALSE));
}

TEST_F(ScanEngineTest, GettersAnswerSuccessForTheFirstEntryOfTheirLists) {
    CScan scan;
    ASSERT_TRUE(scan.Probe(kSource, FALSE));
    // Black and white and no job control head their lists (index 0).
    std::string ini = WriteSettings("[CustomDsData]\r\nScanType=0\r\n");
    ASSERT_TRUE(scan.RestoreSetting(ini.c_str()));
    std::vector<uint16_t> types;
    EXPECT_EQ(scan.GetEnumImageType(&types), 0);
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types[0], 1100);
    int type = 0;
    EXPECT_TRUE(scan.GetImageType(&type));
    EXPECT_EQ(type, 1100);
    std::vector<uint16_t> controls;
    EXPECT_EQ(scan.GetEnumJobControl(&controls), 0);
    ASSERT_FALSE(controls.empty());
    EXPECT_EQ(controls[0], TWJC_NONE);
    int control = -1;
    EXPECT_TRUE(scan.GetJobControl(&control));
    EXPECT_EQ(control, TWJC_NONE);
    // A later entry still answers success, not its index.
    ASSERT_TRUE(scan.SetImageType(3800));
    EXPECT_TRUE(scan.GetImageType(&type));
    EXPECT_EQ(type, 3800);
}

} // namespace
