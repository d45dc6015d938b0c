#include "PrintTestPages.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ProcessDriver.h"
#include "framework/Handles.h"
#include "components/vx410sim/pagegen.h"
#include "imaging/tests/tiff_pages.h"
#include "imaging/tiff.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

namespace printtest {

// A DEVMODE of an installed printer, from the spooler.
std::vector<uint8_t> DevModeOf(const char* printer) {
    CPrinterHandle h;
    if (!OpenPrinterA(const_cast<char*>(printer), h.Receive(), nullptr))
        return {};
    const LONG cb =
        DocumentPropertiesA(nullptr, h, const_cast<char*>(printer), nullptr, nullptr, 0);
    std::vector<uint8_t> mode(cb > 0 ? cb : 0);
    if (cb <= 0 || DocumentPropertiesA(nullptr, h, const_cast<char*>(printer),
                                       reinterpret_cast<DEVMODEA*>(mode.data()), nullptr,
                                       DM_OUT_BUFFER) != IDOK)
        return {};
    return mode;
}

std::string PortOf(const std::string& printer) {
    CPrinterHandle h;
    if (!OpenPrinterA(const_cast<char*>(printer.c_str()), h.Receive(), nullptr))
        return PrinterOutput(printer.c_str());
    DWORD cb = 0;
    GetPrinterA(h, 2, nullptr, 0, &cb);
    std::vector<BYTE> buf(cb);
    if (!cb || !GetPrinterA(h, 2, buf.data(), cb, &cb))
        return "";
    return reinterpret_cast<PRINTER_INFO_2A*>(buf.data())->pPortName;
}

std::vector<uint8_t> DevNamesOf(const std::string& device) {
    const std::string port = PortOf(device);
    std::vector<uint8_t> b(sizeof(DEVNAMES));
    auto add = [&b](const std::string& s) {
        const WORD offset = static_cast<WORD>(b.size());
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
        return offset;
    };
    const WORD driver = add("winspool"), dev = add(device), out = add(port);
    DEVNAMES* dn = reinterpret_cast<DEVNAMES*>(b.data());
    dn->wDriverOffset = driver;
    dn->wDeviceOffset = dev;
    dn->wOutputOffset = out;
    dn->wDefault = 0;
    return b;
}

CRemovedPrinter::CRemovedPrinter(const char* name) : m_bDefault(DefaultPrinter() == name) {
    PRINTER_DEFAULTSA all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    CPrinterHandle printer;
    if (!OpenPrinterA(const_cast<char*>(name), printer.Receive(), &all))
        return;
    DWORD need = 0;
    GetPrinterA(printer, 2, nullptr, 0, &need);
    m_info.resize(need);
    if (need && GetPrinterA(printer, 2, m_info.data(), need, &need))
        m_bRemoved = DeletePrinter(printer) != FALSE;
}

bool CRemovedPrinter::Restore() {
    if (!m_bRemoved)
        return true;
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(m_info.data());
    CPrinterHandle added(AddPrinterA(nullptr, 2, m_info.data()));
    if (!added)
        return false;
    m_bRemoved = false;
    return !m_bDefault || SetDefaultPrinterA(info->pPrinterName);
}

std::string PrinterOutput(const char* printer) {
    return std::string("C:\\Print Output\\") + printer + ".ps";
}

std::string DefaultPrinter() {
    char name[512] = {};
    DWORD cch = sizeof name;
    return GetDefaultPrinterA(name, &cch) ? name : "";
}

bool RemoveDefaultPrinter() {
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                 KEY_SET_VALUE) == ERROR_SUCCESS)
        key.DeleteValue("Device");
    return DefaultPrinter().empty();
}

std::vector<uint8_t> PageRows(const TestPage& page) {
    if (page.m_nBpp != 4)
        return vx410sim::GeneratePage(page.m_nWidth, page.m_nHeight, page.m_nBpp, page.m_nDpi,
                                      page.m_nNumber);
    std::vector<uint8_t> rows(size_t(page.m_nWidth + 1) / 2 * page.m_nHeight);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<uint8_t>(0x11 * ((i / 37) % 16));
    return rows;
}

namespace {

bool WriteOnePage(const std::string& path, const TestPage& page) {
    const int samples = page.m_nBpp == 24 ? 3 : 1;
    const std::vector<uint8_t> rows = PageRows(page);
    return !rows.empty() && vlmtest::WriteTiffPage(
                                path, page.m_nWidth, page.m_nHeight, page.m_nBpp / samples, samples,
                                static_cast<int>(page.m_nCompression), rows, page.m_nDpi) == 0;
}

} // namespace

bool WriteTestTiff(const std::string& path, const std::vector<TestPage>& pages) {
    if (pages.empty() || !WriteOnePage(path, pages[0]))
        return false;
    for (size_t i = 1; i < pages.size(); ++i) {
        const std::string part = path + ".part" + std::to_string(i);
        const bool ok =
            WriteOnePage(part, pages[i]) && vlm::ConcatTiff(path.c_str(), part.c_str()) == 0;
        DeleteFileA(part.c_str());
        if (!ok)
            return false;
    }
    return true;
}

bool DamageStrip(const std::string& path) {
    vlm::CTiffFile tiff;
    if (!tiff.Open(path.c_str(), 'r'))
        return false;
    const long width = tiff.GetTag(vlm::kTagImageWidth);
    tiff.Close();
    // Single pages of the writer keep their data from 256 on; a long run of
    // zero bits is no code of any fax decoder.
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(256);
    const std::string zeros(size_t(width) / 8 + 64, '\0');
    f.write(zeros.data(), zeros.size());
    return bool(f);
}

bool SetPhotometric(const std::string& path, uint16_t value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t count[2] = {};
    f.seekg(8);
    f.read(reinterpret_cast<char*>(count), 2);
    for (int i = 0; f && i < (count[0] | count[1] << 8); ++i) {
        uint8_t entry[12];
        f.seekg(10 + 12 * i);
        f.read(reinterpret_cast<char*>(entry), 12);
        if ((entry[0] | entry[1] << 8) == vlm::kTagPhotometric) {
            const uint8_t v[2] = {uint8_t(value & 0xFF), uint8_t(value >> 8)};
            f.seekp(10 + 12 * i + 8);
            f.write(reinterpret_cast<const char*>(v), 2);
            return bool(f);
        }
    }
    return false;
}

std::vector<PsPage> PsPages(const std::string& ps) {
    std::vector<PsPage> pages;
    std::istringstream in(ps);
    int width = -1;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 8, "%%Page: ") == 0) {
            pages.emplace_back();
        } else if (!pages.empty()) {
            int n = 0;
            if (sscanf(line.c_str(), " /Width %d", &n) == 1)
                width = n;
            else if (sscanf(line.c_str(), " /Height %d", &n) == 1 && width >= 0) {
                pages.back().m_images.push_back({width, n});
                width = -1;
            }
        }
    }
    return pages;
}

std::string RenderFolder() {
    const char* dir = getenv("VLM_PRINT_OUTPUT");
    return dir && *dir ? kestreltest::WinPath(dir) : std::string();
}

void KeepForRendering(const std::string& name, const std::string& ps, const char* printer,
                      const char* mode, const std::vector<TestPage>& pages) {
    static bool s_bStarted = false;
    const std::string folder = RenderFolder();
    if (folder.empty())
        return;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::ofstream(folder + "\\" + name + ".ps", std::ios::binary) << ps;
    // Bilevel pages at the printers' own detail; grey and colour need less.
    bool deep = false, colour = false;
    for (const TestPage& p : pages) {
        deep = deep || p.m_nBpp > 1;
        colour = colour || p.m_nBpp == 24;
    }
    std::ofstream list(folder + "\\pages.txt", s_bStarted ? std::ios::app : std::ios::trunc);
    s_bStarted = true;
    list << name << '|' << (colour ? "ppmraw" : "pgmraw") << '|' << (deep ? 150 : 300) << '|'
         << printer << '|' << mode << '|';
    for (const TestPage& p : pages)
        list << p.m_nWidth << ',' << p.m_nHeight << ',' << p.m_nBpp << ',' << p.m_nDpi << ','
             << p.m_nNumber << ',' << p.m_nCompression << ';';
    list << '\n';
}

std::vector<RenderEntry> ReadRenderList(const std::string& folder) {
    std::vector<RenderEntry> out;
    std::ifstream in(folder + "\\pages.txt");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream ls(line);
        for (std::string part; std::getline(ls, part, '|');)
            f.push_back(part);
        if (f.size() != 6)
            continue;
        RenderEntry e;
        e.m_strName = f[0];
        e.m_strDevice = f[1];
        e.m_nResolution = std::atoi(f[2].c_str());
        e.m_strPrinter = f[3];
        e.m_strMode = f[4];
        std::istringstream ps(f[5]);
        for (std::string page; std::getline(ps, page, ';');) {
            TestPage p;
            if (sscanf(page.c_str(), "%d,%d,%d,%d,%d,%u", &p.m_nWidth, &p.m_nHeight, &p.m_nBpp,
                       &p.m_nDpi, &p.m_nNumber, &p.m_nCompression) == 6)
                e.m_pages.push_back(p);
        }
        out.push_back(e);
    }
    return out;
}

} // namespace printtest
