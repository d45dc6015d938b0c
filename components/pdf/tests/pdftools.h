// Helpers of the PDF maker's tests: running the peer tools and reading files.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace pdftest {

// What the command prints (standard output and error); its status in *status.
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

inline std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace pdftest
