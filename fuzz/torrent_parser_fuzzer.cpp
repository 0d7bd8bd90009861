// The torrent parser on a seed file holding the input, with every query.
//
// Properties: a load that fails says the content is undecodable and leaves
// no answers; the info hash taken from the stored bytes equals the hash of
// the re-encoded "info" (the path taken when the INFO line is logged); a
// second load of the same file answers the same; a usable seed's files
// have offsets that add up, no path component that is empty, "." or ".." or
// holds a NUL byte or one of the nine unsafe characters, and no two the
// same path; a refused seed says why.
#include <openssl/evp.h>

#include <climits>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/memory_file.h"

namespace {

const char kParserLogger[] = "CQTorrentFileParser";

bool is_safe_component(const std::string& component) {
  if (component.empty() || component == "." || component == "..") return false;
  return component.find_first_of(std::string(":?\\*<>|\"\0", 9)) == std::string::npos;
}

void check_layout(const seed_layout& layout) {
  std::int64_t offset = 0;
  std::set<std::string> paths;
  for (const seed_file& file : layout.files) {
    FUZZ_CHECK(file.offset == offset && file.length >= 0);
    offset += file.length;
    FUZZ_CHECK(!file.pad ? paths.insert(file.path).second : true);
    FUZZ_CHECK(file.name_at <= file.path.size() && (file.name_at == 0 || file.path[file.name_at - 1] == '/'));
    std::size_t start = 0;
    for (std::size_t end; (end = file.path.find('/', start)) != std::string::npos; start = end + 1)
      FUZZ_CHECK(is_safe_component(file.path.substr(start, end - start)));
    FUZZ_CHECK(is_safe_component(file.path.substr(start)));
  }
}

std::string sha1(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  FUZZ_CHECK(EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) == 1);
  return std::string(reinterpret_cast<const char*>(digest), length);
}

// Every query's answer, as one text.
std::string answers(CQTorrentFileParser& parser) {
  std::ostringstream out;
  std::string text;
  auto put = [&](const char* query, bool ok, const std::string& value) {
    out << query << ':' << ok << ':' << (ok ? value : std::string()) << '\n';
  };

  std::string hash;
  const bool hashed = parser.getInfoSHA1(hash);
  unsigned char raw_hash[20] = {};
  FUZZ_CHECK(parser.getInfoSHA1(raw_hash) == hashed);
  std::string encoded;
  FUZZ_CHECK(parser.getInfoEncoded(encoded) == hashed);
  if (hashed) {
    FUZZ_CHECK(hash.size() == 20 && hash == std::string(reinterpret_cast<const char*>(raw_hash), 20));
    FUZZ_CHECK(hash == sha1(encoded));
  }
  put("hash", hashed, hash);
  put("encoded", hashed, encoded);

  put("name", parser.getName(text), text);
  put("name.utf-8", parser.getNameUtf8(text), text);
  put("publisher", parser.getInfoValue("publisher", text), text);
  put("publisher-url", parser.getRootValue("publisher-url", text), text);
  put("announce", parser.getAnnounce(text), text);
  put("md5sum", parser.getMd5sum(text), text);
  put("pieces", parser.getPieces(text), text);
  put("comment", parser.getComment(text), text);
  put("created by", parser.getCreatedBy(text), text);

  std::uint32_t number = 0;
  put("piece length", parser.getPieceLength(number), std::to_string(number));
  put("creation date", parser.getCreationDate(number), std::to_string(number));

  std::vector<std::string> trackers;
  const bool have_trackers = parser.getAnnounceList(trackers);
  for (const std::string& url : trackers) put("tracker", have_trackers, url);

  std::vector<std::pair<std::string, std::uint32_t>> nodes;
  const bool have_nodes = parser.getNodes(nodes);
  for (const auto& node : nodes) put("node", have_nodes, node.first + ' ' + std::to_string(node.second));

  seed_layout layout;
  std::string why;
  const bool usable = parser.getLayout(layout, why);
  FUZZ_CHECK(usable || (!why.empty() && why.find('\n') == std::string::npos));
  if (usable) check_layout(layout);
  put("refused", !usable, why);
  for (const seed_file& f : layout.files)
    put("file", usable, f.path + '|' + std::to_string(f.offset) + '|' + std::to_string(f.length) + (f.pad ? "|pad" : ""));
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::init_logging(log4cplus::TRACE_LOG_LEVEL);
  fuzz::init_text_services(936);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::memory_file seed;
  seed.write(data, size);

  CQTorrentFileParser parser;
  fuzz::set_log_level(kParserLogger, log4cplus::OFF_LOG_LEVEL);
  if (!parser.loadFile(seed.path())) {
    FUZZ_CHECK(parser.getState() == CQTorrentFileParser::STATE_DECODE_FAILED);
    seed_layout layout;
    std::string text;
    FUZZ_CHECK(!parser.getLayout(layout, text) && !parser.getInfoSHA1(text) && !parser.getAnnounce(text));
    FUZZ_CHECK(!parser.decodeFailure().empty());
    return 0;
  }
  FUZZ_CHECK(parser.getState() == CQTorrentFileParser::STATE_OK);
  const std::string quiet = answers(parser);

  // Logging the INFO lines takes the hash from the re-encoded "info".
  fuzz::set_log_level(kParserLogger, log4cplus::TRACE_LOG_LEVEL);
  FUZZ_CHECK(answers(parser) == quiet);

  fuzz::set_log_level(kParserLogger, log4cplus::OFF_LOG_LEVEL);
  FUZZ_CHECK(parser.loadFile(seed.path()));
  FUZZ_CHECK(answers(parser) == quiet);
  return 0;
}
