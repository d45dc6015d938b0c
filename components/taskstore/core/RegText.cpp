#include "RegText.h"

#include <cstdio>
#include <cstring>

namespace taskstore {

const char kRegHeader[] = "Windows Registry Editor Version 5.00";
const char kRegRoot[] = "HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore";

namespace {

const char* const kRootParts[] = {"HKEY_CURRENT_USER", "Software", "Velmora Works", "Taskstore"};
constexpr int kMaxJobNumber = 999999;

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    return bytes;
}

bool TextFromUtf16Bytes(const std::vector<uint8_t>& bytes, std::u16string& text) {
    if (bytes.size() % 2 != 0)
        return false;
    text.clear();
    for (size_t i = 0; i < bytes.size(); i += 2)
        text.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    return true;
}

// --- writing ---------------------------------------------------------------

void AppendQuoted(std::string& out, const std::string& utf8) {
    out.push_back('"');
    for (char c : utf8) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendHex(std::string& out, const char* typeText, const std::vector<uint8_t>& bytes) {
    out += typeText;
    size_t lineLen = out.size() - out.rfind('\n') - 1;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
        lineLen += 2;
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            ++lineLen;
            // Wrapped like a registry export, so long blocks stay readable.
            if (lineLen > 76) {
                out += "\\\r\n  ";
                lineLen = 2;
            }
        }
    }
}

bool IsPlainText(const std::u16string& text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    std::string utf8;
    return Utf16ToUtf8(text, utf8);
}

bool AppendValue(std::string& out, const std::string& key, const CTaskValue& v, CRegError& err,
                 const IValueProtector* pProtector) {
    AppendQuoted(out, key);
    out.push_back('=');
    char type[32];
    switch (v.m_kind) {
    case ValueKind::Integer: {
        int width = IntegerWidth(v.m_nVarType);
        if (v.m_nVarType == kVtI4) {
            std::snprintf(type, sizeof type, "dword:%08x", unsigned(uint32_t(v.m_nValue)));
            out += type;
        } else {
            std::vector<uint8_t> bytes;
            for (int i = 0; i < width; ++i)
                bytes.push_back(uint8_t(uint64_t(v.m_nValue) >> (8 * i)));
            std::snprintf(type, sizeof type, "hex(%x):", unsigned(kRegTypeTyped | v.m_nVarType));
            AppendHex(out, type, bytes);
        }
        break;
    }
    case ValueKind::Text:
        if (pProtector && IsSecretKey(key)) {
            std::vector<uint8_t> blob;
            if (!pProtector->Seal(Utf16Bytes(v.m_strText), blob)) {
                err.m_strText = "the value \"" + key + "\" could not be sealed";
                return false;
            }
            std::snprintf(type, sizeof type, "hex(%x):", unsigned(kRegTypeSealed));
            AppendHex(out, type, blob);
        } else if (IsPlainText(v.m_strText)) {
            std::string utf8;
            Utf16ToUtf8(v.m_strText, utf8);
            AppendQuoted(out, utf8);
        } else {
            std::vector<uint8_t> bytes = Utf16Bytes(v.m_strText);
            bytes.push_back(0);
            bytes.push_back(0);
            AppendHex(out, "hex(1):", bytes);
        }
        break;
    case ValueKind::Bytes:
        if (v.m_nVarType == (kVtArray | kVtI1)) {
            AppendHex(out, "hex:", v.m_bytes);
        } else {
            std::snprintf(type, sizeof type, "hex(%x):", unsigned(kRegTypeTyped | v.m_nVarType));
            AppendHex(out, type, v.m_bytes);
        }
        break;
    case ValueKind::Sealed:
        std::snprintf(type, sizeof type, "hex(%x):", unsigned(kRegTypeSealed));
        AppendHex(out, type, v.m_bytes);
        break;
    }
    out += "\r\n";
    return true;
}

bool AppendValues(std::string& out, const CValueMap& values, CRegError& err,
                  const IValueProtector* pProtector) {
    for (const auto& [key, value] : values)
        if (!AppendValue(out, key, value, err, pProtector))
            return false;
    return true;
}

// --- reading ---------------------------------------------------------------

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHexNumber(const std::string& s, uint32_t& value) {
    if (s.empty() || s.size() > 8)
        return false;
    value = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        value = (value << 4) | uint32_t(d);
    }
    return true;
}

std::string DecodeText(const std::string& bytes, bool& ok) {
    ok = true;
    if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide.push_back(char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
        std::string utf8;
        ok = bytes.size() % 2 == 0 && Utf16ToUtf8(wide, utf8);
        return utf8;
    }
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0)
        return bytes.substr(3);
    return bytes;
}

// A quoted name or text starting at s[pos] == '"'; pos ends after the quote.
bool ReadQuoted(const std::string& s, size_t& pos, std::string& out) {
    out.clear();
    ++pos;
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (pos >= s.size() || (s[pos] != '\\' && s[pos] != '"'))
                return false;
            c = s[pos++];
        }
        out.push_back(c);
    }
    return false;
}

class CParser {
public:
    CParser(const IValueProtector* pProtector, CRegError& err)
        : m_pProtector(pProtector), m_err(err) {}

    bool Run(const std::string& raw, CStoreData& out) {
        bool ok;
        std::string text = DecodeText(raw, ok);
        if (!ok)
            return Fail(1, "the UTF-16 text is malformed");
        SplitLines(text);
        size_t i = 0;
        while (i < m_lines.size() && Trim(m_lines[i]).empty())
            ++i;
        if (i == m_lines.size() || Trim(m_lines[i]) != kRegHeader)
            return Fail(int(i < m_lines.size() ? i + 1 : 1),
                        std::string("the first line is not \"") + kRegHeader + "\"");
        for (++i; i < m_lines.size(); ++i) {
            std::string line = Trim(m_lines[i]);
            if (line.empty() || line[0] == ';')
                continue;
            if (line[0] == '[') {
                if (!ParseKey(int(i + 1), line, out))
                    return false;
            } else if (line[0] == '"') {
                if (!ParseValue(i, line))
                    return false;
            } else {
                return Fail(int(i + 1), "expected a [key] or a \"name\"=value line");
            }
        }
        return true;
    }

private:
    void SplitLines(const std::string& text) {
        size_t start = 0;
        while (start <= text.size()) {
            size_t nl = text.find('\n', start);
            std::string line =
                text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_lines.push_back(line);
            if (nl == std::string::npos)
                break;
            start = nl + 1;
        }
    }

    bool Fail(int line, const std::string& text) {
        m_err.m_nLine = line;
        m_err.m_strText = text;
        return false;
    }

    bool ParseKey(int lineNo, const std::string& line, CStoreData& out) {
        if (line.back() != ']')
            return Fail(lineNo, "a key line must end with ']'");
        std::string path = line.substr(1, line.size() - 2);
        if (!path.empty() && path[0] == '-')
            return Fail(lineNo, "key deletion is not supported");
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            size_t bs = path.find('\\', start);
            parts.push_back(
                path.substr(start, bs == std::string::npos ? std::string::npos : bs - start));
            if (bs == std::string::npos)
                break;
            start = bs + 1;
        }
        const size_t nRoot = sizeof kRootParts / sizeof kRootParts[0];
        if (parts.size() < nRoot)
            return Fail(lineNo, std::string("the key is not under ") + kRegRoot);
        for (size_t k = 0; k < nRoot; ++k)
            if (!NamesEqual(parts[k], kRootParts[k]))
                return Fail(lineNo, std::string("the key is not under ") + kRegRoot);
        m_pValues = nullptr;
        if (parts.size() == nRoot)
            return true;
        std::string model;
        if (!DecodeModel(parts[nRoot], model))
            return Fail(lineNo, "the model name is malformed");
        CModelData& data = out.Model(model);
        if (parts.size() == nRoot + 1)
            return true;
        if (parts.size() == nRoot + 2 && NamesEqual(parts[nRoot + 1], "Common")) {
            m_pValues = &data.m_common;
            return true;
        }
        if (parts.size() == nRoot + 3 && NamesEqual(parts[nRoot + 1], "Jobs")) {
            const std::string& num = parts[nRoot + 2];
            if (num.empty() || num.size() > 9)
                return Fail(lineNo, "a job key needs a job number");
            long n = 0;
            for (char c : num) {
                if (c < '0' || c > '9')
                    return Fail(lineNo, "a job key needs a job number");
                n = n * 10 + (c - '0');
            }
            if (n < 1 || n > kMaxJobNumber)
                return Fail(lineNo, "the job number is out of range");
            m_pValues = &data.m_jobs[int(n)];
            return true;
        }
        return Fail(lineNo,
                    "unknown key; expected <model>, <model>\\Common or <model>\\Jobs\\<number>");
    }

    static bool DecodeModel(const std::string& enc, std::string& model) {
        model.clear();
        for (size_t i = 0; i < enc.size(); ++i) {
            if (enc[i] == '%') {
                if (i + 2 >= enc.size())
                    return false;
                int hi = HexDigit(enc[i + 1]), lo = HexDigit(enc[i + 2]);
                if (hi < 0 || lo < 0)
                    return false;
                model.push_back(char(hi * 16 + lo));
                i += 2;
            } else if (enc[i] == '[' || enc[i] == ']') {
                return false;
            } else {
                model.push_back(enc[i]);
            }
        }
        return IsValidName(model) && EncodeModelName(model) == enc;
    }

    // Value line at index i; continuation lines of hex data advance i.
    bool ParseValue(size_t& i, const std::string& line) {
        int lineNo = int(i + 1);
        if (!m_pValues)
            return Fail(lineNo, "values belong under a Common or a job key");
        size_t pos = 0;
        std::string name;
        if (!ReadQuoted(line, pos, name))
            return Fail(lineNo, "the value name is not properly quoted");
        if (!IsValidName(name))
            return Fail(lineNo, "the value name is empty, too long or not UTF-8");
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return Fail(lineNo, "expected '=' after the value name");
        std::string data = Trim(line.substr(pos + 1));
        CTaskValue value;
        if (!data.empty() && data[0] == '"') {
            size_t p = 0;
            std::string text;
            if (!ReadQuoted(data, p, text) || !Trim(data.substr(p)).empty())
                return Fail(lineNo, "the text value is not properly quoted");
            std::u16string wide;
            if (!Utf8ToUtf16(text, wide))
                return Fail(lineNo, "the text value is not UTF-8");
            value = CTaskValue::Text(std::move(wide));
        } else if (data.compare(0, 6, "dword:") == 0) {
            uint32_t n;
            if (!ParseHexNumber(data.substr(6), n))
                return Fail(lineNo, "a dword value needs 1 to 8 hexadecimal digits");
            value = CTaskValue::Integer(kVtI4, int32_t(n));
        } else if (data.compare(0, 3, "hex") == 0) {
            uint32_t type = 3;
            size_t colon = data.find(':');
            if (colon == std::string::npos)
                return Fail(lineNo, "a hex value needs ':'");
            std::string spec = data.substr(3, colon - 3);
            if (!spec.empty()) {
                if (spec.size() < 3 || spec.front() != '(' || spec.back() != ')' ||
                    !ParseHexNumber(spec.substr(1, spec.size() - 2), type))
                    return Fail(lineNo, "malformed hex(type)");
            }
            std::string hex = data.substr(colon + 1);
            while (!hex.empty() && hex.back() == '\\') {
                hex.pop_back();
                if (++i >= m_lines.size())
                    return Fail(lineNo, "the hex value continues past the end of the file");
                hex += Trim(m_lines[i]);
            }
            std::vector<uint8_t> bytes;
            if (!ParseHexBytes(hex, bytes))
                return Fail(lineNo, "malformed hex bytes");
            if (!MakeHexValue(lineNo, type, std::move(bytes), value))
                return false;
        } else {
            return Fail(lineNo, "unsupported value form");
        }
        (*m_pValues)[name] = std::move(value);
        return true;
    }

    static bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
        std::string hex = Trim(text);
        if (hex.empty())
            return true;
        size_t start = 0;
        for (;;) {
            size_t comma = hex.find(',', start);
            std::string tok = Trim(
                hex.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (tok.empty() || tok.size() > 2)
                return false;
            int v = 0;
            for (char c : tok) {
                int d = HexDigit(c);
                if (d < 0)
                    return false;
                v = v * 16 + d;
            }
            bytes.push_back(uint8_t(v));
            if (comma == std::string::npos)
                return true;
            start = comma + 1;
        }
    }

    bool MakeHexValue(int lineNo, uint32_t type, std::vector<uint8_t> bytes, CTaskValue& value) {
        auto littleEndian = [&bytes]() {
            uint64_t v = 0;
            for (size_t k = 0; k < bytes.size(); ++k)
                v |= uint64_t(bytes[k]) << (8 * k);
            return int64_t(v);
        };
        if (type == 1 || type == 2) {
            std::u16string text;
            if (!TextFromUtf16Bytes(bytes, text))
                return Fail(lineNo, "a text value needs an even number of bytes");
            if (!text.empty() && text.back() == 0)
                text.pop_back();
            value = CTaskValue::Text(std::move(text));
        } else if (type == 3) {
            value = CTaskValue::Bytes(std::move(bytes));
        } else if (type == 4 || type == 0xb) {
            if (bytes.size() != (type == 4 ? 4u : 8u))
                return Fail(lineNo, "the integer has the wrong number of bytes");
            value = CTaskValue::Integer(type == 4 ? kVtI4 : kVtI8, littleEndian());
        } else if (type == kRegTypeSealed) {
            std::vector<uint8_t> plain;
            std::u16string text;
            if (m_pProtector && m_pProtector->Unseal(bytes, plain) &&
                TextFromUtf16Bytes(plain, text))
                value = CTaskValue::Text(std::move(text));
            else
                value = CTaskValue::Sealed(std::move(bytes)); // kept for the user who can open it
        } else if ((type & 0xFFFF0000u) == kRegTypeTyped) {
            uint16_t vt = uint16_t(type & 0xFFFF);
            int width = IntegerWidth(vt);
            if (width > 0) {
                if (bytes.size() != size_t(width))
                    return Fail(lineNo, "the integer has the wrong number of bytes");
                value = CTaskValue::Integer(vt, littleEndian());
            } else if (IsByteBlockType(vt)) {
                value = CTaskValue::Bytes(std::move(bytes), vt);
            } else {
                return Fail(lineNo, "unsupported value type");
            }
        } else {
            return Fail(lineNo, "unsupported value type");
        }
        return true;
    }

    const IValueProtector* m_pProtector;
    CRegError& m_err;
    std::vector<std::string> m_lines;
    CValueMap* m_pValues = nullptr;
};

} // namespace

std::string EncodeModelName(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '%' || c == '\\' || c == '[' || c == ']') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", unsigned(uint8_t(c)));
            out += buf;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool ParseRegText(const std::string& bytes, CStoreData& out, CRegError& err,
                  const IValueProtector* pProtector) {
    CStoreData data;
    CParser parser(pProtector, err);
    if (!parser.Run(bytes, data))
        return false;
    out = std::move(data);
    return true;
}

bool FormatRegText(const CStoreData& data, std::string& out, CRegError& err,
                   const IValueProtector* pProtector) {
    std::string text = std::string(kRegHeader) + "\r\n\r\n[" + kRegRoot + "]\r\n";
    for (const auto& [key, model] : data.m_models) {
        std::string base = std::string(kRegRoot) + "\\" + EncodeModelName(model.m_strName);
        text += "\r\n[" + base + "]\r\n\r\n[" + base + "\\Common]\r\n";
        if (!AppendValues(text, model.m_common, err, pProtector))
            return false;
        for (const auto& [number, values] : model.m_jobs) {
            char num[16];
            std::snprintf(num, sizeof num, "%03d", number);
            text += "\r\n[" + base + "\\Jobs\\" + num + "]\r\n";
            if (!AppendValues(text, values, err, pProtector))
                return false;
        }
    }
    out = std::move(text);
    return true;
}

} // namespace taskstore
