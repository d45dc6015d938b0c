// Plover.dll as a COM client meets it, in this process: registration, the
// type library it carries, the interfaces of a JobRegGUI object, the rules of
// its properties and when the module may be unloaded.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Plover.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"
#include "framework/Variant.h"
#include "framework/VtableDispatch.h"

namespace {

const char kInstalledDll[] = "C:\\Program Files\\Velmora Works\\Task Deck\\Plover.dll";
const char kClassKey[] = "CLSID\\{FA71857C-2991-4E20-8317-8078A9F8BB57}";
const wchar_t kLibId[] = L"{9DE22A98-39CC-4151-BB58-46B3D42D9ECE}";

GUID GuidOf(const wchar_t* text) {
    GUID g = {};
    EXPECT_EQ(::CLSIDFromString(text, &g), S_OK) << text;
    return g;
}

std::string KeyDefault(const std::string& path, const char* name = nullptr) {
    CRegKey key;
    std::string value;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS)
        return "<no key>";
    if (key.QueryString(name, value) != ERROR_SUCCESS)
        return "<no value>";
    return value;
}

bool KeyExists(const std::string& path) {
    CRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, path.c_str()) == ERROR_SUCCESS;
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr))); }
    void TearDown() override { ::CoUninitialize(); }

    CComPtr<IJobRegGUI> Create() {
        CComPtr<IJobRegGUI> gui;
        EXPECT_EQ(gui.CoCreateInstance(CLSID_JobRegGUI, IID_IJobRegGUI, CLSCTX_INPROC_SERVER),
                  S_OK);
        return gui;
    }
};

// --- registration -----------------------------------------------------------------

TEST_F(ComTest, UnregisterKeepsTheClsidParentAndRegisterWritesTheScript) {
    CModule dll;
    ASSERT_TRUE(dll.Load(kInstalledDll)) << ::GetLastError();
    using PFN = HRESULT(STDAPICALLTYPE*)();
    auto unregister =
        reinterpret_cast<PFN>(reinterpret_cast<void*>(dll.GetProc("DllUnregisterServer")));
    auto reg = reinterpret_cast<PFN>(reinterpret_cast<void*>(dll.GetProc("DllRegisterServer")));
    ASSERT_TRUE(unregister && reg);
    const std::string classKey = kClassKey;
    // Whatever fails below, the lane's later tests find the class registered.
    struct CRegisterAgain {
        PFN m_reg;
        ~CRegisterAgain() { m_reg(); }
    } registerAgain{reg};

    // Unregistration: the script's keys and the library go, CLSID stays.
    ASSERT_EQ(unregister(), S_OK);
    const HRESULT again = unregister();
    EXPECT_EQ(again, S_OK) << "a second unregistration is no failure";
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_FALSE(KeyExists(classKey));
    EXPECT_FALSE(KeyExists("Plover.JobRegGUI"));
    EXPECT_FALSE(KeyExists("Plover.JobRegGUI.1"));
    BSTR path = nullptr;
    EXPECT_NE(::QueryPathOfRegTypeLib(GuidOf(kLibId), 1, 0, 0x0409, &path), S_OK);
    ::SysFreeString(path);
    CComPtr<IJobRegGUI> none;
    EXPECT_EQ(none.CoCreateInstance(CLSID_JobRegGUI, IID_IJobRegGUI, CLSCTX_INPROC_SERVER),
              REGDB_E_CLASSNOTREG);

    // Registration, with a stale key below the class that must go.
    CRegKey stale;
    ASSERT_EQ(stale.Create(HKEY_CLASSES_ROOT, (classKey + "\\LocalServer32").c_str()),
              ERROR_SUCCESS);
    stale.Close();
    ASSERT_EQ(reg(), S_OK);
    EXPECT_EQ(KeyDefault("Plover.JobRegGUI.1"), "JobRegGUI Class");
    EXPECT_EQ(KeyDefault("Plover.JobRegGUI.1\\CLSID"), "{FA71857C-2991-4E20-8317-8078A9F8BB57}");
    EXPECT_EQ(KeyDefault("Plover.JobRegGUI"), "JobRegGUI Class");
    EXPECT_EQ(KeyDefault("Plover.JobRegGUI\\CLSID"), "{FA71857C-2991-4E20-8317-8078A9F8BB57}");
    EXPECT_EQ(KeyDefault("Plover.JobRegGUI\\CurVer"), "Plover.JobRegGUI.1");
    EXPECT_EQ(KeyDefault(classKey), "JobRegGUI Class");
    EXPECT_EQ(KeyDefault(classKey + "\\ProgID"), "Plover.JobRegGUI.1");
    EXPECT_EQ(KeyDefault(classKey + "\\VersionIndependentProgID"), "Plover.JobRegGUI");
    EXPECT_TRUE(KeyExists(classKey + "\\Programmable"));
    EXPECT_FALSE(KeyExists(classKey + "\\LocalServer32"));
    EXPECT_STRCASEEQ(KeyDefault(classKey + "\\InprocServer32").c_str(), kInstalledDll);
    EXPECT_EQ(KeyDefault(classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(KeyDefault(classKey + "\\TypeLib"), "{9DE22A98-39CC-4151-BB58-46B3D42D9ECE}");
    path = nullptr;
    ASSERT_EQ(::QueryPathOfRegTypeLib(GuidOf(kLibId), 1, 0, 0x0409, &path), S_OK);
    EXPECT_STRCASEEQ(VlmBstrToAnsi(path).c_str(), kInstalledDll);
    ::SysFreeString(path);
    CComPtr<ITypeLib> lib;
    EXPECT_EQ(::LoadRegTypeLib(GuidOf(kLibId), 1, 0, 0x0409, &lib), S_OK);
    EXPECT_TRUE(Create());
}

// --- the type library --------------------------------------------------------------

struct CMember {
    const char* m_name;
    MEMBERID m_id;
    int m_slot; // vtable slot; the seven IUnknown and IDispatch slots come first
    INVOKEKIND m_kind;
    short m_params; // the out-and-return-value pointer of a get counts
};

const INVOKEKIND kFunc = INVOKE_FUNC, kGet = INVOKE_PROPERTYGET, kPut = INVOKE_PROPERTYPUT;

struct CInterface {
    const wchar_t* m_iid;
    const char* m_name;
    std::vector<CMember> m_members;
};

const CInterface kInterfaces[] = {
    {L"{0EB3FE2A-E225-4525-B8AE-4B789B60732E}",
     "IJobRegGUI",
     {{"DoModal", 1, 7, kFunc, 1},
      {"Initialize", 2, 8, kFunc, 1},
      {"AboutDialog", 3, 9, kFunc, 0},
      {"KestrelFileName", 4, 10, kGet, 1},
      {"KestrelFileName", 4, 11, kPut, 1},
      {"DefaultDriverSetting", 5, 12, kGet, 1},
      {"DefaultDriverSetting", 5, 13, kPut, 1},
      {"DisableFunctionID", 6, 14, kGet, 2},
      {"DisableFunctionID", 6, 15, kPut, 2},
      {"FixedFunction", 7, 16, kGet, 1},
      {"FixedFunction", 7, 17, kPut, 1},
      {"TwainDriverName", 8, 18, kGet, 1},
      {"TwainDriverName", 8, 19, kPut, 1},
      {"KestrelMutexName", 9, 20, kGet, 1},
      {"KestrelMutexName", 9, 21, kPut, 1},
      {"CopyDialog", 10, 22, kFunc, 1},
      {"ControlDialog1", 11, 23, kFunc, 0},
      {"ControlDialog2", 12, 24, kFunc, 0},
      {"HelpDialog", 13, 25, kFunc, 1},
      {"CopyRight", 14, 26, kGet, 2},
      {"CopyRight", 14, 27, kPut, 2},
      {"AttachedMailSize", 15, 28, kGet, 1},
      {"AttachedMailSize", 15, 29, kPut, 1},
      {"WarningSize", 16, 30, kGet, 1},
      {"WarningSize", 16, 31, kPut, 1},
      {"DisableMonitor", 17, 32, kGet, 1},
      {"DisableMonitor", 17, 33, kPut, 1},
      {"data", 18, 34, kGet, 2},
      {"data", 18, 35, kPut, 2}}},
    {L"{D2E2B83B-DE1B-4C36-A8CF-BAB3D7FE236E}", "IJobRegGUI2", {{"CopyDialog2", 1, 7, kFunc, 3}}},
    {L"{5410A914-75CA-4480-8F2F-87EDEF18113A}",
     "IJobRegGUI3",
     {{"DoModal2", 1, 7, kFunc, 1},
      {"ControlDialog3", 2, 8, kFunc, 0},
      {"CopyDialog3", 3, 9, kFunc, 3}}},
    {L"{7B2FDBDA-9BB9-41E0-8ECE-A1327E1FEFEB}",
     "IJobRegGUI4",
     {{"ControlDialog4", 1, 7, kFunc, 1}}},
};

std::string NameOf(ITypeInfo* info, MEMBERID id) {
    CBstr name;
    if (FAILED(info->GetDocumentation(id, name.Receive(), nullptr, nullptr, nullptr)))
        return "<none>";
    return name.ToAnsi();
}

class TypeLibTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        const std::wstring path = VlmAnsiToWide(kInstalledDll);
        ASSERT_EQ(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &m_lib), S_OK);
    }
    CComPtr<ITypeLib> m_lib;
};

TEST_F(TypeLibTest, LibraryClassAndEvents) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(m_lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(::IsEqualGUID(attr->guid, GuidOf(kLibId)));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x0409u);
    m_lib->ReleaseTLibAttr(attr);
    CBstr libName;
    ASSERT_EQ(m_lib->GetDocumentation(-1, libName.Receive(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(libName.ToAnsi(), "PLOVERLib");

    CComPtr<ITypeInfo> coclass;
    ASSERT_EQ(m_lib->GetTypeInfoOfGuid(GuidOf(L"{FA71857C-2991-4E20-8317-8078A9F8BB57}"), &coclass),
              S_OK);
    CBstr className, classDoc;
    coclass->GetDocumentation(MEMBERID_NIL, className.Receive(), classDoc.Receive(), nullptr,
                              nullptr);
    EXPECT_EQ(className.ToAnsi(), "JobRegGUI");
    EXPECT_EQ(classDoc.ToAnsi(), "JobRegGUI Class");
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&ta), S_OK);
    const int impls = ta->cImplTypes;
    EXPECT_EQ(ta->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(ta);
    std::string defaultItf, defaultSource;
    for (int i = 0; i < impls; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> itf;
        ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(ref, &itf), S_OK);
        if ((flags & IMPLTYPEFLAG_FDEFAULT) && (flags & IMPLTYPEFLAG_FSOURCE))
            defaultSource = NameOf(itf, MEMBERID_NIL);
        else if (flags & IMPLTYPEFLAG_FDEFAULT)
            defaultItf = NameOf(itf, MEMBERID_NIL);
    }
    EXPECT_EQ(defaultItf, "IJobRegGUI");
    EXPECT_EQ(defaultSource, "_IJobRegGUIEvents");

    CComPtr<ITypeInfo> events;
    ASSERT_EQ(m_lib->GetTypeInfoOfGuid(GuidOf(L"{78F5EF53-2013-4D91-97D7-E4272578B163}"), &events),
              S_OK);
    EXPECT_EQ(NameOf(events, MEMBERID_NIL), "_IJobRegGUIEvents");
    ASSERT_EQ(events->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(ta->typekind, TKIND_DISPATCH);
    EXPECT_EQ(ta->cVars, 1);
    events->ReleaseTypeAttr(ta);
    VARDESC* var = nullptr;
    ASSERT_EQ(events->GetVarDesc(0, &var), S_OK);
    EXPECT_EQ(var->memid, 1);
    EXPECT_EQ(var->elemdescVar.tdesc.vt, VT_I4);
    EXPECT_EQ(NameOf(events, var->memid), "ScannerConnected");
    events->ReleaseVarDesc(var);
}

TEST_F(TypeLibTest, EveryInterfaceIsDualWithItsMembersInSlotOrder) {
    for (const CInterface& expected : kInterfaces) {
        SCOPED_TRACE(expected.m_name);
        CComPtr<ITypeInfo> disp;
        ASSERT_EQ(m_lib->GetTypeInfoOfGuid(GuidOf(expected.m_iid), &disp), S_OK);
        EXPECT_EQ(NameOf(disp, MEMBERID_NIL), expected.m_name);
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(disp->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, TKIND_DISPATCH);
        EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FDUAL);
        disp->ReleaseTypeAttr(ta);

        // The vtable half of the dual interface: IDispatch below, then ours.
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> vtbl, base;
        ASSERT_EQ(disp->GetRefTypeOfImplType(-1, &ref), S_OK);
        ASSERT_EQ(disp->GetRefTypeInfo(ref, &vtbl), S_OK);
        ASSERT_EQ(vtbl->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(vtbl->GetRefTypeInfo(ref, &base), S_OK);
        EXPECT_EQ(NameOf(base, MEMBERID_NIL), "IDispatch");
        ASSERT_EQ(vtbl->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, TKIND_INTERFACE);
        EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
        EXPECT_EQ(ta->cFuncs, static_cast<WORD>(expected.m_members.size()));
        const WORD funcs = ta->cFuncs;
        vtbl->ReleaseTypeAttr(ta);
        for (WORD i = 0; i < funcs && i < expected.m_members.size(); ++i) {
            const CMember& m = expected.m_members[i];
            SCOPED_TRACE(m.m_name);
            FUNCDESC* fd = nullptr;
            ASSERT_EQ(vtbl->GetFuncDesc(i, &fd), S_OK);
            EXPECT_EQ(fd->memid, m.m_id);
            EXPECT_EQ(fd->oVft, m.m_slot * static_cast<int>(sizeof(void*)));
            EXPECT_EQ(fd->invkind, m.m_kind);
            EXPECT_EQ(fd->cParams, m.m_params);
            EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
            EXPECT_EQ(NameOf(vtbl, fd->memid), m.m_name);
            vtbl->ReleaseFuncDesc(fd);
        }
    }
}

// --- the object -------------------------------------------------------------------

TEST_F(ComTest, QueryInterfaceAnswersTheFourInterfacesErrorInfoAndConnectionPoints) {
    CComPtr<IJobRegGUI> gui = Create();
    ASSERT_TRUE(gui);
    CComPtr<IUnknown> unk;
    CComPtr<IDispatch> disp;
    ASSERT_EQ(gui.QueryInterface(IID_IUnknown, &unk), S_OK);
    ASSERT_EQ(gui.QueryInterface(IID_IDispatch, &disp), S_OK);
    EXPECT_EQ(static_cast<void*>(disp.Get()), static_cast<void*>(gui.Get()))
        << "IDispatch is served by IJobRegGUI";
    const IID* others[] = {&IID_IJobRegGUI2, &IID_IJobRegGUI3, &IID_IJobRegGUI4,
                           &IID_ISupportErrorInfo, &IID_IConnectionPointContainer};
    for (const IID* iid : others) {
        CComPtr<IUnknown> itf, identity;
        ASSERT_EQ(gui.QueryInterface(*iid, &itf), S_OK);
        EXPECT_NE(static_cast<void*>(itf.Get()), static_cast<void*>(gui.Get()));
        ASSERT_EQ(itf.QueryInterface(IID_IUnknown, &identity), S_OK);
        EXPECT_EQ(identity.Get(), unk.Get());
    }
    const IID* absent[] = {&IID_IProvideClassInfo, &IID_IPersist, &IID_IConnectionPoint};
    for (const IID* iid : absent) {
        CComPtr<IUnknown> itf;
        EXPECT_EQ(gui.QueryInterface(*iid, &itf), E_NOINTERFACE);
        EXPECT_FALSE(itf);
    }
    CComPtr<ISupportErrorInfo> info;
    ASSERT_EQ(gui.QueryInterface(IID_ISupportErrorInfo, &info), S_OK);
    for (const IID* iid : {&IID_IJobRegGUI, &IID_IJobRegGUI2, &IID_IJobRegGUI3, &IID_IJobRegGUI4})
        EXPECT_EQ(info->InterfaceSupportsErrorInfo(*iid), S_OK);
    EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

// Each interface pointer dispatches through its own type information, so a
// DISPID means the member of the interface it was asked on.
TEST_F(ComTest, EachInterfaceDispatchesItsOwnMembers) {
    CComPtr<IJobRegGUI> gui = Create();
    ASSERT_TRUE(gui);
    CComPtr<IJobRegGUI2> gui2;
    CComPtr<IJobRegGUI3> gui3;
    CComPtr<IJobRegGUI4> gui4;
    ASSERT_EQ(gui.QueryInterface(IID_IJobRegGUI2, &gui2), S_OK);
    ASSERT_EQ(gui.QueryInterface(IID_IJobRegGUI3, &gui3), S_OK);
    ASSERT_EQ(gui.QueryInterface(IID_IJobRegGUI4, &gui4), S_OK);
    IDispatch* disps[] = {gui.Get(), gui2.Get(), gui3.Get(), gui4.Get()};
    const char* names[] = {"IJobRegGUI", "IJobRegGUI2", "IJobRegGUI3", "IJobRegGUI4"};
    for (int i = 0; i < 4; ++i) {
        UINT count = 0;
        EXPECT_EQ(disps[i]->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        CComPtr<ITypeInfo> info;
        ASSERT_EQ(disps[i]->GetTypeInfo(0, 0x0409, &info), S_OK);
        EXPECT_EQ(NameOf(info, MEMBERID_NIL), names[i]);
    }
    LPOLESTR name = const_cast<LPOLESTR>(L"CopyDialog3");
    DISPID id = 0;
    EXPECT_EQ(gui3->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id), S_OK);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(gui->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id), DISP_E_UNKNOWNNAME);

    // A property put and get through IDispatch reach the vtable's members.
    name = const_cast<LPOLESTR>(L"WarningSize");
    ASSERT_EQ(gui->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id), S_OK);
    EXPECT_EQ(id, 16);
    CVariant value(1234L);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&value, &named, 1, 1};
    EXPECT_EQ(
        gui->Invoke(id, IID_NULL, 0x0409, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        S_OK);
    long n = 0;
    EXPECT_EQ(gui->get_WarningSize(&n), S_OK);
    EXPECT_EQ(n, 1234);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    CVariant result;
    EXPECT_EQ(
        gui->Invoke(id, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1234);
}

// A sink of the events interface that counts its references.
class CSink : public CVtableDispatch<IDispatch> {
public:
    explicit CSink(bool bEvents) : m_bEvents(bEvents) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch ||
            (m_bEvents && iid == DIID__IJobRegGUIEvents)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRefs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_nRefs; }
    ULONG m_nRefs = 1; // the test's own
    bool m_bEvents;
};

std::vector<CONNECTDATA> Connections(IConnectionPoint* cp) {
    std::vector<CONNECTDATA> out;
    CComPtr<IEnumConnections> e;
    EXPECT_EQ(cp->EnumConnections(&e), S_OK);
    CONNECTDATA cd;
    ULONG fetched = 0;
    while (e && e->Next(1, &cd, &fetched) == S_OK && fetched == 1) {
        cd.pUnk->Release();
        out.push_back(cd);
    }
    return out;
}

TEST_F(ComTest, TheEventsConnectionPointKeepsItsSinks) {
    CSink sink1(true), sink2(true), stranger(false);
    {
        CComPtr<IJobRegGUI> gui = Create();
        ASSERT_TRUE(gui);
        CComPtr<IConnectionPointContainer> cpc;
        ASSERT_EQ(gui.QueryInterface(IID_IConnectionPointContainer, &cpc), S_OK);
        CComPtr<IConnectionPoint> cp, other;
        EXPECT_EQ(cpc->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
        ASSERT_EQ(cpc->FindConnectionPoint(DIID__IJobRegGUIEvents, &cp), S_OK);
        IID iid = IID_NULL;
        EXPECT_EQ(cp->GetConnectionInterface(&iid), S_OK);
        EXPECT_TRUE(::IsEqualGUID(iid, DIID__IJobRegGUIEvents));
        CComPtr<IConnectionPointContainer> back;
        EXPECT_EQ(cp->GetConnectionPointContainer(&back), S_OK);
        EXPECT_EQ(back.Get(), cpc.Get());

        CComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(cpc->EnumConnectionPoints(&points), S_OK);
        IConnectionPoint* got[2] = {};
        ULONG fetched = 0;
        EXPECT_EQ(points->Next(2, got, &fetched), S_FALSE);
        ASSERT_EQ(fetched, 1u);
        EXPECT_EQ(got[0], cp.Get());
        got[0]->Release();

        DWORD c1 = 0, c2 = 0, c3 = 0;
        EXPECT_EQ(cp->Advise(&stranger, &c3), CONNECT_E_CANNOTCONNECT);
        EXPECT_EQ(stranger.m_nRefs, 1u);
        ASSERT_EQ(cp->Advise(&sink1, &c1), S_OK);
        ASSERT_EQ(cp->Advise(&sink2, &c2), S_OK);
        EXPECT_NE(c1, 0u);
        EXPECT_NE(c1, c2);
        EXPECT_EQ(sink1.m_nRefs, 2u);
        std::vector<CONNECTDATA> both = Connections(cp);
        ASSERT_EQ(both.size(), 2u);
        EXPECT_EQ(both[0].dwCookie + both[1].dwCookie, c1 + c2);

        EXPECT_EQ(cp->Unadvise(c1), S_OK);
        EXPECT_EQ(sink1.m_nRefs, 1u);
        EXPECT_EQ(cp->Unadvise(c1), CONNECT_E_NOCONNECTION);
        std::vector<CONNECTDATA> left = Connections(cp);
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left[0].dwCookie, c2);
        EXPECT_EQ(sink2.m_nRefs, 2u);
    }
    EXPECT_EQ(sink2.m_nRefs, 1u) << "the object lets its sinks go when it goes";
}

TEST_F(ComTest, PropertyDefaultsAndRules) {
    CComPtr<IJobRegGUI> gui = Create();
    ASSERT_TRUE(gui);
    SYSTEMTIME before;
    ::GetSystemTime(&before);
    DATE now = 0;
    ::SystemTimeToVariantTime(&before, &now);

    CBstr text;
    EXPECT_EQ(gui->get_KestrelFileName(text.Receive()), S_OK);
    EXPECT_EQ(text.Get(), nullptr);
    EXPECT_EQ(gui->get_TwainDriverName(text.Receive()), S_OK);
    EXPECT_EQ(text.Get(), nullptr);
    EXPECT_EQ(gui->put_KestrelMutexName(CBstr("Kestrel Mutex")), S_OK);
    EXPECT_EQ(gui->get_KestrelMutexName(text.Receive()), S_OK);
    EXPECT_EQ(text.ToAnsi(), "Kestrel Mutex");
    EXPECT_EQ(gui->put_KestrelMutexName(nullptr), S_OK);
    EXPECT_EQ(gui->get_KestrelMutexName(text.Receive()), S_OK);
    EXPECT_EQ(text.Get(), nullptr);

    long n = -1;
    EXPECT_EQ(gui->get_DisableFunctionID(7, &n), S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(gui->put_DisableFunctionID(3, 1), S_OK);
    EXPECT_EQ(gui->get_DisableFunctionID(3, &n), S_OK);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(gui->get_FixedFunction(&n), S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(gui->get_WarningSize(&n), S_OK);
    EXPECT_EQ(n, 1000000);
    EXPECT_EQ(gui->put_AttachedMailSize(20), S_OK);
    EXPECT_EQ(gui->get_AttachedMailSize(&n), S_OK);
    EXPECT_EQ(n, 100);

    // DisableMonitor and data keep nothing and give nothing back.
    EXPECT_EQ(gui->put_DisableMonitor(1), S_OK);
    n = 77;
    EXPECT_EQ(gui->get_DisableMonitor(&n), S_OK);
    EXPECT_EQ(n, 77);
    CVariant five(5L);
    EXPECT_EQ(gui->put_data(CBstr("title"), five), S_OK);
    CVariant out(9L);
    EXPECT_EQ(gui->get_data(CBstr("title"), &out), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 9);

    // CopyRight: the creation time (UTC) in both, index 0 and 1 only.
    DATE d0 = 0, d1 = 0;
    EXPECT_EQ(gui->get_CopyRight(0, &d0), S_OK);
    EXPECT_EQ(gui->get_CopyRight(1, &d1), S_OK);
    EXPECT_EQ(d0, d1);
    EXPECT_NEAR(d0, now, 1.0 / 24) << "within an hour of the creation";
    EXPECT_EQ(gui->get_CopyRight(2, &d0), E_INVALIDARG);
    EXPECT_EQ(gui->get_CopyRight(-1, &d0), E_INVALIDARG);
    EXPECT_EQ(gui->put_CopyRight(2, d0), E_INVALIDARG);
    SYSTEMTIME st = {2008, 5, 0, 6, 7, 8, 9, 0};
    DATE d2008 = 0;
    ASSERT_TRUE(::SystemTimeToVariantTime(&st, &d2008));
    EXPECT_EQ(gui->put_CopyRight(0, d2008), S_OK);
    EXPECT_EQ(gui->get_CopyRight(0, &d0), S_OK);
    EXPECT_EQ(d0, d2008);
    EXPECT_EQ(gui->get_CopyRight(1, &d0), S_OK);
    EXPECT_EQ(d0, d1);

    // Null out pointers.
    EXPECT_EQ(gui->get_KestrelFileName(nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_DefaultDriverSetting(nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_DisableFunctionID(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_FixedFunction(nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_CopyRight(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_AttachedMailSize(nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_WarningSize(nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_DisableMonitor(nullptr), E_INVALIDARG);
    EXPECT_EQ(gui->get_data(nullptr, nullptr), E_INVALIDARG);

    // Initialize takes a job store only.
    EXPECT_EQ(gui->Initialize(nullptr), E_INVALIDARG);
    CSink notAStore(true);
    EXPECT_EQ(gui->Initialize(&notAStore), E_NOINTERFACE);
}

std::string BytesOf(const VARIANT& v) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(VlmReadByteBlock(v, bytes), S_OK);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(ComTest, DefaultDriverSettingTakesByteArraysOnly) {
    CComPtr<IJobRegGUI> gui = Create();
    ASSERT_TRUE(gui);
    CVariant v;
    EXPECT_EQ(gui->get_DefaultDriverSetting(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY) << "nothing stored yet";
    CVariant full(1L);
    EXPECT_EQ(gui->get_DefaultDriverSetting(&full), E_INVALIDARG) << "the out value must be empty";

    EXPECT_EQ(gui->put_DefaultDriverSetting(CVariant(1L)), E_INVALIDARG);
    VARIANT nullArray;
    nullArray.vt = VT_ARRAY | VT_UI1;
    nullArray.parray = nullptr;
    EXPECT_EQ(gui->put_DefaultDriverSetting(nullArray), E_INVALIDARG);
    CVariant strings;
    strings.vt = VT_ARRAY | VT_BSTR;
    strings.parray = ::SafeArrayCreateVector(VT_BSTR, 0, 2);
    EXPECT_EQ(gui->put_DefaultDriverSetting(strings), E_INVALIDARG);

    const std::string ini =
        "[CustomDsData]\r\nScanAhead=1\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n";
    CVariant bytes;
    ASSERT_EQ(VlmMakeByteBlock(ini.data(), ini.size(), &bytes, VT_UI1), S_OK);
    ASSERT_EQ(gui->put_DefaultDriverSetting(bytes), S_OK);
    ASSERT_EQ(gui->get_DefaultDriverSetting(v.Receive()), S_OK);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(BytesOf(v), ini);
    EXPECT_EQ(::SafeArrayGetDim(v.parray), 1u);

    // The framework's byte blocks (signed bytes), and an array by reference.
    CVariant block;
    ASSERT_EQ(VlmMakeByteBlock("\x01\xff\x02", 3, &block), S_OK);
    EXPECT_EQ(gui->put_DefaultDriverSetting(block), S_OK);
    EXPECT_EQ(gui->get_DefaultDriverSetting(v.Receive()), S_OK);
    EXPECT_EQ(BytesOf(v), std::string("\x01\xff\x02", 3));
    VARIANT byRef;
    byRef.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
    byRef.pparray = &bytes.parray;
    EXPECT_EQ(gui->put_DefaultDriverSetting(byRef), S_OK);
    EXPECT_EQ(gui->get_DefaultDriverSetting(v.Receive()), S_OK);
    EXPECT_EQ(BytesOf(v), ini);

    // An empty array empties the store and says so.
    CVariant empty;
    ASSERT_EQ(VlmMakeByteBlock(nullptr, 0, &empty, VT_UI1), S_OK);
    EXPECT_EQ(gui->put_DefaultDriverSetting(empty), E_OUTOFMEMORY);
    EXPECT_EQ(gui->get_DefaultDriverSetting(v.Receive()), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST_F(ComTest, TheModuleStaysWhileObjectsFactoriesOrLocksLive) {
    CComPtr<IJobRegGUI> gui = Create();
    ASSERT_TRUE(gui);
    const HMODULE module = ::GetModuleHandleA("Plover.dll");
    ASSERT_NE(module, nullptr);
    using PFN = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload =
        reinterpret_cast<PFN>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);

    // An enumerator handed out keeps its object, and so the module.
    CComPtr<IConnectionPointContainer> cpc;
    CComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(gui.QueryInterface(IID_IConnectionPointContainer, &cpc), S_OK);
    ASSERT_EQ(cpc->EnumConnectionPoints(&points), S_OK);
    cpc.Release();
    gui.Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    points.Release();
    EXPECT_EQ(canUnload(), S_OK);

    CComPtr<IClassFactory> factory;
    ASSERT_EQ(::CoGetClassObject(CLSID_JobRegGUI, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    CComPtr<IClassFactory> keep = factory;
    factory.Release();
    keep.Release();
    EXPECT_EQ(canUnload(), S_FALSE) << "locked";
    ASSERT_EQ(::CoGetClassObject(CLSID_JobRegGUI, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    ASSERT_EQ(gui.CoCreateInstance(CLSID_JobRegGUI, IID_IJobRegGUI, CLSCTX_INPROC_SERVER), S_OK);
    void* aggregated = nullptr;
    EXPECT_EQ(factory->CreateInstance(gui, IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
    gui.Release();
    factory.Release();
    EXPECT_EQ(canUnload(), S_OK);
}

} // namespace
