#include "common/common_char_iterator.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/codepage.h"
#include "platform/winerror.h"

namespace {

[[noreturn]] void throw_call_error(const char* call) {
  throw std::runtime_error(std::string(call) + " call error, code:" + std::to_string(GetLastError()));
}

}  // namespace

common_char_iterator::common_char_iterator(UINT code_page, const char* bytes, int length)
    : character_iterator(code_page, bytes, length) {
  std::memset(m_wide, 0, sizeof(m_wide));
  if (m_length > 0) {
    m_wide_size = MultiByteToWideChar(code_page, 0, bytes, m_length, m_wide, kWideCapacity);
    if (m_wide_size == 0) throw_call_error("MultiByteToWideChar");
  }
}

int common_char_iterator::count() {
  int n = 0;
  while (n < m_wide_size && m_wide[n] != 0) ++n;
  return n;
}

int common_char_iterator::reset() {
  m_byte_pos = 0;
  m_char_pos = 0;
  m_char_count = count();
  return m_char_count;
}

int common_char_iterator::next() {
  if (m_char_pos >= m_wide_size) return 0;
  char bytes[10];
  int n = WideCharToMultiByte(m_source, 0, &m_wide[m_char_pos], 1, bytes, sizeof(bytes), nullptr, nullptr);
  if (n == 0) throw_call_error("WideCharToMultiByte");
  ++m_char_pos;
  if (n > m_length - m_byte_pos) n = m_length - m_byte_pos;
  m_byte_pos += n;
  return n;
}

int common_char_iterator::to_multibyte(char* dest, int dest_len) {
  const int units = count();
  if (units == 0) return 0;
  const int n = WideCharToMultiByte(CP_ACP, 0, m_wide, units, dest, dest_len, nullptr, nullptr);
  if (n == 0) throw_call_error("WideCharToMultiByte");
  return n;
}
