// Whether a dialog shows every text of its controls whole. Installed on the
// thread before the dialog opens: once the first top-level dialog has been
// initialised and shown, every visible text control in it (pages included)
// is measured in its own font and printed as a "fits:" or "clipped:" line
// (id, class, text, needed and available size); every second shown control
// with a mnemonic already taken gives a "clash:" line; then "fit: checked=N
// clipped=M clashes=K dpi=D", and the dialog is closed with Cancel.
#pragma once
#include <windows.h>

// FALSE when the thread's hooks could not be set. Called again, the next
// dialog of the thread is checked.
BOOL InstallFitCheck();
