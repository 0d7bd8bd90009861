#include "common/utility.h"
#include "interfaces/seed_naming.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

// Helpers of the common library; the module itself calls only the hash and
// number texts, so each behaviour keeps one row (the strict number parsers and
// the size classes, which it never calls, have none).
TEST(Utility, NumberAndHexText) {
  EXPECT_EQ("18446744073709551615", to_string(std::numeric_limits<std::uint64_t>::max()));
  EXPECT_EQ("-9223372036854775808", to_string(std::numeric_limits<std::int64_t>::min()));
  EXPECT_EQ("192.168.1.20", ipv4_to_string(inet_addr("192.168.1.20")));
  // string_to_long reads like atol, saturating.
  const struct { const char* text; LONG value; } cases[] = {
      {" \t-12abc", -12}, {"abc", 0}, {nullptr, 0}, {"99999999999999999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, string_to_long(c.text)) << (c.text ? c.text : "(null)");
  EXPECT_EQ(0, hex_char_value('g'));
  EXPECT_EQ("00FF7F", hex_encode("\x00\xff\x7f", 3));
  EXPECT_EQ("ABC-Z\xe9\xc3\xa9", to_upper_ascii("abC-z\xe9\xc3\xa9"));  // ASCII letters only

  BYTE hash[HASH_SIZE];
  for (std::size_t i = 0; i < HASH_SIZE; ++i) hash[i] = static_cast<BYTE>(i * 0x11 + 1);
  EXPECT_EQ("0112233445566778899AABBCCDDEEF0011223344", info_hash_hex(hash));
  BYTE back[HASH_SIZE] = {};
  ASSERT_TRUE(hex_to_hash(hash_to_hex_lower(hash), back));
  EXPECT_EQ(0, std::memcmp(hash, back, HASH_SIZE));
  EXPECT_FALSE(hex_to_hash(std::string(39, '0') + "g", back));
}

TEST(Utility, Base64RoundTrips) {
  const struct { std::string raw, encoded; } cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"},
      {std::string("\x00\xff\xfe", 3), "AP/+"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.encoded, base64_encode(c.raw.data(), c.raw.size()));
    std::string decoded = "junk";
    ASSERT_TRUE(base64_decode(c.encoded, decoded)) << c.encoded;
    EXPECT_EQ(c.raw, decoded);
  }
  for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9*", "===="}) {
    std::string out = "kept";
    EXPECT_FALSE(base64_decode(bad, out)) << bad;
    EXPECT_EQ("kept", out);
  }
}

}  // namespace
