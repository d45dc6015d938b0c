// A test library in place of the Notes mail interface "SMI32.DLL": records
// each SMISendMail call (file count, then path|name per file) in the file
// named by VLM_SMI_LOG, and answers 1 ("call again") VLM_SMI_AGAIN times first.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "contracts/mail/NotesSmi.h"

namespace {
LONG g_Again = -1;
}

extern "C" {

__declspec(dllexport) ULONG WINAPI
    SMISendMail(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG count, SmiFileEntry* files, const char* to,
                const char* subject, ULONG, ULONG ui, ULONG) {
    char log[MAX_PATH], again[16];
    if (g_Again < 0)
        g_Again = ::GetEnvironmentVariableA("VLM_SMI_AGAIN", again, sizeof again) ? atol(again) : 0;
    if (!::GetEnvironmentVariableA("VLM_SMI_LOG", log, sizeof log))
        return 2;
    FILE* f = std::fopen(log, "ab");
    if (!f)
        return 2;
    std::fprintf(f, "SMISendMail count=%lu to=%s subject=%s ui=%lu\n", count, to, subject, ui);
    for (ULONG i = 0; i < count; ++i)
        std::fprintf(f, "%s|%s|%lu\n", files[i].path, files[i].name,
                     (unsigned long)files[i].reserved);
    std::fclose(f);
    return g_Again-- > 0 ? 1 : 0;
}

__declspec(dllexport) ULONG WINAPI
    SMISendDocuments(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG, SmiFileEntry*) {
    return 2; // never called by the runner
}
}
