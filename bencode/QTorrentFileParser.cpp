#include "bencode/QTorrentFileParser.h"

#include <algorithm>
#include <fcntl.h>
#include <log4cplus/loggingmacros.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

#include "bencode/CQBCInt.h"
#include "bencode/CQBCList.h"
#include "bencode/CQBCString.h"
#include "bencode/large_buffer.h"
#include "common/url_object.h"
#include "platform/codepage.h"

namespace {

const log4cplus::Logger& logger() {
  static const log4cplus::Logger instance = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("CQTorrentFileParser"));
  return instance;
}

constexpr std::size_t kDigestSize = 20;
// Up to this size a canonically stored "info" is hashed in place at load;
// larger ones (a few huge strings) stream just as fast later.
constexpr int kHashAtLoadLimit = 64 << 20;

template <class T>
const T* typed(const CQBCObj* value, std::uint32_t type) {
  return value != nullptr && value->type() == type ? static_cast<const T*>(value) : nullptr;
}

const CQBCString* find_string(const CQBCDict* dict, std::string_view key) {
  return dict ? typed<CQBCString>(dict->lookup(key), CQBCObj::BC_STRING) : nullptr;
}
const CQBCInt* find_int(const CQBCDict* dict, std::string_view key) {
  return dict ? typed<CQBCInt>(dict->lookup(key), CQBCObj::BC_INT) : nullptr;
}
const CQBCList* find_list(const CQBCDict* dict, std::string_view key) {
  return dict ? typed<CQBCList>(dict->lookup(key), CQBCObj::BC_LIST) : nullptr;
}

bool copy_string(const CQBCString* value, std::string& out) {
  if (value == nullptr) return false;
  out = value->value();
  return true;
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

bool is_unsafe_char(char c) {
  switch (c) {
    case ':': case '?': case '\\': case '/': case '*': case '<': case '>': case '|': case '"':
    // No file system takes a zero byte in a name, and a reader of C strings
    // would end the path there: "..\0x" would name the parent folder.
    case '\0':
      return true;
    default:
      return false;
  }
}

// Makes one path component usable as a single file-system name: the nine
// characters that a name may not hold and the zero byte become 'A', and the
// two names that mean "this folder" and "the parent folder" are spelt with
// 'A' too, so that no component can lead out of the download's folder.
void make_safe(std::string& component) {
  for (char& c : component) {
    if (is_unsafe_char(c)) c = 'A';
  }
  if (component == ".") {
    component = "A";
  } else if (component == "..") {
    component = "AA";
  }
}

// Reads the whole file; false with errno-style failure when it cannot.
bool read_all(int fd, char* buf, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buf + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

CQTorrentFileParser::~CQTorrentFileParser() { m_root.clear(); }

bool CQTorrentFileParser::loadFile(const std::string& path) {
  m_state = STATE_OK;
  m_info_hashed = false;
  // A failed load must not leave the previous file's answers behind.
  m_root.clear();
  m_arena.release();
  // Without blocking: a seed path that names a pipe must not hang the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    m_state = STATE_OPEN_FAILED;
    return false;
  }
  // Only a regular file is a seed file; a folder, pipe or device is not.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    m_state = STATE_OPEN_FAILED;
    return false;
  }
  // The decoder works on int lengths: a file larger than that cannot be decoded.
  if (st.st_size <= 0 || st.st_size > INT_MAX) {
    ::close(fd);
    m_state = STATE_DECODE_FAILED;
    return false;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (buffer != nullptr && size >= static_cast<std::size_t>(kLargeBufferSize)) advise_large_buffer(buffer.get(), size);
  std::size_t got = 0;
  const bool read_ok = buffer != nullptr && read_all(fd, buffer.get(), size, got);
  ::close(fd);
  if (!read_ok || got == 0) {
    m_state = STATE_DECODE_FAILED;
    return false;
  }
  int consumed = -1;
  {
    // The whole tree comes from the arena and goes with it.
    bencode_detail::bc_arena_scope scope(m_arena);
    try {
      consumed = m_root.parse(buffer.get(), static_cast<int>(got));
    } catch (const std::bad_alloc&) {
      m_root.clear();
      consumed = -1;
    }
  }
  if (consumed <= 0) {
    m_arena.release();
    m_state = STATE_DECODE_FAILED;
    return false;
  }
  // Stored canonically, "info" is its own canonical encoding: hash the bytes
  // where they stand instead of encoding the tree again later.
  const CQBCDict* dict = info();
  if (dict != nullptr && dict->parsed_canonical() && dict->parsed_size() <= kHashAtLoadLimit &&
      dict->parsed_offset() >= 0 && dict->parsed_offset() + dict->parsed_size() <= consumed) {
    unsigned int length = 0;
    m_info_hashed = EVP_Digest(buffer.get() + dict->parsed_offset(), static_cast<std::size_t>(dict->parsed_size()),
                               m_info_digest, &length, EVP_sha1(), nullptr) == 1 &&
                    length == kDigestSize;
  }
  return true;
}

const CQBCDict* CQTorrentFileParser::info() const {
  return typed<CQBCDict>(m_root.lookup("info"), CQBCObj::BC_DICT);
}

bool CQTorrentFileParser::hash_info(unsigned char digest[20], const char* form) {
  const CQBCDict* dict = info();
  if (dict == nullptr) return false;
  const bool log_info = logger().isEnabledFor(log4cplus::INFO_LOG_LEVEL);
  if (m_info_hashed && !log_info) {
    std::memcpy(digest, m_info_digest, kDigestSize);
    return true;
  }
  std::unique_ptr<EVP_MD_CTX, md_ctx_deleter> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) return false;
  std::string hex;
  sha1_sink sink(ctx.get(), log_info ? &hex : nullptr);
  dict->encode_to(sink);
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
  const CQBCDict* dict = info();
  if (dict == nullptr) return false;
  out = dict->encode();
  return true;
}

std::string CQTorrentFileParser::convert_name(const std::string& raw) const {
  std::string text = raw;
  if (get_code_page(text) == CP_UTF8) utf8_to_gb2312(text);
  return text;
}

bool CQTorrentFileParser::getNameUtf8(std::string& out) {
  const CQBCString* name = find_string(info(), "name.utf-8");
  if (name == nullptr || get_code_page(name->value()) != CP_UTF8) return false;
  out = name->value();
  utf8_to_gb2312(out);
  return true;
}

bool CQTorrentFileParser::getName(std::string& out) {
  if (getNameUtf8(out)) return true;
  const CQBCString* name = find_string(info(), "name");
  if (name == nullptr) return false;
  out = convert_name(name->value());
  return true;
}

bool CQTorrentFileParser::getInfoValue(const std::string& key, std::string& out) {
  return copy_string(find_string(info(), key), out);
}

bool CQTorrentFileParser::getRootValue(const std::string& key, std::string& out) {
  return copy_string(find_string(&m_root, key), out);
}

bool CQTorrentFileParser::getFileCount(std::size_t& out) {
  const CQBCDict* dict = info();
  if (dict == nullptr) return false;
  if (dict->lookup("length") != nullptr) {
    out = 1;
    return true;
  }
  const CQBCList* files = find_list(dict, "files");
  if (files == nullptr) return false;
  out = files->size();
  return true;
}

bool CQTorrentFileParser::getFiles(std::vector<TorrentFileEntry>& out) {
  const CQBCDict* dict = info();
  if (dict == nullptr) return false;

  if (const CQBCObj* length = dict->lookup("length")) {
    if (length->type() != CQBCObj::BC_INT) return false;
    TorrentFileEntry entry;
    if (!getName(entry.name)) entry.name.clear();
    // The name becomes a file name of its own: make it as safe as a component.
    make_safe(entry.name);
    entry.length = static_cast<const CQBCInt*>(length)->value();
    copy_string(find_string(dict, "md5sum"), entry.md5sum);
    out.push_back(std::move(entry));
    return true;
  }

  const CQBCList* files = find_list(dict, "files");
  if (files == nullptr) return false;
  out.reserve(out.size() + files->size());
  // Unsigned, so that hostile lengths wrap instead of overflowing.
  std::uint64_t offset = 0;
  std::uint32_t counter = 0;
  // Many files share a folder: each distinct raw folder path is converted
  // once. The key holds the raw components, each after its length.
  std::vector<const std::string*> raw;
  std::unordered_map<std::string, std::string> converted_folders;
  std::string key;
  for (const CQBCObj* item : *files) {
    TorrentFileEntry entry;
    entry.index = counter;
    entry.offset = static_cast<std::int64_t>(offset);
    if (item->type() == CQBCObj::BC_DICT) {
      const auto* file = static_cast<const CQBCDict*>(item);
      const CQBCInt* length = find_int(file, "length");
      if (length == nullptr) return false;
      entry.length = length->value();
      offset += static_cast<std::uint64_t>(entry.length);
      copy_string(find_string(file, "md5sum"), entry.md5sum);
      const CQBCObj* path = file->lookup("path.utf-8");
      if (path == nullptr) path = file->lookup("path");
      if (path != nullptr && path->type() == CQBCObj::BC_LIST) {
        const auto* components = static_cast<const CQBCList*>(path);
        if (components->empty()) return false;
        raw.clear();
        for (const CQBCObj* component : *components) {
          if (component->type() != CQBCObj::BC_STRING) return false;
          raw.push_back(&static_cast<const CQBCString*>(component)->value());
        }
        const std::size_t folders = raw.size() - 1;
        if (folders != 0) {
          key.clear();
          for (std::size_t i = 0; i < folders; ++i) {
            const std::size_t size = raw[i]->size();
            key.append(reinterpret_cast<const char*>(&size), sizeof(size));
            key += *raw[i];
          }
          auto found = converted_folders.try_emplace(key);
          if (found.second) {
            std::string& folder = found.first->second;
            for (std::size_t i = 0; i < folders; ++i) {
              std::string text = convert_name(*raw[i]);
              make_safe(text);
              folder += text;
              folder += kTorrentFolderSeparator;
            }
          }
          entry.folder = found.first->second;
        }
        entry.name = convert_name(*raw.back());
        make_safe(entry.name);
      }
    }
    out.push_back(std::move(entry));
    ++counter;
  }
  return true;
}

bool CQTorrentFileParser::getAnnounce(std::string& out) { return copy_string(find_string(&m_root, "announce"), out); }

bool CQTorrentFileParser::getAnnounceList(std::vector<std::string>& out) {
  const CQBCObj* list = m_root.lookup("announce-list");
  if (list == nullptr) {
    std::string url;
    if (!getAnnounce(url)) return false;
    out.push_back(std::move(url));
    return true;
  }
  if (list->type() != CQBCObj::BC_LIST) return false;
  for (const CQBCObj* tier : *static_cast<const CQBCList*>(list)) {
    if (tier->type() != CQBCObj::BC_LIST) continue;
    for (const CQBCObj* url : *static_cast<const CQBCList*>(tier)) {
      if (url->type() == CQBCObj::BC_STRING) out.push_back(static_cast<const CQBCString*>(url)->value());
    }
  }
  return true;
}

bool CQTorrentFileParser::getMd5sum(std::string& out) { return copy_string(find_string(info(), "md5sum"), out); }

bool CQTorrentFileParser::getPieces(std::string& out) { return copy_string(find_string(info(), "pieces"), out); }

bool CQTorrentFileParser::getComment(std::string& out) { return copy_string(find_string(&m_root, "comment"), out); }

bool CQTorrentFileParser::getCreatedBy(std::string& out) {
  return copy_string(find_string(&m_root, "created by"), out);
}

bool CQTorrentFileParser::getPieceLength(std::uint32_t& out) {
  const CQBCInt* value = find_int(info(), "piece length");
  if (value == nullptr) return false;
  out = static_cast<std::uint32_t>(value->value());
  return true;
}

bool CQTorrentFileParser::getCreationDate(std::uint32_t& out) {
  const CQBCInt* value = find_int(&m_root, "creation date");
  if (value == nullptr) return false;
  out = static_cast<std::uint32_t>(value->value());
  return true;
}

bool CQTorrentFileParser::getNodes(std::vector<std::pair<std::string, std::uint32_t>>& out) {
  const CQBCList* nodes = find_list(&m_root, "nodes");
  if (nodes == nullptr) return false;
  for (const CQBCObj* node : *nodes) {
    if (node->type() != CQBCObj::BC_LIST) continue;
    const auto* pair = static_cast<const CQBCList*>(node);
    if (pair->size() < 2) continue;
    auto it = pair->begin();
    const CQBCObj* host = *it++;
    const CQBCObj* port = *it;
    if (host->type() != CQBCObj::BC_STRING || port->type() != CQBCObj::BC_INT) continue;
    out.emplace_back(static_cast<const CQBCString*>(host)->value(),
                     static_cast<std::uint32_t>(static_cast<const CQBCInt*>(port)->value()));
  }
  return true;
}
