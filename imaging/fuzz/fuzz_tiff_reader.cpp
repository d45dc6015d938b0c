// Fuzzes the TIFF reader (every page of a file) and ConcatTiff with the input
// as the page file appended to a small valid target.
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "imaging/tiff.h"

namespace {

std::string PathFor(const char* what) {
    return "/tmp/fuzz_tiff_" + std::to_string(getpid()) + "_" + what;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void ReadAllPages(const std::string& path) {
    vlm::CTiffFile t;
    if (!t.Open(path.c_str(), 'r'))
        return;
    for (int p = 1; p <= t.PageCount() && p <= 8; ++p) {
        if (t.OpenPage(p) != 0)
            continue;
        size_t need = t.PageBufferSize();
        if (need == 0 || need > (16u << 20))
            continue;
        std::vector<uint8_t> buf(need);
        t.ReadPage(buf.data(), buf.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vlm::SetTiffConsoleSink([](const char*) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page = PathFor("page.tif"), target = PathFor("target.tif");
    WriteFile(page, data, size);
    ReadAllPages(page);

    vlm::CTiffFile w;
    if (w.Open(target.c_str(), 'w')) {
        w.TiffSetTagOld(vlm::kTagImageWidth, 16);
        w.TiffSetTagOld(vlm::kTagImageLength, 2);
        uint8_t rows[4] = {0xF0, 0x0F, 0x3C, 0xC3};
        w.WriteRows(rows, 2);
        w.Close();
    }
    if (vlm::ConcatTiff(target.c_str(), page.c_str()) == 0)
        ReadAllPages(target);
    std::remove(page.c_str());
    std::remove(target.c_str());
    return 0;
}
