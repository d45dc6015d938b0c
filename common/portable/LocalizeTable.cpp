#include "LocalizeTable.h"

std::string CLocalize::GetString(unsigned id) const {
    if (id > kMaxId)
        return "ID too large";
    if (m_texts[id].empty())
        return m_texts[0];
    return m_texts[id];
}

bool CLocalize::SetString(unsigned id, const std::string& text) {
    if (id > kMaxId)
        return false;
    m_texts[id] = text.size() > kMaxText ? text.substr(0, kMaxText) : text;
    return true;
}

std::string VlmFillIn(const std::string& text, const std::string& value) {
    std::string out = text;
    const size_t at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, value);
    return out;
}
