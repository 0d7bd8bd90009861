// The torrent parser on a seed file holding the input, with every query.
//
// Properties: a load that fails says the content is undecodable and leaves
// no answers; the info hash taken from the stored bytes equals the hash of
// the re-encoded "info" (the path taken when the INFO line is logged); a
// second load of the same file answers the same; the file entries are
// numbered in order, their offsets add up, no name or folder component can
// lead out of the download's folder, and the walk without conversion finds
// the same entries with and without names.
#include <openssl/evp.h>

#include <climits>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/memory_file.h"

namespace {

const char kParserLogger[] = "CQTorrentFileParser";

bool is_safe_component(const std::string& component) {
  if (component == "." || component == "..") return false;
  return component.find_first_of(":?\\/*<>|\"") == std::string::npos;
}

void check_entries(const std::vector<TorrentFileEntry>& files) {
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TorrentFileEntry& entry = files[i];
    FUZZ_CHECK(entry.index == i);
    FUZZ_CHECK(static_cast<std::uint64_t>(entry.offset) == offset);
    offset += static_cast<std::uint64_t>(entry.length);
    FUZZ_CHECK(is_safe_component(entry.name));
    FUZZ_CHECK(entry.folder.empty() || entry.folder.back() == kTorrentFolderSeparator);
    std::size_t start = 0;
    for (std::size_t end; (end = entry.folder.find(kTorrentFolderSeparator, start)) != std::string::npos;
         start = end + 1) {
      FUZZ_CHECK(is_safe_component(entry.folder.substr(start, end - start)));
    }
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

  std::vector<TorrentFileEntry> files;
  const bool have_files = parser.getFiles(files);
  check_entries(files);
  // The walk that keeps the raw bytes gives the same entries, named or not.
  std::size_t walked = 0;
  const bool walked_ok = parser.walkFiles(
      [&](const TorrentFileEntry& raw) {
        FUZZ_CHECK(walked < files.size() && raw.index == files[walked].index &&
                   raw.name.empty() == files[walked].name.empty() && raw.length == files[walked].length);
        ++walked;
        return true;
      },
      false);
  FUZZ_CHECK(walked_ok == have_files && walked == files.size());
  for (const TorrentFileEntry& f : files) {
    put("file", have_files,
        f.folder + '|' + f.name + '|' + std::to_string(f.offset) + '|' + std::to_string(f.length) + '|' + f.md5sum);
  }
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
    std::vector<TorrentFileEntry> files;
    std::string text;
    FUZZ_CHECK(!parser.getFiles(files) && !parser.getInfoSHA1(text) && !parser.getAnnounce(text));
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
