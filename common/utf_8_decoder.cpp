#include "common/utf_8_decoder.h"

#include <stdexcept>
#include <string>

#include "platform/codepage.h"
#include "platform/winerror.h"

namespace {

[[noreturn]] void throw_call_error(const char* call) {
  throw std::runtime_error(std::string(call) + " call error, code:" + std::to_string(GetLastError()));
}

}  // namespace

utf_8_decoder::utf_8_decoder(const char* bytes, int length) : character_iterator(CP_UTF8, bytes, length) {}

int utf_8_decoder::sequence_length(int pos) const {
  const unsigned char lead = static_cast<unsigned char>(m_bytes[pos]);
  int ones = 0;
  for (unsigned mask = 0x80; mask != 0 && (lead & mask) != 0; mask >>= 1) ++ones;
  return ones == 0 ? 1 : ones;
}

bool utf_8_decoder::sequence_ok(int pos, int len) const {
  if (len > m_length - pos) return false;
  for (int k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(m_bytes[pos + k]) & 0xC0) != 0x80) return false;
  }
  return true;
}

bool utf_8_decoder::valid() {
  int pos = 0;
  while (pos < m_length && m_bytes[pos] != 0) {
    const int len = sequence_length(pos);
    if (!sequence_ok(pos, len)) return false;
    pos += len;
  }
  return true;
}

int utf_8_decoder::count() {
  if (!valid()) throw std::runtime_error("not utf-8");
  int n = 0;
  int pos = 0;
  while (pos < m_length && m_bytes[pos] != 0) {
    pos += sequence_length(pos);
    ++n;
  }
  return n;
}

int utf_8_decoder::reset() {
  m_byte_pos = 0;
  m_char_pos = 0;
  m_char_count = count();
  return m_char_count;
}

int utf_8_decoder::next() {
  if (m_byte_pos >= m_length) return 0;
  if (m_bytes[m_byte_pos] == 0) return 1;
  const int len = sequence_length(m_byte_pos);
  if (len > m_length - m_byte_pos) return m_length - m_byte_pos;
  if (!sequence_ok(m_byte_pos, len)) return 1;
  m_byte_pos += len;
  ++m_char_pos;
  return len;
}

int utf_8_decoder::to_multibyte(char* dest, int dest_len) {
  if (dest == nullptr || dest_len < 1) throw std::logic_error("destination buffer error");
  if (!valid()) return 0;
  int length = 0;
  while (length < m_length && m_bytes[length] != 0) ++length;
  if (length == 0) return 0;
  WCHAR wide[kWideCapacity];
  const int units = MultiByteToWideChar(CP_UTF8, 0, m_bytes, length, wide, kWideCapacity);
  if (units == 0) throw_call_error("MultiByteToWideChar");
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, units, dest, dest_len, nullptr, nullptr);
  if (n == 0) throw_call_error("WideCharToMultiByte");
  return n;
}
