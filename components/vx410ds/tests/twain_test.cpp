// The data source through Wine's real source manager (twain_32.dll), as an
// application sees it: enumeration, capabilities, native and memory batches
// from the simulated feeder, faults with the extended error, cancel, the
// vendor operations and the settings window.
#include "core/pagerender.h"
#include "jpegcodec.h"
#include "pagegen.h"
#include "resource.h"
#include "contracts/vlmtwain.h"
#include "vx410sim.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string TempFolder(const char* name) {
    char tmp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, tmp);
    std::string dir =
        std::string(tmp) + "vx410ds-test-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

volatile LONG g_nYieldCalls = 0;
volatile LONG g_nCancelAfter = 1000000;
int WINAPI TestYield() {
    return ::InterlockedIncrement(&g_nYieldCalls) > g_nCancelAfter ? 1 : 0;
}

struct Image {
    int m_nWidth = 0, m_nHeight = 0, m_nBpp = 0;
    std::vector<uint8_t> m_data; // simulator layout (top-down, 1 = black, B,G,R)
};

// A minimal TWAIN application.
class CTwainApp {
public:
    CTwainApp() {
        m_hDsm = ::LoadLibraryA("twain_32.dll");
        if (m_hDsm)
            m_pfnDsm = reinterpret_cast<DSMENTRYPROC>(
                reinterpret_cast<void*>(::GetProcAddress(m_hDsm, "DSM_Entry")));
        m_hWnd = ::CreateWindowA("STATIC", "vx410ds test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
        m_app.Version.MajorNum = 1;
        m_app.Version.Language = TWLG_USA;
        m_app.Version.Country = TWCY_USA;
        std::strcpy(m_app.Version.Info, "test");
        m_app.ProtocolMajor = 1;
        m_app.ProtocolMinor = 9;
        m_app.SupportedGroups = DG_CONTROL | DG_IMAGE;
        std::strcpy(m_app.Manufacturer, "Velmora Works Inc.");
        std::strcpy(m_app.ProductFamily, "Tests");
        std::strcpy(m_app.ProductName, "vx410ds test");
    }
    ~CTwainApp() {
        if (m_bEnabled) {
            // Back to state 4 whatever a failed test left behind.
            TW_PENDINGXFERS p{};
            Ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &p);
            Ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &p);
            Ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &m_ui);
        }
        if (m_bOpen)
            Sm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_src);
        if (m_bDsmOpen)
            Sm(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_hWnd);
        if (m_hWnd)
            ::DestroyWindow(m_hWnd);
        if (m_hDsm)
            ::FreeLibrary(m_hDsm);
    }
    bool Ready() const { return m_pfnDsm && m_hWnd; }

    TW_UINT16 Sm(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* p) {
        return m_pfnDsm(&m_app, nullptr, dg, dat, msg, p);
    }
    TW_UINT16 Ds(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* p) {
        return m_pfnDsm(&m_app, &m_src, dg, dat, msg, p);
    }
    TW_UINT16 Condition() {
        TW_STATUS st{};
        Ds(DG_CONTROL, DAT_STATUS, MSG_GET, &st);
        return st.ConditionCode;
    }
    TW_UINT32 ExtError() {
        TW_UINT32 code = 0;
        EXPECT_EQ(Ds(DG_CONTROL, DAT_VLM_EXTERROR, MSG_GET, &code), TWRC_SUCCESS);
        return code;
    }
    TW_INT32 VendorOp(TW_UINT16 op, uintptr_t a1, uintptr_t a2) {
        VendorOpRecord r{};
        r.OpCode = op;
        r.Arg1 = a1;
        r.Arg2 = a2;
        EXPECT_EQ(Ds(DG_CONTROL, DAT_VLM_VENDOROP, MSG_VLM_VENDOROP, &r), TWRC_SUCCESS);
        return r.Result;
    }

    bool OpenDsm() {
        m_bDsmOpen = Sm(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_hWnd) == TWRC_SUCCESS;
        return m_bDsmOpen;
    }
    std::vector<std::string> Sources() {
        std::vector<std::string> names;
        TW_IDENTITY id{};
        for (TW_UINT16 rc = Sm(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id); rc == TWRC_SUCCESS;
             rc = Sm(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id)) {
            names.push_back(id.ProductName);
            if (_stricmp(id.ProductName, VLM_DS_PRODUCTNAME) == 0)
                m_src = id;
            id = TW_IDENTITY{};
        }
        return names;
    }
    bool Open() {
        if (!OpenDsm())
            return false;
        Sources();
        if (_stricmp(m_src.ProductName, VLM_DS_PRODUCTNAME) != 0)
            return false;
        m_bOpen = Sm(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_src) == TWRC_SUCCESS;
        return m_bOpen;
    }

    TW_UINT16 SetCap(TW_UINT16 cap, TW_UINT16 type, double value) {
        TW_CAPABILITY c{cap, TWON_ONEVALUE, ::GlobalAlloc(GHND, 8)};
        auto* p = static_cast<pTW_ONEVALUE>(::GlobalLock(c.hContainer));
        p->ItemType = type;
        if (type == TWTY_FIX32) {
            const long raw = long(value * 65536.0 + 0.5);
            TW_FIX32 f{TW_INT16(raw >> 16), TW_UINT16(raw & 0xFFFF)};
            std::memcpy(&p->Item, &f, 4);
        } else {
            p->Item = TW_UINT32(TW_INT32(value));
        }
        ::GlobalUnlock(c.hContainer);
        const TW_UINT16 rc = Ds(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
        ::GlobalFree(c.hContainer);
        return rc;
    }
    bool GetCurrent(TW_UINT16 cap, double& value, TW_UINT16 msg = MSG_GETCURRENT) {
        TW_CAPABILITY c{cap, TWON_ONEVALUE, nullptr};
        if (Ds(DG_CONTROL, DAT_CAPABILITY, msg, &c) != TWRC_SUCCESS)
            return false;
        auto* p = static_cast<pTW_ONEVALUE>(::GlobalLock(c.hContainer));
        bool ok = c.ConType == TWON_ONEVALUE;
        if (p->ItemType == TWTY_FIX32) {
            TW_FIX32 f;
            std::memcpy(&f, &p->Item, 4);
            value = f.Whole + f.Frac / 65536.0;
        } else if (p->ItemType == TWTY_INT16) {
            value = TW_INT16(p->Item & 0xFFFF);
        } else if (p->ItemType == TWTY_UINT16 || p->ItemType == TWTY_BOOL) {
            value = p->Item & 0xFFFF;
        } else {
            value = TW_INT32(p->Item);
        }
        ::GlobalUnlock(c.hContainer);
        ::GlobalFree(c.hContainer);
        return ok;
    }
    double Current(TW_UINT16 cap) {
        double v = -12345;
        EXPECT_TRUE(GetCurrent(cap, v)) << "cap " << cap;
        return v;
    }
    // Whole parts of an enumeration's items, or {min, max} of a range.
    std::vector<int> Values(TW_UINT16 cap, TW_UINT16& conType) {
        std::vector<int> out;
        TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
        if (Ds(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &c) != TWRC_SUCCESS)
            return out;
        conType = c.ConType;
        auto* base = static_cast<uint8_t*>(::GlobalLock(c.hContainer));
        if (c.ConType == TWON_ENUMERATION) {
            auto* e = reinterpret_cast<pTW_ENUMERATION>(base);
            const size_t sz = e->ItemType == TWTY_FIX32 || e->ItemType == TWTY_INT32 ? 4 : 2;
            for (TW_UINT32 i = 0; i < e->NumItems; ++i) {
                int16_t v;
                std::memcpy(&v, e->ItemList + i * sz, 2); // FIX32: the whole part
                out.push_back(e->ItemType == TWTY_UINT16 ? uint16_t(v) : v);
            }
        } else if (c.ConType == TWON_RANGE) {
            auto* r = reinterpret_cast<pTW_RANGE>(base);
            out = {int(r->MinValue), int(r->MaxValue)};
        }
        ::GlobalUnlock(c.hContainer);
        ::GlobalFree(c.hContainer);
        return out;
    }

    // Pumps the thread's messages through MSG_PROCESSEVENT until the source
    // reports an event (or the time runs out: MSG_NULL).
    TW_UINT16 WaitEvent(DWORD ms = 10000, HWND* pDialogOut = nullptr) {
        const DWORD until = ::GetTickCount() + ms;
        while (::GetTickCount() < until) {
            MSG m;
            if (!::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                continue;
            }
            TW_EVENT ev{&m, MSG_NULL};
            if (Ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &ev) == TWRC_DSEVENT) {
                if (ev.TWMessage != MSG_NULL)
                    return ev.TWMessage;
                continue;
            }
            ::TranslateMessage(&m);
            ::DispatchMessageA(&m);
        }
        return MSG_NULL;
    }

    TW_UINT16 Enable(bool bShowUI, TW_UINT16 msg = MSG_ENABLEDS) {
        m_ui = TW_USERINTERFACE{TW_BOOL(bShowUI), FALSE, m_hWnd};
        const TW_UINT16 rc = Ds(DG_CONTROL, DAT_USERINTERFACE, msg, &m_ui);
        m_bEnabled = rc == TWRC_SUCCESS;
        return rc;
    }
    TW_UINT16 Disable() {
        const TW_UINT16 rc = Ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &m_ui);
        if (rc == TWRC_SUCCESS)
            m_bEnabled = false;
        return rc;
    }

    // One native image into the simulator's layout.
    TW_UINT16 NativeImage(Image& img) {
        TW_HANDLE h = nullptr;
        const TW_UINT16 rc = Ds(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h);
        if (rc != TWRC_XFERDONE)
            return rc;
        auto* p = static_cast<const uint8_t*>(::GlobalLock(h));
        BITMAPINFOHEADER bih;
        std::memcpy(&bih, p, sizeof(bih));
        img.m_nWidth = bih.biWidth;
        img.m_nHeight = bih.biHeight;
        img.m_nBpp = bih.biBitCount;
        const size_t stride = (size_t(bih.biWidth) * bih.biBitCount + 31) / 32 * 4;
        const size_t rb = vx410sim::RowBytes(img.m_nWidth, img.m_nBpp);
        const uint8_t* bits = p + bih.biSize + bih.biClrUsed * 4;
        img.m_data.resize(rb * img.m_nHeight);
        for (int y = 0; y < img.m_nHeight; ++y) {
            const uint8_t* src = bits + size_t(img.m_nHeight - 1 - y) * stride;
            uint8_t* dst = img.m_data.data() + y * rb;
            std::memcpy(dst, src, rb);
            if (img.m_nBpp == 1) { // palette 0 = black; the simulator uses 1 = black
                for (size_t i = 0; i < rb; ++i)
                    dst[i] = uint8_t(~dst[i]);
                if (img.m_nWidth % 8)
                    dst[rb - 1] &= uint8_t(0xFF << (8 - img.m_nWidth % 8));
            }
        }
        ::GlobalUnlock(h);
        ::GlobalFree(h);
        return rc;
    }

    // One memory image (uncompressed strips, R,G,B reversed into B,G,R).
    TW_UINT16 MemoryImage(Image& img, size_t bufferBytes = 0) {
        TW_IMAGEINFO info{};
        if (Ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS)
            return TWRC_FAILURE;
        TW_SETUPMEMXFER setup{};
        if (Ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS)
            return TWRC_FAILURE;
        img.m_nWidth = info.ImageWidth;
        img.m_nHeight = info.ImageLength;
        img.m_nBpp = info.BitsPerPixel;
        const size_t rb = vx410sim::RowBytes(img.m_nWidth, img.m_nBpp);
        img.m_data.assign(rb * img.m_nHeight, 0);
        std::vector<uint8_t> buf(bufferBytes ? bufferBytes : setup.Preferred);
        for (;;) {
            TW_IMAGEMEMXFER x{};
            x.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
            x.Memory.Length = TW_UINT32(buf.size());
            x.Memory.TheMem = buf.data();
            const TW_UINT16 rc = Ds(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
            if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE)
                return rc;
            EXPECT_EQ(x.BytesPerRow, rb);
            for (TW_UINT32 r = 0; r < x.Rows; ++r) {
                uint8_t* dst = img.m_data.data() + (x.YOffset + r) * rb;
                std::memcpy(dst, buf.data() + r * x.BytesPerRow, rb);
                if (img.m_nBpp == 24)
                    for (size_t i = 0; i + 2 < rb; i += 3)
                        std::swap(dst[i], dst[i + 2]);
                else if (img.m_nBpp == 1)
                    for (size_t i = 0; i < rb; ++i)
                        dst[i] = uint8_t(~dst[i]);
                if (img.m_nBpp == 1 && img.m_nWidth % 8)
                    dst[rb - 1] &= uint8_t(0xFF << (8 - img.m_nWidth % 8));
            }
            if (rc == TWRC_XFERDONE)
                return rc;
        }
    }

    TW_UINT16 EndXfer(TW_UINT16& count) {
        TW_PENDINGXFERS p{};
        const TW_UINT16 rc = Ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &p);
        count = p.Count;
        return rc;
    }

    HMODULE m_hDsm = nullptr;
    DSMENTRYPROC m_pfnDsm = nullptr;
    HWND m_hWnd = nullptr;
    TW_IDENTITY m_app{};
    TW_IDENTITY m_src{};
    TW_USERINTERFACE m_ui{};
    bool m_bDsmOpen = false, m_bOpen = false, m_bEnabled = false;
};

// Each test gets its own simulated device.
class DataSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strFolder = TempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ::SetEnvironmentVariableA("VX410SIM_DIR", m_strFolder.c_str());
        _putenv_s("VX410SIM_DIR", m_strFolder.c_str());
        m_pDev = std::make_unique<vx410sim::CSimDevice>(m_strFolder);
        ASSERT_TRUE(m_pDev->ClearAll());
        // The folder may be left from an earlier run by a process of the same
        // id: the generated pages number from 1 again, as the checks expect.
        ASSERT_TRUE(m_pDev->Update([](vx410sim::DeviceState& s) {
            s.m_nNextGenerated = 1;
            return true;
        }));
        g_nYieldCalls = 0;
        g_nCancelAfter = 1000000;
        ASSERT_TRUE(m_app.Ready()) << "twain_32.dll not loadable";
    }
    void Feed(int n, int jamAt = 0, int doubleAt = 0) {
        ASSERT_TRUE(m_pDev->FeedGenerated(n));
        ASSERT_TRUE(m_pDev->Update([&](vx410sim::DeviceState& s) {
            s.m_nJamAtPage = jamAt;
            s.m_nDoubleFeedAtPage = doubleAt;
            return true;
        }));
    }
    // What a page must look like: the generated sheet at the format.
    static std::vector<uint8_t> Expected(int w, int h, int bpp, int dpi, int n) {
        return vx410sim::GeneratePage(w, h, bpp, dpi, n);
    }
    std::string m_strFolder;
    std::unique_ptr<vx410sim::CSimDevice> m_pDev;
    CTwainApp m_app;
};

TEST_F(DataSourceTest, EnumerationListsOurSourceBesideTheOthers) {
    ASSERT_TRUE(m_app.OpenDsm());
    std::vector<std::string> names = m_app.Sources();
    int ours = 0;
    std::string all;
    for (const auto& n : names) {
        ours += n == VLM_DS_PRODUCTNAME;
        all += "[" + n + "] ";
    }
    EXPECT_EQ(ours, 1) << all;
    std::printf("sources: %s\n", all.c_str());
}

TEST_F(DataSourceTest, CapabilitiesNegotiate) {
    ASSERT_TRUE(m_app.Open());
    TW_UINT16 con = 0;
    std::vector<int> res = m_app.Values(ICAP_XRESOLUTION, con);
    ASSERT_EQ(con, TWON_ENUMERATION);
    EXPECT_NE(std::find(res.begin(), res.end(), 300), res.end());
    EXPECT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 300), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_XRESOLUTION), 300);
    EXPECT_EQ(m_app.Current(ICAP_YRESOLUTION), 300);
    // Unoffered values snap to the nearest with TWRC_CHECKSTATUS.
    EXPECT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 310), TWRC_CHECKSTATUS);
    EXPECT_EQ(m_app.Current(ICAP_XRESOLUTION), 300);
    EXPECT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 5000), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_BADVALUE);

    EXPECT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_BITDEPTH), 24);
    EXPECT_EQ(m_app.SetCap(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_FAILURE);
    EXPECT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_BITDEPTH), 8);

    EXPECT_EQ(m_app.SetCap(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_XFERMECH), TWSX_MEMORY);
    EXPECT_EQ(m_app.SetCap(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_FAILURE);
    TW_CAPABILITY c{ICAP_XFERMECH, TWON_DONTCARE16, nullptr};
    EXPECT_EQ(m_app.Ds(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &c), TWRC_SUCCESS);
    ::GlobalFree(c.hContainer);
    EXPECT_EQ(m_app.Current(ICAP_XFERMECH), TWSX_NATIVE);

    EXPECT_EQ(m_app.Current(CAP_DUPLEX), TWDX_1PASSDUPLEX);
    EXPECT_EQ(m_app.Current(CCAP_VLM_FEEDERMAXWIDTH), 216);
    EXPECT_NEAR(m_app.Current(ICAP_PHYSICALWIDTH), 216 / 25.4, 0.001);
    EXPECT_EQ(m_app.SetCap(CCAP_VLM_WINDOW, TWTY_INT32, 0), TWRC_SUCCESS);
    EXPECT_EQ(m_app.SetCap(CAP_XFERCOUNT, TWTY_INT16, -1), TWRC_SUCCESS);
    EXPECT_EQ(m_app.SetCap(ICAP_JPEGQUALITY, TWTY_UINT16, 80), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_JPEGQUALITY), 80);
    // A truncated address is refused: the procedure must travel whole.
    EXPECT_EQ(m_app.SetCap(CCAP_VLM_YIELDPROC, TWTY_INT32, 1234), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_BADVALUE);
    EXPECT_EQ(m_app.SetCap(0x7777, TWTY_INT32, 1), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_CAPUNSUPPORTED);
}

TEST_F(DataSourceTest, NativeBatchOfThreeColourPages) {
    Feed(3);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 100), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A4LETTER), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    for (int page = 1; page <= 3; ++page) {
        Image img;
        ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE) << "page " << page;
        EXPECT_EQ(img.m_nWidth, 827);
        EXPECT_EQ(img.m_nHeight, 1169);
        EXPECT_EQ(img.m_nBpp, 24);
        EXPECT_TRUE(img.m_data == Expected(827, 1169, 24, 100, page)) << "page " << page;
        TW_UINT16 count = 0;
        ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
        EXPECT_EQ(count, page < 3 ? 0xFFFF : 0);
    }
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, MemoryBatchDeliversStripsInRgbOrder) {
    Feed(3);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_USLETTER), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    for (int page = 1; page <= 3; ++page) {
        Image img;
        // A small buffer forces many strips.
        ASSERT_EQ(m_app.MemoryImage(img, 7 * 1920 + 5), TWRC_XFERDONE);
        EXPECT_EQ(img.m_nWidth, 638); // 8.5 in x 75
        EXPECT_EQ(img.m_nHeight, 825);
        EXPECT_TRUE(img.m_data == Expected(638, 825, 24, 75, page)) << "page " << page;
        TW_UINT16 count = 0;
        ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
        EXPECT_EQ(count, page < 3 ? 0xFFFF : 0);
    }
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, MemoryTransferOfBlackAndWhiteAndGrey) {
    Feed(2);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 200), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A5), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.MemoryImage(img), TWRC_XFERDONE);
    EXPECT_EQ(img.m_nWidth, 1165); // 148 mm at 200 dpi
    EXPECT_EQ(img.m_nBpp, 1);
    EXPECT_TRUE(img.m_data == Expected(1165, 1654, 1, 200, 1));
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0xFFFF);
    // Further negotiation waits for the batch to end.
    EXPECT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_SEQERROR);
    ASSERT_EQ(m_app.MemoryImage(img), TWRC_XFERDONE);
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

// A fault on a later sheet: the pages before it arrive, then the transfer
// is cancelled with the extended error.
void CheckFault(DataSourceTest* t, CTwainApp& app, TW_UINT32 code, const char* text) {
    ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(app.NativeImage(img), TWRC_XFERDONE);
    TW_UINT16 count = 0;
    ASSERT_EQ(app.EndXfer(count), TWRC_SUCCESS);
    ASSERT_EQ(count, 0xFFFF);
    EXPECT_EQ(app.NativeImage(img), TWRC_CANCEL);
    EXPECT_EQ(app.Condition(), TWCC_VLM_EXTERROR);
    EXPECT_EQ(app.ExtError(), code);
    char buf[1024] = {};
    EXPECT_EQ(app.VendorOp(VLMOP_GETERRORTEXT, code, uintptr_t(buf + 12)), 0);
    EXPECT_STREQ(buf + 12, text);
    ASSERT_EQ(app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
    // The error stays readable until the next enable.
    EXPECT_EQ(app.ExtError(), code);
}

TEST_F(DataSourceTest, PaperJamOnPageTwo) {
    Feed(3, 2, 0);
    ASSERT_TRUE(m_app.Open());
    CheckFault(this, m_app, VLM_EXTERR_PAPERJAM, "Paper jammed in scanner.");
}

TEST_F(DataSourceTest, DoubleFeedOnPageTwo) {
    Feed(3, 0, 2);
    ASSERT_TRUE(m_app.Open());
    CheckFault(this, m_app, VLM_EXTERR_DOUBLEFEED, "Double paper-feed has occurred.");
}

TEST_F(DataSourceTest, EmptyFeederRefusesToEnable) {
    ASSERT_TRUE(m_app.Open());
    EXPECT_EQ(m_app.Enable(false), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_VLM_EXTERROR);
    EXPECT_EQ(m_app.ExtError(), VLM_EXTERR_NOPAPER);
}

TEST_F(DataSourceTest, YieldProcedureCancels) {
    Feed(3);
    ASSERT_TRUE(m_app.Open());
    TW_CAPABILITY c{CCAP_VLM_YIELDPROC, TWON_ONEVALUE,
                    ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE_ADDRESS))};
    TW_ONEVALUE_ADDRESS v{TWTY_VLM_ADDRESS, reinterpret_cast<uintptr_t>(&TestYield)};
    std::memcpy(::GlobalLock(c.hContainer), &v, sizeof(v));
    ::GlobalUnlock(c.hContainer);
    ASSERT_EQ(m_app.Ds(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c), TWRC_SUCCESS);
    ::GlobalFree(c.hContainer);
    g_nCancelAfter = 1; // the first call lets page 1 through
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(m_app.NativeImage(img), TWRC_CANCEL);
    EXPECT_EQ(m_app.ExtError(), VLM_EXTERR_CANCELLED);
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
    // The sheets not scanned stay in the feeder.
    vx410sim::DeviceState st;
    ASSERT_TRUE(m_pDev->Read(st));
    EXPECT_EQ(st.m_feeder.size(), 2u);
}

// The faults the simulator asks for strike the image they name and leave
// its sheet in the feeder.
TEST_F(DataSourceTest, SourceFaultsStrikeTheImageTheyName) {
    Feed(3);
    auto fault = [&](const char* name, int page) {
        ASSERT_TRUE(m_pDev->Update([&](vx410sim::DeviceState& s) {
            s.m_strSourceFault = name;
            s.m_nSourceFaultAtPage = page;
            return true;
        }));
    };
    fault("imageinfo", 2);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.MemoryImage(img), TWRC_XFERDONE); // image 1 is not struck
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    EXPECT_EQ(m_app.Ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_BUMMER);
    fault("zerowidth", 2);
    ASSERT_EQ(m_app.Ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.ImageWidth, 0);
    EXPECT_GT(info.ImageLength, 0);
    fault("zerodepth", 2);
    ASSERT_EQ(m_app.Ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.BitsPerPixel, 0);
    EXPECT_GT(info.ImageWidth, 0);
    fault("hugepage", 2);
    ASSERT_EQ(m_app.Ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.ImageWidth, 0x3FFFFFFF);
    TW_SETUPMEMXFER setup{};
    fault("setupmem", 2);
    EXPECT_EQ(m_app.Ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_FAILURE);
    fault("hugebuffer", 2);
    ASSERT_EQ(m_app.Ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(setup.MinBufSize, 0x7FFFFFF0u);
    fault("hugebuffer", 3); // another image: the answers are the usual ones
    ASSERT_EQ(m_app.Ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_LT(setup.MinBufSize, 0x10000u);
    vx410sim::DeviceState st;
    ASSERT_TRUE(m_pDev->Read(st));
    EXPECT_EQ(st.m_feeder.size(), 2u); // nothing taken for the struck image
}

TEST_F(DataSourceTest, NativeFaultRefusesTheImageAndKeepsItOffered) {
    Feed(2);
    ASSERT_TRUE(m_pDev->Update([](vx410sim::DeviceState& s) {
        s.m_strSourceFault = "nativefail";
        s.m_nSourceFaultAtPage = 1;
        return true;
    }));
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    EXPECT_EQ(m_app.NativeImage(img), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_BUMMER);
    // Still in state 6 with the image offered: the application can drop it.
    TW_PENDINGXFERS p{};
    EXPECT_EQ(m_app.Ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &p), TWRC_SUCCESS);
    EXPECT_EQ(p.Count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
    vx410sim::DeviceState st;
    ASSERT_TRUE(m_pDev->Read(st));
    EXPECT_EQ(st.m_feeder.size(), 2u);
}

TEST_F(DataSourceTest, ResetEndsThePendingTransfers) {
    Feed(3);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    TW_PENDINGXFERS p{};
    EXPECT_EQ(m_app.Ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &p), TWRC_SUCCESS);
    EXPECT_EQ(p.Count, 0);
    EXPECT_EQ(m_app.NativeImage(img), TWRC_FAILURE);
    EXPECT_EQ(m_app.Condition(), TWCC_SEQERROR);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST_F(DataSourceTest, ProfileSaveAndLoadCarryTheSettings) {
    Feed(1);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 150), TWRC_SUCCESS);
    const std::string file = m_strFolder + "\\settings.ini";
    {
        std::ofstream out(file, std::ios::binary);
        out << "[Other]\r\nKeep=1\r\n";
    }
    ASSERT_EQ(
        m_app.VendorOp(VLMOP_SAVEPROFILE, uintptr_t(VLM_PROFILE_SECTION), uintptr_t(file.c_str())),
        0);
    std::string text = ReadAll(file);
    EXPECT_NE(text.find("[Other]\r\nKeep=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("[CustomDsData]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nScanType=2\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nXResolution=150\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPageSize=A4 - 210 x 297 mm\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nImageWidthInch(0)(0)=1050/127\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nGammaGray.Length=256\r\nGammaGray=0 1 2 "), std::string::npos);

    // Reset, then load a file whose resolution was changed by hand.
    ASSERT_EQ(m_app.VendorOp(VLMOP_RESET, 0, 0), 0);
    EXPECT_EQ(m_app.Current(ICAP_XRESOLUTION), 200);
    EXPECT_EQ(m_app.Current(ICAP_PIXELTYPE), TWPT_BW);
    for (const char* key : {"XResolution=", "YResolution="}) {
        const size_t at = text.find(std::string(key) + "150");
        ASSERT_NE(at, std::string::npos);
        text.replace(at + 12, 3, "300");
    }
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << text;
    }
    ASSERT_EQ(
        m_app.VendorOp(VLMOP_LOADPROFILE, uintptr_t(VLM_PROFILE_SECTION), uintptr_t(file.c_str())),
        0);
    EXPECT_EQ(m_app.Current(ICAP_XRESOLUTION), 300);
    EXPECT_EQ(m_app.Current(ICAP_PIXELTYPE), TWPT_GRAY);
    // A bad file changes nothing.
    {
        std::ofstream out(m_strFolder + "\\bad.ini", std::ios::binary);
        out << "[CustomDsData]\r\nXResolution=abc\r\nScanType=3\r\n";
    }
    EXPECT_NE(m_app.VendorOp(VLMOP_LOADPROFILE, uintptr_t(VLM_PROFILE_SECTION),
                             uintptr_t((m_strFolder + "\\bad.ini").c_str())),
              0);
    EXPECT_EQ(m_app.Current(ICAP_PIXELTYPE), TWPT_GRAY);
    EXPECT_NE(m_app.VendorOp(VLMOP_LOADPROFILE, uintptr_t(VLM_PROFILE_SECTION),
                             uintptr_t((m_strFolder + "\\missing.ini").c_str())),
              0);

    // The loaded resolution shows in the delivered page.
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    EXPECT_EQ(img.m_nWidth, 2480);
    EXPECT_EQ(img.m_nHeight, 3508);
    EXPECT_EQ(img.m_nBpp, 8);
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, VendorItemsRoundTrip) {
    ASSERT_TRUE(m_app.Open());
    EXPECT_EQ(m_app.VendorOp(VLMOP_SETITEMVALUE, 0x1234 | (2 << 16), 77), 0);
    TW_INT32 v = 0;
    EXPECT_EQ(m_app.VendorOp(VLMOP_GETITEMVALUE, 0x1234 | (2 << 16), uintptr_t(&v)), 0);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(m_app.VendorOp(VLMOP_GETITEMVALUE, VLMITEM_EXTIMAGEINFO, uintptr_t(&v)), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(m_app.VendorOp(VLMOP_SETITEMSTRING, 0x2000, uintptr_t("C:\\isis\\path")), 0);
    char buf[8] = {};
    EXPECT_EQ(m_app.VendorOp(VLMOP_GETITEMBYTES, 0x2000 | (sizeof(buf) << 16), uintptr_t(buf)), 0);
    EXPECT_STREQ(buf, "C:\\isis"); // cut to the caller's length
    EXPECT_NE(m_app.VendorOp(VLMOP_GETITEMVALUE, 0x4321, uintptr_t(&v)), 0);
}

// Finds the settings window and presses one of its buttons, as a user would.
bool PressDialogButton(int id, int comboIndex = -1) {
    for (int i = 0; i < 100; ++i) {
        HWND hDlg = ::FindWindowA("#32770", "Velmora VX-410 TWAIN Settings");
        if (hDlg && ::IsWindowVisible(hDlg)) {
            if (comboIndex >= 0) {
                ::SendDlgItemMessageA(hDlg, IDC_RESOLUTION, CB_SETCURSEL, comboIndex, 0);
            }
            ::SendMessageA(::GetDlgItem(hDlg, id), BM_CLICK, 0, 0);
            return true;
        }
        ::Sleep(20);
    }
    return false;
}

TEST_F(DataSourceTest, SettingsWindowOkAndCancel) {
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.Enable(true, MSG_ENABLEDSUIONLY), TWRC_SUCCESS);
    // Index 5 of the resolution list is 300 dpi.
    ASSERT_TRUE(PressDialogButton(IDOK, 5));
    EXPECT_EQ(m_app.WaitEvent(), MSG_CLOSEDSOK);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_XRESOLUTION), 300);

    ASSERT_EQ(m_app.Enable(true, MSG_ENABLEDSUIONLY), TWRC_SUCCESS);
    ASSERT_TRUE(PressDialogButton(IDCANCEL, 0));
    EXPECT_EQ(m_app.WaitEvent(), MSG_CLOSEDSREQ);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Current(ICAP_XRESOLUTION), 300); // Cancel keeps the settings
}

TEST_F(DataSourceTest, JpegMemoryTransfer) {
    Feed(1);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_JPEGQUALITY, TWTY_UINT16, 90), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 100), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    TW_IMAGEINFO info{};
    ASSERT_EQ(m_app.Ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.Compression, TWCP_JPEG);
    std::vector<uint8_t> stream, buf(4096);
    TW_UINT16 rc;
    int blocks = 0;
    do {
        TW_IMAGEMEMXFER x{};
        x.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        x.Memory.Length = TW_UINT32(buf.size());
        x.Memory.TheMem = buf.data();
        rc = m_app.Ds(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
        ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << rc;
        EXPECT_EQ(x.Compression, TWCP_JPEG);
        stream.insert(stream.end(), buf.begin(), buf.begin() + x.BytesWritten);
        ++blocks;
    } while (rc == TWRC_SUCCESS);
    EXPECT_GT(blocks, 1);
    vlm::jpeg::DecodedImage img;
    std::string err;
    ASSERT_TRUE(vlm::jpeg::Decode(stream.data(), stream.size(), img, {}, &err)) << err;
    EXPECT_EQ(img.width, 827);
    EXPECT_EQ(img.height, 1169);
    EXPECT_EQ(img.components, 3);
    // Close to the page itself (B,G,R), as lossy coding allows.
    const auto page = Expected(827, 1169, 24, 100, 1);
    ASSERT_EQ(img.pixels.size(), page.size());
    double diff = 0;
    for (size_t i = 0; i < page.size(); ++i)
        diff += std::abs(int(img.pixels[i]) - int(page[i]));
    EXPECT_LT(diff / page.size(), 6.0);
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, DuplexGivesTwoImagesPerSheet) {
    Feed(2);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(CAP_DUPLEXENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A6), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    std::vector<int> sides;
    std::vector<std::vector<uint8_t>> images;
    TW_UINT16 count = 0;
    do {
        Image img;
        ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
        images.push_back(img.m_data);
        sides.push_back(int(m_app.Current(CCAP_VLM_LASTPAGE_SIDE)));
        ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    } while (count != 0 && images.size() < 10);
    EXPECT_EQ(sides, (std::vector<int>{0, 1, 0, 1}));
    ASSERT_EQ(images.size(), 4u);
    EXPECT_TRUE(images[0] == Expected(310, 437, 8, 75, 1));
    EXPECT_TRUE(images[2] == Expected(310, 437, 8, 75, 2));
    EXPECT_FALSE(images[1] == images[0]);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, TransferCountLimitsTheBatch) {
    Feed(3);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(CAP_XFERCOUNT, TWTY_INT16, 1), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    EXPECT_EQ(img.m_nBpp, 1);
    TW_UINT16 count = 9;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
    vx410sim::DeviceState st;
    ASSERT_TRUE(m_pDev->Read(st));
    EXPECT_EQ(st.m_feeder.size(), 2u);
}

TEST_F(DataSourceTest, ScanFromTheSettingsWindow) {
    Feed(1);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.Enable(true), TWRC_SUCCESS);
    // The window's OK button reads "Scan" here and starts the batch.
    char text[32] = {};
    for (int i = 0; i < 100 && !text[0]; ++i) {
        HWND hDlg = ::FindWindowA("#32770", "Velmora VX-410 TWAIN Settings");
        if (hDlg)
            ::GetDlgItemTextA(hDlg, IDOK, text, sizeof(text));
        else
            ::Sleep(20);
    }
    EXPECT_STREQ(text, "Scan");
    ASSERT_TRUE(PressDialogButton(IDOK, 0)); // 75 dpi
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    EXPECT_EQ(img.m_nWidth, 620); // A4 at 75 dpi
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, ImageFileSheetsArePlacedOnThePage) {
    // A 100 x 50 black sheet picture (no dpi: taken as 200 dpi).
    vx410sim::PageImage sheet;
    sheet.m_nWidth = 100;
    sheet.m_nHeight = 50;
    sheet.m_nBitsPerPixel = 8;
    sheet.m_data.assign(100 * 50, 0);
    const std::string path = m_strFolder + "\\sheet.pgm";
    ASSERT_TRUE(vx410sim::WritePnm(path, sheet));
    ASSERT_TRUE(m_pDev->FeedFiles({path}));
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 400), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_BUSINESSCARD), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    ASSERT_EQ(img.m_nWidth, 866); // 55 mm at 400 dpi
    const size_t rb = size_t(img.m_nWidth);
    EXPECT_EQ(img.m_data[0], 0);
    EXPECT_EQ(img.m_data[99 * rb + 199], 0);   // scaled to 200 x 100
    EXPECT_EQ(img.m_data[99 * rb + 200], 255); // then white paper
    EXPECT_EQ(img.m_data[100 * rb], 255);
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, StopFeederFinishesTheSheetInThePath) {
    Feed(3);
    ASSERT_TRUE(m_app.Open());
    ASSERT_EQ(m_app.SetCap(CAP_DUPLEXENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    ASSERT_EQ(m_app.SetCap(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
    ASSERT_EQ(m_app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(m_app.WaitEvent(), MSG_XFERREADY);
    Image img;
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE); // front of sheet 1
    TW_UINT16 count = 0;
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    TW_PENDINGXFERS p{};
    ASSERT_EQ(m_app.Ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &p), TWRC_SUCCESS);
    EXPECT_NE(p.Count, 0); // its back is still due
    ASSERT_EQ(m_app.NativeImage(img), TWRC_XFERDONE);
    ASSERT_EQ(m_app.EndXfer(count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_app.Disable(), TWRC_SUCCESS);
    vx410sim::DeviceState st;
    ASSERT_TRUE(m_pDev->Read(st));
    EXPECT_EQ(st.m_feeder.size(), 2u);
    // A new batch scans from the next sheet with the negotiated settings.
    EXPECT_EQ(m_app.Current(CAP_XFERCOUNT), -1);
}

} // namespace
