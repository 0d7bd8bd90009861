// The value factory: makes the object whose encoding starts at `buf`.
#pragma once

#include "bencode/CQBCObj.h"

class bc_node;

// "i" makes an integer, "l" a list, "d" a dictionary, a decimal digit a
// string; the value then parses the buffer. On success *out receives the new
// value (owned by the caller) and the consumed count is returned; otherwise
// -1 and nothing is made.
int bc_create_object(const char* buf, int len, CQBCObj** out);

// A new object (owned by the caller) holding the value of a non-null node.
CQBCObj* bc_make_object(const bc_node& node);
