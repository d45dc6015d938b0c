// twainlist: the data sources the platform's TWAIN source manager offers, one
// product name a line, as an application picking a scanner sees them.
#include "contracts/vlmtwain.h"
#include "framework/Handles.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
    vlm::CModule dsm(::LoadLibraryA("twain_32.dll"));
    auto entry = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(dsm.GetProc("DSM_Entry")));
    vlm::CWindowHandle wnd(::CreateWindowA("STATIC", "twainlist", WS_OVERLAPPED, 0, 0, 10, 10,
                                           nullptr, nullptr, nullptr, nullptr));
    if (!entry || !wnd.IsValid()) {
        std::fputs("twainlist: no TWAIN source manager\n", stderr);
        return 2;
    }
    TW_IDENTITY app{};
    app.Version.MajorNum = 1;
    app.Version.Language = TWLG_USA;
    app.Version.Country = TWCY_USA;
    app.ProtocolMajor = 1;
    app.ProtocolMinor = 9;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(app.Manufacturer, "Velmora Works Inc.");
    std::strcpy(app.ProductName, "twainlist");
    HWND hWnd = wnd.Get();
    if (entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &hWnd) != TWRC_SUCCESS) {
        std::fputs("twainlist: the source manager did not open\n", stderr);
        return 2;
    }
    TW_IDENTITY id{};
    for (TW_UINT16 rc = entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
         rc == TWRC_SUCCESS; rc = entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id))
        std::printf("%s\n", id.ProductName);
    entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &hWnd);
    return 0;
}
