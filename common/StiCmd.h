// The device command channel: CStiCmd, its interface, and CSuSTICmd, which
// carries the command blocks of common/portable/DeviceCommand.h to the
// scanner through devlink. kestrel, VX410 and corvid link this one copy
// (vlm_devcmd). Nothing here throws or shows anything: failures are 0/FALSE.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "common/portable/DeviceCommand.h"
#include "components/devlink/devlink.h"

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
    std::string GetSenseText() const;
    std::string GetDiagnosticText() const;

    STIHANDLE GetHandle() const { return m_hDevice; }

private:
    STIHANDLE m_hDevice = 0;
};

// For a device the caller opened itself. What the sense data of the last
// failed command means for the user, localised where the text is; empty
// when there is nothing to report (no paper counts as nothing: the user
// loads paper next). A sense that cannot be read is an unknown error.
std::string GetSenseText(STIHANDLE hDevice);
// Reads the diagnostic results and names the hardware fault they report.
std::string GetDiagnosticText(STIHANDLE hDevice);
