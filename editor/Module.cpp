// Plover.dll's entry points: library start, the class factory of JobRegGUI,
// registration under HKEY_CLASSES_ROOT with the type library, and unloading.
#include <windows.h>
#include <olectl.h>
#include <atomic>
#include <new>
#include <string>
#include "editor/EditorText.h"
#include "editor/JobRegGUI.h"
#include "editor/ModuleState.h"
#include "framework/App.h"
#include "framework/ComError.h"
#include "framework/Handles.h"

namespace {

std::atomic<long> g_nObjects{0}; // live objects and class factory references
std::atomic<long> g_nLocks{0};   // IClassFactory::LockServer
std::atomic<long> g_nWindows{0}; // dialogs of this module on screen

CCriticalSection* g_pTypeLibLock = nullptr;
ITypeLib* g_pTypeLib = nullptr;

// The module's application object: its registry key and profile name say
// where the editor's profile settings live (HKCU\Software\<key>\<profile>).
class CPloverApp : public CVlmApp {
public:
    CPloverApp() {
        SetRegistryKey("Velmora Works Inc.");
        m_strProfileName = "Task Deck";
    }
};
CPloverApp g_app;

const char kClassName[] = "JobRegGUI Class";
const char kProgId[] = "Plover.JobRegGUI";
const char kProgIdVersion[] = "Plover.JobRegGUI.1";

std::string GuidText(REFGUID guid) {
    wchar_t wide[64] = {};
    ::StringFromGUID2(guid, wide, 64);
    char text[64] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

std::string ClassKey() {
    return "CLSID\\" + GuidText(CLSID_JobRegGUI);
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(EdInstance(), path, MAX_PATH);
    return n < MAX_PATH ? std::string(path, n) : std::string();
}

std::wstring ModulePathWide() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(EdInstance(), path, MAX_PATH);
    return n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// One key under HKEY_CLASSES_ROOT with its default value and, optionally, one
// named value.
LONG WriteKey(const std::string& path, const char* defaultValue, const char* name = nullptr,
              const char* value = nullptr) {
    CRegKey key;
    LONG rc = key.Create(HKEY_CLASSES_ROOT, path.c_str(), KEY_WRITE);
    if (rc == ERROR_SUCCESS && defaultValue)
        rc = key.SetString(nullptr, defaultValue);
    if (rc == ERROR_SUCCESS && name)
        rc = key.SetString(name, value);
    return rc;
}

LONG DeleteTree(const std::string& path) {
    const LONG rc = ::RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

HRESULT LoadOwnTypeLib(ITypeLib** ppLib) {
    const std::wstring path = ModulePathWide();
    if (path.empty())
        return HResultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, ppLib);
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
    // A static object: a reference held by a client keeps the module loaded.
    STDMETHODIMP_(ULONG) AddRef() override {
        EdModuleLock();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        EdModuleUnlock();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        return CJobRegGUI::Create(iid, ppv);
    }
    STDMETHODIMP LockServer(BOOL bLock) override {
        if (bLock)
            ++g_nLocks;
        else
            --g_nLocks;
        return S_OK;
    }
};
CClassFactory g_factory;

} // namespace

void EdModuleLock() {
    ++g_nObjects;
}

void EdModuleUnlock() {
    --g_nObjects;
}

CEdWindowScope::CEdWindowScope() {
    ++g_nWindows;
}

CEdWindowScope::~CEdWindowScope() {
    --g_nWindows;
}

HRESULT EdGetTypeInfo(REFIID iid, ITypeInfo** ppInfo) {
    if (!g_pTypeLibLock)
        return E_UNEXPECTED;
    CCsLock lock(*g_pTypeLibLock);
    HRESULT hr = S_OK;
    if (!g_pTypeLib)
        hr = LoadOwnTypeLib(&g_pTypeLib);
    return FAILED(hr) ? hr : g_pTypeLib->GetTypeInfoOfGuid(iid, ppInfo);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        EdSetInstance(hInstance);
        g_app.m_hInstance = hInstance;
        g_pTypeLibLock = new (std::nothrow) CCriticalSection;
        if (!g_pTypeLibLock)
            return FALSE;
        ::DisableThreadLibraryCalls(hInstance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // At process exit (reserved set) the type library may already be gone
        // with oleaut32; only a FreeLibrary unload releases it.
        if (g_pTypeLib)
            g_pTypeLib->Release();
        g_pTypeLib = nullptr;
        delete g_pTypeLibLock;
        g_pTypeLibLock = nullptr;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_JobRegGUI)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, ppv);
}

STDAPI DllCanUnloadNow() {
    return g_nObjects == 0 && g_nLocks == 0 && g_nWindows == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    const std::string path = ModulePath();
    if (path.empty())
        return HResultFromWin32(ERROR_FILENAME_EXCED_RANGE);
    const std::string clsid = GuidText(CLSID_JobRegGUI);
    const std::string classKey = ClassKey();
    LONG rc = ERROR_SUCCESS;
    auto step = [&rc](LONG r) {
        if (rc == ERROR_SUCCESS)
            rc = r;
    };
    step(WriteKey(kProgIdVersion, kClassName));
    step(WriteKey(std::string(kProgIdVersion) + "\\CLSID", clsid.c_str()));
    step(WriteKey(kProgId, kClassName));
    step(WriteKey(std::string(kProgId) + "\\CLSID", clsid.c_str()));
    step(WriteKey(std::string(kProgId) + "\\CurVer", kProgIdVersion));
    // The class key is replaced whole, so that nothing of an older
    // registration stays below it.
    step(DeleteTree(classKey));
    step(WriteKey(classKey, kClassName));
    step(WriteKey(classKey + "\\ProgID", kProgIdVersion));
    step(WriteKey(classKey + "\\VersionIndependentProgID", kProgId));
    step(WriteKey(classKey + "\\Programmable", nullptr));
    step(WriteKey(classKey + "\\InprocServer32", path.c_str(), "ThreadingModel", "Apartment"));
    step(WriteKey(classKey + "\\TypeLib", GuidText(LIBID_PLOVERLib).c_str()));
    if (rc != ERROR_SUCCESS)
        return HResultFromWin32(static_cast<DWORD>(rc));

    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadOwnTypeLib(&lib);
    if (SUCCEEDED(hr)) {
        std::wstring wide = ModulePathWide();
        hr = ::RegisterTypeLib(lib, wide.data(), nullptr);
    }
    return hr;
}

STDAPI DllUnregisterServer() {
    LONG rc = ERROR_SUCCESS;
    auto step = [&rc](LONG r) {
        if (rc == ERROR_SUCCESS)
            rc = r;
    };
    step(DeleteTree(kProgIdVersion));
    step(DeleteTree(kProgId));
    // Only the class's own key: the CLSID parent key belongs to the system.
    step(DeleteTree(ClassKey()));

    // The library is unregistered under the version, locale and platform
    // it declares, as RegisterTypeLib registered it.
    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadOwnTypeLib(&lib);
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(hr))
        hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        // What is not registered is left alone: unregistering twice is no failure.
        BSTR registered = nullptr;
        if (SUCCEEDED(::QueryPathOfRegTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum,
                                              attr->lcid, &registered)))
            hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                     attr->syskind);
        ::SysFreeString(registered);
        lib->ReleaseTLibAttr(attr);
    }
    if (rc != ERROR_SUCCESS)
        return HResultFromWin32(static_cast<DWORD>(rc));
    return hr;
}
