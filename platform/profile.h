// Reading values from profile (INI) files the way Windows programs expect.
#pragma once

#include "platform/types.h"

// Copies the value of `key` in `section` of the profile `file` into
// `buffer` (at most size - 1 characters, always NUL-terminated) and returns
// the number of characters copied.
//
// Section and key names compare without regard to ASCII case; names and
// values are trimmed; a value enclosed in a pair of matching single or
// double quotes loses them; the first occurrence in the file wins; an
// existing key with an empty value gives the empty text. When the file or
// the key is missing, `default_value` (null: empty; trailing blanks
// dropped) is copied instead.
//
// A null `key` lists the key names of the section, a null `section` the
// section names that hold at least one key: each name NUL-terminated, the
// list closed by a further NUL; when the buffer is too small the last name
// is cut, the list is still closed by two NULs and size - 2 is returned.
//
// Lines are read with leading blanks ignored (an indented line is an
// ordinary line, never the continuation of the one before). A name ends at
// the first '=' or ':'. Lines starting
// with ';' or '#' are comments, as is the part of a line from a ';' that
// follows a blank. A line too long for the parser (about 200 characters)
// is skipped whole rather than read in part. A relative `file` is taken
// from the current directory.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* default_value, char* buffer,
                               DWORD size, const char* file);
