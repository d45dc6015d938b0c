// Reading Quill Mail's outbox in tests: the .eml files its Send writes and
// the attachments in them (base64 parts between its "=_quill" boundaries).
#pragma once
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "mail/core/Base64.h"

namespace quilltest {

inline std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The messages in the outbox folder.
inline std::vector<std::string> Messages(const std::string& outbox) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    vlm::CFindHandle find(::FindFirstFileA((outbox + "\\*.eml").c_str(), &fd));
    if (!find)
        return out;
    do
        out.push_back(ReadAll(outbox + "\\" + fd.cFileName));
    while (::FindNextFileA(find.Get(), &fd));
    return out;
}

// The decoded attachment named name in a message; "<missing>" without one.
inline std::string Attachment(const std::string& eml, const std::string& name) {
    const size_t at = eml.find("filename=\"" + name + "\"");
    if (at == std::string::npos)
        return "<missing>";
    const size_t start = eml.find("\r\n\r\n", at) + 4;
    std::string data;
    vlm::mail::Base64Decode(eml.substr(start, eml.find("--=_quill", start) - start), data);
    return data;
}

} // namespace quilltest
