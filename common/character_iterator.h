// Walks a narrow text character by character, whatever its encoding, so that
// a character-wise transformation can handle multi-byte characters whole.
// Failures are thrown as std::runtime_error / std::logic_error.
#pragma once

#include "platform/types.h"

class character_iterator {
 public:
  virtual ~character_iterator() = default;
  // Whether the text is well formed in its encoding.
  virtual bool valid() = 0;
  // Back to the first character; returns the character count.
  virtual int reset() = 0;
  // Byte length of the current character in the source; moves to the next.
  virtual int next() = 0;
  virtual bool at_end() = 0;
  virtual int count() = 0;
  // The whole text in the ANSI code page; bytes written into dest.
  virtual int to_multibyte(char* dest, int dest_len) = 0;

 protected:
  character_iterator(UINT source, const char* bytes, int length)
      : m_source(source), m_bytes(bytes), m_length(length < 0 ? 0 : length) {}
  character_iterator(const character_iterator&) = delete;
  character_iterator& operator=(const character_iterator&) = delete;

  UINT m_source;          // code page of the source text
  const char* m_bytes;    // not owned
  int m_length;           // bytes
  int m_byte_pos = 0;
  int m_char_pos = 0;
  int m_char_count = 0;
};
