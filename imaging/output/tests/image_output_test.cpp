// The page writers under Windows, through the real vlmjpeg.dll and pafcv2.dll
// found by the shared library loader in the "Shared Files" folder, fed the way
// the job session feeds them: a page message's page, one call per page.
#include "common/VlmLog.h"
#include "common/portable/JobVocabulary.h"
#include "imaging/output/ImageOutput.h"
#include "imaging/tiff.h"
#include "jpegcodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace vlm::output;

namespace {

const char kSharedKey[] = "SOFTWARE\\Velmora Works Inc.\\Shared Files";

// A bottom-up bitmap in global memory, owned by the test.
class CDib {
public:
    CDib(int w, int h, int bpp, int dpi) : m_nWidth(w), m_nHeight(h), m_nBpp(bpp) {
        const DWORD colours = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
        m_nStride = (static_cast<size_t>(w) * bpp + 31) / 32 * 4;
        m_hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40 + colours * 4 + m_nStride * h);
        auto* p = static_cast<BYTE*>(GlobalLock(m_hMem));
        auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(p);
        bih->biSize = 40;
        bih->biWidth = w;
        bih->biHeight = h;
        bih->biPlanes = 1;
        bih->biBitCount = static_cast<WORD>(bpp);
        bih->biXPelsPerMeter = bih->biYPelsPerMeter = static_cast<LONG>(dpi * 10000 / 254);
        bih->biClrUsed = colours;
        RGBQUAD* table = reinterpret_cast<RGBQUAD*>(p + 40);
        for (DWORD i = 0; i < colours; ++i) {
            const BYTE v = bpp == 1 ? static_cast<BYTE>(i ? 255 : 0) : static_cast<BYTE>(i);
            table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = v;
        }
        BYTE* px = p + 40 + colours * 4;
        for (int y = 0; y < h; ++y)
            for (size_t x = 0; x < m_nStride; ++x)
                px[y * m_nStride + x] = static_cast<BYTE>((x * 5 + y * 3) % 251);
        GlobalUnlock(m_hMem);
    }
    ~CDib() { GlobalFree(m_hMem); }
    HGLOBAL Handle() const { return m_hMem; }

    int m_nWidth, m_nHeight, m_nBpp;
    size_t m_nStride;

private:
    HGLOBAL m_hMem;
};

std::string TempDir() {
    char buf[MAX_PATH];
    GetTempPathA(MAX_PATH, buf);
    std::string dir = std::string(buf) + "vlm_output_test";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::vector<BYTE> ReadAll(const std::string& path) {
    std::vector<BYTE> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    BYTE buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Points the loader's first search step for `name` at `path` while alive.
class CRedirectLibrary {
public:
    CRedirectLibrary(const char* name, const std::string& path) : m_strName(name) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1));
            RegCloseKey(key);
        }
    }
    ~CRedirectLibrary() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedKey, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, m_strName.c_str());
            RegCloseKey(key);
        }
    }

private:
    std::string m_strName;
};

std::string InstalledLibrary(const char* name) {
    CVlmLibrary lib;
    return lib.Load(name) ? lib.GetPath() : std::string();
}

} // namespace

TEST(BmpPage, EightBitWidth1001AndBilevelFromABitmapHandle) {
    const std::string dir = TempDir();
    CDib grey(1001, 7, 8, 300);
    const std::string path = dir + "\\w1001.bmp";
    SetLastError(ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(0, VlmWriteBmpPage(CScannedPage(grey.Handle()).View(), path.c_str()));
    EXPECT_EQ(GetLastError(), 0u);
    auto f = ReadAll(path);
    ASSERT_EQ(f.size(), 1078u + 1004u * 7);
    const auto* fh = reinterpret_cast<const BITMAPFILEHEADER*>(f.data());
    const auto* ih = reinterpret_cast<const BITMAPINFOHEADER*>(f.data() + 14);
    EXPECT_EQ(fh->bfType, 0x4D42);
    EXPECT_EQ(fh->bfOffBits, 1078u);
    EXPECT_EQ(ih->biWidth, 1001);
    EXPECT_EQ(ih->biHeight, 7);
    EXPECT_EQ(ih->biBitCount, 8);
    EXPECT_EQ(ih->biXPelsPerMeter, 11811);
    EXPECT_EQ(ih->biClrUsed, 256u);
    // Same pixels as the scanned bitmap, bottom row first; padding is written as zeros.
    const BYTE* src = static_cast<const BYTE*>(GlobalLock(grey.Handle())) + 40 + 1024;
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(0, memcmp(f.data() + 1078 + 1004 * y, src + 1004 * y, 1001)) << y;
        EXPECT_EQ(f[1078 + 1004 * y + 1001], 0);
    }
    GlobalUnlock(grey.Handle());

    CDib bilevel(100, 10, 1, 200);
    ASSERT_EQ(0, VlmWriteBmpPage(CScannedPage(bilevel.Handle()).View(), (dir + "\\b.bmp").c_str()));
    f = ReadAll(dir + "\\b.bmp");
    EXPECT_EQ(f.size(), 62u + 16u * 10);
    const CScannedPage page(grey.Handle());
    EXPECT_EQ(-1, VlmWriteBmpPage(page.View(), (dir + "\\no-such-dir\\x.bmp").c_str()));
    const CScannedPage none(static_cast<HGLOBAL>(nullptr));
    EXPECT_FALSE(none.IsValid());
    EXPECT_EQ(-1, VlmWriteBmpPage(none.View(), (dir + "\\null.bmp").c_str()));
    EXPECT_FALSE(Exists(dir + "\\null.bmp"));
}

TEST(JpegPage, GreyAndColourPagesDecodeAndBilevelGivesNoFile) {
    const std::string dir = TempDir();
    for (int bpp : {8, 24}) {
        CDib dib(640, 480, bpp, 200);
        const std::string path = dir + (bpp == 8 ? "\\grey.jpg" : "\\colour.jpg");
        DeleteFileA(path.c_str());
        ASSERT_TRUE(VlmWriteJpegPage(CScannedPage(dib.Handle()).View(), path.c_str(), 80));
        const auto data = ReadAll(path);
        vlm::jpeg::HeaderInfo info;
        ASSERT_TRUE(vlm::jpeg::ReadHeader(data.data(), data.size(), info));
        EXPECT_EQ(info.width, 640);
        EXPECT_EQ(info.height, 480);
        EXPECT_EQ(info.components, bpp / 8);
        EXPECT_EQ(info.xDensity, 200);
        EXPECT_EQ(info.headerLength, bpp == 8 ? 328u : 623u);
        vlm::jpeg::DecodedImage img;
        ASSERT_TRUE(vlm::jpeg::Decode(data.data(), data.size(), img));
    }
    CDib bilevel(640, 480, 1, 200);
    const std::string path = dir + "\\bilevel.jpg";
    DeleteFileA(path.c_str());
    EXPECT_FALSE(VlmWriteJpegPage(CScannedPage(bilevel.Handle()).View(), path.c_str(), 75));
    EXPECT_FALSE(Exists(path));
}

TEST(JpegPage, MissingEntryPointFailsWithoutAFile) {
    const std::string pdfLib = InstalledLibrary("pafcv2.dll");
    ASSERT_FALSE(pdfLib.empty());
    CRedirectLibrary redirect("vlmjpeg.dll", pdfLib); // a library without save_JPEG
    CDib dib(64, 64, 8, 200);
    const std::string path = TempDir() + "\\noentry.jpg";
    DeleteFileA(path.c_str());
    EXPECT_FALSE(VlmWriteJpegPage(CScannedPage(dib.Handle()).View(), path.c_str(), 75));
    EXPECT_FALSE(Exists(path));
}

TEST(PdfPage, ThreeSinglePageDocumentsVersusOneMultiPageDocument) {
    const std::string dir = TempDir();
    CDib pages[3] = {CDib(300, 400, 1, 100), CDib(300, 400, 8, 100), CDib(300, 400, 24, 100)};
    CPdfPageWriter writer;
    std::vector<std::string> shown;
    writer.m_fnShowError = [&](const char* text, const char*) { shown.push_back(text); };
    CPdfJobOptions options;
    const vlm::OcrLanguage language = vlm::OcrLanguageFor(9, 0);
    options.m_nCompression = vlm::PdfCompressionCode(1);
    options.m_dwLanguageFlags = language.m_dwCode;
    options.m_dwExtraFlags = language.m_dwSecond;
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir + "\\single" + std::to_string(i) + ".pdf";
        options.m_nPageCounter = i;
        CPdfPageResult result;
        ASSERT_TRUE(writer.WritePage(CScannedPage(pages[i].Handle()).View(), path.c_str(), options,
                                     result));
        EXPECT_FALSE(writer.IsDocumentOpen()); // opened and closed around its page
        const auto data = ReadAll(path);
        // Reported after the page, before the document's closing tables.
        EXPECT_GT(result.m_dwDocumentSize, 1000u);
        EXPECT_LT(result.m_dwDocumentSize, data.size());
        const std::string text(data.begin(), data.end());
        EXPECT_EQ(text.compare(0, 8, "%PDF-1.4"), 0);
        EXPECT_EQ(Count(text, "/Type /Page "), 1u);
        EXPECT_NE(text.find("%%EOF"), std::string::npos);
        EXPECT_NE(text.find("/VlmOcrLanguages 2147483652"), std::string::npos);
        EXPECT_NE(text.find("/VlmOcrExtra 256"), std::string::npos);
    }
    EXPECT_NE(ReadAll(dir + "\\single0.pdf").size(), 0u);

    options.m_bMultiPage = TRUE;
    const std::string multi = dir + "\\multi.pdf";
    DWORD last = 0;
    for (int i = 0; i < 3; ++i) {
        options.m_nPageCounter = i;
        CPdfPageResult result;
        ASSERT_TRUE(writer.WritePage(CScannedPage(pages[i].Handle()).View(), multi.c_str(), options,
                                     result));
        EXPECT_TRUE(writer.IsDocumentOpen());
        EXPECT_GT(result.m_dwDocumentSize, last);
        last = result.m_dwDocumentSize;
    }
    // Still open: no trailer yet.
    std::string text;
    {
        const auto data = ReadAll(multi);
        text.assign(data.begin(), data.end());
    }
    EXPECT_EQ(text.find("%%EOF"), std::string::npos);
    CPdfPageResult end;
    ASSERT_TRUE(writer.WritePage(CPageView{}, "", options, end));
    EXPECT_FALSE(writer.IsDocumentOpen());
    const auto data = ReadAll(multi);
    text.assign(data.begin(), data.end());
    EXPECT_EQ(Count(text, "/Type /Page "), 3u);
    EXPECT_NE(text.find("/Count 3"), std::string::npos);
    EXPECT_NE(text.find("/CCITTFaxDecode"), std::string::npos);
    EXPECT_EQ(Count(text, "/DCTDecode"), 2u);
    EXPECT_NE(text.find("%%EOF"), std::string::npos);
    EXPECT_TRUE(shown.empty());
}

// Recognition on without the language's data: the document is made without
// text, and the run log says which language was missing.
TEST(PdfPage, MissingRecognitionLanguageIsWrittenToTheRunLog) {
    const std::string dir = TempDir();
    const std::string log = dir + "\\ocr-run.log", path = dir + "\\ocr.pdf";
    DeleteFileA(log.c_str());
    CVlmLog::Instance().OpenPath(log.c_str());
    _putenv_s("VLM_TESSDATA", (dir + "\\no-tessdata").c_str());
    CDib dib(200, 100, 8, 100);
    CPdfPageWriter writer;
    CPdfJobOptions options;
    options.m_dwLanguageFlags = vlm::OcrLanguageFor(1, 1).m_dwCode; // English
    CPdfPageResult result;
    const BOOL ok =
        writer.WritePage(CScannedPage(dib.Handle()).View(), path.c_str(), options, result);
    _putenv_s("VLM_TESSDATA", "");
    CVlmLog::Instance().Close();
    EXPECT_TRUE(ok);
    const auto data = ReadAll(path);
    const std::string text(data.begin(), data.end());
    EXPECT_NE(text.find("/VlmOcrApplied false"), std::string::npos);
    EXPECT_NE(text.find("%%EOF"), std::string::npos);
    const auto logged = ReadAll(log);
    EXPECT_EQ(
        Count(std::string(logged.begin(), logged.end()), "OCR language data missing: eng\r\n"), 1u);
}

// Recognition under Windows: a colour page with a line of text drawn by GDI
// at 300 dpi gets a text layer whose Unicode map holds the line's letters.
TEST(PdfPage, RecognisedTextGoesIntoTheDocument) {
    const std::string data = "Z:\\usr\\share\\tesseract-ocr\\5\\tessdata";
    ASSERT_TRUE(Exists(data + "\\eng.traineddata"));
    const int w = 1800, h = 240;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(bitmap && bits);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, w, h, WHITENESS);
    HFONT font = CreateFontA(-50, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, 0, "Tahoma");
    HGDIOBJ oldFont = SelectObject(dc, font);
    const char line[] = "Searchable scanned pages";
    TextOutA(dc, 60, 80, line, static_cast<int>(strlen(line)));
    GdiFlush();
    const vlm::CPageView view = vlm::ViewOfRows(bits, (w * 3 + 3) / 4 * 4, w, h, 24, 300);
    const std::string path = TempDir() + "\\recognised.pdf";
    _putenv_s("VLM_TESSDATA", data.c_str());
    CPdfPageWriter writer;
    CPdfJobOptions options;
    options.m_dwLanguageFlags = vlm::OcrLanguageFor(1, 1).m_dwCode; // English
    CPdfPageResult result;
    const BOOL ok = writer.WritePage(view, path.c_str(), options, result);
    _putenv_s("VLM_TESSDATA", "");
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ASSERT_TRUE(ok);
    const auto bytes = ReadAll(path);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("/VlmOcrApplied true"), std::string::npos);
    EXPECT_NE(text.find("/FontFile2"), std::string::npos);
    for (const char* letter : {"<0053>", "<0065>", "<0061>", "<0072>", "<0063>", "<0068>", "<0062>",
                               "<006C>", "<006E>", "<0064>", "<0070>", "<0067>"})
        EXPECT_NE(text.find(letter), std::string::npos) << letter;
}

TEST(PdfPage, LoadFailuresShowTheirMessages) {
    const std::string dir = TempDir();
    CDib dib(64, 64, 8, 100);
    const CScannedPage page(dib.Handle());
    CPdfPageWriter writer;
    std::vector<std::string> shown;
    writer.m_fnShowError = [&](const char* text, const char*) { shown.push_back(text); };
    CPdfJobOptions options;
    CPdfPageResult result;
    {
        // A library without the maker's entry points.
        CRedirectLibrary redirect("pafcv2.dll", InstalledLibrary("vlmjpeg.dll"));
        EXPECT_FALSE(writer.WritePage(page.View(), (dir + "\\f.pdf").c_str(), options, result));
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "PAFCV2.DLL func load error");
    {
        CRedirectLibrary redirect("pafcv2.dll", dir + "\\missing\\pafcv2.dll");
        // Hide the installed copy so that no search step finds the library.
        const std::string installed = InstalledLibrary("pafcv2.dll");
        ASSERT_FALSE(installed.empty());
        ASSERT_TRUE(MoveFileA(installed.c_str(), (installed + ".off").c_str()));
        const BOOL ok = writer.WritePage(page.View(), (dir + "\\g.pdf").c_str(), options, result);
        MoveFileA((installed + ".off").c_str(), installed.c_str());
        EXPECT_FALSE(ok);
    }
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], "PAFCV2.DLL load error");
    // An unwritable document path fails the page instead of passing for saved.
    EXPECT_FALSE(
        writer.WritePage(page.View(), (dir + "\\no-such-dir\\h.pdf").c_str(), options, result));
    EXPECT_FALSE(writer.IsDocumentOpen());
}

namespace {

// The same page as a memory transfer delivers it: top-down rows in the scan
// engine's buffer (the bitmap's rows in reverse order; bilevel 0 = black in both).
struct CBufferedPage {
    std::vector<BYTE> m_rows;
    VlmPageInfo m_info{};

    explicit CBufferedPage(const CDib& dib) {
        const BYTE* p = static_cast<const BYTE*>(GlobalLock(dib.Handle()));
        const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(p);
        const BYTE* px = p + 40 + bih->biClrUsed * 4;
        m_rows.resize(dib.m_nStride * dib.m_nHeight);
        for (int y = 0; y < dib.m_nHeight; ++y)
            memcpy(&m_rows[dib.m_nStride * y], px + dib.m_nStride * (dib.m_nHeight - 1 - y),
                   dib.m_nStride);
        VlmImageInfo& i = m_info.vlminfo;
        i.lpImage = m_rows.data();
        i.Width = dib.m_nWidth;
        i.Height = dib.m_nHeight;
        i.Spp = dib.m_nBpp == 24 ? 3 : 1;
        i.Bps = dib.m_nBpp / i.Spp;
        i.Sync = static_cast<uint32_t>(dib.m_nStride);
        i.ImageSize = i.Sync * i.Height;
        i.XRes = i.YRes = vlm::DpiFromPelsPerMeter(bih->biXPelsPerMeter);
        GlobalUnlock(dib.Handle());
    }
};

int TiffPages(const std::string& path, std::vector<long>* compressions = nullptr) {
    vlm::CTiffFile t;
    if (!t.Open(path.c_str(), 'r'))
        return 0;
    for (int p = 1; compressions && p <= t.PageCount(); ++p)
        if (t.OpenPage(p) == 0)
            compressions->push_back(t.GetTag(vlm::kTagCompression));
    return t.PageCount();
}

} // namespace

TEST(ScannedPage, BothTransfersGiveTheSameFiles) {
    const std::string dir = TempDir();
    for (int bpp : {1, 8, 24}) {
        CDib dib(203, 37, bpp, 200);
        VlmPageInfo native{};
        native.hDib = dib.Handle();
        const CBufferedPage memory(dib);
        const CScannedPage fromDib(native), fromBuffer(memory.m_info);
        ASSERT_TRUE(fromDib.IsValid()) << fromDib.Error();
        ASSERT_TRUE(fromBuffer.IsValid()) << fromBuffer.Error();
        const std::string a = dir + "\\native.bmp", b = dir + "\\memory.bmp";
        ASSERT_EQ(0, VlmWriteBmpPage(fromDib.View(), a.c_str()));
        ASSERT_EQ(0, VlmWriteBmpPage(fromBuffer.View(), b.c_str()));
        EXPECT_EQ(ReadAll(a), ReadAll(b)) << bpp;
        if (bpp == 1)
            continue;
        const std::string c = dir + "\\native.jpg", d = dir + "\\memory.jpg";
        ASSERT_TRUE(VlmWriteJpegPage(fromDib.View(), c.c_str(), 75));
        ASSERT_TRUE(VlmWriteJpegPage(fromBuffer.View(), d.c_str(), 75));
        EXPECT_EQ(ReadAll(c), ReadAll(d)) << bpp;
    }
    VlmPageInfo compressed{};
    compressed.vlminfo.lpImage = reinterpret_cast<uint8_t*>(&compressed);
    compressed.vlminfo.Width = compressed.vlminfo.Height = -1;
    EXPECT_FALSE(CScannedPage(compressed).IsValid());
}

TEST(TiffPage, SinglePageFilesAndOneMultiPageFile) {
    const std::string dir = TempDir();
    CDib pages[3] = {CDib(300, 200, 1, 200), CDib(300, 200, 8, 200), CDib(300, 200, 24, 200)};
    CTiffPageWriter writer;
    CTiffJobOptions options;
    options.m_bCompress = TRUE;
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir + "\\single" + std::to_string(i) + ".tif";
        options.m_nPageCounter = i;
        CTiffPageResult result;
        ASSERT_TRUE(writer.WritePage(CScannedPage(pages[i].Handle()).View(), path.c_str(), options,
                                     result));
        EXPECT_EQ(result.m_strFile, path);
        std::vector<long> compressions;
        EXPECT_EQ(TiffPages(path, &compressions), 1);
        EXPECT_EQ(compressions, std::vector<long>{i == 0 ? 4 : 6}); // Group 4, JPEG, JPEG
    }

    options.m_bMultiPage = TRUE;
    const std::string first = dir + "\\multi.tif";
    for (int i = 0; i < 3; ++i) {
        const std::string path = i == 0 ? first : dir + "\\part" + std::to_string(i) + ".tif";
        options.m_nPageCounter = i;
        CTiffPageResult result;
        ASSERT_TRUE(writer.WritePage(CScannedPage(pages[i].Handle()).View(), path.c_str(), options,
                                     result));
        EXPECT_EQ(result.m_strFile, first);
        EXPECT_EQ(writer.FirstFile(), first);
        EXPECT_EQ(Exists(path), i == 0); // later pages live on in the first file only
    }
    std::vector<long> compressions;
    EXPECT_EQ(TiffPages(first, &compressions), 3);
    EXPECT_EQ(compressions, (std::vector<long>{4, 6, 6}));
}

TEST(TiffPage, APageThatWouldTakeTheFileTo2GBIsNotAdded) {
    const std::string dir = TempDir();
    CDib dib(64, 64, 1, 200);
    const CScannedPage page(dib.Handle());
    CTiffPageWriter writer;
    CTiffJobOptions options;
    options.m_bMultiPage = TRUE;
    const std::string first = dir + "\\big.tif", next = dir + "\\next.tif";
    CTiffPageResult result;
    ASSERT_TRUE(writer.WritePage(page.View(), first.c_str(), options, result));
    const uint64_t huge = (2ull << 30) - 100; // sparse; the page itself is larger
    std::filesystem::resize_file(first, huge);
    options.m_nPageCounter = 1;
    EXPECT_FALSE(writer.WritePage(page.View(), next.c_str(), options, result));
    EXPECT_TRUE(result.m_bSizeLimit);
    EXPECT_FALSE(Exists(next));
    EXPECT_EQ(std::filesystem::file_size(first), huge);
    std::filesystem::remove(first);

    // A page the writer cannot write is no size matter and leaves no file.
    CTiffPageResult failed;
    EXPECT_FALSE(writer.WritePage(CPageView{}, (dir + "\\empty.tif").c_str(), options, failed));
    EXPECT_FALSE(failed.m_bSizeLimit);
    EXPECT_FALSE(Exists(dir + "\\empty.tif"));
}
