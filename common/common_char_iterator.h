// Character iteration over a text of any Windows code page, through UTF-16.
#pragma once

#include "common/character_iterator.h"

class common_char_iterator : public character_iterator {
 public:
  static constexpr int kWideCapacity = 1024;

  // Converts the text to UTF-16 (at most kWideCapacity units); throws
  // std::runtime_error "MultiByteToWideChar call error, code:" + code.
  common_char_iterator(UINT code_page, const char* bytes, int length);

  bool valid() override { return true; }
  int reset() override;
  int next() override;
  bool at_end() override { return m_char_pos >= m_char_count; }
  // UTF-16 units before the first zero unit.
  int count() override;
  int to_multibyte(char* dest, int dest_len) override;

 private:
  WCHAR m_wide[kWideCapacity];
  int m_wide_size = 0;  // units the conversion produced
};
