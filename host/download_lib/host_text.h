// Small text helpers of the host runtime.
#pragma once

#include <string>

#include "interfaces/string_types.h"

namespace host_text {

// Exactly `len` bytes of the record; empty when the pointer is null.
inline std::string from(const tagSTRING& s) { return s.len && s.ptr ? std::string(s.ptr, s.len) : std::string(); }

// A record over the bytes of `s`, valid while `s` is neither changed nor destroyed.
inline tagSTRING view(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.c_str()}; }

}  // namespace host_text
