// The model part of the runner: names, panel and lock hooks. One subclass per
// scanner model; the slot order of the virtual operations is fixed.
#pragma once

#include <windows.h>

#include <string>

#include "Taskstore.h"

class CJobDlg;

class CJobAppImp {
public:
    virtual ~CJobAppImp() {}                                 // 0
    virtual BOOL MutuallyExclusive() = 0;                    // 1
    virtual const char* GetModelName() = 0;                  // 2
    virtual const char* GetTempFolderName() = 0;             // 3
    virtual const char* GetSettingsFileName() = 0;           // 4
    virtual const char* GetErrorModeMessageName() = 0;       // 5
    virtual const char* GetTwainDsName() = 0;                // 6
    virtual const char* GetToolMutexName() = 0;              // 7
    virtual const char* GetServicePipeName() = 0;            // 8
    virtual long GetModelIndex() = 0;                        // 9
    virtual void OnStiLock() = 0;                            // 10
    virtual void OnStiUnLock() = 0;                          // 11
    virtual void NcStiUnLock(CJobDlg* pDlg) = 0;             // 12
    virtual void ShowPanelMessage(const char* text) = 0;     // 13
    virtual void ShowPanelError(const char* text) = 0;       // 14
    virtual long FilterJobNumber(long nJob) { return nJob; } // 15
    virtual void NotifyEvent(DWORD dwCode, const char* title, const char* module,
                             const char* text) {}                          // 16
    virtual void SetLastJobNum(long nJob) {}                               // 17
    virtual void ShowNotRegistered(const char* title, const char* text) {} // 18
    virtual void DispMessageToScaner(const char* text, BOOL bIsError) {}   // 19
    virtual void DispMessageToScaner_init(const char* path, long value) {} // 20
    virtual void OnStartNotFromScanner(long value) {}                      // 21
    virtual BOOL QueryReservedA() { return FALSE; }                        // 22
    virtual long QueryReservedB() { return 0; }                            // 23
};

// What a model part may ask of the application that runs it. The application
// implements it; the model part never sees the application class itself.
class CJobAppHost {
public:
    // The STI device named on the command line ("" until it is read).
    virtual const std::string& GetStiDeviceName() const = 0;
    // The run's job store, opened for the model on first use (the one
    // start-up loads the job from). Raises CComError.
    virtual IJobStore* GetJobStore() = 0;

protected:
    ~CJobAppHost() = default;
};

// Event codes passed to NotifyEvent.
constexpr DWORD kEventJobStarted = 0x4000044C;
constexpr DWORD kEventAnotherJob = 0xC00003E8;
constexpr DWORD kEventScanStartFailed1 = 0xC00003E9;
constexpr DWORD kEventScanStartFailed2 = 0xC00003EA;
constexpr DWORD kEventScanStartFailed3 = 0xC00003EB;
