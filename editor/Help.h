// The editor's help file.
#pragma once
#include <windows.h>

// Opens the help file of the thread's language from the host program's
// folder, owned by owner. Where the old-format file is missing (or its viewer
// fails) the compiled HTML help file of the same name is opened; where
// neither exists the user is told which file is missing.
void EdOpenHelp(HWND owner);
