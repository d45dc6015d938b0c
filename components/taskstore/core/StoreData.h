// The job store's value model: typed values, per-job and store-wide key maps,
// one set of jobs per model. Portable; the COM server maps VARIANTs onto it.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace taskstore {

// VARIANT type numbers, repeated here so that this code needs no Windows header.
enum : uint16_t {
    kVtI2 = 2,
    kVtI4 = 3,
    kVtBstr = 8,
    kVtBool = 11,
    kVtI1 = 16,
    kVtUi1 = 17,
    kVtUi2 = 18,
    kVtUi4 = 19,
    kVtI8 = 20,
    kVtUi8 = 21,
    kVtInt = 22,
    kVtUint = 23,
    kVtArray = 0x2000,
};

// Byte width of an integer VARIANT type, 0 when the type is not an integer.
int IntegerWidth(uint16_t vt);
bool IsByteBlockType(uint16_t vt);

enum class ValueKind { Integer, Text, Bytes, Sealed };

// One stored value. Integers keep the VARIANT type they were written with so
// that a VT_I2 flag reads back as VT_I2. Sealed is a protected text that this
// user cannot open: it is kept byte for byte and reads as an empty text.
class CTaskValue {
public:
    ValueKind m_kind = ValueKind::Integer;
    uint16_t m_nVarType = kVtI4;
    int64_t m_nValue = 0;
    std::u16string m_strText;
    std::vector<uint8_t> m_bytes;

    // The integer is cut to the type's width (sign- or zero-extended) so that
    // the value in memory equals the value read back from the file.
    static CTaskValue Integer(uint16_t vt, int64_t value);
    static CTaskValue Text(std::u16string text);
    static CTaskValue Bytes(std::vector<uint8_t> bytes, uint16_t vt = kVtArray | kVtI1);
    static CTaskValue Sealed(std::vector<uint8_t> blob);

    bool operator==(const CTaskValue& other) const;
    bool operator!=(const CTaskValue& other) const { return !(*this == other); }
};

// Key and model names compare without regard to ASCII case, like registry names.
struct CNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
bool NamesEqual(const std::string& a, const std::string& b);

using CValueMap = std::map<std::string, CTaskValue, CNameLess>;

class CModelData {
public:
    std::string m_strName; // as first written
    CValueMap m_common;
    std::map<int, CValueMap> m_jobs;
    bool operator==(const CModelData& o) const;
};

class CStoreData {
public:
    std::map<std::string, CModelData, CNameLess> m_models;
    CModelData& Model(const std::string& name); // created when missing
    const CModelData* FindModel(const std::string& name) const;
    bool operator==(const CStoreData& o) const { return m_models == o.m_models; }
};

// A key that holds a secret is stored sealed (see IValueProtector).
bool IsSecretKey(const std::string& key);

// Names the store accepts for keys and models: 1..255 bytes of valid UTF-8
// without control characters.
bool IsValidName(const std::string& name);

// UTF-8 <-> UTF-16. Decoding fails on malformed UTF-8; encoding fails on an
// unpaired surrogate.
bool Utf8ToUtf16(const std::string& in, std::u16string& out);
bool Utf16ToUtf8(const std::u16string& in, std::string& out);

} // namespace taskstore
