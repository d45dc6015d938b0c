// COM helpers: error texts, HRESULT mapping, byte blocks and conversions.
#include <gtest/gtest.h>
#include "framework/ComError.h"
#include "framework/ComInit.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"
#include "framework/Variant.h"
#include <string>
#include <thread>
#include <vector>

TEST(ComError, SystemTextForWin32Codes) {
    CComError e(0x80070002, IID_IUnknown);
    std::string text = e.Message();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, VlmSystemMessage(0x80070002));
    EXPECT_EQ(text.find("vender"), std::string::npos);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n'); // no trailing line break in message boxes
    EXPECT_TRUE(IsEqualIID(e.m_iid, IID_IUnknown));
}

TEST(ComError, InterfaceFacilityIsVendorDefined) {
    EXPECT_EQ(CComError(0x80040005).Message(), "vender defined error 5");
    EXPECT_EQ(CComError(0x8004FFFF).Message(), "vender defined error 65535");
    // An explicit text wins over both.
    EXPECT_EQ(CComError(0x80040005, IID_NULL, "no memory").Message(), "no memory");
}

TEST(ComError, ThrowIfFailedCarriesCodeAndIid) {
    EXPECT_NO_THROW(ThrowIfFailed(S_OK, IID_IDispatch));
    EXPECT_NO_THROW(ThrowIfFailed(0x00040002, IID_IDispatch)); // success codes pass
    try {
        ThrowIfFailed(E_NOINTERFACE, IID_IDispatch);
        FAIL() << "no exception";
    } catch (const CComError& e) {
        EXPECT_EQ(e.m_hr, E_NOINTERFACE);
        EXPECT_TRUE(IsEqualIID(e.m_iid, IID_IDispatch));
    }
}

TEST(ComError, HResultFromWin32) {
    EXPECT_EQ(HResultFromWin32(0), S_OK);
    EXPECT_EQ(HResultFromWin32(2), static_cast<HRESULT>(0x80070002));
    EXPECT_EQ(HResultFromWin32(ERROR_ACCESS_DENIED), static_cast<HRESULT>(0x80070005));
    // Only the low 16 bits of the error survive.
    EXPECT_EQ(HResultFromWin32(0x12345), static_cast<HRESULT>(0x80072345));
}

TEST(ComError, HResultFromLastError) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(HResultFromLastError(), static_cast<HRESULT>(0x80070005));
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(HResultFromLastError(), HResultFromWin32(ERROR_FILE_NOT_FOUND));
    // A failure that left no error number is still a failure.
    SetLastError(0);
    EXPECT_EQ(HResultFromLastError(), E_FAIL);
}

namespace {
std::vector<std::string> g_comTrace;
void ComTrace(const char* line) {
    g_comTrace.push_back(line);
}
} // namespace

TEST(ComInitialize, UninitialisesOnlyWhatItInitialised) {
    // On a thread of its own, so that the test runner's apartment is untouched.
    std::thread([] {
        g_comTrace.clear();
        {
            CComInitialize outer(&ComTrace);
            EXPECT_EQ(outer.Result(), S_OK);
            {
                CComInitialize nested(&ComTrace); // S_FALSE: counted, so balanced too
                EXPECT_EQ(nested.Result(), S_FALSE);
                COleInitialize ole;
                EXPECT_TRUE(ole.Succeeded());
            }
            // The outer apartment is still there after the nested owner left.
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        }
        const std::vector<std::string> one = {"~CComInitialize() start", "CoUninitialize() start",
                                              "CoUninitialize() end", "~CComInitialize() end"};
        std::vector<std::string> two = one;
        two.insert(two.end(), one.begin(), one.end());
        EXPECT_EQ(g_comTrace, two);
        // Nothing left initialised on the thread: a new apartment model is accepted.
        CComInitialize mta(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(mta.Result(), S_OK);
    }).join();

    std::thread([] {
        g_comTrace.clear();
        CComInitialize mta(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(mta.Result(), S_OK);
        {
            // A thread already in another apartment: the owner failed and
            // must not uninitialise the apartment it did not make.
            CComInitialize sta(&ComTrace);
            EXPECT_EQ(sta.Result(), RPC_E_CHANGED_MODE);
            EXPECT_FALSE(sta.Succeeded());
        }
        EXPECT_EQ(g_comTrace,
                  (std::vector<std::string>{"~CComInitialize() start", "~CComInitialize() end"}));
        CComInitialize again(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(again.Result(), S_FALSE); // the first one still holds the apartment
    }).join();
}

TEST(Handles, HeldMutexIsReleasedBeforeItIsClosed) {
    const char name[] = "vlm framework test held mutex";
    CHeldMutex first;
    ASSERT_TRUE(first.Create(name));
    CHeldMutex keeper; // keeps the name alive when the first is closed
    ASSERT_TRUE(keeper.Open(name));
    EXPECT_FALSE(first.IsHeld());
    ASSERT_EQ(first.Wait(0), WAIT_OBJECT_0);
    EXPECT_TRUE(first.IsHeld());
    EXPECT_EQ(first.Wait(0), WAIT_OBJECT_0); // held: no second acquisition to balance

    auto otherThreadWait = [&](DWORD ms) {
        DWORD w = WAIT_FAILED;
        std::thread([&] {
            CHeldMutex other;
            if (other.Open(name))
                w = other.Wait(ms);
        }).join();
        return w;
    };
    EXPECT_EQ(otherThreadWait(0), static_cast<DWORD>(WAIT_TIMEOUT));
    first.Release();
    EXPECT_FALSE(first.IsHeld());
    EXPECT_EQ(otherThreadWait(0), WAIT_OBJECT_0); // released by the other owner on its way out

    ASSERT_EQ(first.Wait(0), WAIT_OBJECT_0);
    first.Close(); // releases, then closes: free for the others
    EXPECT_FALSE(first);
    EXPECT_EQ(otherThreadWait(0), WAIT_OBJECT_0);

    // A holder that ends without releasing leaves it abandoned; the next
    // waiter owns it all the same.
    std::thread([&] {
        HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, name);
        WaitForSingleObject(h, 0);
        CloseHandle(h);
    }).join();
    EXPECT_EQ(keeper.Wait(0), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_TRUE(keeper.IsHeld());
    EXPECT_EQ(CHeldMutex().Wait(0), WAIT_FAILED); // no handle
}

TEST(Variant, ByteBlockRoundTrip) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    CVariant v;
    ASSERT_EQ(VlmMakeByteBlock(data.data(), data.size(), &v), S_OK);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I1);
    LONG lo = -1, hi = -1;
    ASSERT_EQ(SafeArrayGetLBound(v.parray, 1, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(v.parray, 1, &hi), S_OK);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 999);
    std::vector<uint8_t> back;
    ASSERT_EQ(VlmReadByteBlock(v, back), S_OK);
    EXPECT_EQ(back, data);

    // A copy is deep: the original block can go away.
    CVariant copy(v);
    v.Clear();
    ASSERT_EQ(VlmReadByteBlock(copy, back), S_OK);
    EXPECT_EQ(back, data);
}

TEST(Variant, ByteBlockEdgeCases) {
    CVariant v;
    std::vector<uint8_t> out{1, 2};
    EXPECT_EQ(VlmReadByteBlock(v, out), S_FALSE); // empty: nothing stored
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(VlmMakeByteBlock(nullptr, 0, &v), S_OK);
    EXPECT_EQ(VlmReadByteBlock(v, out), S_OK);
    EXPECT_TRUE(out.empty());
    CVariant n(5L);
    EXPECT_EQ(VlmReadByteBlock(n, out), DISP_E_TYPEMISMATCH);
    // Readers accept any array type, taking its bytes.
    SAFEARRAYBOUND b{2, 0};
    SAFEARRAY* psa = SafeArrayCreate(VT_UI2, 1, &b);
    ASSERT_NE(psa, nullptr);
    uint16_t* p = nullptr;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&p));
    p[0] = 0x0201;
    p[1] = 0x0403;
    SafeArrayUnaccessData(psa);
    CVariant a;
    a.vt = VT_ARRAY | VT_UI2;
    a.parray = psa;
    ASSERT_EQ(VlmReadByteBlock(a, out), S_OK);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(Variant, ConversionsAndAnsi) {
    CVariant s("123");
    long n = 0;
    EXPECT_EQ(s.ToLong(n), S_OK);
    EXPECT_EQ(n, 123);
    CVariant bad("abc");
    EXPECT_TRUE(FAILED(bad.ToLong(n)));
    short sh = 0;
    EXPECT_EQ(CVariant(70000L).ToShort(sh), DISP_E_OVERFLOW);
    std::string text;
    EXPECT_EQ(CVariant(42L).ToAnsi(text), S_OK);
    EXPECT_EQ(text, "42");

    CBstr b("Sch\xf6n"); // Latin-1 o-umlaut in the ANSI page
    EXPECT_EQ(b.Length(), 5u);
    EXPECT_EQ(b.ToAnsi(), "Sch\xf6n");
    EXPECT_EQ(VlmBstrToAnsi(nullptr), "");
    CBstr copy = b;
    EXPECT_NE(copy.Get(), b.Get());
    EXPECT_EQ(copy.ToAnsi(), b.ToAnsi());
}

TEST(Handles, OwnersCloseOnce) {
    CHandle ev(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(ev.IsValid());
    HANDLE raw = ev.Get();
    CHandle moved(std::move(ev));
    EXPECT_FALSE(ev.IsValid());
    EXPECT_EQ(moved.Get(), raw);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(raw, &flags));
    moved.Close();
    EXPECT_FALSE(GetHandleInformation(raw, &flags));

    CHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.IsValid());

    CModule k32;
    EXPECT_TRUE(k32.Load("kernel32.dll"));
    EXPECT_NE(k32.GetProc("GetTickCount"), nullptr);
    EXPECT_FALSE(CModule().Load("no-such-library-xyz.dll"));

    CGlobalMem mem;
    ASSERT_TRUE(mem.Alloc(64));
    EXPECT_GE(mem.Size(), 64u);
    {
        CGlobalLock lock(mem);
        ASSERT_NE(lock.Get(), nullptr);
        memset(lock.Get(), 0xAB, 64);
    }
}

TEST(ComPtr, CountsReferences) {
    IUnknown* pStream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(&pStream)), S_OK);
    {
        CComPtr<IUnknown> a;
        a.Attach(pStream); // takes our reference
        pStream->AddRef();
        CComPtr<IUnknown> b = a;
        CComPtr<IStream> s;
        EXPECT_EQ(a.QueryInterface(IID_IStream, &s), S_OK);
        // a, b, s and the extra one from above.
        EXPECT_EQ(pStream->AddRef(), 5u);
        pStream->Release();
    }
    EXPECT_EQ(pStream->Release(), 0u);
}
