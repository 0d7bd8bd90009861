// Interface and class identifiers and their text forms.
#pragma once

#include <string>

#include "platform/types.h"

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

// Compares all 16 bytes.
bool IsEqualGUID(REFGUID a, REFGUID b);
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// The braced upper-case registry form, e.g. "{00000000-0000-0000-C000-000000000046}",
// in UTF-16 allocated for the caller, who frees it with CoTaskMemFree.
HRESULT StringFromIID(REFIID iid, LPOLESTR* out);
// Parses the braced form (hex digits of either case); E_INVALIDARG when malformed.
HRESULT IIDFromString(LPCOLESTR text, IID* out);
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* p);

namespace platform {
// Narrow forms of the two conversions above.
std::string guid_to_string(REFGUID guid);
bool guid_from_string(const std::string& text, GUID& out);
}  // namespace platform
