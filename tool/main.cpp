// corvid.exe: the job list tool.
#include "tool/CorvidApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow) {
    CVX420CorvidApp app;
    return VlmRunApp(app, hInstance, lpCmdLine, nCmdShow);
}
