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
