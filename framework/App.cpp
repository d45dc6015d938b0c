#include "framework/App.h"
#include "framework/Dialog.h"

CVlmApp* CVlmApp::s_pApp = nullptr;

CVlmApp::CVlmApp() {
    s_pApp = this;
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::string name(path, n);
        size_t slash = name.find_last_of("\\/");
        if (slash != std::string::npos)
            name.erase(0, slash + 1);
        size_t dot = name.rfind('.');
        if (dot != std::string::npos)
            name.erase(dot);
        m_strProfileName = name;
    }
}

CVlmApp::~CVlmApp() {
    if (s_pApp == this)
        s_pApp = nullptr;
}

std::string CVlmApp::GetProgramFolder() const {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    std::string folder(path, n);
    size_t slash = folder.find_last_of('\\');
    if (slash != std::string::npos)
        folder.erase(slash);
    return folder;
}

BOOL CVlmApp::PreTranslateMessage(MSG* pMsg) {
    return CVlmDialog::PreTranslateModeless(pMsg);
}

int CVlmApp::Run() {
    MSG msg;
    for (;;) {
        BOOL rc = ::GetMessageA(&msg, nullptr, 0, 0);
        if (rc == 0)
            return static_cast<int>(msg.wParam);
        if (rc == -1)
            return -1;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

int VlmRunApp(CVlmApp& app, HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    app.m_hInstance = hInstance ? hInstance : ::GetModuleHandleA(nullptr);
    app.m_strCmdLine = lpCmdLine ? lpCmdLine : "";
    app.m_nCmdShow = nCmdShow;
    if (app.InitInstance())
        app.m_nExitCode = app.Run();
    return app.ExitInstance();
}

int VlmWinMain(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    CVlmApp* app = CVlmApp::GetApp();
    if (!app)
        return -1;
    return VlmRunApp(*app, hInstance, lpCmdLine, nCmdShow);
}
