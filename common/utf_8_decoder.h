// Character iteration over UTF-8 text. A lead byte's sequence length is the
// number of its leading 1 bits (bytes below 0x80 are one byte long); a zero
// byte ends the text.
#pragma once

#include "common/character_iterator.h"

class utf_8_decoder : public character_iterator {
 public:
  static constexpr int kWideCapacity = 1024;

  utf_8_decoder(const char* bytes, int length);

  // Every sequence complete and its continuation bytes of the form 10xxxxxx.
  bool valid() override;
  int reset() override;
  int next() override;
  bool at_end() override { return m_byte_pos >= m_length || m_char_pos >= m_char_count; }
  // Throws std::runtime_error "not utf-8" for a text that is not valid.
  int count() override;
  // Throws std::logic_error "destination buffer error" for a dest_len below 1;
  // 0 for an invalid text.
  int to_multibyte(char* dest, int dest_len) override;

 private:
  // Sequence length of the lead byte at `pos`.
  int sequence_length(int pos) const;
  // Whether the sequence at `pos` is complete and well formed.
  bool sequence_ok(int pos, int len) const;
};
