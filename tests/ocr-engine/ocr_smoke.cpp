// Recognises one page image with the engine as the Windows build links it:
//   ocr_smoke.exe <tessdata folder> <languages> <image (PNM or BMP)>
// Prints the dot-product code in use ("dotproduct: NAME"; DOTPRODUCT in the
// environment chooses it), the recognised text as UTF-8 and a last line
// "confidence: N".
// Exit codes: 0 recognised, 2 usage, 3 the languages could not be loaded,
// 4 the image could not be read, 5 recognition failed.
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {
struct PixFree {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ocr_smoke <tessdata folder> <languages> <image>\n");
        return 2;
    }
    tesseract::TessBaseAPI api;
    if (api.Init(argv[1], argv[2], tesseract::OEM_LSTM_ONLY) != 0) {
        std::fprintf(stderr, "ocr_smoke: cannot load '%s' from %s\n", argv[2], argv[1]);
        return 3;
    }
    std::string dotproduct;
    api.GetVariableAsString("dotproduct", &dotproduct);
    std::printf("dotproduct: %s\n", dotproduct.c_str());
    std::unique_ptr<Pix, PixFree> pix(pixRead(argv[3]));
    if (!pix) {
        std::fprintf(stderr, "ocr_smoke: cannot read %s\n", argv[3]);
        return 4;
    }
    api.SetImage(pix.get());
    std::unique_ptr<char[]> text(api.GetUTF8Text());
    if (!text) {
        std::fprintf(stderr, "ocr_smoke: recognition failed\n");
        return 5;
    }
    std::fputs(text.get(), stdout);
    std::printf("confidence: %d\n", api.MeanTextConf());
    api.End();
    return 0;
}
