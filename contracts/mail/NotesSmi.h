// The Notes mail interface "SMI32.DLL" as the runner calls it: SMISendMail
// with a file list (full path, file name, 0 per file; pointer-sized entries
// in the 64-bit build) and SMISendDocuments, which must exist but is not
// called. Shared by the runner and the test library that stands in for it.
#pragma once
#include <windows.h>

struct SmiFileEntry {
    const char* path;
    const char* name;
    ULONG_PTR reserved; // 0
};

// (0, 0, 0, file count, file list, "", "", 0, 1, 0); 0 sent, 1 call again.
typedef ULONG(WINAPI* SmiSendMailFn)(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG, SmiFileEntry*,
                                     const char*, const char*, ULONG, ULONG, ULONG);
typedef ULONG(WINAPI* SmiSendDocumentsFn)(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG, SmiFileEntry*);
