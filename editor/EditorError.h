// Failures inside the editor's dialogs. A dialog raises its own failures as
// text (CEditorText) and store failures as CComError; the method frame of
// JobRegGUI and the dialogs' OK handlers catch both and show them in an
// "Error" box (EdShowError).
#pragma once
#include <windows.h>
#include <string>
#include "framework/ComError.h"

struct CEditorText {
    std::string m_strText; // shown as it stands (already localised where it is a user text)
};

// Raises CEditorText; the English text is looked up in the catalogue first.
[[noreturn]] void EdThrowText(const char* english);

// Store calls: a failing HRESULT becomes CComError.
inline void EdCheck(HRESULT hr) {
    if (FAILED(hr))
        ThrowIfFailed(hr);
}

// The "Error" box (warning icon) with the text of either failure; owner may be null.
void EdShowError(HWND owner, const std::string& text);
