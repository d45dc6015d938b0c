// VARIANT <-> stored value. Integer types keep their VARIANT type, BSTR is
// text, a one-dimensional array of one-byte elements is a byte block.
// VT_R4, VT_R8, VT_CY, VT_DATE and VT_DECIMAL are stored as their text in the
// invariant locale; every other type is refused with E_INVALIDARG.
#pragma once
#include "ComSupport.h"
#include "StoreData.h"

namespace taskstore {

constexpr size_t kMaxValueBytes = 16u << 20;

// bRemove is set for VT_EMPTY: writing "nothing" removes the key.
HRESULT ValueFromVariant(const VARIANT& in, CTaskValue& out, bool& bRemove);
// A sealed secret this user cannot open reads as "" with TS_S_SEALED.
HRESULT VariantFromValue(const CTaskValue& in, VARIANT* pOut);
// A key or model name given as BSTR, checked.
HRESULT NameFromBstr(BSTR b, std::string& name);
BSTR BstrFromUtf8(const std::string& s);

} // namespace taskstore
