#include "editor/JobRegGUI.h"

#include <olectl.h>
#include <algorithm>
#include <iterator>
#include <new>
#include <vector>
#include "common/VlmLog.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/Help.h"
#include "editor/JobPages.h"
#include "framework/App.h"
#include "framework/Profile.h"
#include "framework/Variant.h"

namespace {

// Models of the family whose panel lists the job titles: their titles are
// checked against what the panel can show.
const char* const kPanelTitleModels[] = {"VX-400", "VX-410", "VX-420",
                                         "VX-430", "VX-440", "VX-450"};

const char kLogDashes[] =
    "------------------------------------------------------------------------------";
const char kLogStart[] =
    "---------------TaskdeckRegistrar Application Start\t\t------------------------------";

BOOL IsPanelTitleModel(const std::string& model) {
    return std::find(std::begin(kPanelTitleModels), std::end(kPanelTitleModels), model) !=
           std::end(kPanelTitleModels);
}

// Runs body; a failed allocation becomes E_OUTOFMEMORY.
template <class Body> HRESULT OutOfMemoryAsResult(Body&& body) {
    try {
        body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// The frame of every dialog method: the failures of the dialog (its own
// texts, failed store calls) are shown to the user in an "Error" box without
// owner; the client always gets S_OK.
template <class Body> HRESULT DialogFrame(Body&& body) {
    CEdWindowScope windows;
    try {
        EdShowingErrors(nullptr, body);
    } catch (const std::bad_alloc&) {
        EdShowError(nullptr, EdText("no memory"));
    }
    return S_OK;
}

// Every dialog reads and writes jobs through the store that Initialize gave.
CJobRegGUISettings* NeedStore(CJobRegGUISettings* pSettings) {
    if (!pSettings->m_pJobStore)
        EdThrowText("The job store is not set.");
    return pSettings;
}

// The references an enumerator holds on its items.
void ItemAddRef(IConnectionPoint* p) {
    p->AddRef();
}
void ItemRelease(IConnectionPoint* p) {
    p->Release();
}
void ItemAddRef(const CONNECTDATA& c) {
    c.pUnk->AddRef();
}
void ItemRelease(const CONNECTDATA& c) {
    c.pUnk->Release();
}

// An enumerator over a copy of its items taken when it was made; each item
// it holds or hands out carries its own reference (a connection point's is
// its object's).
template <class Itf, class Item, const IID* piid> class CEnumerator final : public Itf {
public:
    explicit CEnumerator(std::vector<Item> items, size_t nPos = 0)
        : m_items(std::move(items)), m_nPos(nPos) {
        for (const Item& item : m_items)
            ItemAddRef(item);
        EdModuleLock();
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == *piid) {
            *ppv = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_nRefs); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = ::InterlockedDecrement(&m_nRefs);
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP Next(ULONG count, Item* out, ULONG* pFetched) override {
        if (!out || (count > 1 && !pFetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_nPos < m_items.size()) {
            out[n] = m_items[m_nPos++];
            ItemAddRef(out[n++]);
        }
        if (pFetched)
            *pFetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const size_t left = m_items.size() - m_nPos;
        m_nPos += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_nPos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Itf** ppEnum) override {
        if (!ppEnum)
            return E_POINTER;
        *ppEnum = nullptr;
        return OutOfMemoryAsResult([&] { *ppEnum = new CEnumerator(m_items, m_nPos); });
    }

private:
    ~CEnumerator() {
        for (const Item& item : m_items)
            ItemRelease(item);
        EdModuleUnlock();
    }
    LONG m_nRefs = 1;
    std::vector<Item> m_items;
    size_t m_nPos;
};

using CEnumConnectionPoints =
    CEnumerator<IEnumConnectionPoints, IConnectionPoint*, &IID_IEnumConnectionPoints>;
using CEnumConnections = CEnumerator<IEnumConnections, CONNECTDATA, &IID_IEnumConnections>;

} // namespace

// --- the connection point ---------------------------------------------------

STDMETHODIMP CJobRegGUIEventsPoint::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CJobRegGUIEventsPoint::AddRef() {
    return m_pOwner->GetUnknown()->AddRef();
}

STDMETHODIMP_(ULONG) CJobRegGUIEventsPoint::Release() {
    return m_pOwner->GetUnknown()->Release();
}

STDMETHODIMP CJobRegGUIEventsPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID)
        return E_POINTER;
    *pIID = DIID__IJobRegGUIEvents;
    return S_OK;
}

STDMETHODIMP CJobRegGUIEventsPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC)
        return E_POINTER;
    return m_pOwner->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
}

STDMETHODIMP CJobRegGUIEventsPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink)
        return E_POINTER;
    CComPtr<IUnknown> sink;
    if (FAILED(pUnkSink->QueryInterface(DIID__IJobRegGUIEvents, reinterpret_cast<void**>(&sink))))
        return CONNECT_E_CANNOTCONNECT;
    return OutOfMemoryAsResult([&] {
        m_sinks.emplace(m_dwNextCookie, std::move(sink));
        *pdwCookie = m_dwNextCookie++;
    });
}

STDMETHODIMP CJobRegGUIEventsPoint::Unadvise(DWORD dwCookie) {
    auto it = m_sinks.find(dwCookie);
    if (it == m_sinks.end())
        return CONNECT_E_NOCONNECTION;
    // The sink's release may call back into this object: take it out first.
    CComPtr<IUnknown> sink = std::move(it->second);
    m_sinks.erase(it);
    return S_OK;
}

STDMETHODIMP CJobRegGUIEventsPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return OutOfMemoryAsResult([&] {
        std::vector<CONNECTDATA> items;
        for (const auto& entry : m_sinks)
            items.push_back(CONNECTDATA{entry.second.Get(), entry.first});
        *ppEnum = new CEnumConnections(std::move(items));
    });
}

// --- object life --------------------------------------------------------------

CJobRegGUI::CJobRegGUI() : m_eventsPoint(this) {
    EdModuleLock();
}

CJobRegGUI::~CJobRegGUI() {
    if (m_pSettings)
        m_pSettings->m_pJobStore.Release();
    m_pSettings.reset();
    CVlmLog::Instance().Write("CJobRegGUI::FinalRelease()");
    EdModuleUnlock();
}

HRESULT CJobRegGUI::Create(REFIID iid, void** ppv) {
    CJobRegGUI* self = new (std::nothrow) CJobRegGUI;
    if (!self)
        return E_OUTOFMEMORY;
    self->m_pSettings.reset(new (std::nothrow) CJobRegGUISettings);
    if (!self->m_pSettings) {
        self->Release();
        return E_OUTOFMEMORY;
    }
    CJobRegGUISettings& s = *self->m_pSettings;
    s.m_pOwner = self;
    ::GetSystemTime(&s.m_CopyRight[0]);
    s.m_CopyRight[1] = s.m_CopyRight[0];
    // The localisation library and the catalogue beside the host program,
    // in the user's language; once per process.
    EdLocalizeInit();
    const HRESULT hr = self->QueryInterface(iid, ppv);
    self->Release();
    return hr;
}

STDMETHODIMP CJobRegGUI::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IJobRegGUI)
        *ppv = static_cast<IJobRegGUI*>(this);
    else if (iid == IID_IJobRegGUI2)
        *ppv = static_cast<IJobRegGUI2*>(this);
    else if (iid == IID_IJobRegGUI3)
        *ppv = static_cast<IJobRegGUI3*>(this);
    else if (iid == IID_IJobRegGUI4)
        *ppv = static_cast<IJobRegGUI4*>(this);
    else if (iid == IID_ISupportErrorInfo)
        *ppv = static_cast<ISupportErrorInfo*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CJobRegGUI::AddRef() {
    return ::InterlockedIncrement(&m_nRefs);
}

STDMETHODIMP_(ULONG) CJobRegGUI::Release() {
    const LONG n = ::InterlockedDecrement(&m_nRefs);
    if (n == 0)
        delete this;
    return n;
}

// --- Initialize -----------------------------------------------------------------

STDMETHODIMP CJobRegGUI::Initialize(IUnknown* pUnk) {
    if (!pUnk)
        return E_INVALIDARG;
    CComPtr<IJobStore> store;
    HRESULT hr = pUnk->QueryInterface(IID_IJobStore, reinterpret_cast<void**>(&store));
    if (FAILED(hr))
        return hr;
    m_pSettings->m_pJobStore = store;

    CBstr bstrModel;
    hr = store->GetModelName(bstrModel.Receive());
    if (FAILED(hr))
        return hr;
    const std::string model = bstrModel.ToAnsi();
    hr = OutOfMemoryAsResult([&] {
        // The profile name (where "WriteLog" and "LogFileName" live) follows
        // the model: "<model> Taskdeck Registrar".
        std::string profile = EdText("%s Taskdeck Registrar");
        const size_t at = profile.find("%s");
        if (at != std::string::npos)
            profile.replace(at, 2, model);
        CVlmApp::GetApp()->m_strProfileName = profile;

        const CVlmProfile settings;
        if (settings.GetInt("General", "WriteLog", 0) != 0) {
            const std::string defaultName = "JobReg" + model + ".log";
            const std::string name =
                settings.GetString("General", "LogFileName", defaultName.c_str());
            CVlmLog& log = CVlmLog::Instance();
            log.Open(name.c_str());
            log.Write("%s", kLogDashes);
            log.Write("%s", kLogStart);
            log.Write("%s", kLogDashes);
        }
    });
    if (FAILED(hr))
        return hr;
    m_pSettings->m_nPanelTitleModel = IsPanelTitleModel(model);
    m_pSettings->m_nTitleWarningShown = 0;
    return S_OK;
}

// --- properties -------------------------------------------------------------------

HRESULT CJobRegGUI::GetString(const std::wstring& value, BSTR* pVal) {
    if (!pVal)
        return E_INVALIDARG;
    *pVal = nullptr;
    if (value.empty())
        return S_OK;
    *pVal = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT CJobRegGUI::GetNumber(int value, long* pVal) {
    if (!pVal)
        return E_INVALIDARG;
    *pVal = value;
    return S_OK;
}

HRESULT CJobRegGUI::PutString(std::wstring& value, BSTR newVal) {
    return OutOfMemoryAsResult(
        [&] { value.assign(newVal ? newVal : L"", ::SysStringLen(newVal)); });
}

STDMETHODIMP CJobRegGUI::get_KestrelFileName(BSTR* pVal) {
    return GetString(m_pSettings->m_strKestrelFileName, pVal);
}
STDMETHODIMP CJobRegGUI::put_KestrelFileName(BSTR newVal) {
    return PutString(m_pSettings->m_strKestrelFileName, newVal);
}
STDMETHODIMP CJobRegGUI::get_TwainDriverName(BSTR* pVal) {
    return GetString(m_pSettings->m_strTwainDriverName, pVal);
}
STDMETHODIMP CJobRegGUI::put_TwainDriverName(BSTR newVal) {
    return PutString(m_pSettings->m_strTwainDriverName, newVal);
}
STDMETHODIMP CJobRegGUI::get_KestrelMutexName(BSTR* pVal) {
    return GetString(m_pSettings->m_strKestrelMutexName, pVal);
}
STDMETHODIMP CJobRegGUI::put_KestrelMutexName(BSTR newVal) {
    return PutString(m_pSettings->m_strKestrelMutexName, newVal);
}

STDMETHODIMP CJobRegGUI::get_DefaultDriverSetting(VARIANT* pVal) {
    if (!pVal || pVal->vt != VT_EMPTY)
        return E_INVALIDARG;
    const std::vector<BYTE>& bytes = m_pSettings->m_DefaultDriverSetting;
    if (bytes.empty())
        return S_OK;
    return VlmMakeByteBlock(bytes.data(), bytes.size(), pVal, VT_UI1);
}

STDMETHODIMP CJobRegGUI::put_DefaultDriverSetting(VARIANT newVal) {
    if (!(newVal.vt & VT_ARRAY) || !(newVal.vt & 0x10))
        return E_INVALIDARG;
    // A script passes its array by reference.
    SAFEARRAY* array =
        newVal.vt & VT_BYREF ? (newVal.pparray ? *newVal.pparray : nullptr) : newVal.parray;
    if (!array)
        return E_INVALIDARG;
    std::vector<BYTE>& bytes = m_pSettings->m_DefaultDriverSetting;
    // Every element's bytes are kept: a wider element type must not lose
    // the end of the block.
    ULONGLONG count = 1;
    for (USHORT d = 0; d < array->cDims; ++d)
        count *= array->rgsabound[d].cElements;
    const ULONGLONG cb = count * ::SafeArrayGetElemsize(array);
    if (cb == 0) {
        bytes.clear();
        return E_OUTOFMEMORY;
    }
    void* data = nullptr;
    if (FAILED(::SafeArrayAccessData(array, &data)))
        return E_INVALIDARG;
    const HRESULT hr = OutOfMemoryAsResult(
        [&] { bytes.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + cb); });
    if (FAILED(hr))
        bytes.clear();
    ::SafeArrayUnaccessData(array);
    return hr;
}

STDMETHODIMP CJobRegGUI::get_DisableFunctionID(long FunctionID, long* pVal) {
    if (!pVal)
        return E_INVALIDARG;
    return OutOfMemoryAsResult([&] { *pVal = m_pSettings->m_DisableFunctionID[FunctionID]; });
}

STDMETHODIMP CJobRegGUI::put_DisableFunctionID(long FunctionID, long newVal) {
    return OutOfMemoryAsResult([&] { m_pSettings->m_DisableFunctionID[FunctionID] = newVal; });
}

STDMETHODIMP CJobRegGUI::get_FixedFunction(long* pVal) {
    return GetNumber(m_pSettings->m_nFixedFunction, pVal);
}

STDMETHODIMP CJobRegGUI::put_FixedFunction(long newVal) {
    m_pSettings->m_nFixedFunction = newVal;
    return S_OK;
}

STDMETHODIMP CJobRegGUI::get_WarningSize(long* pVal) {
    return GetNumber(m_pSettings->m_nWarningSize, pVal);
}

STDMETHODIMP CJobRegGUI::put_WarningSize(long newVal) {
    m_pSettings->m_nWarningSize = newVal;
    return S_OK;
}

STDMETHODIMP CJobRegGUI::get_AttachedMailSize(long* pVal) {
    return GetNumber(m_pSettings->m_nAttachedMailSize, pVal);
}

// The size the administrator dialog offers is fixed; a client's value is
// accepted and not kept.
STDMETHODIMP CJobRegGUI::put_AttachedMailSize(long) {
    return S_OK;
}

STDMETHODIMP CJobRegGUI::get_CopyRight(long index, DATE* pVal) {
    if (!pVal || (index != 0 && index != 1))
        return E_INVALIDARG;
    SYSTEMTIME st = m_pSettings->m_CopyRight[index];
    return ::SystemTimeToVariantTime(&st, pVal) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CJobRegGUI::put_CopyRight(long index, DATE newVal) {
    if (index != 0 && index != 1)
        return E_INVALIDARG;
    SYSTEMTIME st = {};
    if (!::VariantTimeToSystemTime(newVal, &st))
        return E_INVALIDARG;
    m_pSettings->m_CopyRight[index] = st;
    return S_OK;
}

// Kept for the interface's sake: nothing reads or keeps these.
STDMETHODIMP CJobRegGUI::get_DisableMonitor(long* pVal) {
    return pVal ? S_OK : E_INVALIDARG;
}
STDMETHODIMP CJobRegGUI::put_DisableMonitor(long) {
    return S_OK;
}
STDMETHODIMP CJobRegGUI::get_data(BSTR, VARIANT* pVal) {
    return pVal ? S_OK : E_INVALIDARG;
}
STDMETHODIMP CJobRegGUI::put_data(BSTR, VARIANT) {
    return S_OK;
}

// --- dialog methods -------------------------------------------------------------

STDMETHODIMP CJobRegGUI::DoModal(long JobNo) {
    return DialogFrame([&] { RunJobEditDialog(NeedStore(m_pSettings.get()), JobNo, TRUE); });
}

STDMETHODIMP CJobRegGUI::DoModal2(long JobNo) {
    return DialogFrame([&] { RunJobEditDialog(NeedStore(m_pSettings.get()), JobNo, FALSE); });
}

STDMETHODIMP CJobRegGUI::AboutDialog() {
    return DialogFrame([&] { RunVersionDialog(NeedStore(m_pSettings.get())); });
}

STDMETHODIMP CJobRegGUI::CopyDialog(long SrcJobNo) {
    return DialogFrame([&] { RunCopyDialog(NeedStore(m_pSettings.get()), SrcJobNo, FALSE, 0, 0); });
}

HRESULT CJobRegGUI::CopyDialogInRange(long nSrcJobNo, long nMin, long nMax) {
    return DialogFrame([&] {
        if (nMin >= nMax)
            EdThrowText("max<=min");
        if (nMin < 0)
            EdThrowText("min<0");
        RunCopyDialog(NeedStore(m_pSettings.get()), nSrcJobNo, TRUE, nMin, nMax);
    });
}

STDMETHODIMP CJobRegGUI::CopyDialog2(long SrcJobNo, long min, long max) {
    return CopyDialogInRange(SrcJobNo, min, max);
}

STDMETHODIMP CJobRegGUI::CopyDialog3(long SrcJobNo, long min, long max) {
    return CopyDialogInRange(SrcJobNo, min, max);
}

STDMETHODIMP CJobRegGUI::ControlDialog1() {
    return DialogFrame([&] { RunAdminDialog(NeedStore(m_pSettings.get()), 1); });
}

STDMETHODIMP CJobRegGUI::ControlDialog2() {
    return DialogFrame([&] { RunAdminDialog(NeedStore(m_pSettings.get()), 2); });
}

STDMETHODIMP CJobRegGUI::ControlDialog3() {
    return DialogFrame([&] { RunAdminDialog(NeedStore(m_pSettings.get()), 3); });
}

// Form 4 opens only for flag 0; any other flag opens nothing.
STDMETHODIMP CJobRegGUI::ControlDialog4(long flag) {
    if (flag != 0)
        return S_OK;
    return DialogFrame([&] { RunAdminDialog(NeedStore(m_pSettings.get()), 4); });
}

STDMETHODIMP CJobRegGUI::HelpDialog(HWND hwnd) {
    return DialogFrame([&] { EdOpenHelp(hwnd); });
}

// --- errors and events -----------------------------------------------------------

STDMETHODIMP CJobRegGUI::InterfaceSupportsErrorInfo(REFIID riid) {
    const IID* const iids[] = {&IID_IJobRegGUI, &IID_IJobRegGUI2, &IID_IJobRegGUI3,
                               &IID_IJobRegGUI4};
    for (const IID* iid : iids)
        if (::InlineIsEqualGUID(*iid, riid))
            return S_OK;
    return S_FALSE;
}

STDMETHODIMP CJobRegGUI::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return OutOfMemoryAsResult([&] { *ppEnum = new CEnumConnectionPoints({&m_eventsPoint}); });
}

STDMETHODIMP CJobRegGUI::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IJobRegGUIEvents)
        return CONNECT_E_NOCONNECTION;
    *ppCP = &m_eventsPoint;
    m_eventsPoint.AddRef();
    return S_OK;
}
