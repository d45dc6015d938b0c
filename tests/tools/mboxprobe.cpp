// mboxprobe.exe "text" "caption" flags [top]: shows a message box (the
// topmost variant with "top") and prints the button that closed it.
#include <cstdio>
#include <cstdlib>
#include "framework/MessageBox.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: mboxprobe text caption flags [top]\n");
        return 2;
    }
    UINT flags = static_cast<UINT>(strtoul(argv[3], nullptr, 0));
    bool top = argc > 4 && !strcmp(argv[4], "top");
    int rc = top ? VlmMessageBoxTop(nullptr, argv[1], argv[2], flags)
                 : VlmMessageBox(nullptr, argv[1], argv[2], flags);
    static const char* names[] = {"0",       "IDOK",     "IDCANCEL", "IDABORT",
                                  "IDRETRY", "IDIGNORE", "IDYES",    "IDNO"};
    printf("result=%d %s\n", rc, rc >= 0 && rc <= 7 ? names[rc] : "?");
    fflush(stdout);
    return 0;
}
