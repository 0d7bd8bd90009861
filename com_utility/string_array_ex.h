// STRING_ARRAY_EX: a tagSTRING_ARRAY built from a vector of strings.
//
// Without copies the records point into the vector's strings, so the array
// must neither outlive the vector nor see it change. With copies each
// non-empty string gets its own NUL-terminated buffer, freed with the array.
#pragma once

#include <string>
#include <vector>

#include "interfaces/string_types.h"

struct STRING_ARRAY_EX : tagSTRING_ARRAY {
  STRING_ARRAY_EX(const std::vector<std::string>& strings, bool copy);
  virtual ~STRING_ARRAY_EX();
  STRING_ARRAY_EX(const STRING_ARRAY_EX&) = delete;
  STRING_ARRAY_EX& operator=(const STRING_ARRAY_EX&) = delete;

  bool owns;
};
