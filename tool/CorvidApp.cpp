#include "tool/CorvidApp.h"
#include <commctrl.h>
#include "common/Localize.h"
#include "common/SharedLibrary.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/ComInit.h"
#include "framework/Handles.h"
#include "framework/MessageBox.h"
#include "framework/Profile.h"
#include "tool/CorvidDlg.h"
#include "tool/TaskdeckConfig.h"

namespace {
const char kSection[] = "General";
} // namespace

BOOL CVX420CorvidApp::InitInstance() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    COleInitialize ole; // hosting of controls needs OLE
    SetRegistryKey("Velmora Works Inc.");
    OpenRunLog();

    // One tool at a time: a second start ends without a word.
    CTaskdeckConfig config;
    std::string mutexName = "CORVID";
    if (SUCCEEDED(config.Init()))
        mutexName = config.Value("CORVID_MUTEX");
    CHandle mutex(::CreateMutexA(nullptr, FALSE, mutexName.c_str()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        CVlmLog::Instance().Write("another corvid runs --> ends");
        return FALSE;
    }
    if (!m_strCmdLine.empty())
        return FALSE;

    InitLocalize();
    try {
        CComInitialize com;
        ThrowIfFailed(com.Result());
        RunWindow();
    } catch (const CComError& e) {
        VlmMessageBox(nullptr, e.Message().c_str(), VlmLocalize("Error").c_str(),
                      MB_OK | MB_ICONEXCLAMATION);
    }
    CVlmLog::Instance().Write("corvid ends");
    return FALSE;
}

void CVX420CorvidApp::OpenRunLog() {
    CVlmProfile profile(GetRegistryKey().c_str(), "corvid");
    if (!profile.GetInt(kSection, "WriteLog", 0))
        return;
    std::string name = profile.GetString(kSection, "LogFileName", VlmDefaultLogName().c_str());
    CVlmLog::Instance().Open(name.c_str());
    CVlmLog::Instance().Write("corvid start");
}

void CVX420CorvidApp::InitLocalize() {
    VlmLocalizeInit("Taskdeck.loc");
    // The installation keeps the library in the shared folder; only a tool
    // without any localisation library says so.
    if (!VlmLocalizer().IsActive())
        VlmMessageBox(nullptr, "zxdloc.dll is not found.", "", MB_OK);
    CVlmLog::Instance().Write("localisation: %s", VlmLocalizer().GetLibraryPath().c_str());
}

void CVX420CorvidApp::RunWindow() {
    CVlmLibrary control;
    if (!control.Load("vlmctrl.dll")) {
        VlmMessageBox(
            nullptr,
            VlmLocalize("Can't load a DLL which we need. Please check your installation.").c_str(),
            VlmLocalize("VX420 Taskdeck Registrar").c_str(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CVX420CorvidDlg dlg;
    dlg.DoModalAsMainWindow();
}
