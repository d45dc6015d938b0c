// The store file and the backup file are registry export text ("Windows
// Registry Editor Version 5.00"), so that an administrator can read them and
// a registry tool can import them. Layout:
//
//   [HKEY_CURRENT_USER\Software\Velmora Works\Taskstore\<model>]
//   [HKEY_CURRENT_USER\Software\Velmora Works\Taskstore\<model>\Common]
//   "LastJobNum"=dword:00000003
//   [HKEY_CURRENT_USER\Software\Velmora Works\Taskstore\<model>\Jobs\003]
//   "title"="Invoices"
//   "save"=hex(80000002):01,00
//
// Value forms:
//   dword:XXXXXXXX          VT_I4
//   "text"                  BSTR of printable characters (\\ and \" escaped)
//   hex(1):..               BSTR with control characters: UTF-16LE plus a NUL
//   hex:..                  byte block, VT_ARRAY|VT_I1
//   hex(8000vvvv):..        any other integer or byte block type: vvvv is the
//                           VARIANT type, the bytes are the value, little-endian
//   hex(40000008):..        a secret (key containing "password") sealed by the
//                           platform's per-user data protection
// Model names escape '%', '\', '[' and ']' as %XX. The file is UTF-8 with CR LF
// lines; a UTF-16LE file with a byte-order mark is read as well.
#pragma once
#include "StoreData.h"

#include <string>
#include <vector>

namespace taskstore {

extern const char kRegHeader[];
extern const char kRegRoot[];
constexpr uint32_t kRegTypeTyped = 0x80000000u;
constexpr uint32_t kRegTypeSealed = 0x40000008u;

// Seals secrets for the file. The Windows server uses the per-user data
// protection; a store without a protector writes secrets as plain text.
class IValueProtector {
public:
    virtual ~IValueProtector() = default;
    virtual bool Seal(const std::vector<uint8_t>& plain, std::vector<uint8_t>& blob) const = 0;
    virtual bool Unseal(const std::vector<uint8_t>& blob, std::vector<uint8_t>& plain) const = 0;
};

class CRegError {
public:
    int m_nLine = 0; // 0 when the error has no line
    std::string m_strText;
};

// Parses a whole file. Nothing is kept from a text that does not parse.
bool ParseRegText(const std::string& bytes, CStoreData& out, CRegError& err,
                  const IValueProtector* pProtector = nullptr);

// Fails only when a secret cannot be sealed.
bool FormatRegText(const CStoreData& data, std::string& out, CRegError& err,
                   const IValueProtector* pProtector = nullptr);

std::string EncodeModelName(const std::string& name);

} // namespace taskstore
