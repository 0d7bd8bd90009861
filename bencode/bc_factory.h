// The value factory: makes the value whose encoding starts at `buf`.
#pragma once

#include "bencode/CQBCObj.h"

// "i" makes an integer, "l" a list, "d" a dictionary, a decimal digit a
// string; the value then parses the buffer. On success *out receives the new
// value (owned by the caller) and the consumed count is returned; otherwise
// -1 and nothing is made.
int bc_create_object(const char* buf, int len, CQBCObj** out);
