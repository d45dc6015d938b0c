// Helpers of the PDF maker's tests: temporary files, peer tools, test pages.
#pragma once

#include "pafc.h"
#include "peertools.h"
#include "pdfwriter.h"
#include "testpage.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string Tmp(const std::string& name) {
    return std::string(VLM_TEST_TMP) + "/pdf_" + name;
}

bool QpdfAccepts(const std::string& path, std::string* report) {
    int rc = -1;
    *report = Capture("qpdf --check " + path, &rc);
    return rc == 0 && report->find("No syntax or stream encoding errors") != std::string::npos;
}

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

struct TestPage {
    std::vector<uint8_t> rows;
    vlm::CPageView image;
};

// Rows top-down: bilevel 1 = black, grey, colour B,G,R.
TestPage Make(int bpp, int w, int h, int dpi, int number) {
    TestPage t;
    t.rows = vlmtest::MakePage(w, h, bpp, dpi, number);
    t.image =
        vlm::ViewOfRows(t.rows.data(), (static_cast<size_t>(w) * bpp + 7) / 8, w, h, bpp, dpi);
    return t;
}

PAFC_PAGE Record(const TestPage& t) {
    PAFC_PAGE r;
    r.rows = t.rows.data();
    r.stride = static_cast<int32_t>(t.image.m_nStep);
    r.width = t.image.m_nWidth;
    r.height = t.image.m_nHeight;
    r.dpi = t.image.m_nXDpi;
    r.type = t.image.m_nBitsPerPixel == 1 ? 1 : t.image.m_nBitsPerPixel == 8 ? 2 : 3;
    return r;
}

} // namespace
