// What the print tests share: the prefix's printers, generated test pages
// written as TIFF files, the pages and images of the PostScript the driver
// wrote, and the list of printed pages kept for the rendering check.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace printtest {

const char kA4Printer[] = "PostScript File A4";
const char kSmallPrinter[] = "PostScript File Small Area";

// The file a printer of the prefix writes (as a C: path).
std::string PrinterOutput(const char* printer);
std::string DefaultPrinter(); // "" when there is none
// Leaves the user without a default printer (the printers stay); false when
// one remains.
bool RemoveDefaultPrinter();
// A DEVMODE of an installed printer, from the spooler ({} when none).
std::vector<uint8_t> DevModeOf(const char* printer);
// The port of an installed printer; its would-be output file for one that is gone.
std::string PortOf(const std::string& printer);
// DEVNAMES naming the printer on its port, with the spooler as driver.
std::vector<uint8_t> DevNamesOf(const std::string& device);

// A printer of the prefix taken away (as from the printers folder) and put
// back as it was, default again if it was so.
class CRemovedPrinter {
public:
    explicit CRemovedPrinter(const char* name);
    ~CRemovedPrinter() { Restore(); }
    bool Removed() const { return m_bRemoved; }
    bool Restore();

private:
    std::vector<uint8_t> m_info; // its PRINTER_INFO_2
    bool m_bDefault = false, m_bRemoved = false;
};

// A generated document page (vx410sim's page generator; 4 bits: stripes of
// grey levels) and how it is stored.
struct TestPage {
    int m_nWidth = 0, m_nHeight = 0, m_nBpp = 1, m_nDpi = 300, m_nNumber = 1;
    uint32_t m_nCompression = 1; // TIFF: 1 none, 4 Group 4, 6 JPEG
};

// The page's rows, top-down, packed: 1-bit 1 = black, 8-bit 0 = black,
// 24-bit B,G,R.
std::vector<uint8_t> PageRows(const TestPage& page);
// The pages as one TIFF file (later pages appended with ConcatTiff).
bool WriteTestTiff(const std::string& path, const std::vector<TestPage>& pages);
// Overwrites the image data of the file's first page with bytes no decoder
// of its compression accepts.
bool DamageStrip(const std::string& path);
// Changes the PhotometricInterpretation of the file's first page (a file of
// our writer: little-endian, first directory at 8).
bool SetPhotometric(const std::string& path, uint16_t value);

// The images of each PostScript page in the driver's output: width and
// height of every image dictionary, in order.
struct PsPage {
    std::vector<std::pair<int, int>> m_images;
};
std::vector<PsPage> PsPages(const std::string& ps);

// A printed document kept for the rendering check: its PostScript is
// <name>.ps in the folder, rendered by Ghostscript's device at res dpi into
// <name>-<page>.pnm; page i shows pages[i-1] on printer at size mode
// ("actual" or "fit").
struct RenderEntry {
    std::string m_strName, m_strDevice, m_strPrinter, m_strMode;
    int m_nResolution = 0;
    std::vector<TestPage> m_pages;
};
// The folder named by VLM_PRINT_OUTPUT as a Windows path; "" when unset.
std::string RenderFolder();
// Writes <name>.ps and adds the entry to "pages.txt" in RenderFolder() (the
// first entry of a process starts a new list). Nothing without the folder.
void KeepForRendering(const std::string& name, const std::string& ps, const char* printer,
                      const char* mode, const std::vector<TestPage>& pages);
std::vector<RenderEntry> ReadRenderList(const std::string& folder);

} // namespace printtest
