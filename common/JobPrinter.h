// A job's printer: the print dialog's DEVMODE and DEVNAMES blocks with its
// flags, page values and copies, carried between the system, the job store
// ("devmode", "devname" as byte blocks, "Flags", "nFromPage", "nToPage",
// "nMinPage", "nMaxPage", "nCopies") and the spooler. The runner prints with
// it; the editor shows it to the user in the platform's print dialog.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Taskstore.h"
#include "framework/Handles.h"

class CJobPrintDialog {
public:
    // No selection, no page numbers, the DEVMODE's copies and collation, no
    // print-to-file; the dialog also returns a device context.
    static constexpr DWORD kFlags = 0x14000C | PD_RETURNDC;
    // Not stored: return-default and every hook and template flag.
    static constexpr DWORD kFlagsNotStored = 0x3F400;

    // The system's default printer without showing anything: its DEVMODE,
    // DEVNAMES and a device context (m_hDC). FALSE when there is none.
    BOOL GetDefaults();
    // The platform's print dialog (the full print form, never the set-up
    // form), prepared from the members, with kFlags' choices; the collation
    // flag follows the DEVMODE. On OK the members take the dialog's printer
    // and values; FALSE on Cancel or when the dialog fails.
    BOOL DoModal(HWND hOwner);
    // Writes the printer into the job: "devmode" and "devname" as byte
    // blocks, "Flags" without kFlagsNotStored, the page values and the copies.
    // Raises CComError.
    void Store(IJobData* pJob) const;
    // The job's printer back: only when both "devmode" and "devname" are byte
    // blocks, which then become the DEVMODE and DEVNAMES, with the flags and
    // page values. FALSE when the job holds no printer or a block is not a
    // well-formed DEVMODE or DEVNAMES. Raises CComError.
    BOOL Restore(IJobData* pJob);
    // A device context for the printer DEVNAMES names, set up by DEVMODE;
    // nullptr when none can be made.
    HDC CreatePrinterDC() const;
    // The printer DEVNAMES names ("" without one).
    std::string DeviceName() const;

    DWORD m_dwFlags = kFlags;
    WORD m_nFromPage = 0, m_nToPage = 0, m_nMinPage = 0, m_nMaxPage = 0, m_nCopies = 1;
    CGlobalMem m_hDevMode, m_hDevNames;
    CDc m_hDC;

private:
    // The dialog's structure with the members' page values and copies.
    PRINTDLGA Prepare(DWORD dwFlags) const;
    // The flags, page values and copies the dialog gave back.
    void TakeValues(const PRINTDLGA& pd);
};

// Whether stored bytes are a DEVMODE or DEVNAMES block whose sizes and
// offsets lie inside them (the store hands back whatever was written).
bool IsDevModeBlock(const std::vector<uint8_t>& bytes);
bool IsDevNamesBlock(const std::vector<uint8_t>& bytes);
// The device name a DEVNAMES block holds; "" when it is no such block.
std::string DevNamesDeviceName(const std::vector<uint8_t>& bytes);
