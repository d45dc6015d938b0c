// CTwain: the engine's TWAIN 1.9 application side. Loads the source manager,
// keeps the session state (1..7), sends every triplet through DSCall/SMCall
// (serialised by the call lock), finds and opens the data source by product
// name, filters the scan thread's messages for the source and runs the
// per-image transfer loops. Everything runs on the scan thread.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "contracts/vlmtwain.h"
#include "PageAssembler.h"
#include "TwainLogic.h"

using vlmscan::SCapValues;

class CTwain {
public:
    CTwain();
    virtual ~CTwain();
    CTwain(const CTwain&) = delete;
    CTwain& operator=(const CTwain&) = delete;

    int GetState() const { return m_nState; }
    BOOL LoadSourceManager();
    BOOL IsSourceManagerAvailable();
    BOOL OpenSourceManager(HWND hWnd);
    BOOL OpenSource(BOOL bShowError);
    BOOL EnableSource(HWND hWnd);
    BOOL EnableSourceUIOnly(HWND hWnd);
    BOOL DisableSource();
    BOOL CloseSource();
    BOOL CloseSourceManager(HWND hWnd);
    BOOL UnloadSourceManager();
    BOOL EndXfer();
    BOOL CancelXfers();
    BOOL StopXfers();
    BOOL EndPendingXfers(TW_UINT16 msg);
    BOOL DropToState(int nTarget, HWND hWnd);
    BOOL SetupSource(HWND hWnd);
    BOOL BeginAcquire(HWND hWnd);
    BOOL ReachOpenSource(HWND hWnd);
    BOOL OpenAndEnable(HWND hWnd, BOOL (CTwain::*pfnEnable)(HWND));
    BOOL TwainMessageHook(MSG* pMsg);

    BOOL DSCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF pData);
    BOOL SMCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF pData);

    BOOL GetCapCurrent(TW_UINT16 cap, TW_UINT16 itemType, void* pOut);
    // 4 enumeration, 6 range (TWON_ values), 0 otherwise.
    int GetCapValues(TW_UINT16 cap, SCapValues* pOut);
    BOOL SetCapValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);
    BOOL SetCapFix32(TW_UINT16 cap, double value);
    BOOL SetCapString(TW_UINT16 cap, const char* text);
    // Capabilities that carry an address (64-bit: the whole pointer).
    BOOL SetCapAddress(TW_UINT16 cap, uintptr_t address);
    BOOL GetCapAddress(TW_UINT16 cap, uintptr_t* pAddress);
    // Reads a TWTY_INT32 / UINT32 / INT16 ... current value as a long.
    BOOL GetCapLong(TW_UINT16 cap, TW_UINT16 itemType, long* pValue);
    TW_INT32 VendorOp(TW_UINT16 code, uintptr_t arg1, uintptr_t arg2);

    void GetLastDriverErrorText(std::string* pText, DWORD* pCode) const;
    void ClearLastDriverErrorText();

    TW_UINT16 GetLastReturnCode() const { return m_nLastRC; }
    TW_UINT16 GetLastConditionCode() const { return m_nLastCC; }
    const TW_IDENTITY& SourceIdentity() const;

    // Tests and the driver: which library the source manager came from.
    static std::string LoadedSourceManagerPath();

    // Virtual operations (defaults as the session's own behaviour).
    virtual BOOL SourceOpened() { return TRUE; }
    virtual void XferReady();
    virtual BOOL FileXfer();
    virtual BOOL MemXfer();
    virtual BOOL NativeXfer();
    virtual void CloseDsRequest() {}
    virtual BOOL ReopenSource() { return OpenSource(TRUE); }
    virtual void FileXferNotify(HGLOBAL hMem);
    virtual void NativeImageReceived(HANDLE hDib, BOOL bMissing);
    virtual void DibReceived(uint8_t* pImage, BOOL bNotComplete) {}
    virtual size_t MemXferReady(const TW_IMAGEINFO& info) { return 1; }
    virtual size_t MemXferReady2(const TW_IMAGEINFO& info) { return 0; }
    virtual BOOL MemXferBufferJpeg(int nBlock, const TW_IMAGEMEMXFER& strip) { return FALSE; }
    virtual size_t MemXferBufferExJpeg(int nBlock, const TW_IMAGEMEMXFER& strip) { return 0; }
    virtual BOOL MemXferBuffer(int nFirstRow, const TW_IMAGEMEMXFER& strip);
    virtual BOOL MemXferBufferEx(int nFirstRow, TW_IMAGEMEMXFER& strip) { return FALSE; }
    virtual BOOL CopyRow(int nRow, const uint8_t* pSrc, const TW_IMAGEMEMXFER& strip) {
        return TRUE;
    }
    virtual void MemXferPreDoneJpeg(const TW_IMAGEINFO& info, int nBlocks) {}
    virtual void MemXferPreDone(const TW_IMAGEINFO& info, int nRows) {}
    virtual void MemXferDone(BOOL bComplete) {}
    virtual BOOL AllocXferBuffer(TW_UINT32 nMin, TW_UINT32 nMax, TW_UINT32 nPreferred);
    virtual BOOL ReallocXferBuffer();
    virtual void FreeXferBuffer();
    virtual BOOL SetupFileXfer(TW_SETUPFILEXFER* pSetup);
    virtual void FileXferDone(const TW_SETUPFILEXFER* pSetup, BOOL bOk) {}
    virtual void StateChanged(int nOld, int nNew) {}
    virtual void AcquireFailed() {}
    virtual void XferGroupDone() {}
    virtual void Progress(UINT msg, int a, int b, int c) {}
    virtual BOOL HasExtImageInfo() { return FALSE; }
    virtual BOOL ReadExtImageInfo() { return FALSE; }
    // The page's current height and committed bytes, as the memory hooks
    // keep them (the transfer loop follows the page's growth through these).
    virtual TW_INT32 CurrentPageHeight() { return 0; }
    virtual size_t CurrentCommitted() { return 0; }

protected:
    void SetState(int nState);
    BOOL CapCall(TW_UINT16 msg, TW_CAPABILITY* pCap, vlm::CGlobalMem* pAnswer);
    BOOL SetCapOneValue(TW_UINT16 cap, const void* pOneValue, size_t cb);
    void FetchExtendedError();
    TW_UINT16 ReadConditionCode();
    void DrainMessages();
    BOOL MemXferFailed(BOOL bPageBegun);
    // A strip as the page assembler takes it.
    static SMemStrip StripOf(const TW_IMAGEMEMXFER& strip);
    void NoteDriverError(TW_UINT32 code, const char* text);
    // One ready event: the image information, then one image at a time by
    // the transfer mechanism while the source stays in state 6. before and
    // after run around each image (either may be empty).
    void TransferImages(const std::function<void()>& before, const std::function<void()>& after);
    HWND DefaultWindow(HWND hWnd) const;
    void ShowError(const char* text);

    int m_nState = 0;
    BOOL m_bTrace = TRUE;
    int m_nSavedState = 0;
    TW_IDENTITY m_AppId{};
    TW_UINT16 m_nLastRC = 0;
    TW_UINT16 m_nLastCC = 0;
    TW_USERINTERFACE m_UI{};
    BOOL m_bShowUI = TRUE;
    TW_PENDINGXFERS m_Pending{};
    HWND m_hParentWnd = nullptr;
    int m_nXferMech = 0; // TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY
    vlm::CModule m_hSMLib;
    BOOL m_bAcquiring = FALSE;
    BOOL m_bIsShowDSUI = FALSE;
    BOOL m_bCloseRequested = FALSE;
    std::string m_strSourceName;
    vlm::CGlobalMem m_ExtImageInfo; // the barcode request block
    vlm::CHandle m_hGuardEvent;
    vlm::CCriticalSection m_CallLock;
    std::string m_strLastDriverError;
    DWORD m_dwLastDriverError = 0;
    // The memory transfer buffer (the application owns it).
    TW_MEMORY m_XferBuffer{};
    TW_UINT32 m_nXferMin = 0, m_nXferMax = 0, m_nXferPreferred = 0;
    // The last image could not be transferred (a set-up call, the page
    // buffer or the image request failed): the batch ends after it.
    BOOL m_bXferFailed = FALSE;
    // A failed transfer ended the batch (cleared when a batch starts).
    BOOL m_bBatchFailed = FALSE;
    // The largest strip buffer a source may ask for.
    static constexpr TW_UINT32 kMaxXferBuffer = 64u << 20;
    std::unique_ptr<uint8_t[]> m_pXferMem;
    // The last MSG_PROCESSEVENT's TW_EVENT.TWMessage (for the state table).
    TW_UINT16 m_nEventMessage = 0;
    // The window that asked for the source's own settings window.
    HWND m_hUiCaller = nullptr;

private:
    void GuardEnter(const char* who);
    void GuardLeave();
    void Trace(const char* marker, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF pData,
               bool bAfter);
};
