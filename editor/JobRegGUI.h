// The JobRegGUI COM class: the job list tool's handle on the editor. One
// object holds the client's properties and the job store in its settings
// record and opens one modal dialog per method call.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <map>
#include <memory>
#include "Plover.h"
#include "editor/EditorSettings.h"
#include "editor/ModuleState.h"

// IDispatch of one dual interface, served from the type library. Each of the
// four interfaces gets its own copy, so that DISPID 1 of IJobRegGUI2 reaches
// CopyDialog2 and not DoModal.
template <class Itf, const IID* piid> class CDualDispatch : public Itf {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo)
            return E_INVALIDARG;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo)
            return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        return EdGetTypeInfo(*piid, ppTInfo);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        CComPtr<ITypeInfo> info;
        HRESULT hr = EdGetTypeInfo(*piid, &info);
        return FAILED(hr) ? hr : info->GetIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> info;
        HRESULT hr = EdGetTypeInfo(*piid, &info);
        if (FAILED(hr))
            return hr;
        return info->Invoke(static_cast<Itf*>(this), id, flags, params, result, excep, argErr);
    }
};

class CJobRegGUI;

// The one connection point, for _IJobRegGUIEvents. Its references are the
// object's; it keeps the sinks until they unadvise or the object goes.
class CJobRegGUIEventsPoint : public IConnectionPoint {
public:
    explicit CJobRegGUIEventsPoint(CJobRegGUI* pOwner) : m_pOwner(pOwner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* pIID) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHODIMP Unadvise(DWORD dwCookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

    size_t SinkCount() const { return m_sinks.size(); }

private:
    CJobRegGUI* m_pOwner;
    std::map<DWORD, CComPtr<IUnknown>> m_sinks;
    DWORD m_dwNextCookie = 1;
};

class CJobRegGUI final : public CDualDispatch<IJobRegGUI, &IID_IJobRegGUI>,
                         public CDualDispatch<IJobRegGUI2, &IID_IJobRegGUI2>,
                         public CDualDispatch<IJobRegGUI3, &IID_IJobRegGUI3>,
                         public CDualDispatch<IJobRegGUI4, &IID_IJobRegGUI4>,
                         public ISupportErrorInfo,
                         public IConnectionPointContainer {
public:
    // A new object with one reference, asked for iid.
    static HRESULT Create(REFIID iid, void** ppv);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IJobRegGUI
    STDMETHODIMP DoModal(long JobNo) override;
    STDMETHODIMP Initialize(IUnknown* pUnk) override;
    STDMETHODIMP AboutDialog() override;
    STDMETHODIMP get_KestrelFileName(BSTR* pVal) override;
    STDMETHODIMP put_KestrelFileName(BSTR newVal) override;
    STDMETHODIMP get_DefaultDriverSetting(VARIANT* pVal) override;
    STDMETHODIMP put_DefaultDriverSetting(VARIANT newVal) override;
    STDMETHODIMP get_DisableFunctionID(long FunctionID, long* pVal) override;
    STDMETHODIMP put_DisableFunctionID(long FunctionID, long newVal) override;
    STDMETHODIMP get_FixedFunction(long* pVal) override;
    STDMETHODIMP put_FixedFunction(long newVal) override;
    STDMETHODIMP get_TwainDriverName(BSTR* pVal) override;
    STDMETHODIMP put_TwainDriverName(BSTR newVal) override;
    STDMETHODIMP get_KestrelMutexName(BSTR* pVal) override;
    STDMETHODIMP put_KestrelMutexName(BSTR newVal) override;
    STDMETHODIMP CopyDialog(long SrcJobNo) override;
    STDMETHODIMP ControlDialog1() override;
    STDMETHODIMP ControlDialog2() override;
    STDMETHODIMP HelpDialog(HWND hwnd) override;
    STDMETHODIMP get_CopyRight(long index, DATE* pVal) override;
    STDMETHODIMP put_CopyRight(long index, DATE newVal) override;
    STDMETHODIMP get_AttachedMailSize(long* pVal) override;
    STDMETHODIMP put_AttachedMailSize(long newVal) override;
    STDMETHODIMP get_WarningSize(long* pVal) override;
    STDMETHODIMP put_WarningSize(long newVal) override;
    STDMETHODIMP get_DisableMonitor(long* pVal) override;
    STDMETHODIMP put_DisableMonitor(long newVal) override;
    STDMETHODIMP get_data(BSTR key, VARIANT* pVal) override;
    STDMETHODIMP put_data(BSTR key, VARIANT newVal) override;
    // IJobRegGUI2
    STDMETHODIMP CopyDialog2(long SrcJobNo, long min, long max) override;
    // IJobRegGUI3
    STDMETHODIMP DoModal2(long JobNo) override;
    STDMETHODIMP ControlDialog3() override;
    STDMETHODIMP CopyDialog3(long SrcJobNo, long min, long max) override;
    // IJobRegGUI4
    STDMETHODIMP ControlDialog4(long flag) override;
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    IUnknown* GetUnknown() { return static_cast<IJobRegGUI*>(this); }

private:
    CJobRegGUI();
    ~CJobRegGUI();
    CJobRegGUI(const CJobRegGUI&) = delete;
    CJobRegGUI& operator=(const CJobRegGUI&) = delete;

    HRESULT CopyDialogInRange(long nSrcJobNo, long nMin, long nMax);
    static HRESULT GetString(const std::wstring& value, BSTR* pVal);
    static HRESULT PutString(std::wstring& value, BSTR newVal);
    static HRESULT GetNumber(int value, long* pVal);

    LONG m_nRefs = 1;
    std::unique_ptr<CJobRegGUISettings> m_pSettings;
    CJobRegGUIEventsPoint m_eventsPoint;
};
