// kestrel.exe: the job runner, started by the scanner's button event.
#include "runner/JobApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow) {
    CJobApp app;
    return VlmRunApp(app, hInstance, lpCmdLine, nCmdShow);
}
