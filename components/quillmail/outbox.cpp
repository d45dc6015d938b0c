#include <windows.h>
#include <shlobj.h>

#include "quillmail.h"

namespace quill {

std::string OutboxFolder() {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, "Outbox", RRF_RT_REG_SZ, nullptr, value,
                       &size) == ERROR_SUCCESS &&
        value[0])
        return value;
    char appData[MAX_PATH];
    ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    return std::string(appData) + "\\Quill Mail\\Outbox";
}

} // namespace quill
