#include "host/rpc/json_writer.h"

#include <charconv>
#include <cmath>

#include "platform/mlang.h"

namespace rpc {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr double kUnknownRatio = -1.0, kInfiniteRatio = -2.0;

// The length of the well-formed UTF-8 sequence at text[i], 0 when it is not
// one: the lead byte gives the length, the platform's check the rest.
std::size_t utf8_sequence(std::string_view text, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  bool multibyte = false;
  if (length == 0 || text.size() - i < length || !platform::is_well_formed_utf8(text.data() + i, length, &multibyte)) return 0;
  return length;
}

}  // namespace

void append_json_string(std::string& out, std::string_view value) {
  static const char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (std::size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const std::size_t length = utf8_sequence(value, i);
      if (length == 0) {
        out += kReplacement;
        ++i;
      } else {
        out.append(value.data() + i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  out.push_back('"');
}

void json_writer::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_items_.empty()) {
    if (has_items_.back()) out_.push_back(',');
    has_items_.back() = true;
  }
}

json_writer& json_writer::open(char bracket) {
  before_value();
  out_.push_back(bracket);
  has_items_.push_back(false);
  return *this;
}

json_writer& json_writer::close(char bracket) {
  out_.push_back(bracket);
  has_items_.pop_back();
  return *this;
}

json_writer& json_writer::key(std::string_view name) {
  before_value();
  append_json_string(out_, name);
  out_.push_back(':');
  after_key_ = true;
  return *this;
}

json_writer& json_writer::integer(std::int64_t value) {
  before_value();
  char buffer[24];
  out_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  return *this;
}

json_writer& json_writer::real(double value) {
  if (std::isnan(value)) value = kUnknownRatio;
  if (std::isinf(value)) value = kInfiniteRatio;
  before_value();
  char buffer[32];
  const std::string_view text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
  out_ += text;
  if (text.find_first_of(".e") == std::string_view::npos) out_ += ".0";
  return *this;
}

json_writer& json_writer::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
  return *this;
}

json_writer& json_writer::string(std::string_view value) {
  before_value();
  append_json_string(out_, value);
  return *this;
}

json_writer& json_writer::raw(std::string_view json) {
  before_value();
  out_ += json;
  return *this;
}

}  // namespace rpc
