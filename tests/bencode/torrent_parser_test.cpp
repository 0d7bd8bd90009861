#include <gtest/gtest.h>
#include <log4cplus/logger.h>
#include <openssl/evp.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bencode/bc_factory.h"
#include "common/charset_analyser.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;

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

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string bstr(const std::string& s) { return std::to_string(s.size()) + ":" + s; }

// The bytes of the "info" value exactly as they stand in `file`, or "".
std::string raw_info(const std::string& file) {
  const std::string key = "4:info";
  for (std::size_t at = file.find(key); at != std::string::npos; at = file.find(key, at + 1)) {
    const char* start = file.data() + at + key.size();
    CQBCObj* value = nullptr;
    const int n = bc_create_object(start, static_cast<int>(file.data() + file.size() - start), &value);
    std::unique_ptr<CQBCObj> owner(value);
    if (n > 0 && value->type() == CQBCObj::BC_DICT) return std::string(start, static_cast<std::size_t>(n));
  }
  return "";
}

// Keeps INFO lines of the parser off while it lives: getInfoSHA1 then uses
// the digest taken at load when the file stored "info" canonically.
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

  // Loads `content` from a file; true on success.
  bool load(const std::string& content) { return parser_.loadFile(dir_.write("t.torrent", content)); }

  bts_test::temp_dir dir_;
  CQTorrentFileParser parser_;
};

const std::string kPieces = bstr("01234567890123456789");

std::string single_file(const std::string& name, const std::string& extra_info = "") {
  return "d8:announce6:u0-url4:infod6:lengthi5e" + extra_info + "4:name" + bstr(name) +
         "12:piece lengthi16384e6:pieces" + kPieces + "ee";
}

std::string file_dict(long long length, const std::vector<std::string>& path, const char* key = "path") {
  std::string s = "d6:lengthi" + std::to_string(length) + "e" + bstr(key) + "l";
  for (const auto& p : path) s += bstr(p);
  return s + "ee";
}

std::string multi_file(const std::vector<std::string>& files) {
  std::string s = "d4:infod5:filesl";
  for (const auto& f : files) s += f;
  return s + "e4:name3:top12:piece lengthi16384e6:pieces" + kPieces + "ee";
}

void expect_entry(const TorrentFileEntry& e, std::uint32_t index, const std::string& folder, const std::string& name,
                  std::int64_t offset, std::int64_t length) {
  EXPECT_EQ(e.index, index);
  EXPECT_EQ(e.folder, folder);
  EXPECT_EQ(e.name, name);
  EXPECT_EQ(e.offset, offset);
  EXPECT_EQ(e.length, length);
}

TEST_F(torrent_parser, load_states) {
  EXPECT_FALSE(parser_.loadFile(dir_.file("missing.torrent")));
  EXPECT_EQ(parser_.getState(), 1);
  EXPECT_FALSE(parser_.loadFile(dir_.make_dirs("a_folder")));
  EXPECT_EQ(parser_.getState(), 1);
  const std::string pipe = dir_.file("a_pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(parser_.loadFile(pipe));  // and does not wait for a writer
  EXPECT_EQ(parser_.getState(), 1);
  EXPECT_FALSE(load(""));
  EXPECT_EQ(parser_.getState(), 2);
  EXPECT_FALSE(load("l4:infoe"));
  EXPECT_EQ(parser_.getState(), 2);
  EXPECT_FALSE(load("d4:info"));
  EXPECT_EQ(parser_.getState(), 2);
  EXPECT_TRUE(load(single_file("a.txt") + "trailing bytes are ignored"));
  EXPECT_EQ(parser_.getState(), 0);
}

TEST_F(torrent_parser, a_failed_or_empty_load_drops_the_previous_file) {
  ASSERT_TRUE(load(single_file("a.txt")));
  std::string name;
  EXPECT_FALSE(parser_.loadFile(dir_.file("missing.torrent")));
  EXPECT_FALSE(parser_.getName(name));
  ASSERT_TRUE(load(single_file("a.txt")));
  EXPECT_TRUE(load("de"));
  EXPECT_FALSE(parser_.getName(name));
  unsigned char digest[20];
  EXPECT_FALSE(parser_.getInfoSHA1(digest));
}

TEST_F(torrent_parser, every_proper_prefix_fails_cleanly) {
  const std::string valid = multi_file({file_dict(3, {"x", "y.txt"}), file_dict(4, {"z.txt"})});
  ASSERT_TRUE(load(valid));
  for (std::size_t n = 0; n < valid.size(); ++n) {
    EXPECT_FALSE(load(valid.substr(0, n))) << n;
    EXPECT_EQ(parser_.getState(), 2) << n;
  }
}

TEST_F(torrent_parser, single_file_entry) {
  ASSERT_TRUE(load(single_file("a.txt", "6:md5sum32:0123456789abcdef0123456789abcdef")));
  std::vector<TorrentFileEntry> files;
  ASSERT_TRUE(parser_.getFiles(files));
  ASSERT_EQ(files.size(), 1u);
  expect_entry(files[0], 0, "", "a.txt", 0, 5);
  EXPECT_EQ(files[0].md5sum, "0123456789abcdef0123456789abcdef");
}

TEST_F(torrent_parser, multi_file_entries) {
  ASSERT_TRUE(load(multi_file({file_dict(3, {"x", "y.txt"}), file_dict(4, {"z.txt"}),
                               file_dict(6, {"p", "q", "r.bin"}), "i7e", "d6:lengthi2ee"})));
  std::vector<TorrentFileEntry> files(1);  // entries are appended
  ASSERT_TRUE(parser_.getFiles(files));
  ASSERT_EQ(files.size(), 6u);
  expect_entry(files[1], 0, "x\\", "y.txt", 0, 3);
  expect_entry(files[2], 1, "", "z.txt", 3, 4);
  expect_entry(files[3], 2, "p\\q\\", "r.bin", 7, 6);
  // Elements that are not dictionaries, and dictionaries without a path, still count.
  expect_entry(files[4], 3, "", "", 13, 0);
  expect_entry(files[5], 4, "", "", 13, 2);
}

TEST_F(torrent_parser, components_are_made_safe) {
  ASSERT_TRUE(load(multi_file({file_dict(1, {"a:b", "c?d\\e/f*g<h>i|j\"k"}), file_dict(1, {"..", ".", "..."}),
                               file_dict(1, {"C:", "x"})})));
  std::vector<TorrentFileEntry> files;
  ASSERT_TRUE(parser_.getFiles(files));
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].folder, "aAb\\");
  EXPECT_EQ(files[0].name, "cAdAeAfAgAhAiAjAk");
  EXPECT_EQ(files[1].folder, "AA\\A\\");
  EXPECT_EQ(files[1].name, "...");
  EXPECT_EQ(files[2].folder, "CA\\");
  // A single-file torrent's name is a file name as well.
  ASSERT_TRUE(load(single_file("../x/y:z")));
  files.clear();
  ASSERT_TRUE(parser_.getFiles(files));
  EXPECT_EQ(files[0].name, "..AxAyAz");
  std::string name;
  ASSERT_TRUE(parser_.getName(name));
  EXPECT_EQ(name, "../x/y:z");
}

TEST_F(torrent_parser, get_files_failures) {
  struct {
    const char* what;
    std::string torrent;
    std::size_t appended;
  } cases[] = {
      {"no length", multi_file({file_dict(1, {"a"}), "d4:pathl1:bee"}), 1},
      {"length not an integer", multi_file({"d6:length1:14:pathl1:bee"}), 0},
      {"empty path", multi_file({file_dict(1, {"a"}), file_dict(1, {})}), 1},
      {"component not a string", multi_file({"d6:lengthi1e4:pathli1eee"}), 0},
      {"single length not an integer", "d4:infod6:length1:54:name1:aee", 0},
      {"files not a list", "d4:infod5:filesi1e4:name1:aee", 0},
      {"neither length nor files", "d4:infod4:name1:aee", 0},
      {"info not a dictionary", "d4:infoli1eee", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(load(c.torrent));
    std::vector<TorrentFileEntry> files;
    EXPECT_FALSE(parser_.getFiles(files));
    EXPECT_EQ(files.size(), c.appended);
  }
}

TEST_F(torrent_parser, path_utf8_is_preferred_and_a_non_list_path_gives_an_empty_entry) {
  ASSERT_TRUE(load(multi_file({"d6:lengthi1e4:pathl1:ae10:path.utf-8l1:bee", "d6:lengthi1e4:path1:ae",
                               "d6:lengthi1e10:path.utf-81:x4:pathl1:aee"})));
  std::vector<TorrentFileEntry> files;
  ASSERT_TRUE(parser_.getFiles(files));
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].name, "b");
  EXPECT_EQ(files[1].name, "");
  EXPECT_EQ(files[2].name, "");
}

TEST_F(torrent_parser, hostile_lengths_wrap_instead_of_overflowing) {
  ASSERT_TRUE(load(multi_file({file_dict(INT64_MAX, {"a"}), file_dict(INT64_MAX, {"b"}), file_dict(1, {"c"})})));
  std::vector<TorrentFileEntry> files;
  ASSERT_TRUE(parser_.getFiles(files));
  EXPECT_EQ(files[1].offset, INT64_MAX);
  EXPECT_EQ(files[2].offset, -2);
}

TEST_F(torrent_parser, names_in_utf8_follow_the_ansi_code_page) {
  const std::string utf8 = "caf\xC3\xA9 \xE4\xB8\xAD";  // "café 中"
  struct {
    UINT acp;
    std::string expected;
  } cases[] = {
      {1252, "caf\xE9 _"},
      {936, "caf\xA8\xA6 \xD6\xD0"},
      {CP_UTF8, utf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.acp);
    platform::set_ansi_code_page(c.acp);
    ASSERT_TRUE(load(multi_file({file_dict(1, {utf8, utf8 + ".txt"})})));
    std::vector<TorrentFileEntry> files;
    ASSERT_TRUE(parser_.getFiles(files));
    EXPECT_EQ(files[0].folder, c.expected + "\\");
    EXPECT_EQ(files[0].name, c.expected + ".txt");
    ASSERT_TRUE(load(single_file(utf8)));
    std::string name;
    ASSERT_TRUE(parser_.getName(name));
    EXPECT_EQ(name, c.expected);
  }
}

TEST_F(torrent_parser, text_that_is_not_utf8_is_kept_byte_for_byte) {
  platform::set_ansi_code_page(1252);
  const std::string latin1 = "caf\xE9";
  ASSERT_TRUE(load(single_file(latin1)));
  std::string name;
  ASSERT_TRUE(parser_.getName(name));
  EXPECT_EQ(name, latin1);
  EXPECT_FALSE(parser_.getNameUtf8(name));
}

TEST_F(torrent_parser, name_utf8_is_preferred_when_it_is_utf8) {
  platform::set_ansi_code_page(1252);
  ASSERT_TRUE(load(single_file("plain", "10:name.utf-85:\xC3\xA9t\xC3\xA9")));
  std::string name;
  ASSERT_TRUE(parser_.getNameUtf8(name));
  EXPECT_EQ(name, "\xE9t\xE9");
  ASSERT_TRUE(parser_.getName(name));
  EXPECT_EQ(name, "\xE9t\xE9");
  // An ASCII "name.utf-8" is not reported as UTF-8: "name" is used.
  ASSERT_TRUE(load(single_file("plain", "10:name.utf-85:ascii")));
  EXPECT_FALSE(parser_.getNameUtf8(name));
  ASSERT_TRUE(parser_.getName(name));
  EXPECT_EQ(name, "plain");
}

TEST_F(torrent_parser, trackers) {
  std::vector<std::string> urls{"kept"};
  ASSERT_TRUE(load(single_file("a")));
  ASSERT_TRUE(parser_.getAnnounceList(urls));
  EXPECT_EQ(urls, (std::vector<std::string>{"kept", "u0-url"}));

  ASSERT_TRUE(load("d8:announce2:u013:announce-listll2:u12:u2el2:u3ei5el1:xi1eee4:infodee"));
  urls.clear();
  ASSERT_TRUE(parser_.getAnnounceList(urls));
  EXPECT_EQ(urls, (std::vector<std::string>{"u1", "u2", "u3", "x"}));

  ASSERT_TRUE(load("d8:announce2:u013:announce-list2:u1e"));
  urls.clear();
  EXPECT_FALSE(parser_.getAnnounceList(urls));
  EXPECT_TRUE(urls.empty());

  ASSERT_TRUE(load("d4:infodee"));
  EXPECT_FALSE(parser_.getAnnounceList(urls));
}

TEST_F(torrent_parser, single_values) {
  ASSERT_TRUE(load("d7:comment1:c10:created by2:cb13:creation datei4294967297e9:publisher1:p5:nodesll1:hi6881eei1el1:ge"
                   "l2:h2i-1eee4:infod6:md5sum2:m59:publisher2:ip12:piece lengthi16384e6:pieces3:abcee"));
  std::string s;
  std::uint32_t n = 0;
  EXPECT_TRUE(parser_.getComment(s) && s == "c");
  EXPECT_TRUE(parser_.getCreatedBy(s) && s == "cb");
  EXPECT_TRUE(parser_.getCreationDate(n) && n == 1u);
  EXPECT_TRUE(parser_.getPieceLength(n) && n == 16384u);
  EXPECT_TRUE(parser_.getPieces(s) && s == "abc");
  EXPECT_TRUE(parser_.getMd5sum(s) && s == "m5");
  EXPECT_TRUE(parser_.getRootValue("publisher", s) && s == "p");
  EXPECT_TRUE(parser_.getInfoValue("publisher", s) && s == "ip");
  EXPECT_FALSE(parser_.getRootValue("creation date", s));
  EXPECT_FALSE(parser_.getInfoValue("publisher-url", s));
  EXPECT_FALSE(parser_.getAnnounce(s));
  std::vector<std::pair<std::string, std::uint32_t>> nodes;
  ASSERT_TRUE(parser_.getNodes(nodes));
  EXPECT_EQ(nodes, (std::vector<std::pair<std::string, std::uint32_t>>{{"h", 6881}, {"h2", 0xFFFFFFFFu}}));
}

TEST_F(torrent_parser, info_hash_is_over_the_canonical_encoding) {
  // Unsorted keys, a duplicate and a non-canonical integer inside "info".
  const std::string info = "d6:lengthi005e4:name1:b4:name1:a12:piece lengthi16384e6:pieces" + kPieces + "e";
  const std::string canonical = "d6:lengthi5e4:name1:a12:piece lengthi16384e6:pieces" + kPieces + "e";
  ASSERT_TRUE(load("d4:info" + info + "e"));
  std::string encoded, digest;
  ASSERT_TRUE(parser_.getInfoEncoded(encoded));
  EXPECT_EQ(encoded, canonical);
  ASSERT_TRUE(parser_.getInfoSHA1(digest));
  EXPECT_EQ(digest, sha1(canonical));
  unsigned char buffer[20];
  ASSERT_TRUE(parser_.getInfoSHA1(buffer));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 20), sha1(canonical));
}

TEST_F(torrent_parser, info_hash_streams_large_strings) {
  // A string larger than the hashing buffer, between small pieces.
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(load("d4:infod1:a1:x6:pieces" + bstr(big) + "1:zi3eee"));
  std::string encoded, digest;
  ASSERT_TRUE(parser_.getInfoEncoded(encoded));
  ASSERT_TRUE(parser_.getInfoSHA1(digest));
  EXPECT_EQ(digest, sha1(encoded));

  // The INFO line carries at most the first 64 KiB of the encoding.
  bts_test::log_capture cap;
  ASSERT_TRUE(parser_.getInfoSHA1(digest));
  const auto lines = cap.texts("CQTorrentFileParser", log4cplus::INFO_LOG_LEVEL);
  ASSERT_EQ(lines.size(), 2u);
  const std::string marker = "info size:" + std::to_string(encoded.size()) + "getInfoSHA1::Info";
  const std::size_t at = lines[0].find(marker);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(lines[0].substr(at + marker.size()), hex(encoded.substr(0, 65536)) + "...");
}

TEST_F(torrent_parser, info_hash_log_lines) {
  ASSERT_TRUE(load(single_file("a")));
  std::string encoded;
  ASSERT_TRUE(parser_.getInfoEncoded(encoded));
  bts_test::log_capture cap;
  std::string digest;
  ASSERT_TRUE(parser_.getInfoSHA1(digest));
  unsigned char buffer[20];
  ASSERT_TRUE(parser_.getInfoSHA1(buffer));
  std::ostringstream address;
  address << "[" << static_cast<const void*>(&parser_) << "]";
  const std::string first = address.str() + "info size:" + std::to_string(encoded.size()) + "getInfoSHA1::Info" + hex(encoded);
  EXPECT_EQ(cap.count("CQTorrentFileParser", log4cplus::INFO_LOG_LEVEL, first), 2);
  EXPECT_EQ(cap.count("CQTorrentFileParser", log4cplus::INFO_LOG_LEVEL,
                      address.str() + "getInfoSHA1::qstrInfoHash" + hex(digest)),
            1);
  EXPECT_EQ(cap.count("CQTorrentFileParser", log4cplus::INFO_LOG_LEVEL,
                      address.str() + "getInfoSHA1::ptrInfoHash" + hex(digest)),
            1);
  EXPECT_EQ(cap.texts("CQTorrentFileParser", log4cplus::INFO_LOG_LEVEL).size(), 4u);
}

// Expected file lists of a few seeds of the corpus.
struct corpus_expectation {
  const char* file;
  std::vector<std::int64_t> lengths;
};

TEST_F(torrent_parser, corpus_seeds_load_or_fail_cleanly) {
  const std::string dir = BTS_CORPUS_DIR;
  DIR* d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr);
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".torrent") == 0) names.push_back(name);
  }
  closedir(d);
  ASSERT_GT(names.size(), 100u);
  int loaded = 0, canonical = 0;
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    CQTorrentFileParser parser;
    const std::string path = dir + "/" + name;
    if (!parser.loadFile(path)) {
      EXPECT_EQ(parser.getState(), 2);
      continue;
    }
    ++loaded;
    std::string s, encoded, digest;
    std::vector<TorrentFileEntry> files;
    std::vector<std::string> urls;
    parser.getName(s);
    parser.getFiles(files);
    parser.getAnnounceList(urls);
    parser.getInfoValue("publisher", s);
    parser.getRootValue("publisher-url", s);
    if (parser.getInfoEncoded(encoded)) {
      ASSERT_TRUE(parser.getInfoSHA1(digest));
      EXPECT_EQ(digest, sha1(encoded));
      {
        // Also through the digest taken at load.
        parser_info_off quiet;
        std::string again;
        ASSERT_TRUE(parser.getInfoSHA1(again));
        EXPECT_EQ(again, digest);
      }
      // Where the file stores "info" canonically, the hash is over its own bytes.
      if (raw_info(read_file(path)) == encoded) {
        ++canonical;
      }
    } else {
      EXPECT_FALSE(parser.getInfoSHA1(digest));
    }
  }
  EXPECT_GT(loaded, 90);
  EXPECT_GT(canonical, 80);

  const corpus_expectation expected[] = {
      {"base.torrent", {425}},
      {"unordered.torrent", {425}},
      {"zero.torrent", {0}},
      {"many_pieces.torrent", {1759218597889}},
      {"duplicate_files.torrent", {425, 425}},
      {"creation_date.torrent", {425, 425}},
      {"no_files.torrent", {}},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.file);
    CQTorrentFileParser parser;
    ASSERT_TRUE(parser.loadFile(dir + "/" + e.file));
    std::vector<TorrentFileEntry> files;
    ASSERT_TRUE(parser.getFiles(files));
    std::vector<std::int64_t> lengths;
    for (const auto& f : files) lengths.push_back(f.length);
    EXPECT_EQ(lengths, e.lengths);
  }
  // The unsorted seed hashes like its sorted twin.
  CQTorrentFileParser sorted, unsorted;
  ASSERT_TRUE(sorted.loadFile(dir + "/base.torrent"));
  ASSERT_TRUE(unsorted.loadFile(dir + "/unordered.torrent"));
  std::string a, b;
  ASSERT_TRUE(sorted.getInfoSHA1(a));
  ASSERT_TRUE(unsorted.getInfoSHA1(b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, sha1(raw_info(read_file(dir + "/base.torrent"))));
}

TEST_F(torrent_parser, deep_nesting_in_a_file_fails_cleanly) {
  EXPECT_FALSE(load("d4:info" + std::string(100000, 'l') + std::string(100000, 'e') + "e"));
  EXPECT_EQ(parser_.getState(), 2);
}

}  // namespace

namespace {

TEST_F(torrent_parser, info_hash_taken_at_load_matches_the_canonical_encoding) {
  parser_info_off quiet;
  const std::string tail = "4:name1:a12:piece lengthi16384e6:pieces" + kPieces;
  // Each variant differs from canonical form in one place, or not at all.
  const std::string infos[] = {
      "d6:lengthi5e" + tail + "e",
      "d6:lengthi05e" + tail + "e",
      "d6:lengthi-0e" + tail + "e",
      "d6:lengthi-e" + tail + "e",
      "d6:lengthi9223372036854775808e" + tail + "e",
      "d6:lengthi-9223372036854775808e" + tail + "e",
      "d6:lengthi-9223372036854775809e" + tail + "e",
      "d6:lengthi18446744073709551621e" + tail + "e",
      "d06:lengthi5e" + tail + "e",
      "d6 :lengthi5e" + tail + "e",
      "d6:lengthi5e4:name01:a12:piece lengthi16384e6:pieces" + kPieces + "e",
      "d4:name1:a6:lengthi5e12:piece lengthi16384e6:pieces" + kPieces + "e",
      "d6:lengthi5e6:lengthi5e" + tail + "e",
      "d1:xld1:bi1e1:ai2eee6:lengthi5e" + tail + "e",
      "d1:xld1:ai2e1:bi1eee6:lengthi5e" + tail + "e",
      "d1:xlli01eee6:lengthi5e" + tail + "e",
      "d1:xdee6:lengthi5e" + tail + "e",
  };
  for (const auto& info : infos) {
    SCOPED_TRACE(info);
    // The root itself is not canonical: that must not matter.
    ASSERT_TRUE(load("d1:zi0e4:info" + info + "1:ai01ee"));
    std::string encoded, digest;
    ASSERT_TRUE(parser_.getInfoEncoded(encoded));
    ASSERT_TRUE(parser_.getInfoSHA1(digest));
    EXPECT_EQ(digest, sha1(encoded));
    unsigned char buffer[20];
    ASSERT_TRUE(parser_.getInfoSHA1(buffer));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 20), digest);
  }
  // A load that fails forgets the digest of the previous one.
  EXPECT_FALSE(load("d4:info" + infos[0]));
  std::string digest;
  EXPECT_FALSE(parser_.getInfoSHA1(digest));
}

TEST_F(torrent_parser, files_sharing_folders) {
  platform::set_ansi_code_page(1252);
  ASSERT_TRUE(load(multi_file({file_dict(1, {"a", "b", "1"}), file_dict(1, {"a", "2"}), file_dict(1, {"a", "b", "3"}),
                               file_dict(1, {"ab", "4"}), file_dict(1, {"a\xC3\xA9", "5"}), file_dict(1, {"a\xE9", "6"}),
                               file_dict(1, {"a", "b:", "7"})})));
  std::vector<TorrentFileEntry> files;
  ASSERT_TRUE(parser_.getFiles(files));
  std::vector<std::string> paths;
  for (const auto& f : files) paths.push_back(f.folder + f.name);
  EXPECT_EQ(paths, (std::vector<std::string>{"a\\b\\1", "a\\2", "a\\b\\3", "ab\\4", "a\xE9\\5", "a\xE9\\6",
                                             "a\\bA\\7"}));
}

}  // namespace

namespace {

// Deterministic mutations of real seeds: every variant either fails to load
// with state 2 or loads and answers every query; when it loads, the digest
// (also the one taken at load) is that of the canonical encoding.
TEST_F(torrent_parser, mutated_seeds_never_break_the_parser) {
  const std::string dir = BTS_CORPUS_DIR;
  const char* const seeds[] = {"sample.torrent", "base.torrent", "url_seed_multi.torrent", "v2_hybrid.torrent",
                               "unordered.torrent"};
  std::uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>(state >> 33);
  };
  int loaded = 0, refused = 0;
  for (const char* seed : seeds) {
    const std::string original = read_file(dir + "/" + seed);
    ASSERT_FALSE(original.empty()) << seed;
    for (int round = 0; round < 80; ++round) {
      std::string mutated = original;
      const std::size_t at = next() % mutated.size();
      switch (round % 4) {
        case 0: mutated[at] = static_cast<char>(next()); break;
        case 1: mutated.insert(at, 1, "0123456789-:eild"[next() % 16]); break;
        case 2: mutated.erase(at, 1 + next() % 8); break;
        default: mutated[at] = "0123456789-:eild"[next() % 16]; break;
      }
      SCOPED_TRACE(std::string(seed) + " round " + std::to_string(round));
      if (!load(mutated)) {
        EXPECT_EQ(parser_.getState(), 2);
        ++refused;
        continue;
      }
      ++loaded;
      std::string s, encoded, digest, cached;
      std::vector<TorrentFileEntry> files;
      std::vector<std::string> urls;
      std::vector<std::pair<std::string, std::uint32_t>> nodes;
      std::uint32_t n = 0;
      parser_.getName(s);
      parser_.getFiles(files);
      parser_.getAnnounceList(urls);
      parser_.getNodes(nodes);
      parser_.getPieceLength(n);
      if (parser_.getInfoEncoded(encoded)) {
        ASSERT_TRUE(parser_.getInfoSHA1(digest));
        EXPECT_EQ(digest, sha1(encoded));
        parser_info_off quiet;
        ASSERT_TRUE(parser_.getInfoSHA1(cached));
        EXPECT_EQ(cached, digest);
      }
    }
  }
  EXPECT_GT(loaded, 50);
  EXPECT_GT(refused, 50);
}

}  // namespace
