// Message boxes. The Top variant is topmost and is brought to the foreground
// even when the program was started in the background.
#pragma once
#include <windows.h>

int VlmMessageBox(HWND hWnd, const char* text, const char* caption, UINT flags);
int VlmMessageBoxTop(HWND hWnd, const char* text, const char* caption, UINT flags);
