// The editor's texts and resources. Every user text is looked up in the
// localisation tables by its English text ("Taskdeck.loc" beside the host
// program); the English text is the fallback. Dialog templates live in the
// editor module and carry placeholder texts in "MS Sans Serif" 8; each dialog
// writes its captions and labels from EdText in its initialisation.
#pragma once
#include <windows.h>
#include <string>

// The editor module (templates, strings, icons, type library).
HINSTANCE EdInstance();
void EdSetInstance(HINSTANCE hInstance);

// Loads the localisation library and the catalogue once per process.
void EdLocalizeInit();
std::string EdText(const char* english);
// Sets a control's text from EdText.
void EdSetText(HWND hDlg, int nId, const char* english);
// The caption and the OK and Cancel buttons of a dialog, from EdText.
void EdSetDialogTexts(HWND hDlg, const char* englishCaption);
// A message box with a localised caption; the text is used as given.
int EdMessageBox(HWND owner, const std::string& text, const char* englishCaption, UINT type);
