// What the job dialog needs from the program around it: the model part, how
// the job was started, the panel path that honours the panel lock, and the
// scanner lock. The application object provides it; tests provide their own.
#pragma once

#include <windows.h>

class CJobAppImp;

class CJobSessionHost {
public:
    virtual CJobAppImp* GetImp() const = 0;
    virtual BOOL IsStartedByScanner() const = 0;
    // The scanner panel; nothing is shown while the panel lock is set.
    virtual void DispMessage(const char* text, BOOL bIsError) = 0;
    virtual void SetPanelLock(BOOL bLock) = 0;
    // Gives the scanner back to the service; raises CComError on failure.
    virtual void StiUnLock() = 0;

protected:
    ~CJobSessionHost() {}
};
