#include "editor/EditorText.h"
#include "common/Localize.h"

namespace {
HINSTANCE g_hInstance = nullptr;
}

HINSTANCE EdInstance() {
    return g_hInstance;
}

void EdSetInstance(HINSTANCE hInstance) {
    g_hInstance = hInstance;
}

void EdLocalizeInit() {
    static const BOOL bDone = VlmLocalizeInit("Taskdeck.loc");
    (void)bDone;
}

std::string EdText(const char* english) {
    return VlmLocalize(english);
}

void EdSetText(HWND hDlg, int nId, const char* english) {
    ::SetDlgItemTextA(hDlg, nId, EdText(english).c_str());
}

void EdSetDialogTexts(HWND hDlg, const char* englishCaption) {
    ::SetWindowTextA(hDlg, EdText(englishCaption).c_str());
    EdSetText(hDlg, IDOK, "OK");
    EdSetText(hDlg, IDCANCEL, "Cancel");
}

int EdMessageBox(HWND owner, const std::string& text, const char* englishCaption, UINT type) {
    return ::MessageBoxA(owner, text.c_str(), EdText(englishCaption).c_str(), type);
}
