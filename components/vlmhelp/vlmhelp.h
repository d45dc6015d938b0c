/* The help library "vlmhelp.dll": opens a compiled HTML help file (.chm)
   through the platform's HTML Help. Its callers load it by name and look up
   "VlmHelpA". */
#pragma once
#include <windows.h>

/* Commands, as the platform's WinHelp numbers them. */
#define VLMHELP_CONTEXT 0x0001 /* dwData: topic id of the file's map */
#define VLMHELP_QUIT 0x0002    /* closes every help window the caller opened */
#define VLMHELP_FINDER 0x000B  /* the file's contents */

/* Nonzero when the help window is open (or, for VLMHELP_QUIT, closed). Any
   other command shows the file's default topic. */
typedef BOOL(WINAPI* PFN_VlmHelpA)(HWND hwndOwner, LPCSTR pszHelpFile, UINT uCommand,
                                   ULONG_PTR dwData);
