// Reads a .torrent seed file into a bencode tree and answers questions about
// it: the info hash, the name, the files, the trackers and single fields.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bencode/bc_document.h"
#include "bencode/bc_node.h"
#include "bencode/large_buffer.h"
#include "common/seed_naming.h"
#include "platform/types.h"

class CQTorrentFileParser {
 public:
  enum : std::int32_t { STATE_OK = 0, STATE_OPEN_FAILED = 1, STATE_DECODE_FAILED = 2 };

  CQTorrentFileParser() = default;
  virtual ~CQTorrentFileParser();
  CQTorrentFileParser(const CQTorrentFileParser&) = delete;
  CQTorrentFileParser& operator=(const CQTorrentFileParser&) = delete;

  // Reads and decodes the file. On failure getState() tells why: 1 the file
  // cannot be opened, 2 it is empty or cannot be decoded (then
  // decodeFailure() says how, in the words of seed_refusal).
  bool loadFile(const std::string& path);
  std::int32_t getState() const { return m_state; }
  const std::string& decodeFailure() const { return m_decode_failure; }

  // SHA-1 of the canonical encoding of "info" (20 raw bytes).
  bool getInfoSHA1(std::string& out);
  bool getInfoSHA1(unsigned char out[20]);
  // The canonical encoding of "info".
  bool getInfoEncoded(std::string& out);

  // "name.utf-8" (when it is UTF-8), else "name"; UTF-8 text is converted to
  // the ANSI code page.
  bool getName(std::string& out);
  bool getNameUtf8(std::string& out);
  bool getInfoValue(const std::string& key, std::string& out);
  bool getRootValue(const std::string& key, std::string& out);
  // The files as the shared naming rule (common/seed_naming.h) names them;
  // false with `why` when the rule refuses the seed.
  bool getLayout(seed_layout& out, std::string& why) const;
  // The stored bytes of "info" (empty when there is none).
  std::string_view getInfoRaw() const;
  bool getAnnounce(std::string& out);
  // Appends the tracker URLs.
  bool getAnnounceList(std::vector<std::string>& out);
  bool getMd5sum(std::string& out);
  bool getPieces(std::string& out);
  bool getComment(std::string& out);
  bool getCreatedBy(std::string& out);
  // Low 32 bits of the integers.
  bool getPieceLength(std::uint32_t& out);
  bool getCreationDate(std::uint32_t& out);
  // Appends (host, port) for each [host, port] element of "nodes".
  bool getNodes(std::vector<std::pair<std::string, std::uint32_t>>& out);

  // The decoded file (a null node before a successful load).
  bc_node root() const { return m_document.root(); }

 private:
  bc_node info() const;
  bool hash_info(unsigned char digest[20], const char* form);

  // The file's bytes, which the decoding's nodes point into: declared first,
  // so that it goes last.
  large_buffer m_file;
  bc_document m_document;
  std::int32_t m_state = STATE_OK;
  std::string m_decode_failure;
};
