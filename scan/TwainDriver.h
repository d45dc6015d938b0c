// CTwainDriver: the engine's scanner on the model's TWAIN data source. Sets
// the capabilities before a scan, keeps and restores the source's settings
// as a "[CustomDsData]" profile text, receives images (native or memory into
// a growing page buffer) and hands every page and the end of the batch to
// the application's main window.
#pragma once
#include "ScanDriver.h"
#include "Twain.h"

class CTwainDriver : public CScanDriver, public CTwain {
public:
    CTwainDriver();
    ~CTwainDriver() override;

    // The process-wide settings profile file, the default file of the
    // CustomDsData operations (a temporary "SuC" file until replaced).
    static std::string GetProfilePath();
    static void SetProfilePath(const char* pszPath);

    // The window that receives pages and the end of the batch: the one set
    // here, else the window the scan was started for, else the program's
    // main window.
    HWND MainWindow() const;
    void SetReceiverWindow(HWND hWnd) {
        if (hWnd)
            m_hReceiverWnd = hWnd;
    }
    // A scan request was posted: busy until its batch ends.
    void MarkScanRequested() { InterlockedExchange(&m_lScanPending, 1); }

    // The yield procedure given to the source: answers the cancel request.
    static int WINAPI YieldProc();

    // CScanDriver
    BOOL Probe(const char* pszSource, BOOL bShowError) override;
    void SetSourceName(const char* pszName) override;
    std::string GetSourceName() const override { return m_strSourceName; }
    BOOL OpenManager(HWND hWnd) override;
    BOOL CloseSourceManager() override;
    BOOL OpenDriver() override;
    BOOL CloseDriver() override;
    BOOL Scan(HWND hWnd) override;
    BOOL ScanPage(HWND hWnd) override;
    BOOL ScanMultiStream(HWND hWnd) override;
    BOOL Stop() override;
    BOOL Cancel() override;
    BOOL Setting(HWND hWnd, BOOL bDisable) override;
    BOOL Setting(HWND hWnd) override;
    BOOL Select(HWND hWnd) override;
    BOOL MessageHook(MSG* pMsg) override { return TwainMessageHook(pMsg); }
    void ScanPageEnd(HANDLE hDib, BOOL bMissing) override;
    void ScanBatchEnd() override;
    void ScanBatchEnd2() override;
    void ReleaseImage(HANDLE hDib) override;
    int GetBusyState() override;
    void CheckStopCancel() override;
    BOOL SaveCustomDsData(const char* pszFile) override;
    BOOL LoadCustomDsData(const char* pszFile) override;
    void SetTransferMechanism(int nMech) override { m_nXferMech = nMech; }
    int GetTransferMechanism() const { return m_nXferMech; }
    void ScanThreadProgressMessage(UINT msg, int a, int b, int c) override;
    BOOL SetFeeder(int nCode) override;
    int GetFeeder(int* pCode) override;
    int GetEnumFeeder(std::vector<uint16_t>* pList) override;
    BOOL SetImageType(int nCode) override;
    int GetImageType(int* pCode) override;
    int GetEnumImageType(std::vector<uint16_t>* pList) override;
    BOOL SetResolution(int nDpi) override;
    int GetResolution(int* pDpi) override;
    int GetEnumResolution(std::vector<uint16_t>* pList) override;
    int GetEnumResolutionAll(std::vector<uint16_t>* pList) override;
    BOOL SetPageSize(int nSize) override;
    int GetPageSize(int* pSize) override;
    int GetEnumPageSize(std::vector<uint16_t>* pList) override { return 0; }
    BOOL GetHalfToneString(int nIndex, std::string* pName) override;
    int GetEnumHalfToneString(std::vector<std::string>* pList) override;
    BOOL SetJobControl(int nValue) override;
    int GetJobControl(int* pValue) override;
    int GetEnumJobControl(std::vector<uint16_t>* pList) override;
    int GetEnumJobControlAll(std::vector<uint16_t>* pList) override;
    BOOL SetJobControlDialog(HWND hParent, int nValue) override;
    BOOL SetFeedingOption(int nValue) override;
    int GetFeedingOption(int* pValue) override;
    BOOL SetJobSeparator(int nValue) override;
    int GetJobSeparator(int* pValue) override;
    BOOL SetJobSepType(int nValue) override;
    int GetJobSepType(int* pValue) override;
    BOOL SetDropOut(int nCode) override;
    int GetDropOut(int nWindow, int* pCode) override;
    int GetDropOut(int* pCode) override;
    int GetEnumDropOut(std::vector<uint16_t>* pList) override;
    BOOL SetMultiStreamWindows(const VlmMultiStream* pRecord) override;
    BOOL SetDisableItem(BOOL bDisable) override;
    BOOL SetCCapability(int nCap, LONG_PTR nValue) override;
    BOOL GetCCapability(int nCap, LONG_PTR* pValue) override;
    BOOL ResetSettings() override;
    BOOL SetTagLongISISPath(int nItem, int nSubIndex, long nValue) override;
    BOOL GetTagLongISISPath(int nItem, int nSubIndex, long* pValue) override;
    BOOL SetTagASCIIISISPath(int nItem, const char* pszText) override;
    BOOL GetTagASCIIISISPath(int nItem, char* pszBuf, int cbBuf) override;
    BOOL LoadSourceManagerLibrary() override { return LoadSourceManager(); }
    BOOL PrepareScan() override;
    void EndScan() override;
    BOOL PrepareScanPage() override;
    void EndScanPage() override;
    BOOL PrepareScanMultiStream() override;
    BOOL GetScannerSupportedItems() override;
    BOOL GetLastDriverError(std::string* pText, DWORD* pCode) override;
    void ClearLastDriverError() override;

    // CTwain
    void XferReady() override;
    void CloseDsRequest() override;
    BOOL ReopenSource() override;
    void NativeImageReceived(HANDLE hDib, BOOL bMissing) override;
    void DibReceived(uint8_t* pImage, BOOL bNotComplete) override;
    size_t MemXferReady(const TW_IMAGEINFO& info) override;
    size_t MemXferReady2(const TW_IMAGEINFO& info) override;
    BOOL MemXferBufferJpeg(int nBlock, const TW_IMAGEMEMXFER& strip) override;
    size_t MemXferBufferExJpeg(int nBlock, const TW_IMAGEMEMXFER& strip) override;
    BOOL MemXferBufferEx(int nFirstRow, TW_IMAGEMEMXFER& strip) override;
    BOOL CopyRow(int nRow, const uint8_t* pSrc, const TW_IMAGEMEMXFER& strip) override;
    void MemXferPreDoneJpeg(const TW_IMAGEINFO& info, int nBlocks) override;
    void MemXferPreDone(const TW_IMAGEINFO& info, int nRows) override;
    void MemXferDone(BOOL bComplete) override;
    void XferGroupDone() override { ScanBatchEnd(); }
    void Progress(UINT msg, int a, int b, int c) override;
    BOOL HasExtImageInfo() override;
    BOOL ReadExtImageInfo() override;
    TW_INT32 CurrentPageHeight() override { return m_PageInfo.vlminfo.Height; }
    size_t CurrentCommitted() override { return m_Page.Committed(); }

    // Stored pages for tests of the page path.
    const CPageAssembler& Page() const { return m_Page; }

private:
    // Opens the source if needed and writes the operation to the scan log.
    BOOL Enter(const char* pszOp);
    // Close and open again through the scan thread's window (the named
    // messages), or directly once that window is gone.
    BOOL CloseThroughScanWindow();
    BOOL OpenThroughScanWindow();
    BOOL SetInt32Cap(TW_UINT16 cap, long value) {
        return SetCapValue(cap, TWTY_INT32, TW_UINT32(value));
    }
    BOOL SetUInt32Cap(TW_UINT16 cap, unsigned long value) {
        return SetCapValue(cap, TWTY_UINT32, value);
    }
    BOOL SetBoolCap(TW_UINT16 cap, BOOL b) { return SetCapValue(cap, TWTY_BOOL, b ? 1 : 0); }
    void PrepareSource();
    void PrepareSingleWindow();
    BOOL InstallYieldProc();
    void DescribePage(BOOL bIncomplete);
    BOOL DeliverPage(VlmPageInfo* pInfo);
    void FreeBarcodeList();
    void ResetPageInfo();
    int GetUInt32Cap(const char* pszOp, TW_UINT16 cap, int* pValue);
    BOOL StartAcquire(const char* pszName, HWND hWnd, int nMode, BOOL bOnePage,
                      BOOL (CTwainDriver::*pfnPrepare)());
    BOOL ListResolutions(std::vector<uint16_t>* pList, int* pCurrent);
    void LargestPage(const TW_IMAGEINFO& info, uint64_t* pWidth, uint64_t* pLength);

    CPageAssembler m_Page{m_PageInfo.vlminfo};
    VlmPageMessage m_PageMsg{};
    HWND m_hReceiverWnd = nullptr;
    HANDLE m_hNativeDib = nullptr; // owned until ReleaseImage
    BOOL m_bOnePageMode = FALSE;
    volatile LONG m_lScanPending = 0;
};
