// DLL entry points: class factory, registration, unloading.
#include "JobStore.h"

#include <olectl.h>

#include <new>

namespace taskstore {

namespace {

HMODULE g_hModule = nullptr;
LONG g_nLocks = 0;
CRITICAL_SECTION g_typeLibLock;
ITypeLib* g_pTypeLib = nullptr; // loaded from our own resources on first IDispatch use

const wchar_t kProgId[] = L"Taskstore.JobStore";
const wchar_t kProgIdVersion[] = L"Taskstore.JobStore.1";
const wchar_t kUniversalMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";

std::wstring GuidText(REFGUID guid) {
    wchar_t buf[64] = {};
    StringFromGUID2(guid, buf, 64);
    return buf;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameW(g_hModule, path, MAX_PATH * 2);
    return std::wstring(path, n);
}

// Owns an open registry key.
class CKey {
public:
    CKey() = default;
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    ~CKey() {
        if (m_h)
            RegCloseKey(m_h);
    }
    LONG Create(HKEY parent, const std::wstring& sub) {
        return RegCreateKeyExW(parent, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &m_h,
                               nullptr);
    }
    LONG Set(const wchar_t* name, const std::wstring& value) {
        return RegSetValueExW(m_h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              DWORD((value.size() + 1) * sizeof(wchar_t)));
    }

private:
    HKEY m_h = nullptr;
};

HRESULT SetKeyValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    CKey k;
    LONG rc = k.Create(HKEY_CLASSES_ROOT, key);
    if (rc == ERROR_SUCCESS)
        rc = k.Set(name, value);
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

class CClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: its references only keep the module loaded.
    STDMETHODIMP_(ULONG) AddRef() override {
        ModuleLock();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ModuleUnlock();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID iid, void** ppv) override {
        if (ppv)
            *ppv = nullptr;
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        return CJobStore::Create(iid, ppv);
    }
    STDMETHODIMP LockServer(BOOL bLock) override {
        if (bLock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }
};

CClassFactory g_factory;

} // namespace

void ModuleLock() {
    InterlockedIncrement(&g_nLocks);
}
void ModuleUnlock() {
    InterlockedDecrement(&g_nLocks);
}
HMODULE ModuleHandle() {
    return g_hModule;
}

HRESULT GetStoreTypeInfo(REFIID iid, ITypeInfo** ppInfo) {
    EnterCriticalSection(&g_typeLibLock);
    HRESULT hr = S_OK;
    if (!g_pTypeLib)
        hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &g_pTypeLib);
    if (SUCCEEDED(hr))
        hr = g_pTypeLib->GetTypeInfoOfGuid(iid, ppInfo);
    LeaveCriticalSection(&g_typeLibLock);
    return hr;
}

} // namespace taskstore

using namespace taskstore;

extern "C" BOOL WINAPI DllMain(HINSTANCE hInst, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hModule = hInst;
        InitializeCriticalSection(&g_typeLibLock);
        DisableThreadLibraryCalls(hInst);
    } else if (reason == DLL_PROCESS_DETACH) {
        DeleteCriticalSection(&g_typeLibLock);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_JobStore)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, ppv);
}

STDAPI DllCanUnloadNow() {
    if (g_nLocks != 0)
        return S_FALSE;
    EnterCriticalSection(&g_typeLibLock);
    if (g_pTypeLib) {
        g_pTypeLib->Release();
        g_pTypeLib = nullptr;
    }
    LeaveCriticalSection(&g_typeLibLock);
    return S_OK;
}

STDAPI DllRegisterServer() {
    std::wstring path = ModulePath();
    std::wstring clsid = L"CLSID\\" + GuidText(CLSID_JobStore);
    std::wstring libid = GuidText(LIBID_TaskstoreLib);
    HRESULT hr = S_OK;
    auto step = [&hr](HRESULT r) {
        if (SUCCEEDED(hr) && FAILED(r))
            hr = r;
    };
    step(SetKeyValue(clsid, nullptr, L"Job store"));
    step(SetKeyValue(clsid + L"\\InprocServer32", nullptr, path));
    step(SetKeyValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"));
    step(SetKeyValue(clsid + L"\\ProgID", nullptr, kProgIdVersion));
    step(SetKeyValue(clsid + L"\\VersionIndependentProgID", nullptr, kProgId));
    step(SetKeyValue(clsid + L"\\TypeLib", nullptr, libid));
    step(SetKeyValue(kProgId, nullptr, L"Job store"));
    step(SetKeyValue(std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_JobStore)));
    step(SetKeyValue(std::wstring(kProgId) + L"\\CurVer", nullptr, kProgIdVersion));
    step(SetKeyValue(kProgIdVersion, nullptr, L"Job store"));
    step(SetKeyValue(std::wstring(kProgIdVersion) + L"\\CLSID", nullptr, GuidText(CLSID_JobStore)));
    if (FAILED(hr))
        return SELFREG_E_CLASS;

    // The type library registers both interfaces for the universal marshaler,
    // which callers in other apartments need.
    CRef<ITypeLib> pLib;
    hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, pLib.Out());
    if (SUCCEEDED(hr))
        hr = RegisterTypeLib(pLib.Get(), const_cast<LPOLESTR>(path.c_str()), nullptr);
    if (FAILED(hr))
        return SELFREG_E_TYPELIB;
    const IID* iids[] = {&IID_IJobStore, &IID_IJobData};
    const wchar_t* names[] = {L"IJobStore", L"IJobData"};
    for (int i = 0; i < 2; ++i) {
        std::wstring key = L"Interface\\" + GuidText(*iids[i]);
        step(SetKeyValue(key, nullptr, names[i]));
        step(SetKeyValue(key + L"\\ProxyStubClsid32", nullptr, kUniversalMarshaler));
        step(SetKeyValue(key + L"\\ProxyStubClsid", nullptr, kUniversalMarshaler));
        step(SetKeyValue(key + L"\\TypeLib", nullptr, libid));
        step(SetKeyValue(key + L"\\TypeLib", L"Version", L"1.0"));
    }
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

STDAPI DllUnregisterServer() {
    std::wstring clsid = L"CLSID\\" + GuidText(CLSID_JobStore);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdVersion);
    UnRegisterTypeLib(LIBID_TaskstoreLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    for (const IID* iid : {&IID_IJobStore, &IID_IJobData})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + GuidText(*iid)).c_str());
    return S_OK;
}
