// JSON text written straight into one string, for the answers of the RPC
// methods: no tree of values is built, so a list of a thousand torrents
// costs one pass. Integers are written as integers and reals always with a
// fraction or an exponent, so that a reader that tells them apart (the RPC's
// clients do) sees the type meant. Strings that are not valid UTF-8 have
// each bad byte replaced by U+FFFD.
//
// The caller keeps the nesting right (every begin_ has its end_, a key comes
// before each value inside an object); the writer only places the commas.
// Not thread-safe: one writer per answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rpc {

class json_writer {
 public:
  json_writer& begin_object() { return open('{'); }
  json_writer& end_object() { return close('}'); }
  json_writer& begin_array() { return open('['); }
  json_writer& end_array() { return close(']'); }
  json_writer& key(std::string_view name);
  json_writer& integer(std::int64_t value);
  // A NaN is written as -1.0 and an infinity as -2.0, the RPC's "not known"
  // and "infinite" ratios; JSON has no text for either.
  json_writer& real(double value);
  json_writer& boolean(bool value);
  json_writer& string(std::string_view value);
  // A value that is already JSON text.
  json_writer& raw(std::string_view json);

  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  void before_value();
  json_writer& open(char bracket);
  json_writer& close(char bracket);

  std::string out_;
  std::vector<bool> has_items_;  // per open object or array
  bool after_key_ = false;
};

// Appends `value` to `out` as a JSON string literal, quotes included.
void append_json_string(std::string& out, std::string_view value);

}  // namespace rpc
