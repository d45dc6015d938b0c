// What the faults of a user's PC need on the Windows side: a disk filled to
// the last megabyte, a share of the prefix taken away and given back.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "ProcessDriver.h"
#include "framework/Handles.h"

namespace kestreltest {

// Fills the disk of folder's drive with one file until free bytes are left.
inline bool FillDiskLeaving(const std::string& folder, const std::string& file, ULONGLONG free) {
    ULARGE_INTEGER avail{};
    if (!GetDiskFreeSpaceExA(folder.c_str(), &avail, nullptr, nullptr) || avail.QuadPart <= free)
        return false;
    vlm::CHandle h(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string chunk(64 * 1024, 'x');
    for (ULONGLONG left = avail.QuadPart - free; h.IsValid() && left > 0;) {
        const DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(left, chunk.size()));
        DWORD written = 0;
        if (!WriteFile(h.Get(), chunk.data(), n, &written, nullptr) || written != n)
            return false;
        left -= n;
    }
    return h.IsValid();
}

// A share of the prefix ("\\server\scans" is dosdevices\unc\server\scans)
// that the test takes away and gives back.
class CShare {
public:
    CShare() {
        const char* prefix = std::getenv("WINEPREFIX");
        const std::string unc =
            WinPath((std::string(prefix ? prefix : "") + "/dosdevices/unc").c_str());
        CreateDirectoryA(unc.c_str(), nullptr);
        m_strServer = "faultsrv" + std::to_string(GetCurrentProcessId());
        m_strHere = unc + "\\" + m_strServer;
        m_strGone = m_strHere + "-gone";
        m_bMade = CreateDirectoryA(m_strHere.c_str(), nullptr) &&
                  CreateDirectoryA((m_strHere + "\\scans").c_str(), nullptr);
    }
    ~CShare() {
        Return();
        RemoveTree(m_strHere);
    }
    bool Made() const { return m_bMade; }
    std::string Folder() const { return "\\\\" + m_strServer + "\\scans"; }
    bool Remove() { return MoveFileA(m_strHere.c_str(), m_strGone.c_str()) != FALSE; }
    bool Return() { return MoveFileA(m_strGone.c_str(), m_strHere.c_str()) != FALSE; }

private:
    std::string m_strServer, m_strHere, m_strGone;
    bool m_bMade = false;
};

} // namespace kestreltest
