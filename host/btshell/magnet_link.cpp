#include "host/btshell/magnet_link.h"

#include <cctype>
#include <cstdint>

#include "common/utility.h"

namespace btshell {
namespace {

constexpr const char kScheme[] = "magnet:?";
constexpr const char kBtih[] = "urn:btih:";

std::string percent_decode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && is_hex_char(text[i + 1]) && is_hex_char(text[i + 2])) {
      out += static_cast<char>(hex_char_value(text[i + 1]) * 16 + hex_char_value(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// 32 base32 digits (RFC 4648 alphabet) to 40 hexadecimal ones; empty when
// a digit is not one.
std::string base32_to_hex(const std::string& digits) {
  std::string bytes;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (char c : digits) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    int value;
    if (u >= 'A' && u <= 'Z') value = u - 'A';
    else if (u >= '2' && u <= '7') value = u - '2' + 26;
    else return std::string();
    buffer = (buffer << 5) | static_cast<std::uint32_t>(value);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return hex_encode(bytes.data(), bytes.size());
}


}  // namespace

bool is_magnet_link(const std::string& text) { return text.rfind(kScheme, 0) == 0; }

std::optional<magnet_link> parse_magnet_link(const std::string& text) {
  if (!is_magnet_link(text)) return std::nullopt;
  magnet_link link;
  std::size_t start = sizeof kScheme - 1;
  while (start <= text.size()) {
    std::size_t end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    const std::string pair = text.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    const std::string key = pair.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : percent_decode(pair.substr(equals + 1));
    if (key == "xt" && value.rfind(kBtih, 0) == 0 && link.hash.empty()) {
      const std::string digits = value.substr(sizeof kBtih - 1);
      if (digits.size() == 40) {
        bool hex = true;
        for (char c : digits) hex = hex && is_hex_char(c);
        if (hex) link.hash = to_upper_ascii(digits);
      } else if (digits.size() == 32) {
        link.hash = to_upper_ascii(base32_to_hex(digits));
      }
    } else if (key == "dn" && link.name.empty()) {
      link.name = value;
    } else if (key == "x.pe" && !value.empty()) {
      link.peers.push_back(value);
    }
    start = end + 1;
  }
  if (link.hash.size() != 40) return std::nullopt;
  return link;
}

}  // namespace btshell
