#include "platform/guid.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/winerror.h"

bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

void* CoTaskMemAlloc(std::size_t size) { return std::malloc(size); }

void CoTaskMemFree(void* p) { std::free(p); }

HRESULT StringFromIID(REFIID iid, LPOLESTR* out) {
  if (!out) return E_INVALIDARG;
  const std::string text = platform::guid_to_string(iid);
  auto* wide = static_cast<WCHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (!wide) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<WCHAR>(text[i]);
  wide[text.size()] = 0;
  *out = wide;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* out) {
  if (!text || !out) return E_INVALIDARG;
  std::string narrow;
  for (; *text; ++text) {
    if (*text > 0x7F) return E_INVALIDARG;
    narrow.push_back(static_cast<char>(*text));
  }
  return platform::guid_from_string(narrow, *out) ? S_OK : E_INVALIDARG;
}

namespace platform {

std::string guid_to_string(REFGUID g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

namespace {
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false when any is not hex.
bool read_hex(const std::string& text, std::size_t pos, int digits, std::uint64_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    int v = hex_value(text[pos + i]);
    if (v < 0) return false;
    out = (out << 4) | static_cast<unsigned>(v);
  }
  return true;
}
}  // namespace

bool guid_from_string(const std::string& text, GUID& out) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-')
    return false;
  std::uint64_t v = 0;
  GUID g{};
  if (!read_hex(text, 1, 8, v)) return false;
  g.Data1 = static_cast<std::uint32_t>(v);
  if (!read_hex(text, 10, 4, v)) return false;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!read_hex(text, 15, 4, v)) return false;
  g.Data3 = static_cast<std::uint16_t>(v);
  static const std::size_t byte_pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!read_hex(text, byte_pos[i], 2, v)) return false;
    g.Data4[i] = static_cast<std::uint8_t>(v);
  }
  out = g;
  return true;
}

}  // namespace platform
