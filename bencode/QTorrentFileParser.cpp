#include "bencode/QTorrentFileParser.h"

#include <algorithm>
#include <array>
#include <log4cplus/loggingmacros.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

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

// The values of the keys of a "files" element that getFiles reads; the last
// one of a repeated key, as a lookup finds it. One walk of the entries.
struct file_keys {
  bc_node length, md5sum, path_utf8, path;

  explicit file_keys(bc_node file) {
    for (const auto& [key, value] : file.entries()) {
      const std::string_view k = key.string_value();
      if (k == "length") {
        length = value;
      } else if (k == "md5sum") {
        md5sum = value;
      } else if (k == "path") {
        path = value;
      } else if (k == "path.utf-8") {
        path_utf8 = value;
      }
    }
  }
};

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

// The nine characters that a file name may not hold, and the zero byte: no
// file system takes one in a name, and a reader of C strings would end the
// path there ("..\0x" would name the parent folder).
constexpr std::array<bool, 256> kUnsafe = [] {
  std::array<bool, 256> table{};
  for (const char c : {':', '?', '\\', '/', '*', '<', '>', '|', '"', '\0'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

// Makes one path component usable as a single file-system name: the unsafe
// characters become 'A', and the two names that mean "this folder" and "the
// parent folder" are spelt with 'A' too, so that no component can lead out
// of the download's folder.
void make_safe(std::string& component) {
  for (char& c : component) {
    if (kUnsafe[static_cast<unsigned char>(c)]) c = 'A';
  }
  const std::size_t n = component.size();
  if ((n == 1 || n == 2) && component[0] == '.' && component[n - 1] == '.') component.assign(n, 'A');
}

bool is_ascii(std::string_view text) {
  unsigned char high = 0;
  for (const char c : text) high |= static_cast<unsigned char>(c);
  return high < 0x80;
}

// `raw` as one safe file-system name in the ANSI code page: converted like a
// name, then made safe. ASCII text reads the same in UTF-8 and in every ANSI
// code page, so whatever the detector would say of it the conversion could
// not change it: it is not asked (unless it is missing, which it reports).
void convert_component(const charset_analyser::batch& detector, std::string_view raw, std::string& out) {
  out.assign(raw);
  if (!(is_ascii(raw) && detector.attached()) && detector.detect(out.data(), out.size()) == CP_UTF8)
    utf8_to_gb2312(out);
  make_safe(out);
}

// The converted folder paths of a torrent's files, by their raw components.
// Each distinct path is converted once. Files come folder by folder, or
// interleave a few folders: the latest paths answer most lookups by
// comparing components; the others are found by a key of all the raw bytes.
class folder_cache {
 public:
  explicit folder_cache(const charset_analyser::batch& detector) : detector_(detector) {}

  // The folder text of `components` (each followed by the separator).
  const std::string& find(const std::string_view* components, std::size_t count) {
    for (const recent_path& r : recent_) {
      if (r.folder != nullptr && r.raw.size() == count && std::equal(r.raw.begin(), r.raw.end(), components))
        return *r.folder;
    }
    key_.clear();
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t size = components[i].size();
      key_.append(reinterpret_cast<const char*>(&size), sizeof(size));
      key_ += components[i];
    }
    auto found = converted_.try_emplace(key_);
    std::string& folder = found.first->second;
    if (found.second) {
      for (std::size_t i = 0; i < count; ++i) {
        convert_component(detector_, components[i], text_);
        folder += text_;
        folder += kTorrentFolderSeparator;
      }
    }
    recent_path& slot = recent_[next_++ % recent_.size()];
    slot.raw.assign(components, components + count);
    slot.folder = &folder;
    return folder;
  }

 private:
  struct recent_path {
    std::vector<std::string_view> raw;
    const std::string* folder = nullptr;
  };
  const charset_analyser::batch& detector_;
  std::array<recent_path, 8> recent_;
  std::size_t next_ = 0;
  std::unordered_map<std::string, std::string> converted_;
  std::string key_, text_;
};

}  // namespace


CQTorrentFileParser::~CQTorrentFileParser() = default;

bool CQTorrentFileParser::loadFile(const std::string& path) {
  m_state = STATE_OK;
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
    if (size > 0 && size <= INT_MAX) {
      m_file = large_buffer(static_cast<std::size_t>(size));
      const DWORD got = seed.read_some(m_file.data(), static_cast<DWORD>(size));
      // The root must be a dictionary.
      if (got > 0 && m_file.data()[0] == 'd') consumed = m_document.parse(m_file.data(), static_cast<int>(got));
    }
  } catch (const std::exception&) {  // a failed read, or memory short
    consumed = -1;
  }
  if (consumed <= 0) {
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

bool CQTorrentFileParser::getFileCount(std::size_t& out) {
  const bc_node dict = info();
  if (!dict) return false;
  if (dict.find("length")) {
    out = 1;
    return true;
  }
  const bc_node files = find_list(dict, "files");
  if (!files) return false;
  out = files.size();
  return true;
}

bool CQTorrentFileParser::getFiles(std::vector<TorrentFileEntry>& out) {
  std::size_t count = 0;
  if (getFileCount(count)) out.reserve(out.size() + count);
  return walkFiles([&out](const TorrentFileEntry& entry) {
    out.push_back(entry);
    return true;
  });
}

bool CQTorrentFileParser::walkFiles(const std::function<bool(const TorrentFileEntry&)>& visit, bool convert) {
  const bc_node dict = info();
  if (!dict) return false;
  TorrentFileEntry entry;

  if (const bc_node length = dict.find("length")) {
    if (!length.is_int()) return false;
    if (!getName(entry.name)) entry.name.clear();
    // The name becomes a file name of its own: make it as safe as a component.
    make_safe(entry.name);
    entry.length = length.int_value();
    copy_string(find_string(dict, "md5sum"), entry.md5sum);
    visit(entry);
    return true;
  }

  const bc_node files = find_list(dict, "files");
  if (!files) return false;
  const charset_analyser::batch detector(charset_analyser::instance());
  // Unsigned, so that hostile lengths wrap instead of overflowing.
  std::uint64_t offset = 0;
  folder_cache folders(detector);
  std::vector<std::string_view> raw;
  std::uint32_t counter = 0;
  for (const bc_node item : files.elements()) {
    entry.index = counter++;
    entry.offset = static_cast<std::int64_t>(offset);
    entry.length = 0;
    entry.folder.clear();
    entry.name.clear();
    entry.md5sum.clear();
    if (item.is_dict()) {
      const file_keys keys(item);
      if (!keys.length.is_int()) return false;
      entry.length = keys.length.int_value();
      offset += static_cast<std::uint64_t>(entry.length);
      if (keys.md5sum.is_string()) entry.md5sum.assign(keys.md5sum.string_value());
      const bc_node path = keys.path_utf8 ? keys.path_utf8 : keys.path;
      if (path.is_list()) {
        raw.clear();
        for (const bc_node component : path.elements()) {
          if (!component.is_string()) return false;
          const std::string_view text = component.string_value();
          raw.emplace_back(text.data(), text.size());
        }
        if (raw.empty()) return false;
        if (!convert) {
          entry.name.assign(raw.back());
        } else {
          if (raw.size() > 1) entry.folder = folders.find(raw.data(), raw.size() - 1);
          convert_component(detector, raw.back(), entry.name);
        }
      }
    }
    if (!visit(entry)) break;
  }
  return true;
}

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
