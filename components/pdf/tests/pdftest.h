// Helpers of the PDF maker's tests: temporary files and the peer tools
// (qpdf, poppler) that check what the maker wrote.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace vlmtest {

inline std::string Tmp(const std::string& name) {
    return std::string(VLM_TEST_TMP) + "/pdf_" + name;
}

inline std::string Capture(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        out.append(buf, n);
    const int rc = pclose(p);
    if (status)
        *status = rc;
    return out;
}

inline bool QpdfAccepts(const std::string& path, std::string* report) {
    int rc = -1;
    *report = Capture("qpdf --check " + path, &rc);
    return rc == 0 && report->find("No syntax or stream encoding errors") != std::string::npos;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// "pdfimages -list" rows: page num type width height color comp bpc enc ...
inline std::vector<std::vector<std::string>> ImageList(const std::string& path) {
    std::istringstream in(Capture("pdfimages -list " + path));
    std::vector<std::vector<std::string>> rows;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (++n <= 2)
            continue; // header lines
        std::istringstream ls(line);
        std::vector<std::string> cols;
        std::string c;
        while (ls >> c)
            cols.push_back(c);
        if (cols.size() >= 9)
            rows.push_back(cols);
    }
    return rows;
}

} // namespace vlmtest
