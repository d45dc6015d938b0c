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

std::string VlmFillInEach(const std::string& text, std::initializer_list<std::string> values) {
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        const bool placeholder =
            text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd');
        if (placeholder && next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
