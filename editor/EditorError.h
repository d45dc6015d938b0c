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

// Runs f; a failure it raises (text or store error) goes to onFailure as its
// text. FALSE: f failed.
template <class F, class OnFailure> BOOL EdCatchFailure(F&& f, OnFailure&& onFailure) {
    try {
        f();
        return TRUE;
    } catch (const CEditorText& e) {
        onFailure(e.m_strText);
    } catch (const CComError& e) {
        onFailure(e.Message());
    }
    return FALSE;
}

// Runs f; a failure it raises is shown in an "Error" box. FALSE: f failed.
template <class F> BOOL EdShowingErrors(HWND owner, F&& f) {
    return EdCatchFailure(f, [owner](const std::string& text) { EdShowError(owner, text); });
}
