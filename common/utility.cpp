#include "common/utility.h"

#include <arpa/inet.h>
#include <limits.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace {

const char k_upper_digits[] = "0123456789ABCDEF";
const char k_lower_digits[] = "0123456789abcdef";

std::string unsigned_text(std::uint64_t value) {
  char buf[24];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::string(p, buf + sizeof buf);
}

std::string signed_text(std::int64_t value) {
  if (value >= 0) return unsigned_text(static_cast<std::uint64_t>(value));
  // Negate in unsigned arithmetic: the smallest value has no positive twin.
  return "-" + unsigned_text(0 - static_cast<std::uint64_t>(value));
}

std::string hex_of(const BYTE* data, std::size_t size, const char* digits) {
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 0x0F]);
  }
  return out;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Formats a parser message as "<prefix>[<text>]<suffix>", cut to 128 characters.
std::string parse_message(const char* prefix, const std::string& text, const char* suffix) {
  std::string message = std::string(prefix) + "[" + text + "]" + suffix;
  if (message.size() > 128) message.resize(128);
  return message;
}

// The sign and magnitude of a strictly formed decimal number; raises with
// the texts of the parsers. `narrow` selects the overflow text of the
// narrower types; `limit` is the largest magnitude allowed for a positive
// value, `negative_limit` for a negative one (0 for unsigned types).
std::uint64_t parse_magnitude(const std::string& text, bool allow_minus, std::uint64_t limit,
                              std::uint64_t negative_limit, bool narrow, bool& negative) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  if (i == text.size()) throw std::invalid_argument(parse_message("", text, " is an empty std::string."));
  negative = false;
  if (allow_minus && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == text.size()) throw std::invalid_argument(parse_message("", text, " includes non-numberic character."));
  for (std::size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') {
      throw std::invalid_argument(parse_message("", text, " includes non-numberic character."));
    }
  }
  const std::uint64_t max = negative ? negative_limit : limit;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (digit > max || value > (max - digit) / 10) throw std::out_of_range(parse_message(narrow ? " " : "", text, " overflowed."));
    value = value * 10 + digit;
  }
  return value;
}

template <typename T>
T parse_signed(const std::string& text, bool narrow) {
  const auto limit = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  bool negative = false;
  const std::uint64_t magnitude = parse_magnitude(text, true, limit, limit + 1, narrow, negative);
  if (!negative || magnitude == 0) return static_cast<T>(magnitude);
  // magnitude <= limit + 1: the negation fits T.
  return static_cast<T>(-static_cast<std::int64_t>(magnitude - 1) - 1);
}

template <typename T>
T parse_unsigned(const std::string& text, bool narrow) {
  bool negative = false;
  return static_cast<T>(parse_magnitude(text, false, std::numeric_limits<T>::max(), 0, narrow, negative));
}

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string to_string(std::uint32_t value) { return unsigned_text(value); }
std::string to_string(std::uint64_t value) { return unsigned_text(value); }
std::string to_string(std::int32_t value) { return signed_text(value); }
std::string to_string(std::int64_t value) { return signed_text(value); }

LONG string_to_long(const char* text) {
  if (!text) return 0;
  while (is_blank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // Accumulate towards the clamped bound so that long digit runs cannot overflow.
  const std::int64_t bound = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
  std::int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > bound) value = bound;
  }
  return static_cast<LONG>(negative ? -value : value);
}

bool is_hex_char(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

BYTE hex_char_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
  return 0;
}

std::string byte_to_hex(BYTE value) { return hex_of(&value, 1, k_upper_digits); }

std::string hash_to_hex_lower(const BYTE* hash) { return hex_of(hash, HASH_SIZE, k_lower_digits); }

std::string hex_encode(const void* data, std::size_t size) {
  if (size == 0) return std::string();
  return hex_of(static_cast<const BYTE*>(data), size, k_upper_digits);
}

bool hex_to_hash(const std::string& text, BYTE* hash) {
  if (text.size() != HASH_SIZE * 2) return false;
  for (char c : text) {
    if (!is_hex_char(c)) return false;
  }
  for (std::size_t i = 0; i < HASH_SIZE; ++i) {
    hash[i] = static_cast<BYTE>(hex_char_value(text[2 * i]) << 4 | hex_char_value(text[2 * i + 1]));
  }
  return true;
}

std::string to_upper_ascii(const std::string& text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string to_lower_ascii(const std::string& text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string base64_encode(const void* data, std::size_t size) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* in = static_cast<const BYTE*>(data);
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t group = static_cast<std::uint32_t>(in[i]) << 16 | in[i + 1] << 8 | in[i + 2];
    out.push_back(alphabet[group >> 18]);
    out.push_back(alphabet[group >> 12 & 0x3F]);
    out.push_back(alphabet[group >> 6 & 0x3F]);
    out.push_back(alphabet[group & 0x3F]);
  }
  if (i < size) {
    const bool two = i + 1 < size;
    const std::uint32_t group = static_cast<std::uint32_t>(in[i]) << 16 | (two ? in[i + 1] << 8 : 0);
    out.push_back(alphabet[group >> 18]);
    out.push_back(alphabet[group >> 12 & 0x3F]);
    out.push_back(two ? alphabet[group >> 6 & 0x3F] : '=');
    out.push_back('=');
  }
  return out;
}

bool base64_decode(const std::string& text, std::string& out) {
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  std::string result;
  result.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t filled = last ? 4 - padding : 4;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      int v = 0;
      if (j < filled) {
        v = base64_value(text[i + j]);
        if (v < 0) return false;
      }
      group = group << 6 | static_cast<std::uint32_t>(v);
    }
    result.push_back(static_cast<char>(group >> 16));
    if (filled > 2) result.push_back(static_cast<char>(group >> 8 & 0xFF));
    if (filled > 3) result.push_back(static_cast<char>(group & 0xFF));
  }
  out.swap(result);
  return true;
}

std::int64_t parse_int64(const std::string& text) { return parse_signed<std::int64_t>(text, false); }
std::uint64_t parse_uint64(const std::string& text) { return parse_unsigned<std::uint64_t>(text, false); }
std::int32_t parse_int32(const std::string& text) { return parse_signed<std::int32_t>(text, true); }
std::uint32_t parse_uint32(const std::string& text) { return parse_unsigned<std::uint32_t>(text, true); }
std::int16_t parse_int16(const std::string& text) { return parse_signed<std::int16_t>(text, true); }
std::uint16_t parse_uint16(const std::string& text) { return parse_unsigned<std::uint16_t>(text, true); }

DWORD size_class(ULONGLONG size) {
  constexpr ULONGLONG KiB = 1024;
  constexpr ULONGLONG MiB = 1024 * KiB;
  if ((size >> 32) != 0 || size > 512 * MiB) return static_cast<DWORD>(2 * MiB);
  if (size > 256 * MiB) return static_cast<DWORD>(MiB);
  if (size > 128 * MiB) return static_cast<DWORD>(512 * KiB);
  return static_cast<DWORD>(size < 256 * KiB ? size : 256 * KiB);
}

bool split_host_port(const std::string& text, std::string& host, std::uint16_t& port, unsigned lowest) {
  std::string port_text;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    host = text.substr(1, close - 1);
    port_text = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(':') != colon) return false;
    host = text.substr(0, colon);
    port_text = text.substr(colon + 1);
  }
  if (host.empty() || port_text.empty() || port_text.size() > 5 ||
      port_text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long value = std::strtoul(port_text.c_str(), nullptr, 10);
  if (value < lowest || value > 0xFFFF) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

std::string ipv4_to_string(DWORD address) {
  in_addr addr{};
  addr.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, &addr, text, sizeof text)) return std::string();
  return text;
}

std::string get_program_file_name() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  return std::string(path, static_cast<std::size_t>(n));
}
