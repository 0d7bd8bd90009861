#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bencode/CQBCDict.h"
#include "bencode/CQBCInt.h"
#include "bencode/CQBCList.h"
#include "bencode/CQBCString.h"
#include "bencode/bc_document.h"
#include "bencode/bc_factory.h"

namespace {

using namespace std::string_literals;

// `reencoded`: the canonical form of what was parsed (when consumed > 0).
struct parse_case { std::string input; int consumed; std::string reencoded; };

std::unique_ptr<CQBCObj> make(const std::string& input, int& consumed) {
  CQBCObj* value = nullptr;
  consumed = bc_create_object(input.data(), static_cast<int>(input.size()), &value);
  return std::unique_ptr<CQBCObj>(value);
}

void run_cases(const std::vector<parse_case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    int consumed = 0;
    auto value = make(c.input, consumed);
    EXPECT_EQ(consumed, c.consumed);
    if (c.consumed > 0) {
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(value->encode(), c.reencoded);
    } else {
      EXPECT_EQ(value, nullptr);
    }
  }
}

TEST(bencode_factory, parses_and_reencodes_canonically) {
  run_cases({
      // Integers.
      {"i42e", 4, "i42e"}, {"i-42e", 5, "i-42e"}, {"i007e", 5, "i7e"}, {"i-0e", 4, "i0e"}, {"i-e", 3, "i0e"},
      {"i0exyz", 3, "i0e"}, {"ie", -1, ""}, {"iexx", -1, ""}, {"i+1e", -1, ""}, {"i 1e", -1, ""}, {"i1-e", -1, ""},
      {"i--1e", -1, ""}, {"i12", -1, ""}, {"i1.5e", -1, ""},
      {"i9223372036854775807e", 21, "i9223372036854775807e"},
      {"i-9223372036854775808e", 22, "i-9223372036854775808e"},
      // Accumulation wraps around in 64 bits instead of failing.
      {"i9223372036854775808e", 21, "i-9223372036854775808e"},
      {"i18446744073709551617e", 22, "i1e"},
      // Strings.
      {"4:spam", 6, "4:spam"}, {"4:spamXX", 6, "4:spam"}, {"4:spa", -1, ""}, {"0:x", 2, "0:"}, {"0:", -1, ""},
      {"4x:spam", 7, "4:spam"}, {"1", -1, ""}, {"12345", -1, ""}, {"3:a\0c"s, 5, "3:a\0c"s},
      {"2147483647:ab", -1, ""}, {"2147483648:ab", -1, ""}, {"99999999999999999999:ab", -1, ""},
      // The length ends at the first non-digit; bytes up to the colon are skipped.
      {"2 junk:ab", 9, "2:ab"},
      // Lists.
      {"le", 2, "le"}, {"lee", 2, "le"}, {"l4:spami3ee", 11, "l4:spami3ee"}, {"l4:spam", -1, ""},
      {"l4:spami3e", -1, ""}, {"lle", -1, ""}, {"llee", 4, "llee"}, {"l0:e", 4, "l0:e"}, {"lxe", -1, ""},
      {"l", -1, ""}, {"li1eli2eei3ee", 13, "li1eli2eei3ee"},
      // Dictionaries.
      {"de", 2, "de"}, {"d3:cow3:moo4:spam4:eggse", 24, "d3:cow3:moo4:spam4:eggse"}, {"di1e1:ae", -1, ""},
      {"dl1:ae1:ae", -1, ""}, {"dd1:ai1eei1ee", -1, ""}, {"d1:b1:x1:a1:ye", 14, "d1:a1:y1:b1:xe"},
      {"d1:a1:x1:a1:ye", 14, "d1:a1:ye"}, {"d1:ai1e", -1, ""}, {"d1:a", -1, ""}, {"d1:ae", -1, ""},
      {"d1:ai1e1:be", -1, ""},
      // Byte-wise key order: shorter prefix first, high bytes after ASCII.
      {"d2:aai2e1:ai1e1:\xffi3e1:Bi4ee", 27, "d1:Bi4e1:ai1e2:aai2e1:\xffi3ee"},
      // Other first bytes, and declared lengths beyond the buffer.
      {"e", -1, ""}, {"x", -1, ""}, {"-1:a", -1, ""}, {" i1e", -1, ""}, {"", -1, ""}, {"2000000000:x", -1, ""},
      {"l2000000000:xe", -1, ""}, {"d1:a2147483647:e", -1, ""}, {"d2147483646:ae", -1, ""},
  });
  CQBCObj* out = nullptr;
  EXPECT_EQ(bc_create_object(nullptr, 4, &out), -1);
  EXPECT_EQ(out, nullptr);
}

TEST(bencode_dict, many_keys_out_of_order) {
  // Keys k00..k19 in reverse order, each given twice (the second value wins),
  // so that sorting, collapsing and the search of larger dictionaries all run.
  std::string input = "d";
  for (int round = 0; round < 2; ++round) {
    for (int i = 19; i >= 0; --i) {
      input += "3:k" + std::string(1, char('0' + i / 10)) + char('0' + i % 10) + "i" + std::to_string(i * 10 + round) +
               "e";
    }
  }
  input += "e";
  CQBCDict d;
  ASSERT_EQ(d.parse(input), static_cast<int>(input.size()));
  ASSERT_EQ(d.size(), 20u);
  std::string expected = "d";
  for (int i = 0; i < 20; ++i) {
    const std::string key = std::string("k") + char('0' + i / 10) + char('0' + i % 10);
    auto* value = d.lookup(key);
    ASSERT_NE(value, nullptr) << key;
    EXPECT_EQ(static_cast<CQBCInt*>(value)->value(), i * 10 + 1);
    expected += "3:" + key + "i" + std::to_string(i * 10 + 1) + "e";
  }
  EXPECT_EQ(d.encode(), expected + "e");
  EXPECT_EQ(d.lookup("k20"), nullptr);
  EXPECT_EQ(d.lookup("k"), nullptr);
  EXPECT_EQ(d.lookup(""), nullptr);
  EXPECT_EQ(d.lookup("k05\0"s), nullptr);
  d.set("k05", new CQBCString("x"));
  d.set("j", new CQBCString("y"));
  EXPECT_EQ(d.size(), 21u);
  EXPECT_EQ(static_cast<CQBCString*>(d.lookup("k05"))->value(), "x");
  EXPECT_EQ(d.encode().substr(0, 10), "d1:j1:y3:k");
}

TEST(bencode_container, failed_or_empty_parse_leaves_it_empty) {
  const struct { std::string before, after; int consumed; } cases[] = {
      {"d1:ai1ee", "d1:ai1e1:b", -1}, {"d1:ai1ee", "de", 2}, {"li1ei2ee", "li1ei2e", -1}, {"li1ee", "le", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    std::unique_ptr<CQBCObj> container(c.before[0] == 'd' ? static_cast<CQBCObj*>(new CQBCDict) : new CQBCList);
    ASSERT_GT(container->parse(c.before), 0);
    EXPECT_EQ(container->parse(c.after), c.consumed);
    EXPECT_EQ(container->encode(), c.before[0] == 'd' ? "de" : "le");
  }
}

std::string nested(char open, int depth, const std::string& inner) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += open == 'd' ? "d1:k" : "l";
  s += inner;
  s.append(static_cast<std::size_t>(depth), 'e');
  return s;
}

// The root container counts as one level; empty containers at the deepest
// level need no further one. Hostile nesting fails cleanly, and the depth
// count is back to zero afterwards.
TEST(bencode_depth, bounded_nesting) {
  const std::string list_limit = nested('l', kBencodeMaxNestingDepth, "i1e");
  const std::string dict_limit = nested('d', kBencodeMaxNestingDepth, "i1e");
  const std::string opens(100000, 'l');
  run_cases({
      {list_limit, static_cast<int>(list_limit.size()), list_limit},
      {dict_limit, static_cast<int>(dict_limit.size()), dict_limit},
      {nested('l', kBencodeMaxNestingDepth + 1, "i1e"), -1, ""},
      {nested('d', kBencodeMaxNestingDepth + 1, "i1e"), -1, ""},
      {nested('l', kBencodeMaxNestingDepth, "le"), -1, ""},
      {opens, -1, ""},
      {opens + std::string(100000, 'e'), -1, ""},
      {"lli1eee", 7, "lli1eee"},
  });
}

}  // namespace
