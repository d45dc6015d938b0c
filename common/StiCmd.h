// The device command channel: CStiCmd, its interface, and CSuSTICmd, which
// carries the command blocks of common/portable/DeviceCommand.h to the
// scanner through devlink. kestrel, VX410 and corvid link this one copy
// (vlm_devcmd). Nothing here throws or shows anything: failures are 0/FALSE.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "common/SharedLibrary.h"
#include "common/portable/DeviceCommand.h"
#include "components/devlink/devlink.h"

// devlink.dll's exports, found when the channel is first used, never imported
// at load time: a program that loads VX410.dll by its full path from another
// folder would otherwise fail to load it (the loader looks for an import
// beside the program). Searched in the folder of the module that holds the
// channel (the program, or the plug-in), then as the maker's shared library.
class CDevLink {
public:
    static constexpr char kLibraryName[] = "devlink.dll";

    // TRUE when the library and all its exports are there; only the first
    // call searches. A failure is written to the run log once per object and
    // leaves ERROR_MOD_NOT_FOUND (or ERROR_PROC_NOT_FOUND) as the last error.
    BOOL Load();

    decltype(&::StiProbeDeviceID) m_pfnProbeDeviceID = nullptr;
    decltype(&::StiOpen) m_pfnOpen = nullptr;
    decltype(&::StiClose) m_pfnClose = nullptr;
    decltype(&::StiWrite) m_pfnWrite = nullptr;
    decltype(&::StiRead) m_pfnRead = nullptr;
    decltype(&::StiNone) m_pfnNone = nullptr;
    decltype(&::StiGetSenseCode) m_pfnGetSenseCode = nullptr;
    decltype(&::StiExecCommand) m_pfnExecCommand = nullptr;

private:
    CVlmLibrary m_library;
    bool m_bTried = false;
    DWORD m_dwError = ERROR_SUCCESS;
};

// The channel's operations, in this slot order. Results are 32-bit, TRUE 1.
class CStiCmd {
public:
    virtual BOOL Open(const char* pszDeviceName) = 0;
    virtual BOOL ReservedA() = 0;
    virtual BOOL Close() = 0;
    virtual void ReservedB() = 0;
    virtual BOOL ExecCommand(DWORD dwValue) = 0;
    virtual BOOL Write(const BYTE* pBlock, DWORD cbBlock, const BYTE* pData, DWORD cbData) = 0;
    virtual BOOL Read(const BYTE* pBlock, DWORD cbBlock, BYTE* pBuffer, DWORD cbBuffer) = 0;
    virtual BOOL ReservedC(DWORD dwFirst, DWORD dwSecond) = 0;
    virtual BOOL GetSenseCode(BYTE* pBuffer, DWORD cbBuffer) = 0;

protected:
    // Never deleted through the interface, so it needs no slot for that.
    ~CStiCmd() = default;
};

// What a caller's job list says about one job number when the titles are
// written: write the title it filled in, clear the slot (no such job), or
// stop writing (a failed store, a stop request).
enum class JobTitleAction { Write, Clear, Stop };

class CSuSTICmd : public CStiCmd {
public:
    CSuSTICmd() = default;
    // Owners call Close; a handle still held here is closed so that it
    // does not keep the device.
    virtual ~CSuSTICmd();
    CSuSTICmd(const CSuSTICmd&) = delete;
    CSuSTICmd& operator=(const CSuSTICmd&) = delete;

    // TRUE at once when a handle is held.
    BOOL Open(const char* pszDeviceName) override;
    BOOL ReservedA() override { return 0; }
    // The result of StiClose; 0 when no handle was held.
    BOOL Close() override;
    void ReservedB() override {}
    // Passed through, also without a handle.
    BOOL ExecCommand(DWORD dwValue) override;
    // Write, Read and GetSenseCode answer 0 without a handle.
    BOOL Write(const BYTE* pBlock, DWORD cbBlock, const BYTE* pData, DWORD cbData) override;
    BOOL Read(const BYTE* pBlock, DWORD cbBlock, BYTE* pBuffer, DWORD cbBuffer) override;
    BOOL ReservedC(DWORD, DWORD) override { return 0; }
    BOOL GetSenseCode(BYTE* pBuffer, DWORD cbBuffer) override;

    // Finds the device by its friendly name ("VELMORA VX-410 USB") and opens
    // it through Open. TRUE at once when a handle is held.
    BOOL OpenByFriendlyName(const char* pszFriendlyName);
    // Job numbers 1..99, titles of at most 29 bytes in the system's ANSI code
    // page; anything else, or no handle, sends nothing and answers FALSE.
    BOOL WriteJobTitle(long nJobNumber, const char* pTitle, DWORD cbTitle);
    BOOL ClearJobTitle(long nJobNumber);
    // Job numbers 1..99 in order, as source says; the first write or clear
    // that fails ends the list, so the later numbers keep what the scanner
    // had. Answers the job number that failed, 0 when none did.
    long WriteJobTitles(
        const std::function<JobTitleAction(long nJobNumber, std::string& title)>& source);

    // The panel's message line (the first 32 bytes of the text).
    BOOL ShowPanelMessage(devcmd::DisplayKind kind, const char* pszText);
    // Zeroes the buffer, then reads the device information into it.
    BOOL ReadDeviceInformation(BYTE (&info)[devcmd::kDeviceInfoSize]);
    // Nonzero when the scanner is ready to feed; 0: GetSenseText says why.
    BOOL LoadCheck();
    // What the sense data of the last failed command means for the user,
    // localised where the text is; empty when there is nothing to report (no
    // paper counts as nothing: the user loads paper next). A sense that
    // cannot be read is an unknown error.
    std::string GetSenseText() const;
    // Reads the diagnostic results and names the hardware fault they report.
    std::string GetDiagnosticText() const;

    STIHANDLE GetHandle() const { return m_hDevice; }

private:
    // Mutable: the library is looked for at first use, also by the const
    // text queries.
    mutable CDevLink m_devlink;
    STIHANDLE m_hDevice = 0;
};
