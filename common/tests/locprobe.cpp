// locprobe.exe [--tool] KEY...: the localisation front end as the runner
// sets it up (library search, user default language, "TaskdeckCore.loc" from
// the program folder), or with --tool as the job list tool and the editor
// do; prints the language, the library and each text.
#include <cstdio>
#include <cstring>
#include "common/Localize.h"

int main(int argc, char** argv) {
    const bool tool = argc > 1 && std::strcmp(argv[1], "--tool") == 0;
    BOOL ok = VlmLocalizeInit("TaskdeckCore.loc", !tool);
    if (tool) {
        --argc;
        ++argv;
    }
    printf("init=%d\n", ok ? 1 : 0);
    printf("langid=%04x\n", static_cast<unsigned>(GetUserDefaultLangID()));
    printf("library=%s\n", VlmLocalizer().GetLibraryPath().c_str());
    for (int i = 1; i < argc; ++i)
        printf("text=%s\n", VlmLocalize(argv[i]).c_str());
    fflush(stdout);
    return 0;
}
