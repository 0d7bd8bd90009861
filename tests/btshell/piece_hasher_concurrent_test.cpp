// The piece hashes of create and verify: pieces across file boundaries,
// padding, unreadable stretches, on several workers; and the piece size rules.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "host/btshell/bencode_value.h"
#include "host/btshell/piece_hasher.h"
#include "host/btshell/seed_maker.h"
#include "support/temp_dir.h"

namespace {

using namespace btshell;

std::string sha1(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha1(), nullptr);
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string pattern(std::size_t size, char seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 251);
  return s;
}

struct stretch {
  std::size_t size;
  enum { file, padding, missing, short_by_100 } kind;
};

TEST(BtshellPieceHasherConcurrent, HashesTheConcatenationAndMarksWhatCannotBeRead) {
  const std::size_t piece = 16384;
  struct hasher_case {
    const char* what;
    std::vector<stretch> stretches;
    unsigned threads;
  };
  // Large enough for several jobs (16 MiB each) over two workers.
  const std::size_t big = (std::size_t(20) << 20) + 1234;
  const hasher_case cases[] = {
      {"one file, several jobs", {{big, stretch::file}}, 2},
      {"small files sharing pieces, an empty one", {{5000, stretch::file}, {0, stretch::file}, {20000, stretch::file},
                                                    {1, stretch::file}, {piece * 3, stretch::file}}, 4},
      {"padding between files", {{10000, stretch::file}, {piece - 10000, stretch::padding}, {40000, stretch::file}}, 2},
      {"a missing file", {{20000, stretch::file}, {50000, stretch::missing}, {30000, stretch::file}}, 2},
      {"a file shorter than its length", {{20000, stretch::file}, {50000, stretch::short_by_100}, {30000, stretch::file}},
       3},
  };
  for (const hasher_case& c : cases) {
    bts_test::temp_dir dir;
    std::string all;                 // the torrent's bytes, as they should be
    std::vector<bool> present;       // byte by byte: on disk
    std::vector<hash_source> sources;
    for (std::size_t i = 0; i < c.stretches.size(); ++i) {
      const stretch& s = c.stretches[i];
      const std::string bytes = s.kind == stretch::padding ? std::string(s.size, '\0') : pattern(s.size, char('a' + i));
      const std::string name = "f" + std::to_string(i);
      if (s.kind == stretch::file) dir.write(name, bytes);
      if (s.kind == stretch::short_by_100) dir.write(name, bytes.substr(0, s.size - 100));
      for (std::size_t b = 0; b < s.size; ++b)
        present.push_back(s.kind == stretch::file || s.kind == stretch::padding ||
                          (s.kind == stretch::short_by_100 && b < s.size - 100));
      all += bytes;
      sources.push_back({s.kind == stretch::padding ? std::string() : dir.file(name), std::int64_t(s.size),
                         s.kind == stretch::padding});
    }
    piece_hasher hasher(sources, piece, c.threads);
    hasher.run();
    const std::size_t count = (all.size() + piece - 1) / piece;
    ASSERT_EQ(hasher.piece_count(), count) << c.what;
    EXPECT_EQ(hasher.hashed_bytes(), all.size()) << c.what;
    for (std::size_t p = 0; p < count; ++p) {
      const std::size_t begin = p * piece, end = std::min(all.size(), begin + piece);
      bool whole = true;
      for (std::size_t b = begin; b < end; ++b) whole = whole && present[b];
      EXPECT_EQ(hasher.readable(p), whole) << c.what << " piece " << p;
      if (whole) {
        EXPECT_EQ(hasher.digests().substr(p * kSha1Size, kSha1Size), sha1(all.substr(begin, end - begin)))
            << c.what << " piece " << p;
      }
    }
    for (std::size_t i = 0; i < c.stretches.size(); ++i) {
      const int expected = c.stretches[i].kind == stretch::missing        ? ENOENT
                           : c.stretches[i].kind == stretch::short_by_100 ? ENODATA
                                                                           : 0;
      EXPECT_EQ(hasher.failure(i), expected) << c.what << " source " << i;
    }
  }
}

TEST(BtshellCreateRules, PieceSizes) {
  const std::pair<std::int64_t, std::int64_t> defaults[] = {
      {1, 16384},                               // the smallest
      {2048LL * 16384, 16384},                  // 2048 pieces still
      {2048LL * 16384 + 1, 32768},              // one more byte: the next power of two
      {std::int64_t(1) << 30, 512 << 10},       // 1 GiB
      {std::int64_t(1) << 45, 16 << 20},        // never more than 16 MiB
  };
  for (const auto& [total, size] : defaults) EXPECT_EQ(default_piece_size(total), size) << total;

  const std::pair<const char*, std::int64_t> given[] = {
      {"16384", 16384}, {"256K", 262144}, {"4m", 4 << 20}, {"256M", 256 << 20},
      {"8K", 0}, {"512M", 0}, {"300000", 0}, {"1.5M", 0}, {"-16384", 0}, {"K", 0}, {"99999999999999999999", 0}};
  for (const auto& [text, size] : given) {
    std::int64_t parsed = 0;
    std::string error;
    EXPECT_EQ(parse_piece_size(text, parsed, error), size != 0) << text;
    EXPECT_EQ(size != 0 ? parsed : std::int64_t(0), size) << text;
  }
}

TEST(BtshellCreateRules, DecodesWhatItEncodesAndRefusesBrokenBencode) {
  bencode_out d = bencode_out::dict_of();
  d.dict["b"] = bencode_out::list_of({bencode_out::of(std::int64_t(-3)), bencode_out::of("x:y")});
  d.dict["a"] = bencode_out::of(std::int64_t(0));
  std::string bytes;
  encode(d, bytes);
  EXPECT_EQ(bytes, "d1:ai0e1:bli-3e3:x:yee");  // keys in byte order
  bencode_in value;
  ASSERT_TRUE(decode(bytes, value));
  EXPECT_TRUE(value.canonical);
  bencode_node list;
  ASSERT_EQ(bencode_node(&value).lookup("b", list), seed_lookup::found);
  EXPECT_EQ(list.count(), 2u);

  const std::pair<const char*, bool> noncanonical[] = {{"d1:bi0e1:ai0ee", false}, {"i03e", false}, {"i-0e", false},
                                                       {"d1:ai0e1:ai0ee", false}, {"l0:i10ee", true}};
  for (const auto& [text, canonical] : noncanonical) {
    ASSERT_TRUE(decode(text, value)) << text;
    EXPECT_EQ(value.canonical, canonical) << text;
  }
  bencode_node repeated;
  decode("d1:ai0e1:ai0ee", value);
  EXPECT_EQ(bencode_node(&value).lookup("a", repeated), seed_lookup::repeated);
  for (const char* broken : {"", "i1", "ie", "5:abc", "d1:ae", "l", "i1ei2e", "1a:x", "d i1e i2e e"})
    EXPECT_FALSE(decode(broken, value)) << broken;
  EXPECT_FALSE(decode(std::string(600, 'l') + std::string(600, 'e'), value));  // too deep
}

}  // namespace
