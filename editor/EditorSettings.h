// The record each JobRegGUI object owns and hands to every dialog it opens:
// the job store, the client's properties and the title-check state. The
// dialogs read and write jobs only through the store; nothing else lasts
// between calls.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "Taskstore.h"
#include "framework/ComPtr.h"

class CJobRegGUI;

struct CJobRegGUISettings {
    CJobRegGUI* m_pOwner = nullptr;
    CComPtr<IJobStore> m_pJobStore;           // set by Initialize
    std::wstring m_strKestrelFileName;        // kept and returned only
    std::wstring m_strKestrelMutexName;       // the runner's mutex, checked before a job is saved
    std::wstring m_strTwainDriverName;        // data source the "&Setting..." button opens
    std::vector<BYTE> m_DefaultDriverSetting; // "driver" for a job that has none
    int m_nPanelTitleModel = 0;               // titles are checked against the panel
    int m_nTitleWarningShown = 0;             // the panel-character warning was shown
    int m_nAttachedMailSize = 100;            // MB the administrator dialog offers
    int m_nWarningSize = 1000000;             // MB the administrator dialog offers
    std::map<long, long> m_DisableFunctionID; // non-zero hides that function
    SYSTEMTIME m_CopyRight[2] = {};           // first and last copyright year
    int m_nFixedFunction = 0;                 // the list shows only the job's own function
};
