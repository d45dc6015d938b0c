// The job store as its clients use it: through COM, across processes, with
// the tool, and with files that are broken or written by a killed process.
#include "ComSupport.h"
#include "StoreFile.h"
#include "Taskstore.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace taskstore;

namespace {

const wchar_t kToolPath[] = L"C:\\Program Files\\Velmora Works\\Taskstore\\taskstore.exe";

std::wstring W(const std::string& s) {
    return WideFromUtf8(s);
}
std::string U(const std::wstring& w) {
    return Utf8FromWide(w.data(), w.size());
}

CBstrText Bstr(const wchar_t* s) {
    return CBstrText(SysAllocString(s));
}

HRESULT CreateStore(DWORD context, CRef<IJobStore>& pStore) {
    CRef<IUnknown> pUnk;
    HRESULT hr = CoCreateInstance(CLSID_JobStore, nullptr, context, IID_IUnknown,
                                  reinterpret_cast<void**>(pUnk.Out()));
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = OleRun(pUnk.Get())))
        return hr;
    return pUnk->QueryInterface(IID_IJobStore, reinterpret_cast<void**>(pStore.Out()));
}

std::string ErrorText() {
    CRef<IErrorInfo> pInfo;
    if (GetErrorInfo(0, pInfo.Out()) != S_OK || !pInfo)
        return std::string();
    CBstrText desc;
    pInfo->GetDescription(desc.Out());
    return desc.Get() ? U(desc.Get()) : std::string();
}

std::string ReadFileText(const std::wstring& path) {
    std::string bytes;
    bool bMissing = false;
    CStoreError err;
    EXPECT_TRUE(ReadWholeFile(U(path), bytes, bMissing, err)) << err.m_strText;
    return bytes;
}

void WriteFileText(const std::wstring& path, const std::string& text) {
    CStoreError err;
    ASSERT_TRUE(ReplaceFileAtomically(U(path), text, err)) << err.m_strText;
}

struct CRun {
    DWORD m_nExit = 0xFFFFFFFF;
    std::string m_strOut, m_strErr;
};

// Runs a program with its output captured; the child gets no other handles.
CRun Run(const std::wstring& program, const std::vector<std::string>& args) {
    CRun r;
    std::wstring cmd = L"\"" + program + L"\"";
    for (const std::string& a : args)
        cmd += L" \"" + W(a) + L"\"";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE outR, outW, errR, errW;
    CreatePipe(&outR, &outW, &sa, 0);
    CreatePipe(&errR, &errW, &sa, 0);
    SetHandleInformation(outR, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errR, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = outW;
    si.hStdError = errW;
    PROCESS_INFORMATION pi = {};
    BOOL ok =
        CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(outW);
    CloseHandle(errW);
    if (ok) {
        auto drain = [](HANDLE h, std::string* out) {
            char buf[4096];
            DWORD n;
            while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n)
                out->append(buf, n);
        };
        std::thread errThread(drain, errR, &r.m_strErr);
        drain(outR, &r.m_strOut);
        errThread.join();
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &r.m_nExit);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(outR);
    CloseHandle(errR);
    return r;
}

CRun Tool(const std::vector<std::string>& args) {
    return Run(kToolPath, args);
}

std::wstring Here() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/"));
}

class JobStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::wstring(tmp) + L"taskstore-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                W(info->name());
        CreateDirectoryW(m_dir.c_str(), nullptr);
        m_file = m_dir + L"\\Taskstore.reg";
        SetEnvironmentVariableW(L"TASKSTORE_FILE", m_file.c_str());
        ASSERT_HRESULT_SUCCEEDED(CreateStore(23, m_pStore));
        ASSERT_HRESULT_SUCCEEDED(m_pStore->SetMaxJobs(99));
        CBstrText model = Bstr(L"VX-410");
        ASSERT_HRESULT_SUCCEEDED(m_pStore->SetModel(model.Get()));
        ASSERT_HRESULT_SUCCEEDED(m_pStore->SetModelIndex(0));
        ASSERT_HRESULT_SUCCEEDED(m_pStore->Load());
    }
    void TearDown() override {
        m_pStore.Release();
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((m_dir + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((m_dir + L"\\" + fd.cFileName).c_str());
            while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(m_dir.c_str());
        SetEnvironmentVariableW(L"TASKSTORE_FILE", nullptr);
        CoUninitialize();
    }

    static void SetValue(IJobData* pJob, const wchar_t* key, const VARIANT& v) {
        CBstrText k = Bstr(key);
        ASSERT_HRESULT_SUCCEEDED(pJob->Setdata(k.Get(), v));
    }
    static void SetI4(IJobData* pJob, const wchar_t* key, LONG n) {
        CVar v;
        V_VT(v.Out()) = VT_I4;
        V_I4(&v.Get()) = n;
        SetValue(pJob, key, v.Get());
    }
    static void SetText(IJobData* pJob, const wchar_t* key, const std::wstring& text) {
        CVar v;
        V_VT(v.Out()) = VT_BSTR;
        V_BSTR(&v.Get()) = SysAllocStringLen(text.data(), UINT(text.size()));
        SetValue(pJob, key, v.Get());
    }
    static VARIANT* Get(IJobData* pJob, const wchar_t* key, CVar& v) {
        CBstrText k = Bstr(key);
        EXPECT_HRESULT_SUCCEEDED(pJob->Getdata(k.Get(), v.Out()));
        return &v.Get();
    }
    static std::wstring Text(IJobData* pJob, const wchar_t* key) {
        CVar v;
        Get(pJob, key, v);
        if (V_VT(&v.Get()) != VT_BSTR)
            return L"<not text>";
        return std::wstring(V_BSTR(&v.Get()), SysStringLen(V_BSTR(&v.Get())));
    }
    void MakeJob(LONG n, const std::wstring& title) {
        CRef<IJobData> pJob;
        ASSERT_HRESULT_SUCCEEDED(m_pStore->GetJob(n, pJob.Out()));
        SetText(pJob.Get(), L"title", title);
        SetI4(pJob.Get(), L"function id", 0);
        ASSERT_HRESULT_SUCCEEDED(pJob->Commit());
    }
    // A second, independent client of the same file.
    CRef<IJobStore> OtherStore() {
        CRef<IJobStore> p;
        EXPECT_HRESULT_SUCCEEDED(CreateStore(7, p));
        CBstrText model = Bstr(L"VX-410");
        EXPECT_HRESULT_SUCCEEDED(p->SetModel(model.Get()));
        EXPECT_HRESULT_SUCCEEDED(p->Load());
        return p;
    }

    std::wstring m_dir, m_file;
    CRef<IJobStore> m_pStore;
};

} // namespace

TEST(Registration, ClassInterfacesAndEmbeddedTypeLibrary) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT,
                            L"CLSID\\{5F2A1C3F-AF90-4B08-86C2-296F2DCAA539}\\InprocServer32", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    wchar_t dll[MAX_PATH] = {}, model[64] = {};
    DWORD cb = sizeof dll;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, (BYTE*)dll, &cb), ERROR_SUCCESS);
    cb = sizeof model;
    EXPECT_EQ(RegQueryValueExW(key, L"ThreadingModel", nullptr, nullptr, (BYTE*)model, &cb),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(model, L"Apartment");
    for (const wchar_t* iface :
         {L"Interface\\{D27FCF1A-DEB2-4FFF-A8B6-FA503A268000}\\ProxyStubClsid32",
          L"Interface\\{D515F449-31EE-4D9D-85D4-8D71F24391B0}\\ProxyStubClsid32"}) {
        wchar_t ps[64] = {};
        LONG len = sizeof ps;
        EXPECT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, iface, ps, &len), ERROR_SUCCESS);
        EXPECT_STREQ(ps, L"{00020424-0000-0000-C000-000000000046}");
    }

    // TYPELIB resource 1 of the registered DLL, with the fixed slot order.
    HMODULE hMod = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hMod, nullptr) << U(dll);
    EXPECT_NE(FindResourceW(hMod, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
    FreeLibrary(hMod);
    CRef<ITypeLib> pLib;
    ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(dll, REGKIND_NONE, pLib.Out()));
    struct Slot {
        const IID* iid;
        const wchar_t* name;
        int slot;
    } slots[] = {{&IID_IJobStore, L"GetJob", 7},
                 {&IID_IJobStore, L"SetModelIndex", 10},
                 {&IID_IJobStore, L"GetMaxJobNumber", 13},
                 {&IID_IJobStore, L"Load", 18},
                 {&IID_IJobStore, L"GetCopyDestination", 21},
                 {&IID_IJobStore, L"PrepareImport", 22},
                 {&IID_IJobData, L"Getdata", 7},
                 {&IID_IJobData, L"Setdata", 8},
                 {&IID_IJobData, L"Commit", 10},
                 {&IID_IJobData, L"GetJobNumber", 11}};
    for (const Slot& s : slots) {
        CRef<ITypeInfo> pDisp, pInfo;
        ASSERT_HRESULT_SUCCEEDED(pLib->GetTypeInfoOfGuid(*s.iid, pDisp.Out()));
        HREFTYPE ref;
        ASSERT_HRESULT_SUCCEEDED(
            pDisp->GetRefTypeOfImplType(-1, &ref)); // the vtable side of the dual
        ASSERT_HRESULT_SUCCEEDED(pDisp->GetRefTypeInfo(ref, pInfo.Out()));
        TYPEATTR* attr;
        ASSERT_HRESULT_SUCCEEDED(pInfo->GetTypeAttr(&attr));
        bool found = false;
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* fd;
            ASSERT_HRESULT_SUCCEEDED(pInfo->GetFuncDesc(i, &fd));
            CBstrText name;
            pInfo->GetDocumentation(fd->memid, name.Out(), nullptr, nullptr, nullptr);
            if (std::wstring(name.Get()) == s.name) {
                found = true;
                EXPECT_EQ(fd->oVft, s.slot * int(sizeof(void*))) << U(s.name);
            }
            pInfo->ReleaseFuncDesc(fd);
        }
        pInfo->ReleaseTypeAttr(attr);
        EXPECT_TRUE(found) << U(s.name);
    }
}

TEST_F(JobStoreTest, CreatedWithBothContextsAndFromAnotherApartment) {
    CRef<IJobStore> p7;
    ASSERT_HRESULT_SUCCEEDED(CreateStore(7, p7));
    CBstrText name;
    ASSERT_HRESULT_SUCCEEDED(p7->GetModelName(name.Out()));
    EXPECT_STREQ(name.Get(), L"VX-410");

    // A caller in the multithreaded apartment goes through the marshaler.
    HRESULT threadResult = E_FAIL;
    std::wstring title;
    std::thread mta([&]() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            CRef<IJobStore> p;
            CRef<IJobData> pJob;
            threadResult = CreateStore(23, p);
            if (SUCCEEDED(threadResult))
                threadResult = p->GetJob(4, pJob.Out());
            if (threadResult == TS_S_NOJOB) {
                CVar v;
                V_VT(v.Out()) = VT_BSTR;
                V_BSTR(&v.Get()) = SysAllocString(L"from MTA");
                CBstrText k = Bstr(L"title");
                threadResult = pJob->Setdata(k.Get(), v.Get());
                if (SUCCEEDED(threadResult))
                    threadResult = pJob->Commit();
            }
        }
        CoUninitialize();
    });
    mta.join();
    ASSERT_HRESULT_SUCCEEDED(threadResult);
    CRef<IJobData> pJob;
    ASSERT_HRESULT_SUCCEEDED(p7->Load());
    ASSERT_EQ(p7->GetJob(4, pJob.Out()), S_OK);
    EXPECT_EQ(Text(pJob.Get(), L"title"), L"from MTA");
}

TEST_F(JobStoreTest, MissingJobIsEmptyUntilCommitted) {
    CRef<IJobData> pJob;
    ASSERT_EQ(m_pStore->GetJob(5, pJob.Out()), TS_S_NOJOB);
    ASSERT_TRUE(pJob);
    LONG n = 0;
    EXPECT_HRESULT_SUCCEEDED(pJob->GetJobNumber(&n));
    EXPECT_EQ(n, 5);
    CVar v;
    EXPECT_EQ(V_VT(Get(pJob.Get(), L"title", v)), VT_EMPTY);
    SetText(pJob.Get(), L"title", L"Five");
    // Not lasting before Commit.
    EXPECT_EQ(OtherStore()->GetJob(5, CRef<IJobData>().Out()), TS_S_NOJOB);
    ASSERT_HRESULT_SUCCEEDED(pJob->Commit());
    CRef<IJobData> pAgain;
    ASSERT_EQ(OtherStore()->GetJob(5, pAgain.Out()), S_OK);
    EXPECT_EQ(Text(pAgain.Get(), L"title"), L"Five");
}

TEST_F(JobStoreTest, ValuesKeepTheirTypesInAnotherProcess) {
    CRef<IJobData> pJob;
    m_pStore->GetJob(3, pJob.Out());
    CVar save;
    V_VT(save.Out()) = VT_I2;
    V_I2(&save.Get()) = 1;
    SetValue(pJob.Get(), L"save", save.Get());
    SetI4(pJob.Get(), L"function id", 1);
    SetText(pJob.Get(), L"title", L"Invoices \"Q1\" \\ \u00e9");
    SetText(pJob.Get(), L"text", L"Dear,\r\nscans attached.");
    std::vector<uint8_t> block(256);
    for (int i = 0; i < 256; ++i)
        block[size_t(i)] = uint8_t(i);
    CVar driver;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I1, 0, 256);
    void* p;
    SafeArrayAccessData(psa, &p);
    memcpy(p, block.data(), 256);
    SafeArrayUnaccessData(psa);
    V_VT(driver.Out()) = VT_ARRAY | VT_I1;
    V_ARRAY(&driver.Get()) = psa;
    SetValue(pJob.Get(), L"driver", driver.Get());
    CVar real;
    V_VT(real.Out()) = VT_R8;
    V_R8(&real.Get()) = 1.5;
    SetValue(pJob.Get(), L"ratio", real.Get());
    ASSERT_HRESULT_SUCCEEDED(pJob->Commit());

    CRun show = Tool({"show", "3"});
    ASSERT_EQ(show.m_nExit, 0u) << show.m_strErr;
    EXPECT_NE(show.m_strOut.find("save\ti2\t1\n"), std::string::npos) << show.m_strOut;
    EXPECT_NE(show.m_strOut.find("function id\ti4\t1\n"), std::string::npos);
    EXPECT_NE(show.m_strOut.find("title\tstring\tInvoices \"Q1\" \\\\ \xC3\xA9\n"),
              std::string::npos);
    EXPECT_NE(show.m_strOut.find("text\tstring\tDear,\\r\\nscans attached.\n"), std::string::npos);
    EXPECT_NE(show.m_strOut.find("ratio\tstring\t1.5\n"), std::string::npos);
    EXPECT_NE(show.m_strOut.find("driver\tbytes\t000102"), std::string::npos);

    CRef<IJobData> pBack;
    ASSERT_EQ(OtherStore()->GetJob(3, pBack.Out()), S_OK);
    CVar v;
    EXPECT_EQ(V_VT(Get(pBack.Get(), L"save", v)), VT_I2);
    EXPECT_EQ(V_VT(Get(pBack.Get(), L"function id", v)), VT_I4);
    Get(pBack.Get(), L"driver", v);
    ASSERT_EQ(V_VT(&v.Get()), VT_ARRAY | VT_I1);
    LONG lo = -1, hi = -1;
    SafeArrayGetLBound(V_ARRAY(&v.Get()), 1, &lo);
    SafeArrayGetUBound(V_ARRAY(&v.Get()), 1, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 255);
    SafeArrayAccessData(V_ARRAY(&v.Get()), &p);
    EXPECT_EQ(memcmp(p, block.data(), 256), 0);
    SafeArrayUnaccessData(V_ARRAY(&v.Get()));
    EXPECT_EQ(Text(pBack.Get(), L"title"), L"Invoices \"Q1\" \\ \u00e9");
    EXPECT_EQ(Text(pBack.Get(), L"text"), L"Dear,\r\nscans attached.");
}

TEST_F(JobStoreTest, RefusesWhatItCannotKeep) {
    CRef<IJobData> pJob;
    m_pStore->GetJob(1, pJob.Out());
    CVar disp;
    V_VT(disp.Out()) = VT_DISPATCH;
    V_DISPATCH(&disp.Get()) = nullptr;
    CBstrText key = Bstr(L"x");
    EXPECT_EQ(pJob->Setdata(key.Get(), disp.Get()), E_INVALIDARG);
    EXPECT_NE(ErrorText().find("type"), std::string::npos);
    CVar twoD;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    V_VT(twoD.Out()) = VT_ARRAY | VT_I1;
    V_ARRAY(&twoD.Get()) = SafeArrayCreate(VT_I1, 2, bounds);
    EXPECT_EQ(pJob->Setdata(key.Get(), twoD.Get()), E_INVALIDARG);
    CBstrText empty = Bstr(L"");
    CVar v;
    EXPECT_EQ(pJob->Getdata(empty.Get(), v.Out()), E_INVALIDARG);
    EXPECT_EQ(pJob->Getdata(nullptr, v.Out()), E_INVALIDARG);
    CBstrText ctl = Bstr(L"a\nb");
    EXPECT_EQ(m_pStore->GetCommonData(ctl.Get(), v.Out()), E_INVALIDARG);

    CRef<IJobData> pOut;
    EXPECT_EQ(m_pStore->GetJob(0, pOut.Out()), E_INVALIDARG);
    EXPECT_EQ(m_pStore->GetJob(100, pOut.Out()), E_INVALIDARG);
    EXPECT_NE(ErrorText().find("outside 1..99"), std::string::npos);
    ASSERT_HRESULT_SUCCEEDED(m_pStore->SetMaxJobs(10));
    LONG max = 0;
    m_pStore->GetMaxJobNumber(&max);
    EXPECT_EQ(max, 10);
    EXPECT_EQ(m_pStore->GetJob(11, pOut.Out()), E_INVALIDARG);
    EXPECT_EQ(m_pStore->SetMaxJobs(0), E_INVALIDARG);
    EXPECT_EQ(m_pStore->SetModel(nullptr), E_INVALIDARG);
}

TEST_F(JobStoreTest, DeleteCopyAndCopyDestination) {
    for (LONG n : {1, 2, 3, 5, 99})
        MakeJob(n, L"Job " + std::to_wstring(n));
    LONG dest = 0;
    ASSERT_HRESULT_SUCCEEDED(m_pStore->GetCopyDestination(1, &dest));
    EXPECT_EQ(dest, 4);
    ASSERT_HRESULT_SUCCEEDED(m_pStore->GetCopyDestination(5, &dest));
    EXPECT_EQ(dest, 6);
    ASSERT_HRESULT_SUCCEEDED(m_pStore->GetCopyDestination(99, &dest)); // wraps past the top
    EXPECT_EQ(dest, 4);

    CBstrText title = Bstr(L"Copy of two");
    ASSERT_HRESULT_SUCCEEDED(m_pStore->CopyJob(2, 7, title.Get()));
    CRef<IJobData> pCopy;
    ASSERT_EQ(OtherStore()->GetJob(7, pCopy.Out()), S_OK);
    EXPECT_EQ(Text(pCopy.Get(), L"title"), L"Copy of two");
    CVar fid;
    EXPECT_EQ(V_VT(Get(pCopy.Get(), L"function id", fid)), VT_I4);
    EXPECT_EQ(m_pStore->CopyJob(6, 8, title.Get()), TS_E_NOJOB);

    ASSERT_EQ(m_pStore->DeleteJob(2), S_OK);
    EXPECT_EQ(m_pStore->DeleteJob(2), TS_S_NOJOB);
    EXPECT_EQ(OtherStore()->GetJob(2, CRef<IJobData>().Out()), TS_S_NOJOB);

    // The tool sees the same jobs.
    CRun list = Tool({"list"});
    ASSERT_EQ(list.m_nExit, 0u) << list.m_strErr;
    EXPECT_EQ(list.m_strOut, "  1  Job 1\n  3  Job 3\n  5  Job 5\n  7  Copy of two\n 99  Job 99\n");
    EXPECT_EQ(Tool({"copy", "3", "9", "Nine"}).m_nExit, 0u);
    EXPECT_EQ(Tool({"delete", "1"}).m_nExit, 0u);
    EXPECT_EQ(Tool({"delete", "1"}).m_nExit, 3u);
    ASSERT_HRESULT_SUCCEEDED(m_pStore->Load());
    CRef<IJobData> pNine;
    ASSERT_EQ(m_pStore->GetJob(9, pNine.Out()), S_OK);
    EXPECT_EQ(Text(pNine.Get(), L"title"), L"Nine");
    EXPECT_EQ(m_pStore->GetJob(1, CRef<IJobData>().Out()), TS_S_NOJOB);
    EXPECT_EQ(Tool({"dest", "3"}).m_strOut, "4\n");
}

TEST_F(JobStoreTest, ToolWritesAreSeenAfterLoad) {
    ASSERT_EQ(Tool({"set", "12", "save", "i2", "1"}).m_nExit, 0u);
    ASSERT_EQ(Tool({"set", "12", "devmode", "bytes", "00ff80"}).m_nExit, 0u);
    ASSERT_EQ(Tool({"common", "set", "MailSize", "i4", "10"}).m_nExit, 0u);
    CRef<IJobData> pJob;
    // Not seen before Load: the store shows what it last read.
    EXPECT_EQ(m_pStore->GetJob(12, pJob.Out()), TS_S_NOJOB);
    ASSERT_HRESULT_SUCCEEDED(m_pStore->Load());
    ASSERT_EQ(m_pStore->GetJob(12, pJob.Out()), S_OK);
    CVar v;
    Get(pJob.Get(), L"save", v);
    EXPECT_EQ(V_VT(&v.Get()), VT_I2);
    EXPECT_EQ(V_I2(&v.Get()), 1);
    CBstrText key = Bstr(L"MailSize");
    ASSERT_HRESULT_SUCCEEDED(m_pStore->GetCommonData(key.Get(), v.Out()));
    EXPECT_EQ(V_VT(&v.Get()), VT_I4);
    EXPECT_EQ(V_I4(&v.Get()), 10);
    CRun get = Tool({"get", "12", "devmode"});
    EXPECT_EQ(get.m_strOut, "00ff80\n");
    CRun common = Tool({"common", "get", "MailSize"});
    EXPECT_EQ(common.m_strOut, "10\n");
}

TEST_F(JobStoreTest, SaveMakesCommonValuesLastWithoutUndoingOthers) {
    CRef<IJobStore> pOther = OtherStore(); // loaded before any write
    CVar v;
    V_VT(v.Out()) = VT_I4;
    V_I4(&v.Get()) = 7;
    CBstrText last = Bstr(L"LastJobNum"), mail = Bstr(L"MailSize");
    ASSERT_HRESULT_SUCCEEDED(m_pStore->SetCommonData(last.Get(), v.Get()));
    CVar read;
    ASSERT_HRESULT_SUCCEEDED(m_pStore->GetCommonData(last.Get(), read.Out()));
    EXPECT_EQ(V_I4(&read.Get()), 7); // the writer sees its own value at once
    EXPECT_EQ(Tool({"common", "get", "LastJobNum"}).m_nExit, 3u); // not lasting yet
    ASSERT_HRESULT_SUCCEEDED(m_pStore->Save());

    V_I4(&v.Get()) = 20;
    ASSERT_HRESULT_SUCCEEDED(pOther->SetCommonData(mail.Get(), v.Get()));
    ASSERT_HRESULT_SUCCEEDED(pOther->Save());
    // pOther never saw LastJobNum, yet its Save kept it.
    EXPECT_EQ(Tool({"common", "get", "LastJobNum"}).m_strOut, "7\n");
    EXPECT_EQ(Tool({"common", "get", "MailSize"}).m_strOut, "20\n");

    // Unsaved values are dropped by Load.
    V_I4(&v.Get()) = 99;
    m_pStore->SetCommonData(mail.Get(), v.Get());
    ASSERT_HRESULT_SUCCEEDED(m_pStore->Load());
    ASSERT_HRESULT_SUCCEEDED(m_pStore->GetCommonData(mail.Get(), read.Out()));
    EXPECT_EQ(V_I4(&read.Get()), 20);

    // Two clients committing different keys of one job keep both.
    MakeJob(4, L"Four");
    CRef<IJobData> a, b;
    ASSERT_EQ(m_pStore->GetJob(4, a.Out()), S_OK);
    ASSERT_EQ(pOther->GetJob(4, b.Out()), TS_S_NOJOB); // pOther last read before job 4 existed
    pOther->Load();
    ASSERT_EQ(pOther->GetJob(4, b.Out()), S_OK);
    SetText(a.Get(), L"subject", L"from a");
    SetText(b.Get(), L"from", L"b@example.com");
    ASSERT_HRESULT_SUCCEEDED(a->Commit());
    ASSERT_HRESULT_SUCCEEDED(b->Commit());
    CRef<IJobData> c;
    ASSERT_EQ(OtherStore()->GetJob(4, c.Out()), S_OK);
    EXPECT_EQ(Text(c.Get(), L"subject"), L"from a");
    EXPECT_EQ(Text(c.Get(), L"from"), L"b@example.com");
    EXPECT_EQ(Text(c.Get(), L"title"), L"Four");
}

TEST_F(JobStoreTest, BrokenStoreFileFailsLoadAndIsNeverOverwritten) {
    MakeJob(1, L"One");
    std::string text = ReadFileText(m_file);
    size_t pos = text.find("\"title\"");
    ASSERT_NE(pos, std::string::npos);
    std::string broken = text.substr(0, pos) + "\"title\"=dword:nothex\r\n" + text.substr(pos);
    int line = 1;
    for (size_t i = 0; i < pos; ++i)
        line += text[i] == '\n';
    WriteFileText(m_file, broken);

    CRef<IJobStore> pFresh;
    ASSERT_HRESULT_SUCCEEDED(CreateStore(23, pFresh));
    EXPECT_EQ(pFresh->Load(), TS_E_BADFILE);
    std::string message = ErrorText();
    EXPECT_NE(message.find(U(m_file)), std::string::npos) << message;
    EXPECT_NE(message.find("line " + std::to_string(line)), std::string::npos) << message;

    // Nothing that writes may replace it.
    CRef<IJobData> pJob;
    ASSERT_EQ(m_pStore->GetJob(1, pJob.Out()), S_OK); // the old snapshot still reads
    SetText(pJob.Get(), L"title", L"changed");
    EXPECT_EQ(pJob->Commit(), TS_E_BADFILE);
    CBstrText key = Bstr(L"MailSize");
    CVar v;
    V_VT(v.Out()) = VT_I4;
    m_pStore->SetCommonData(key.Get(), v.Get());
    EXPECT_EQ(m_pStore->Save(), TS_E_BADFILE);
    EXPECT_EQ(m_pStore->DeleteJob(1), TS_E_BADFILE);
    CRun tool = Tool({"list"});
    EXPECT_EQ(tool.m_nExit, 1u);
    EXPECT_NE(tool.m_strErr.find("line " + std::to_string(line)), std::string::npos)
        << tool.m_strErr;
    EXPECT_EQ(ReadFileText(m_file), broken);
}

TEST_F(JobStoreTest, BackupRoundTripAndBrokenBackupLeavesStoreUnchanged) {
    MakeJob(1, L"One");
    MakeJob(2, L"Two");
    CBstrText key = Bstr(L"SMTPServerName");
    CVar v;
    V_VT(v.Out()) = VT_BSTR;
    V_BSTR(&v.Get()) = SysAllocString(L"mail.example.com:587");
    m_pStore->SetCommonData(key.Get(), v.Get());
    ASSERT_HRESULT_SUCCEEDED(m_pStore->Save());

    std::wstring backup = m_dir + L"\\backup.reg";
    CBstrText bpath(SysAllocString(backup.c_str()));
    ASSERT_HRESULT_SUCCEEDED(m_pStore->ExportAll(bpath.Get()));
    std::string backupText = ReadFileText(backup);
    EXPECT_EQ(backupText.rfind(kRegHeader, 0), 0u);

    m_pStore->DeleteJob(1);
    MakeJob(3, L"Three");
    ASSERT_HRESULT_SUCCEEDED(m_pStore->PrepareImport());
    ASSERT_HRESULT_SUCCEEDED(m_pStore->ImportAll(bpath.Get()));
    CRef<IJobStore> pOther = OtherStore();
    CRef<IJobData> pJob;
    ASSERT_EQ(pOther->GetJob(1, pJob.Out()), S_OK);
    EXPECT_EQ(Text(pJob.Get(), L"title"), L"One");
    EXPECT_EQ(pOther->GetJob(3, pJob.Out()), TS_S_NOJOB); // the backup's jobs replace the model's
    ASSERT_HRESULT_SUCCEEDED(pOther->GetCommonData(key.Get(), v.Out()));
    EXPECT_STREQ(V_BSTR(&v.Get()), L"mail.example.com:587");

    // The tool restores the same file; a broken copy changes nothing.
    std::string storeBefore = ReadFileText(m_file);
    std::wstring bad = m_dir + L"\\bad.reg";
    WriteFileText(bad, backupText.substr(0, backupText.size() / 2) + "\r\n\"x\"=oops\r\n");
    CBstrText badPath(SysAllocString(bad.c_str()));
    EXPECT_EQ(m_pStore->ImportAll(badPath.Get()), TS_E_BADFILE);
    EXPECT_NE(ErrorText().find(U(bad)), std::string::npos);
    CRun tool = Tool({"import", U(bad)});
    EXPECT_EQ(tool.m_nExit, 1u);
    EXPECT_NE(tool.m_strErr.find("line "), std::string::npos) << tool.m_strErr;
    CBstrText missing(SysAllocString((m_dir + L"\\none.reg").c_str()));
    EXPECT_EQ(m_pStore->ImportAll(missing.Get()), HRESULT(0x80070002));
    EXPECT_EQ(ReadFileText(m_file), storeBefore);
    EXPECT_EQ(Tool({"import", U(backup)}).m_nExit, 0u);

    // A backup of another model restores that model and selects it.
    std::string other = backupText;
    for (size_t p; (p = other.find("\\VX-410")) != std::string::npos;)
        other.replace(p, 7, "\\VX-400");
    std::wstring otherPath = m_dir + L"\\older.reg";
    WriteFileText(otherPath, other);
    CBstrText op(SysAllocString(otherPath.c_str()));
    ASSERT_HRESULT_SUCCEEDED(m_pStore->ImportAll(op.Get()));
    CBstrText model;
    m_pStore->GetModelName(model.Out());
    EXPECT_STREQ(model.Get(), L"VX-400");
    EXPECT_EQ(Tool({"--model", "VX-400", "get", "2", "title"}).m_strOut, "Two\n");
}

TEST_F(JobStoreTest, PasswordsAreNotKeptInClearText) {
    CRef<IJobData> pJob;
    m_pStore->GetJob(6, pJob.Out());
    SetText(pJob.Get(), L"password", L"share-secret-1");
    SetText(pJob.Get(), L"username", L"scanner");
    ASSERT_HRESULT_SUCCEEDED(pJob->Commit());
    CBstrText key = Bstr(L"password");
    CVar v;
    V_VT(v.Out()) = VT_BSTR;
    V_BSTR(&v.Get()) = SysAllocString(L"smtp-secret-2");
    m_pStore->SetCommonData(key.Get(), v.Get());
    ASSERT_HRESULT_SUCCEEDED(m_pStore->Save());
    std::wstring backup = m_dir + L"\\backup.reg";
    CBstrText bpath(SysAllocString(backup.c_str()));
    ASSERT_HRESULT_SUCCEEDED(m_pStore->ExportAll(bpath.Get()));

    for (const std::wstring& file : {m_file, backup}) {
        std::string text = ReadFileText(file);
        EXPECT_EQ(text.find("secret"), std::string::npos);
        EXPECT_NE(text.find("\"username\"=\"scanner\""), std::string::npos);
        EXPECT_NE(text.find("\"password\"=hex(40000008):"), std::string::npos);
    }
    CRef<IJobStore> pOther = OtherStore();
    CRef<IJobData> pBack;
    ASSERT_EQ(pOther->GetJob(6, pBack.Out()), S_OK);
    EXPECT_EQ(Text(pBack.Get(), L"password"), L"share-secret-1");
    ASSERT_HRESULT_SUCCEEDED(pOther->GetCommonData(key.Get(), v.Out()));
    EXPECT_STREQ(V_BSTR(&v.Get()), L"smtp-secret-2");

    // Damaged sealed bytes read as empty text with their own success code, so
    // that a reader can tell them from a password never set.
    std::string text = ReadFileText(m_file);
    const std::string sealed = "\"password\"=hex(40000008):";
    int damaged = 0;
    for (size_t at = text.find(sealed); at != std::string::npos; at = text.find(sealed, at + 1)) {
        text.replace(at + sealed.size(), 8, "00,11,22");
        ++damaged;
    }
    ASSERT_EQ(damaged, 2); // the job's and the store-wide one
    WriteFileText(m_file, text);
    CRef<IJobStore> pDamagedStore = OtherStore();
    CRef<IJobData> pDamaged;
    ASSERT_EQ(pDamagedStore->GetJob(6, pDamaged.Out()), S_OK);
    EXPECT_EQ(pDamaged->Getdata(key.Get(), v.Out()), TS_S_SEALED);
    EXPECT_EQ(V_VT(&v.Get()), VT_BSTR);
    EXPECT_EQ(SysStringLen(V_BSTR(&v.Get())), 0u);
    EXPECT_EQ(pDamagedStore->GetCommonData(key.Get(), v.Out()), TS_S_SEALED);
    EXPECT_EQ(Text(pDamaged.Get(), L"username"), L"scanner");
}

TEST_F(JobStoreTest, DispatchCallsReachTheSameOperations) {
    MakeJob(8, L"Eight");
    CRef<IDispatch> pDisp;
    ASSERT_HRESULT_SUCCEEDED(
        m_pStore->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(pDisp.Out())));
    LPOLESTR name = const_cast<LPOLESTR>(L"GetJob");
    DISPID id = 0;
    ASSERT_HRESULT_SUCCEEDED(pDisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(id, 1);
    CVar arg, result;
    V_VT(arg.Out()) = VT_I4;
    V_I4(&arg.Get()) = 8;
    DISPPARAMS params = {&arg.Get(), nullptr, 1, 0};
    ASSERT_HRESULT_SUCCEEDED(pDisp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                           &params, result.Out(), nullptr, nullptr));
    ASSERT_EQ(V_VT(&result.Get()), VT_DISPATCH);
    CRef<IJobData> pJob;
    ASSERT_HRESULT_SUCCEEDED(
        V_DISPATCH(&result.Get())
            ->QueryInterface(IID_IJobData, reinterpret_cast<void**>(pJob.Out())));
    EXPECT_EQ(Text(pJob.Get(), L"title"), L"Eight");

    // Getdata by name on the job.
    LPOLESTR getName = const_cast<LPOLESTR>(L"Getdata");
    ASSERT_HRESULT_SUCCEEDED(
        V_DISPATCH(&result.Get())->GetIDsOfNames(IID_NULL, &getName, 1, LOCALE_USER_DEFAULT, &id));
    CVar keyArg, value;
    V_VT(keyArg.Out()) = VT_BSTR;
    V_BSTR(&keyArg.Get()) = SysAllocString(L"title");
    DISPPARAMS p2 = {&keyArg.Get(), nullptr, 1, 0};
    ASSERT_HRESULT_SUCCEEDED(V_DISPATCH(&result.Get())
                                 ->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p2,
                                          value.Out(), nullptr, nullptr));
    EXPECT_STREQ(V_BSTR(&value.Get()), L"Eight");
}

TEST_F(JobStoreTest, ToolRefusesBadInputWithClearErrors) {
    struct Case {
        std::vector<std::string> args;
        DWORD exit;
        const char* fragment;
    } cases[] = {
        {{}, 2, "usage"},
        {{"frob"}, 2, "unknown command"},
        {{"get", "x", "title"}, 2, "not a job number"},
        {{"get", "100", "title"}, 2, "outside 1..99"},
        {{"set", "1", "save", "i2", "99999"}, 2, "not a number"},
        {{"set", "1", "k", "float", "1"}, 2, "unknown type"},
        {{"set", "1", "k", "bytes", "abc"}, 2, "hex digits"},
        {{"get", "5", "title"}, 3, "no job 5"},
        {{"--model"}, 2, "needs a value"},
        {{"--max", "0", "list"}, 2, "--max"},
        {{"export", U(m_dir) + "\\no\\such\\dir\\x.reg"}, 0, ""},
    };
    for (const Case& c : cases) {
        CRun r = Tool(c.args);
        EXPECT_EQ(r.m_nExit, c.exit) << (c.args.empty() ? "" : c.args[0]) << r.m_strErr;
        EXPECT_NE(r.m_strErr.find(c.fragment), std::string::npos) << r.m_strErr;
    }
    MakeJob(5, L"Five");
    CRun r = Tool({"get", "5", "nothing"});
    EXPECT_EQ(r.m_nExit, 3u);
    EXPECT_NE(r.m_strErr.find("has no value"), std::string::npos);
}

TEST_F(JobStoreTest, KilledWriterNeverLeavesABrokenFile) {
    const std::wstring writer = Here() + L"\\taskstore_writer.exe";
    std::mt19937 rng(4711);
    int64_t last = 0;
    int progressed = 0;
    for (int round = 0; round < 8; ++round) {
        std::wstring cmd = L"\"" + writer + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &si, &pi));
        // Kill it while it commits: once the counter moves, at a random moment.
        auto counter = [&]() -> int64_t {
            CStoreData d;
            CRegError err;
            std::string bytes = ReadFileText(m_file);
            if (bytes.empty())
                return 0;
            EXPECT_TRUE(ParseRegText(bytes, d, err))
                << "line " << err.m_nLine << ": " << err.m_strText;
            const CModelData* m = d.FindModel("VX-410");
            if (!m || !m->m_jobs.count(1) || !m->m_jobs.at(1).count("counter"))
                return 0;
            return m->m_jobs.at(1).at("counter").m_nValue;
        };
        for (int wait = 0; wait < 500 && counter() <= last; ++wait)
            if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0)
                break;
        Sleep(rng() % 150);
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        EXPECT_EQ(code, 99u) << "the writer stopped on its own";

        int64_t now = counter();
        EXPECT_GE(now, last) << "round " << round;
        progressed += now > last;
        last = now;
        ASSERT_HRESULT_SUCCEEDED(m_pStore->Load()); // and the server reads it too
    }
    EXPECT_GT(progressed, 4);
}
