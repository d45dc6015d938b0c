// CScan: what a program holds to scan. Its constructor creates the driver
// and starts the scan thread (CScanThread, a hidden window of class
// "Harv Scan Thread"); every TWAIN operation runs on that thread, reached by
// messages to the hidden window. Pages (0x8001, 0x8034) and the end of the
// batch (0x8002) come back to the application's main window.
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "framework/UiThread.h"
#include "ScanDriver.h"
#include "contracts/WindowMessages.h"

class CScanThread : public CVlmUiThread {
public:
    explicit CScanThread(CScanDriver* pDriver);
    ~CScanThread() override;

    HWND GetScanWnd() const { return m_hScanWnd; }

    CScanDriver* m_pScanDriver;
    HWND m_hScanWnd = nullptr;
    HANDLE m_hEventCompleteInitialize = nullptr; // owned by CScan
    DWORD m_nThreadID = 0;

protected:
    BOOL InitInstance() override;
    int ExitInstance() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    BOOL m_bComInit = FALSE;
};

class CScan {
public:
    CScan();
    explicit CScan(int nProtocol);
    virtual ~CScan();
    CScan(const CScan&) = delete;
    CScan& operator=(const CScan&) = delete;

    BOOL Probe(const char* pszSource, BOOL bShowError);
    void ScanStart(HWND hDlg);
    void ScanPageStart(HWND hDlg);
    void ScanMultiStream(HWND hDlg);
    void ScanStop();
    void ScanCancel();
    // The busy state when busy, else the result of the settings run.
    int ScannerSetting(HWND hDlg, BOOL bDisable);
    BOOL ScannerSelect(HWND hWnd);
    void ReleaseDriver();
    BOOL StoreSetting(const char* pszFile);
    BOOL RestoreSetting(const char* pszFile);
    void SetCompType(BOOL bJpeg, int nQuality);
    // Scan log switch and the transfer mechanism (0 native, 2 memory).
    void SetScanLog(BOOL bOn, int nXferMech);
    void ReleaseImage(HANDLE hDib);

    // The window that receives the page and batch messages (default: the
    // window a scan is started for, else the program's main window).
    void SetMainWindow(HWND hWnd);
    // Page splitting (both programs leave it at 1 x 1).
    void SetSplit(int nHorizontal, int nVertical, int nSwapMode);

    BOOL SetFeeder(int nCode);
    int GetFeeder(int* pCode);
    int GetEnumFeeder(std::vector<uint16_t>* pList);
    BOOL SetImageType(int nCode);
    int GetImageType(int* pCode);
    int GetEnumImageType(std::vector<uint16_t>* pList);
    BOOL SetResolution(int nDpi);
    int GetResolution(int* pDpi);
    int GetEnumResolution(std::vector<uint16_t>* pList);
    int GetEnumResolutionAll(std::vector<uint16_t>* pList);
    BOOL GetHalfToneString(int nIndex, std::string* pName);
    int GetEnumHalfToneString(std::vector<std::string>* pList);
    BOOL SetJobControl(int nValue);
    int GetJobControl(int* pValue);
    int GetEnumJobControl(std::vector<uint16_t>* pList);
    int GetEnumJobControlAll(std::vector<uint16_t>* pList);
    BOOL SetJobControlDialog(HWND hParent, int nValue);
    BOOL SetFeedingOption(int nValue);
    int GetFeedingOption(int* pValue);
    BOOL SetJobSeparator(int nValue);
    int GetJobSeparator(int* pValue);
    BOOL SetJobSepType(int nValue);
    int GetJobSepType(int* pValue);
    int GetDropOut(int nWindow, int* pCode);
    BOOL SetDropOut(int nCode);
    int GetEnumDropOut(std::vector<uint16_t>* pList);
    BOOL SetMultiStreamWindows(const VlmMultiStream* pRecord);
    BOOL SetDisableItem(BOOL bDisable);
    // Values are pointer-sized: CCAP_VLM_YIELDPROC carries the address of a
    // VLMYIELDPROC (0 gives the driver's own back).
    BOOL SetCCapability(int nCap, LONG_PTR nValue);
    BOOL GetCCapability(int nCap, LONG_PTR* pValue);
    BOOL SetTagLongISISPath(int nItem, int nSubIndex, long nValue);
    BOOL GetTagLongISISPath(int nItem, int nSubIndex, long* pValue);
    BOOL SetTagASCIIISISPath(int nItem, const char* pszText);
    BOOL GetTagASCIIISISPath(int nItem, char* pszBuf, int cbBuf);

    // The driver's last error (text and code) and its reset.
    BOOL GetLastDriverError(std::string* pText, DWORD* pCode);
    void ClearLastDriverError();
    int GetBusyState();
    CScanDriver* GetDriver() const { return m_pScanDriver.get(); }
    HWND GetScanWnd() const { return m_pScanThread ? m_pScanThread->GetScanWnd() : nullptr; }

    int m_nProtocol = 0;
    // The driver outlives the thread that uses it: declared first, freed last.
    std::unique_ptr<CScanDriver> m_pScanDriver;
    std::unique_ptr<CScanThread> m_pScanThread;

private:
    void Construct(int nProtocol);
    void StartScan(HWND hDlg, UINT msg, const char* pszLog);
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    template <class T> int SendForResult(UINT msg, T* pOut) {
        return static_cast<int>(Send(msg, 0, reinterpret_cast<LPARAM>(pOut)));
    }
};
