// CScanDriver: the engine's abstract scanner. Every operation does nothing
// and answers 0 here; CTwainDriver gives them their TWAIN meaning. The
// controller (CScan) reaches a driver only on the scan thread.
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "PageInfo.h"
#include "TwainLogic.h"

// Record of the multi-stream windows (0x8033).
struct VlmMultiStream {
    struct Entry {
        int nType; // 2 -> window 2, 3 -> 255, 4 -> 254, other -> 1
        int nImageType;
        int nResolution;
        int nDropOut;
        int bJpeg;
        int nQuality;
    } Entry[4];
    int bFront; // the front carries two windows
    int bBack;
};

class CScanDriver {
public:
    CScanDriver();
    virtual ~CScanDriver() = default;
    CScanDriver(const CScanDriver&) = delete;
    CScanDriver& operator=(const CScanDriver&) = delete;

    virtual BOOL Probe(const char* pszSource, BOOL bShowError) { return 0; }
    virtual void SetSourceName(const char* pszName) {}
    virtual std::string GetSourceName() const { return std::string(); }
    virtual BOOL OpenManager(HWND hWnd) { return 0; }
    virtual BOOL CloseSourceManager() { return 0; }
    virtual BOOL OpenDriver() { return 0; }
    virtual BOOL CloseDriver() { return 0; }
    virtual BOOL Scan(HWND hWnd) { return 0; }
    virtual BOOL ScanPage(HWND hWnd) { return 0; }
    virtual BOOL ScanMultiStream(HWND hWnd) { return 0; }
    virtual BOOL Stop() { return 0; }
    virtual BOOL Cancel() { return 0; }
    virtual BOOL Setting(HWND hWnd, BOOL bDisable) { return 0; }
    virtual BOOL Setting(HWND hWnd) { return 0; }
    virtual BOOL Select(HWND hWnd) { return 0; }
    virtual BOOL MessageHook(MSG* pMsg) { return 0; }
    virtual void ScanPageEnd(HANDLE hDib, BOOL bMissing) {}
    virtual void UnusedSlot() {} // keeps the order of the operations after it
    virtual void ScanBatchEnd() {}
    virtual void ScanBatchEnd2() {}
    virtual void ReleaseImage(HANDLE hDib) {}
    // 1 while acquiring, 2 while the source's settings window is up, else 0.
    virtual int GetBusyState() { return 0; }
    virtual void CheckStopCancel() {}
    virtual BOOL SaveCustomDsData(const char* pszFile) { return 0; }
    virtual BOOL LoadCustomDsData(const char* pszFile) { return 0; }
    virtual void SetTransferMechanism(int nMech) {}
    virtual void ScanThreadProgressMessage(UINT msg, int a, int b, int c) {}
    virtual BOOL SetFeeder(int nCode) { return 0; }
    virtual int GetFeeder(int* pCode) { return 0; }
    virtual int GetEnumFeeder(std::vector<uint16_t>* pList) { return 0; }
    virtual BOOL SetImageType(int nCode) { return 0; }
    virtual int GetImageType(int* pCode) { return 0; }
    virtual int GetEnumImageType(std::vector<uint16_t>* pList) { return 0; }
    virtual BOOL SetResolution(int nDpi) { return 0; }
    virtual int GetResolution(int* pDpi) { return 0; }
    virtual int GetEnumResolution(std::vector<uint16_t>* pList) { return 0; }
    virtual int GetEnumResolutionAll(std::vector<uint16_t>* pList) { return 0; }
    virtual BOOL SetPageSize(int nSize) { return 0; }
    virtual int GetPageSize(int* pSize) { return 0; }
    virtual int GetEnumPageSize(std::vector<uint16_t>* pList) { return 0; }
    virtual BOOL GetHalfToneString(int nIndex, std::string* pName) { return 0; }
    virtual int GetEnumHalfToneString(std::vector<std::string>* pList) { return 0; }
    virtual BOOL SetJobControl(int nValue) { return 0; }
    virtual int GetJobControl(int* pValue) { return 0; }
    virtual int GetEnumJobControl(std::vector<uint16_t>* pList) { return 0; }
    virtual int GetEnumJobControlAll(std::vector<uint16_t>* pList) { return 0; }
    virtual BOOL SetJobControlDialog(HWND hParent, int nValue) { return 0; }
    virtual BOOL SetFeedingOption(int nValue) { return 0; }
    virtual int GetFeedingOption(int* pValue) { return 0; }
    virtual BOOL SetJobSeparator(int nValue) { return 0; }
    virtual int GetJobSeparator(int* pValue) { return 0; }
    virtual BOOL SetJobSepType(int nValue) { return 0; }
    virtual int GetJobSepType(int* pValue) { return 0; }
    virtual BOOL SetDropOut(int nCode) { return 0; }
    virtual int GetDropOut(int nWindow, int* pCode) { return 0; }
    virtual int GetDropOut(int* pCode) { return 0; }
    virtual int GetEnumDropOut(std::vector<uint16_t>* pList) { return 0; }
    virtual BOOL SetMultiStreamWindows(const VlmMultiStream* pRecord) { return 0; }
    virtual BOOL SetDisableItem(BOOL bDisable) { return 0; }
    virtual BOOL SetCCapability(int nCap, LONG_PTR nValue) { return 0; }
    virtual BOOL GetCCapability(int nCap, LONG_PTR* pValue) { return 0; }
    virtual BOOL ResetSettings() { return 0; }
    virtual BOOL SetTagLongISISPath(int nItem, int nSubIndex, long nValue) { return 0; }
    virtual BOOL GetTagLongISISPath(int nItem, int nSubIndex, long* pValue) { return 0; }
    virtual BOOL SetTagASCIIISISPath(int nItem, const char* pszText) { return 0; }
    virtual BOOL GetTagASCIIISISPath(int nItem, char* pszBuf, int cbBuf) { return 0; }
    virtual BOOL LoadSourceManagerLibrary() { return 0; }
    virtual BOOL PrepareScan() { return 0; }
    virtual void EndScan() {}
    virtual BOOL PrepareScanPage() { return 0; }
    virtual void EndScanPage() {}
    virtual BOOL PrepareScanMultiStream() { return 0; }
    virtual BOOL GetScannerSupportedItems() { return 0; }
    virtual void ClearSupportedItems();
    virtual BOOL GetLastDriverError(std::string* pText, DWORD* pCode) { return 0; }
    virtual void ClearLastDriverError() {}

    // The scan thread's window (set once it exists).
    void SetScanThreadHandle(HWND hWnd) { m_hScanThreadWnd = hWnd; }
    HWND GetScanThreadHandle() const { return m_hScanThreadWnd; }

    // Stop and cancel requests: written by the caller's thread, read by the
    // scan thread and the yield procedure (whole-word writes, no lock).
    volatile LONG m_bStopRequested = FALSE;
    volatile LONG m_bCancelRequested = FALSE;
    int m_nScanMode = 0; // 1 one page, 2 batch
    HWND m_hScanThreadWnd = nullptr;
    VlmPageInfo m_PageInfo{};
    BOOL m_bJpeg = FALSE;
    int m_nJpegQuality = 75;
    short m_nSavedXferCount = 0;
    unsigned short m_bSavedAutoScan = 0;
    int m_nSplitHorizontal = 1;
    int m_nSplitVertical = 1;
    int m_nSplitSwapMode = 0;
    BOOL m_bVendorFlag = FALSE;
    std::vector<uint16_t> m_ImageTypes, m_ResolutionsAll, m_Resolutions, m_DropOuts,
        m_JobControlsAll, m_JobControls, m_Feeders;
    std::vector<std::string> m_HalftoneNames;
    int m_nCurImageType = 0, m_nCurResolution = 0, m_nCurDropOut = 0, m_nCurJobControl = 0,
        m_nCurFeeder = 0, m_nCurHalftone = 0;
    int m_nWindowCountBits = -1;
    int m_nJpegSupport = -1;
    vlmscan::CSide m_Side;
    // The barcode list of the current page (one block, VlmBarcodeList).
    std::unique_ptr<uint8_t[]> m_pBarcodeList;
    // The caller's own CCAP_VLM_YIELDPROC (0: the driver's own), set again
    // before every scan because the source forgets it when it is reopened.
    uintptr_t m_nOwnYieldProc = 0;
    // Where the page and batch messages go; see CScan::SetMainWindow.
    HWND m_hMainWnd = nullptr;
};
