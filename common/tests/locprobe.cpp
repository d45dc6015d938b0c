// locprobe.exe KEY...: the localisation front end as the runner sets it up
// (library search, user default language, "TaskdeckCore.loc" from the
// program folder); prints the language, the library and each text.
#include <cstdio>
#include "common/Localize.h"

int main(int argc, char** argv) {
    BOOL ok = VlmLocalizeInit("TaskdeckCore.loc");
    printf("init=%d\n", ok ? 1 : 0);
    printf("langid=%04x\n", static_cast<unsigned>(GetUserDefaultLangID()));
    printf("library=%s\n", VlmLocalizer().GetLibraryPath().c_str());
    for (int i = 1; i < argc; ++i)
        printf("text=%s\n", VlmLocalize(argv[i]).c_str());
    fflush(stdout);
    return 0;
}
