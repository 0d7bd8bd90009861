#include "bencode/QTorrentFileParser.h"

#include <algorithm>
#include <log4cplus/loggingmacros.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string_view>

#include "common/charset_analyser.h"
#include "common/file_ex.h"
#include "common/url_object.h"
#include "platform/codepage.h"

namespace {

const log4cplus::Logger& logger() {
  static const log4cplus::Logger instance = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("CQTorrentFileParser"));
  return instance;
}

constexpr std::size_t kDigestSize = 20;

bc_node find_string(bc_node dict, std::string_view key) {
  const bc_node value = dict.find(key);
  return value.is_string() ? value : bc_node();
}

bc_node find_int(bc_node dict, std::string_view key) {
  const bc_node value = dict.find(key);
  return value.is_int() ? value : bc_node();
}

bc_node find_list(bc_node dict, std::string_view key) {
  const bc_node value = dict.find(key);
  return value.is_list() ? value : bc_node();
}

bool copy_string(bc_node value, std::string& out) {
  if (!value) return false;
  out.assign(value.string_value());
  return true;
}

// A name as the ANSI code page spells it: text that the detector reports as
// UTF-8 is converted, anything else kept as it is.
std::string convert_name(std::string_view raw) {
  std::string text(raw);
  if (get_code_page(text) == CP_UTF8) utf8_to_gb2312(text);
  return text;
}

void append_hex(std::string& out, const unsigned char* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  const std::size_t start = out.size();
  out.resize(start + size * 2);
  char* p = &out[start];
  for (std::size_t i = 0; i < size; ++i) {
    *p++ = digits[data[i] >> 4];
    *p++ = digits[data[i] & 0x0F];
  }
}

// Streams an encoding into SHA-1: small pieces are gathered in a buffer,
// large strings go to the digest directly, so no copy of the encoding is
// ever built. With `hex` set it also keeps the hexadecimal text.
// The INFO line of the info hash shows the encoded "info" in hexadecimal up
// to this many bytes, then "...": a seed's "pieces" alone can be hundreds of
// megabytes, which no log line should carry.
constexpr std::uint64_t kLoggedInfoBytes = 64 * 1024;

class sha1_sink final : public CQBCSink {
 public:
  sha1_sink(EVP_MD_CTX* ctx, std::string* hex) : ctx_(ctx), hex_(hex) {}

  void write(const char* data, std::size_t size) override {
    if (hex_ != nullptr && total_ < kLoggedInfoBytes) {
      const std::size_t logged = std::min<std::uint64_t>(size, kLoggedInfoBytes - total_);
      append_hex(*hex_, reinterpret_cast<const unsigned char*>(data), logged);
      if (total_ + size > kLoggedInfoBytes) hex_->append("...");
    }
    total_ += size;
    if (size >= sizeof(buffer_) / 2) {
      flush();
      update(data, size);
      return;
    }
    if (size > sizeof(buffer_) - used_) flush();
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }

  bool finish(unsigned char digest[kDigestSize]) {
    flush();
    unsigned int length = 0;
    return ok_ && EVP_DigestFinal_ex(ctx_, digest, &length) == 1 && length == kDigestSize;
  }

  std::uint64_t total() const { return total_; }

 private:
  void flush() {
    if (used_ != 0) update(buffer_, used_);
    used_ = 0;
  }
  void update(const char* data, std::size_t size) {
    if (ok_ && EVP_DigestUpdate(ctx_, data, size) != 1) ok_ = false;
  }

  EVP_MD_CTX* ctx_;
  std::string* hex_;
  std::uint64_t total_ = 0;
  bool ok_ = true;
  std::size_t used_ = 0;
  char buffer_[16384];
};

struct md_ctx_deleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The shared naming rule's view of a node.
class rule_view {
 public:
  rule_view() = default;
  explicit rule_view(bc_node node) : node_(node) {}

  seed_node_kind kind() const {
    switch (node_.type()) {
      case bc_node::INT: return seed_node_kind::integer;
      case bc_node::STRING: return seed_node_kind::string;
      case bc_node::LIST: return seed_node_kind::list;
      case bc_node::DICT: return seed_node_kind::dict;
      default: return seed_node_kind::none;
    }
  }
  std::int64_t integer() const { return node_.int_value(); }
  std::string_view text() const { return node_.string_value(); }
  std::size_t count() const { return node_.size(); }
  template <class F>
  void each(F f) const {
    for (const bc_node element : node_.elements())
      if (!f(rule_view(element))) return;
  }
  // A canonical dictionary holds each key once: a lookup answers. Others
  // are walked whole, so that a key stored twice is seen.
  seed_lookup lookup(std::string_view key, rule_view& out) const {
    if (node_.canonical()) {
      const bc_node value = node_.find(key);
      if (!value) return seed_lookup::absent;
      out = rule_view(value);
      return seed_lookup::found;
    }
    bool seen = false;
    for (const auto& [k, value] : node_.entries()) {
      if (k.string_value() != key) continue;
      if (seen) return seed_lookup::repeated;
      seen = true;
      out = rule_view(value);
    }
    return seen ? seed_lookup::found : seed_lookup::absent;
  }
  bool canonical() const { return node_.canonical(); }

 private:
  bc_node node_;
};

}  // namespace


CQTorrentFileParser::~CQTorrentFileParser() = default;

bool CQTorrentFileParser::loadFile(const std::string& path) {
  m_state = STATE_OK;
  m_decode_failure.clear();
  // A failed load must not leave the previous file's answers behind.
  m_document.clear();
  m_file.reset();
  // Only a regular file is a seed file; a folder, pipe or device is not (a
  // pipe opens without waiting for a writer).
  file_ex seed;
  try {
    seed = file_ex(path, file_ex::read_only);
  } catch (const std::exception&) {
    m_state = STATE_OPEN_FAILED;
    return false;
  }
  if (GetFileType(seed.handle()) != FILE_TYPE_DISK) {
    m_state = STATE_OPEN_FAILED;
    return false;
  }
  int consumed = -1;
  try {
    // The decoder works on int lengths: a file larger than that cannot be decoded.
    const LONGLONG size = seed.length();
    if (size > kSeedMaxBytes) m_decode_failure = seed_refusal::too_large();
    if (size > 0 && size <= kSeedMaxBytes) {
      m_file = large_buffer(static_cast<std::size_t>(size));
      const DWORD got = seed.read_some(m_file.data(), static_cast<DWORD>(size));
      // The root must be a dictionary.
      if (got > 0 && m_file.data()[0] == 'd') consumed = m_document.parse(m_file.data(), static_cast<int>(got));
    }
  } catch (const std::exception&) {  // a failed read, or memory short
    consumed = -1;
  }
  if (consumed <= 0) {
    if (m_decode_failure.empty()) {
      switch (m_document.failure()) {
        case bc_document::too_deep: m_decode_failure = seed_refusal::too_deep(); break;
        case bc_document::too_many_items: m_decode_failure = seed_refusal::too_many_items(); break;
        default: m_decode_failure = seed_refusal::kNotBencode; break;
      }
    }
    m_document.clear();
    m_file.reset();
    m_state = STATE_DECODE_FAILED;
    return false;
  }
  return true;
}

bc_node CQTorrentFileParser::info() const {
  const bc_node dict = root().find("info");
  return dict.is_dict() ? dict : bc_node();
}

bool CQTorrentFileParser::hash_info(unsigned char digest[20], const char* form) {
  const bc_node dict = info();
  if (!dict) return false;
  const bool log_info = logger().isEnabledFor(log4cplus::INFO_LOG_LEVEL);
  // Stored canonically, "info" is its own canonical encoding: hash the bytes
  // where they stand.
  if (dict.canonical() && !log_info) {
    const std::string_view bytes = dict.raw();
    unsigned int length = 0;
    return EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) == 1 &&
           length == kDigestSize;
  }
  std::unique_ptr<EVP_MD_CTX, md_ctx_deleter> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) return false;
  std::string hex;
  sha1_sink sink(ctx.get(), log_info ? &hex : nullptr);
  dict.encode_to(sink);
  if (!sink.finish(digest)) return false;
  if (log_info) {
    LOG4CPLUS_INFO(logger(), "[" << static_cast<const void*>(this) << "]"
                                 << "info size:" << sink.total() << "getInfoSHA1::Info" << hex);
    std::string digest_hex;
    append_hex(digest_hex, digest, kDigestSize);
    LOG4CPLUS_INFO(logger(), "[" << static_cast<const void*>(this) << "]" << form << digest_hex);
  }
  return true;
}

bool CQTorrentFileParser::getInfoSHA1(std::string& out) {
  unsigned char digest[kDigestSize];
  if (!hash_info(digest, "getInfoSHA1::qstrInfoHash")) return false;
  out.assign(reinterpret_cast<const char*>(digest), kDigestSize);
  return true;
}

bool CQTorrentFileParser::getInfoSHA1(unsigned char out[20]) {
  if (out == nullptr) return false;
  return hash_info(out, "getInfoSHA1::ptrInfoHash");
}

bool CQTorrentFileParser::getInfoEncoded(std::string& out) {
  const bc_node dict = info();
  if (!dict) return false;
  out.clear();
  CQBCStringSink sink(out);
  dict.encode_to(sink);
  return true;
}

bool CQTorrentFileParser::getNameUtf8(std::string& out) {
  const bc_node name = find_string(info(), "name.utf-8");
  if (!name) return false;
  std::string text(name.string_value());
  if (get_code_page(text) != CP_UTF8) return false;
  utf8_to_gb2312(text);
  out = std::move(text);
  return true;
}

bool CQTorrentFileParser::getName(std::string& out) {
  if (getNameUtf8(out)) return true;
  const bc_node name = find_string(info(), "name");
  if (!name) return false;
  out = convert_name(name.string_value());
  return true;
}

bool CQTorrentFileParser::getInfoValue(const std::string& key, std::string& out) {
  return copy_string(find_string(info(), key), out);
}

bool CQTorrentFileParser::getRootValue(const std::string& key, std::string& out) {
  return copy_string(find_string(root(), key), out);
}

bool CQTorrentFileParser::getLayout(seed_layout& out, std::string& why) const {
  rule_view info;
  if (rule_view(root()).lookup("info", info) == seed_lookup::repeated) {
    why = seed_naming_detail::repeated_key("info");
    return false;
  }
  return read_seed_layout(info, out, why);
}

std::string_view CQTorrentFileParser::getInfoRaw() const { return info().raw(); }

bool CQTorrentFileParser::getAnnounce(std::string& out) { return copy_string(find_string(root(), "announce"), out); }

bool CQTorrentFileParser::getAnnounceList(std::vector<std::string>& out) {
  const bc_node list = root().find("announce-list");
  if (!list) {
    std::string url;
    if (!getAnnounce(url)) return false;
    out.push_back(std::move(url));
    return true;
  }
  if (!list.is_list()) return false;
  for (const bc_node tier : list.elements()) {
    for (const bc_node url : tier.elements()) {
      if (url.is_string()) out.emplace_back(url.string_value());
    }
  }
  return true;
}

bool CQTorrentFileParser::getMd5sum(std::string& out) { return copy_string(find_string(info(), "md5sum"), out); }

bool CQTorrentFileParser::getPieces(std::string& out) { return copy_string(find_string(info(), "pieces"), out); }

bool CQTorrentFileParser::getComment(std::string& out) { return copy_string(find_string(root(), "comment"), out); }

bool CQTorrentFileParser::getCreatedBy(std::string& out) { return copy_string(find_string(root(), "created by"), out); }

bool CQTorrentFileParser::getPieceLength(std::uint32_t& out) {
  const bc_node value = find_int(info(), "piece length");
  if (!value) return false;
  out = static_cast<std::uint32_t>(value.int_value());
  return true;
}

bool CQTorrentFileParser::getCreationDate(std::uint32_t& out) {
  const bc_node value = find_int(root(), "creation date");
  if (!value) return false;
  out = static_cast<std::uint32_t>(value.int_value());
  return true;
}

bool CQTorrentFileParser::getNodes(std::vector<std::pair<std::string, std::uint32_t>>& out) {
  const bc_node nodes = find_list(root(), "nodes");
  if (!nodes) return false;
  for (const bc_node node : nodes.elements()) {
    // The first two elements: the host and the port.
    bc_node host, port;
    int seen = 0;
    for (const bc_node element : node.elements()) {
      if (seen == 0) host = element;
      if (seen == 1) port = element;
      if (++seen == 2) break;
    }
    if (!host.is_string() || !port.is_int()) continue;
    out.emplace_back(std::string(host.string_value()), static_cast<std::uint32_t>(port.int_value()));
  }
  return true;
}
