// The job title checks that the New/Editing and copy dialogs run on OK.
#pragma once
#include <windows.h>
#include <string>
#include "editor/EditorSettings.h"

// How many bytes a title box takes: what the scanner's panel shows for
// models that show titles there, 40 otherwise.
size_t EdTitleLimit(const CJobRegGUISettings* pSettings);

// The panel check: a title the scanner cannot show warns once ("Warning")
// until a title passes again. TRUE when the title passes.
BOOL EdTitleCheck(HWND owner, CJobRegGUISettings* pSettings, const std::string& title);

// On OK of a dialog with a title box, for models that show titles on their
// panel: an empty title asks first (No keeps the dialog), then the panel
// check runs; bFreshWarning warns again about a title already warned about
// (otherwise only a new input is, see EdTitleCheck). FALSE focuses the title
// box: stay open.
BOOL EdConfirmTitle(HWND hDlg, int nTitleBoxId, CJobRegGUISettings* pSettings, BOOL bFreshWarning);
