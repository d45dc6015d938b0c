#include "Catalogue.h"

namespace vlm {

namespace {
std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool ParseSection(const std::string& line, uint16_t& langId) {
    if (line.size() < 3 || line.front() != '[' || line.back() != ']')
        return false;
    std::string hex = line.substr(1, line.size() - 2);
    if (hex.empty() || hex.size() > 4)
        return false;
    unsigned value = 0;
    for (char c : hex) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = value * 16 + static_cast<unsigned>(d);
    }
    langId = static_cast<uint16_t>(value);
    return true;
}
} // namespace

std::string CCatalogue::Unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char n = text[++i];
        switch (n) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '=':
            out += '=';
            break;
        case 's':
            out += ' ';
            break;
        case '\\':
            out += '\\';
            break;
        default: // unknown escapes stay as written
            out += '\\';
            out += n;
            break;
        }
    }
    return out;
}

CCatalogue::ParseStats CCatalogue::AddText(const std::string& utf8) {
    ParseStats stats;
    size_t pos = 0;
    if (utf8.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    bool inSection = false;
    uint16_t langId = 0;
    while (pos < utf8.size()) {
        size_t end = utf8.find('\n', pos);
        if (end == std::string::npos)
            end = utf8.size();
        std::string line = Trim(utf8.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inSection = ParseSection(line, langId);
            if (!inSection)
                ++stats.m_nSkipped;
            continue;
        }
        // The separator is the first '=' not preceded by an escaping backslash.
        size_t sep = std::string::npos;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\') {
                ++i;
                continue;
            }
            if (line[i] == '=') {
                sep = i;
                break;
            }
        }
        if (!inSection || sep == std::string::npos) {
            ++stats.m_nSkipped;
            continue;
        }
        std::string key = Unescape(Trim(line.substr(0, sep)));
        std::string value = Unescape(Trim(line.substr(sep + 1)));
        if (key.empty()) {
            ++stats.m_nSkipped;
            continue;
        }
        auto& section = m_sections[langId];
        if (section.count(key))
            ++stats.m_nReplaced;
        section[key] = value;
        ++stats.m_nEntries;
    }
    return stats;
}

const std::string* CCatalogue::Find(uint16_t langId, const std::string& keyUtf8) const {
    auto exact = m_sections.find(langId);
    if (exact != m_sections.end()) {
        auto it = exact->second.find(keyUtf8);
        if (it != exact->second.end())
            return &it->second;
    }
    for (const auto& section : m_sections) {
        if (section.first == langId || (section.first & 0x3FF) != (langId & 0x3FF))
            continue;
        auto it = section.second.find(keyUtf8);
        if (it != section.second.end())
            return &it->second;
    }
    return nullptr;
}

} // namespace vlm
