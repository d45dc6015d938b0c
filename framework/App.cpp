#include "framework/App.h"
#include "framework/Dialog.h"

CVlmApp* CVlmApp::s_pApp = nullptr;

std::string VlmProgramPath() {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    return std::string(path, n);
}

std::string VlmProgramFolder() {
    std::string path = VlmProgramPath();
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string VlmProgramName() {
    std::string name = VlmProgramPath();
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

CVlmApp::CVlmApp() : m_strProfileName(VlmProgramName()) {
    s_pApp = this;
}

CVlmApp::~CVlmApp() {
    if (s_pApp == this)
        s_pApp = nullptr;
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
