#include <gtest/gtest.h>
#include <log4cplus/logger.h>
#include <openssl/evp.h>

#include <sys/stat.h>

#include <sstream>
#include <string>

#include "bencode/QTorrentFileParser.h"
#include "common/charset_analyser.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "support/log_capture.h"
#include "support/seed_text.h"
#include "support/temp_dir.h"

namespace {

using bts_test::bstr;

std::string sha1(const std::string& bytes) {
  unsigned char digest[20];
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &n, EVP_sha1(), nullptr);
  return std::string(reinterpret_cast<const char*>(digest), n);
}

std::string hex(const std::string& bytes) {
  std::ostringstream out;
  for (unsigned char c : bytes) out << "0123456789abcdef"[c >> 4] << "0123456789abcdef"[c & 15];
  return out.str();
}

// Keeps INFO lines of the parser off while it lives: getInfoSHA1 then hashes
// the stored bytes when the file stored "info" canonically.
class parser_info_off {
 public:
  parser_info_off() : logger_(log4cplus::Logger::getInstance("CQTorrentFileParser")), saved_(logger_.getLogLevel()) {
    logger_.setLogLevel(log4cplus::WARN_LOG_LEVEL);
  }
  ~parser_info_off() { logger_.setLogLevel(saved_); }

 private:
  log4cplus::Logger logger_;
  log4cplus::LogLevel saved_;
};

class torrent_parser : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_ansi_code_page(CP_UTF8);
    auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
    charset_analyser::init(detector.get());
  }
  void TearDown() override {
    charset_analyser::uninit();
    platform::set_ansi_code_page(CP_UTF8);
  }

  bool load(const std::string& content) { return parser_.loadFile(dir_.write("t.torrent", content)); }

  bts_test::temp_dir dir_;
  CQTorrentFileParser parser_;
};

const std::string kPieces = bstr("01234567890123456789");

std::string single_file(const std::string& name, const std::string& extra_info = "") {
  return "d8:announce6:u0-url4:infod6:lengthi5e" + extra_info + "4:name" + bstr(name) +
         "12:piece lengthi16384e6:pieces" + kPieces + "ee";
}

// Each failed load also drops the answers of the file loaded before it.
TEST_F(torrent_parser, load_states) {
  const std::string pipe = dir_.file("a_pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);  // loading it must not wait for a writer
  const struct { std::string path; int state; } cases[] = {
      {dir_.file("missing.torrent"), 1},
      {dir_.make_dirs("a_folder"), 1},
      {pipe, 1},
      {dir_.write("empty", ""), 2},
      {dir_.write("list", "l4:infoe"), 2},
      {dir_.write("cut", "d4:info"), 2},
      {dir_.write("trailing", single_file("a.txt") + "trailing bytes are ignored"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(load(single_file("a.txt")));
    EXPECT_EQ(parser_.loadFile(c.path), c.state == 0);
    EXPECT_EQ(parser_.getState(), c.state);
    std::string name;
    unsigned char digest[20];
    EXPECT_EQ(parser_.getName(name), c.state == 0);
    EXPECT_EQ(parser_.getInfoSHA1(digest), c.state == 0);
  }
  std::string name, digest;
  EXPECT_TRUE(load("de"));
  EXPECT_FALSE(parser_.getName(name));
  EXPECT_FALSE(parser_.getInfoSHA1(digest));
}

// Titles in UTF-8 follow the ANSI code page; "name.utf-8" is used only when
// it is UTF-8. (File names are the seed's bytes: common/seed_naming.h.)
TEST_F(torrent_parser, names_follow_the_ansi_code_page) {
  const std::string utf8 = "caf\xC3\xA9 \xE4\xB8\xAD";  // "café 中"
  struct { UINT acp; std::string name, extra; bool utf8; std::string expected; } cases[] = {
      {1252, utf8, "", false, "caf\xE9 _"},
      {936, utf8, "", false, "caf\xA8\xA6 \xD6\xD0"},
      {CP_UTF8, utf8, "", false, utf8},
      {1252, "caf\xE9", "", false, "caf\xE9"},  // not UTF-8: kept byte for byte
      {1252, "plain", "10:name.utf-85:\xC3\xA9t\xC3\xA9", true, "\xE9t\xE9"},
      {1252, "plain", "10:name.utf-85:ascii", false, "plain"},  // ASCII is not reported as UTF-8
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    platform::set_ansi_code_page(c.acp);
    ASSERT_TRUE(load(single_file(c.name, c.extra)));
    std::string name;
    EXPECT_EQ(parser_.getNameUtf8(name), c.utf8);
    if (c.utf8) {
      EXPECT_EQ(name, c.expected);
    }
    ASSERT_TRUE(parser_.getName(name));
    EXPECT_EQ(name, c.expected);
  }
}

// The info hash, of the encoding or of the stored bytes, is the SHA-1 of the
// canonical encoding of "info", whatever the file's own form of it or of the
// root.
TEST_F(torrent_parser, info_hash_is_over_the_canonical_encoding) {
  const std::string tail = "4:name1:a12:piece lengthi16384e6:pieces" + kPieces + "e";
  const auto with_length = [&](const std::string& value) { return "d6:lengthi" + value + "e" + tail; };
  const std::string canonical = with_length("5");
  const auto with_x = [&](const std::string& x) { return canonical.substr(0, canonical.size() - 1) + "1:x" + x + "e"; };
  const struct { std::string info, canonical; } cases[] = {
      // Integer forms are the factory's (bencode_test); one stands for them here.
      {canonical, canonical}, {with_length("05"), canonical},
      {"d06:lengthi5e" + tail, canonical}, {"d6 :lengthi5e" + tail, canonical},
      {"d6:lengthi5e4:name01:a12:piece lengthi16384e6:pieces" + kPieces + "e", canonical},
      {"d4:name1:a6:lengthi5e12:piece lengthi16384e6:pieces" + kPieces + "e", canonical},
      {"d6:lengthi5e6:lengthi5e" + tail, canonical},
      {"d6:lengthi005e4:name1:b" + tail, canonical},  // the last duplicate wins
      {"d1:xld1:bi1e1:ai2eee6:lengthi5e" + tail, with_x("ld1:ai2e1:bi1eee")},
      {"d1:xld1:ai2e1:bi1eee6:lengthi5e" + tail, with_x("ld1:ai2e1:bi1eee")},
      {"d1:xlli01eee6:lengthi5e" + tail, with_x("lli1eee")},
      {"d1:xdee6:lengthi5e" + tail, "d1:xdee"},  // "info" ends early; the rest belongs to the root
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.info);
    ASSERT_TRUE(load("d1:zi0e4:info" + c.info + "1:ai01ee"));
    std::string encoded, digest;
    ASSERT_TRUE(parser_.getInfoEncoded(encoded));
    EXPECT_EQ(encoded, c.canonical);
    ASSERT_TRUE(parser_.getInfoSHA1(digest));
    EXPECT_EQ(digest, sha1(c.canonical));
    parser_info_off quiet;
    unsigned char buffer[20];
    ASSERT_TRUE(parser_.getInfoSHA1(buffer));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 20), digest);
  }
}

// A string larger than the hashing buffer, between small pieces: the digest
// is streamed over it, and the INFO line's hexadecimal stops at 64 KiB.
TEST_F(torrent_parser, info_hash_of_a_large_info) {
  std::ostringstream address;
  address << "[" << static_cast<const void*>(&parser_) << "]";
  std::string encoded, digest;
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(load("d4:infod1:a1:x6:pieces" + bstr(big) + "1:zi3eee"));
  ASSERT_TRUE(parser_.getInfoEncoded(encoded));
  bts_test::log_capture cap;
  ASSERT_TRUE(parser_.getInfoSHA1(digest));
  EXPECT_EQ(digest, sha1(encoded));
  const auto lines = cap.texts("CQTorrentFileParser", log4cplus::INFO_LOG_LEVEL);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], address.str() + "info size:" + std::to_string(encoded.size()) + "getInfoSHA1::Info" +
                          hex(encoded.substr(0, 65536)) + "...");
}

}  // namespace
