// Drives pafcv2.dll as the runner does, for the Wine test of its protection:
//   pafc_probe OUTPUT.pdf [MODE=VALUE ...]
// Values may carry %XX escapes (UTF-8 bytes the command line cannot pass).
// Prints each result code; writes one bilevel page and OUTPUT.pdf.pbm, the
// page's own bits, for comparison with a rendering.
#include <windows.h>

#include "framework/Handles.h"
#include "pafc.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] && p[2]) {
            const char hex[3] = {p[1], p[2], 0};
            out.push_back(static_cast<char>(strtoul(hex, nullptr, 16)));
            p += 2;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

template <class T> T Proc(HMODULE dll, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    vlm::CModule dll(LoadLibraryA("pafcv2.dll"));
    if (!dll) {
        printf("load failed\n");
        return 1;
    }
    using PfnModeSet = int(__cdecl*)(int, const char*);
    using PfnOpen = int(__cdecl*)(const char*);
    using PfnMake = int(__cdecl*)(const PAFC_PAGE*, int);
    using PfnClose = int(__cdecl*)();
    const auto modeset = Proc<PfnModeSet>(dll, "PAFC_modeset");
    const auto open = Proc<PfnOpen>(dll, "PAFC_open");
    const auto make = Proc<PfnMake>(dll, "PAFC_make");
    const auto close = Proc<PfnClose>(dll, "PAFC_close");
    if (!modeset || !open || !make || !close)
        return 1;
    for (int i = 2; i < argc; ++i) {
        const std::string value = Unescape(strchr(argv[i], '=') ? strchr(argv[i], '=') + 1 : "");
        printf("modeset %d %d\n", atoi(argv[i]), modeset(atoi(argv[i]), value.c_str()));
    }
    const int opened = open(argv[1]);
    printf("open %d\n", opened);
    if (opened != PAFC_OK)
        return 0;
    // A page of diagonal bars and a frame, 1 = black.
    const int w = 320, h = 200, stride = w / 8;
    std::vector<unsigned char> rows(static_cast<size_t>(stride) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x + y) % 23 < 7 || x < 3 || y < 3 || x >= w - 3 || y >= h - 3)
                rows[static_cast<size_t>(y) * stride + x / 8] |= 0x80 >> (x % 8);
    const PAFC_PAGE page = {rows.data(), stride, w, h, 72, 1};
    printf("make %d\n", make(&page, 0));
    printf("close %d\n", close());
    FILE* f = fopen((std::string(argv[1]) + ".pbm").c_str(), "wb");
    if (!f)
        return 1;
    fprintf(f, "P4\n%d %d\n", w, h);
    fwrite(rows.data(), 1, rows.size(), f);
    fclose(f);
    return 0;
}
