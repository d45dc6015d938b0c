#include "StoreData.h"

#include <algorithm>

namespace taskstore {

int IntegerWidth(uint16_t vt) {
    switch (vt) {
    case kVtI1:
    case kVtUi1:
        return 1;
    case kVtI2:
    case kVtUi2:
    case kVtBool:
        return 2;
    case kVtI4:
    case kVtUi4:
    case kVtInt:
    case kVtUint:
        return 4;
    case kVtI8:
    case kVtUi8:
        return 8;
    default:
        return 0;
    }
}

bool IsByteBlockType(uint16_t vt) {
    return vt == (kVtArray | kVtI1) || vt == (kVtArray | kVtUi1);
}

static bool IsUnsignedType(uint16_t vt) {
    return vt == kVtUi1 || vt == kVtUi2 || vt == kVtUi4 || vt == kVtUint || vt == kVtUi8;
}

CTaskValue CTaskValue::Integer(uint16_t vt, int64_t value) {
    CTaskValue v;
    v.m_kind = ValueKind::Integer;
    v.m_nVarType = vt;
    int width = IntegerWidth(vt);
    if (width > 0 && width < 8) {
        uint64_t mask = (uint64_t(1) << (width * 8)) - 1;
        uint64_t bits = uint64_t(value) & mask;
        if (!IsUnsignedType(vt) && (bits >> (width * 8 - 1)) != 0)
            bits |= ~mask; // sign-extend
        value = int64_t(bits);
    }
    v.m_nValue = value;
    return v;
}

CTaskValue CTaskValue::Text(std::u16string text) {
    CTaskValue v;
    v.m_kind = ValueKind::Text;
    v.m_nVarType = kVtBstr;
    v.m_strText = std::move(text);
    return v;
}

CTaskValue CTaskValue::Bytes(std::vector<uint8_t> bytes, uint16_t vt) {
    CTaskValue v;
    v.m_kind = ValueKind::Bytes;
    v.m_nVarType = vt;
    v.m_bytes = std::move(bytes);
    return v;
}

CTaskValue CTaskValue::Sealed(std::vector<uint8_t> blob) {
    CTaskValue v;
    v.m_kind = ValueKind::Sealed;
    v.m_nVarType = kVtBstr;
    v.m_bytes = std::move(blob);
    return v;
}

bool CTaskValue::operator==(const CTaskValue& o) const {
    if (m_kind != o.m_kind || m_nVarType != o.m_nVarType)
        return false;
    switch (m_kind) {
    case ValueKind::Integer:
        return m_nValue == o.m_nValue;
    case ValueKind::Text:
        return m_strText == o.m_strText;
    default:
        return m_bytes == o.m_bytes;
    }
}

static char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool CNameLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (unsigned char)Lower(x) < (unsigned char)Lower(y);
    });
}

bool NamesEqual(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool CModelData::operator==(const CModelData& o) const {
    // The spelling of the name is cosmetic; the map key already matched.
    return m_common == o.m_common && m_jobs == o.m_jobs;
}

CModelData& CStoreData::Model(const std::string& name) {
    auto it = m_models.find(name);
    if (it == m_models.end()) {
        it = m_models.emplace(name, CModelData()).first;
        it->second.m_strName = name;
    }
    return it->second;
}

const CModelData* CStoreData::FindModel(const std::string& name) const {
    auto it = m_models.find(name);
    return it == m_models.end() ? nullptr : &it->second;
}

bool IsSecretKey(const std::string& key) {
    std::string lower(key);
    for (char& c : lower)
        c = Lower(c);
    return lower.find("password") != std::string::npos;
}

bool IsValidName(const std::string& name) {
    if (name.empty() || name.size() > 255)
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return false;
    std::u16string wide;
    return Utf8ToUtf16(name, wide);
}

bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        unsigned char c = in[i];
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= in.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = in[i + k];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += extra + 1;
    }
    return true;
}

bool Utf16ToUtf8(const std::u16string& in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

} // namespace taskstore
