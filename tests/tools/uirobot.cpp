// uirobot.exe: waits for a dialog or message box of a process, prints it and
// optionally presses one of its buttons.
//   uirobot.exe (--pid N | --exe NAME.exe) [--caption TEXT] [--press BUTTON]
//               [--timeout MS] [--hidden] [--all] [--any-window] [--command ID]
// --any-window also finds top-level windows that are not dialogs; --command
// sends the found window a menu command (WM_COMMAND with that id).
// Exit codes: 0 found (and pressed), 1 timeout, 2 usage, 3 button not found.
#include "uirobot.h"
#include "uirobot_listview.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int Usage() {
    fprintf(stderr, "usage: uirobot (--pid N | --exe NAME) [--caption TEXT] [--press BUTTON]"
                    " [--timeout MS] [--hidden] [--all] [--any-window] [--command ID]\n");
    return 2;
}

int main(int argc, char** argv) {
    CUiFindOptions options;
    const char* press = nullptr;
    DWORD timeout = 10000;
    bool all = false;
    UINT command = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        bool hasValue = i + 1 < argc;
        if (!strcmp(a, "--pid") && hasValue)
            options.m_dwProcessId = strtoul(argv[++i], nullptr, 0);
        else if (!strcmp(a, "--exe") && hasValue)
            options.m_strExeName = argv[++i];
        else if (!strcmp(a, "--caption") && hasValue)
            options.m_strCaption = argv[++i];
        else if (!strcmp(a, "--press") && hasValue)
            press = argv[++i];
        else if (!strcmp(a, "--timeout") && hasValue)
            timeout = strtoul(argv[++i], nullptr, 0);
        else if (!strcmp(a, "--hidden"))
            options.m_bIncludeHidden = true;
        else if (!strcmp(a, "--all"))
            all = true;
        else if (!strcmp(a, "--any-window"))
            options.m_bAnyClass = true;
        else if (!strcmp(a, "--command") && hasValue)
            command = strtoul(argv[++i], nullptr, 0);
        else
            return Usage();
    }
    if (!options.m_dwProcessId && options.m_strExeName.empty())
        return Usage();
    CUiDialogInfo dialog;
    if (!UiWaitForDialog(options, timeout, dialog)) {
        printf("timeout\n");
        fflush(stdout);
        return 1;
    }
    if (all) {
        for (const CUiDialogInfo& d : UiFindDialogs(options))
            printf("%s\n", UiDescribe(d).c_str());
    } else {
        printf("%s\n", UiDescribe(dialog).c_str());
    }
    fflush(stdout);
    if (command && !UiChooseMenu(dialog.m_hWnd, command)) {
        fprintf(stderr, "uirobot: command %u not sent\n", command);
        return 3;
    }
    if (press && !UiPressButton(dialog, press)) {
        fprintf(stderr, "uirobot: no enabled button \"%s\"\n", press);
        return 3;
    }
    return 0;
}
