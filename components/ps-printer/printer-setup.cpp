// ps-printer-setup.exe: gives the Wine prefix two PostScript printers whose
// ports are files, through the spooler's own calls, so that programs print
// through the real spooler and the platform's PostScript driver.
//   ps-printer-setup          install or repair both printers (idempotent)
//   ps-printer-setup --list   print "name|output file|port" for each printer
// The PPD files lie beside the program. The first printer becomes the default
// printer when there is none.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace {

struct PrinterSpec {
    const wchar_t* m_pszName; // printer and driver name
    const wchar_t* m_pszPpd;  // beside the program
};

const PrinterSpec kPrinters[] = {
    {L"PostScript File A4", L"PostScriptFileA4.ppd"},
    {L"PostScript File Small Area", L"PostScriptFileSmallArea.ppd"},
};

// Where the printers write: one file per printer, replaced by every job.
const wchar_t kOutputFolder[] = L"C:\\Print Output";

std::wstring OutputFile(const PrinterSpec& p) {
    return std::wstring(kOutputFolder) + L"\\" + p.m_pszName + L".ps";
}

// Under Wine the port is the output file's Unix name: the spooler then
// replaces the file with each job (a Windows file name as port is opened
// without being emptied first, leaving the end of a longer earlier job
// behind). Elsewhere the Windows file name. Wine resolves the name only when
// the output folder exists; "" when it cannot.
std::wstring PortOf(const PrinterSpec& p) {
    const std::wstring file = OutputFile(p);
    using PfnUnixName = char*(CDECL*)(const wchar_t*);
    const auto pfn = reinterpret_cast<PfnUnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!pfn)
        return file;
    char* unix = pfn(file.c_str());
    if (!unix)
        return std::wstring();
    const int cch = MultiByteToWideChar(CP_UTF8, 0, unix, -1, nullptr, 0);
    std::wstring port(cch > 0 ? cch - 1 : 0, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, unix, -1, port.data(), cch);
    HeapFree(GetProcessHeap(), 0, unix);
    return port;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L"\\/"));
}

void Fail(const char* what, const wchar_t* name, DWORD err) {
    std::fprintf(stderr, "ps-printer-setup: %s %ls failed (error %lu)\n", what, name,
                 static_cast<unsigned long>(err));
}

// The local port monitor keeps its ports in this key; a file name is a port.
// A Windows file name left as port by an earlier set-up goes.
bool EnsurePort(const PrinterSpec& p, const std::wstring& port) {
    if (port.empty()) {
        Fail("finding the Unix name of the output file of", p.m_pszName, GetLastError());
        return false;
    }
    vlm::CRegKey key;
    LONG rc =
        key.Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports");
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key, port.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                            sizeof(wchar_t));
    if (rc != ERROR_SUCCESS) {
        Fail("adding the port", port.c_str(), static_cast<DWORD>(rc));
        return false;
    }
    if (port != OutputFile(p))
        RegDeleteValueW(key, OutputFile(p).c_str());
    return true;
}

// The driver: the platform's PostScript driver with this printer's PPD as its
// data file, copied into the driver folder first.
bool EnsureDriver(const PrinterSpec& p) {
    wchar_t dir[MAX_PATH] = {};
    DWORD cb = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir), sizeof dir,
                                    &cb)) {
        Fail("finding the driver folder for", p.m_pszName, GetLastError());
        return false;
    }
    const std::wstring target = std::wstring(dir) + L"\\3";
    CreateDirectoryW(target.c_str(), nullptr);
    const std::wstring source = ProgramFolder() + L"\\" + p.m_pszPpd;
    if (!CopyFileW(source.c_str(), (target + L"\\" + p.m_pszPpd).c_str(), FALSE)) {
        Fail("copying the PPD of", p.m_pszName, GetLastError());
        return false;
    }
    DRIVER_INFO_3W di = {};
    di.cVersion = 3;
    di.pName = const_cast<wchar_t*>(p.m_pszName);
    di.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
    di.pDataFile = const_cast<wchar_t*>(p.m_pszPpd);
    di.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&di), APD_COPY_NEW_FILES) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
        Fail("adding the driver", p.m_pszName, GetLastError());
        return false;
    }
    return true;
}

// The printer itself; an existing one gets its port, driver and print
// processor back. Jobs are raw PostScript, which "winprint" passes on.
bool EnsurePrinter(const PrinterSpec& p, const std::wstring& port) {
    PRINTER_INFO_2W want = {};
    want.pPrinterName = const_cast<wchar_t*>(p.m_pszName);
    want.pPortName = const_cast<wchar_t*>(port.c_str());
    want.pDriverName = const_cast<wchar_t*>(p.m_pszName);
    want.pPrintProcessor = const_cast<wchar_t*>(L"winprint");
    want.pDatatype = const_cast<wchar_t*>(L"RAW");
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    vlm::CPrinterHandle h;
    if (OpenPrinterW(const_cast<wchar_t*>(p.m_pszName), h.Receive(), &access)) {
        DWORD cb = 0;
        GetPrinterW(h, 2, nullptr, 0, &cb);
        std::vector<BYTE> buf(cb ? cb : 1);
        if (!GetPrinterW(h, 2, buf.data(), cb, &cb)) {
            Fail("reading the printer", p.m_pszName, GetLastError());
            return false;
        }
        PRINTER_INFO_2W have = *reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
        have.pPortName = want.pPortName;
        have.pDriverName = want.pDriverName;
        have.pPrintProcessor = want.pPrintProcessor;
        have.pDatatype = want.pDatatype;
        have.pSecurityDescriptor = nullptr;
        if (!SetPrinterW(h, 2, reinterpret_cast<BYTE*>(&have), 0)) {
            Fail("repairing the printer", p.m_pszName, GetLastError());
            return false;
        }
        return true;
    }
    h.Attach(AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&want)));
    if (!h) {
        Fail("adding the printer", p.m_pszName, GetLastError());
        return false;
    }
    return true;
}

bool HasDefaultPrinter() {
    wchar_t name[512];
    DWORD cch = 512;
    return GetDefaultPrinterW(name, &cch) != FALSE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--list") {
        for (const PrinterSpec& p : kPrinters)
            std::printf("%ls|%ls|%ls\n", p.m_pszName, OutputFile(p).c_str(), PortOf(p).c_str());
        return 0;
    }
    if (argc > 1) {
        std::fputs("usage: ps-printer-setup [--list]\n", stderr);
        return 2;
    }
    // The folder first: the ports are named after files in it.
    if (!CreateDirectoryW(kOutputFolder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        Fail("creating the output folder", kOutputFolder, GetLastError());
        return 1;
    }
    bool ok = true;
    for (const PrinterSpec& p : kPrinters) {
        const std::wstring port = PortOf(p);
        ok = EnsurePort(p, port) && EnsureDriver(p) && EnsurePrinter(p, port) && ok;
    }
    if (ok && !HasDefaultPrinter() && !SetDefaultPrinterW(kPrinters[0].m_pszName)) {
        Fail("making the default printer", kPrinters[0].m_pszName, GetLastError());
        ok = false;
    }
    return ok ? 0 : 1;
}
