#include "editor/EditorError.h"
#include "editor/EditorText.h"

void EdThrowText(const char* english) {
    throw CEditorText{EdText(english)};
}

void EdShowError(HWND owner, const std::string& text) {
    EdMessageBox(owner, text, "Error", MB_OK | MB_ICONWARNING);
}
