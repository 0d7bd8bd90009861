#include "common/seed_naming.h"

#include <openssl/evp.h>

#include <array>
#include <unordered_set>

#include "common/utility.h"

namespace {

// The nine characters a file name may not hold.
constexpr std::array<bool, 256> kUnsafe = [] {
  std::array<bool, 256> table{};
  for (const char c : {':', '?', '\\', '/', '*', '<', '>', '|', '"'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

constexpr char kOldPaddingName[] = "_____padding_file_";

// The folders of `path` (each without its trailing '/'), shortest first.
template <class F>
bool each_folder(std::string_view path, F f) {
  for (std::size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', slash + 1))
    if (!f(path.substr(0, slash))) return false;
  return true;
}

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string info_hash_hex(const unsigned char (&hash)[kInfoHashSize]) {
  return hex_encode(hash, kInfoHashSize);
}

std::string part_file_name(std::string_view info, bool meta_version_2) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(info.data(), info.size(), digest, &size, meta_version_2 ? EVP_sha256() : EVP_sha1(), nullptr) != 1 ||
      size < kInfoHashSize)
    return std::string();
  return "." + hash_to_hex_lower(digest) + ".parts";
}

namespace seed_refusal {
std::string too_deep() { return "the seed nests lists and dictionaries deeper than " + std::to_string(kSeedMaxDepth) + " levels"; }
std::string too_many_items() { return "the seed holds more than " + std::to_string(kSeedMaxItems) + " items"; }
std::string too_large() { return "the seed file is larger than " + std::to_string(kSeedMaxBytes) + " bytes"; }
}  // namespace seed_refusal

namespace seed_naming_detail {

bool append_component(std::string_view raw, std::string& path) {
  if (raw.empty() || raw == "." || raw == ".." || raw.find('\0') != std::string_view::npos) return false;
  const std::size_t start = path.size();
  path.append(raw.data(), raw.size());
  for (std::size_t i = start; i < path.size(); ++i)
    if (kUnsafe[static_cast<unsigned char>(path[i])]) path[i] = 'A';
  return true;
}

bool name_survives(std::string_view raw) {
  // U+200E, U+200F and U+202A to U+202E in UTF-8.
  std::string kept;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(raw[i]);
    if (c == '/' || c == '\\') continue;
    if (c == 0xE2 && i + 2 < raw.size() && static_cast<unsigned char>(raw[i + 1]) == 0x80) {
      const unsigned char last = static_cast<unsigned char>(raw[i + 2]);
      if (last == 0x8E || last == 0x8F || (last >= 0xAA && last <= 0xAE)) {
        i += 2;
        continue;
      }
    }
    kept += static_cast<char>(c);
  }
  return !kept.empty() && kept != "." && kept != "..";
}

bool old_padding_name(std::string_view text) { return text.find(kOldPaddingName) != std::string_view::npos; }

std::string file_text(std::size_t index) { return "file " + std::to_string(index); }

std::string repeated_key(std::string_view key) {
  return "a dictionary of the seed holds the key \"" + std::string(key) + "\" twice";
}

bool check_names(const seed_layout& layout, std::string& why) {
  // The names a download puts on disk: each file's path and its in-progress
  // name, and the folders on the way to them. Padding files put none.
  std::unordered_set<std::string_view> paths;
  paths.reserve(layout.files.size());
  for (const seed_file& file : layout.files) {
    if (file.pad) continue;
    if (!paths.insert(file.path).second) {
      why = "two files have the path " + file.path;
      return false;
    }
  }
  const std::string_view suffix(kBtInProgressSuffix);
  for (const seed_file& file : layout.files) {
    if (file.pad) continue;
    const std::string_view path(file.path);
    if (ends_with(path, suffix) && paths.count(path.substr(0, path.size() - suffix.size())) != 0) {
      why = "the path " + file.path + " is another file's in-progress name";
      return false;
    }
    const bool folders_free = each_folder(path, [&](std::string_view folder) {
      if (paths.count(folder) != 0) {
        why = "the path " + std::string(folder) + " is a file and a folder of " + file.path;
        return false;
      }
      if (ends_with(folder, suffix) && paths.count(folder.substr(0, folder.size() - suffix.size())) != 0) {
        why = "the folder " + std::string(folder) + " of " + file.path + " is another file's in-progress name";
        return false;
      }
      return true;
    });
    if (!folders_free) return false;
  }
  return true;
}

bool check_pieces(std::int64_t piece_length, std::int64_t total, const std::string_view* pieces, bool meta_version_2,
                  std::string& why) {
  constexpr std::int64_t kMaxPieces = 2147483647 / 20;
  // total and piece_length are at most 2^48 - 1 and at least 1: no overflow.
  const std::int64_t count = (total + piece_length - 1) / piece_length;
  if (count >= kMaxPieces) {
    why = "the seed has " + std::to_string(count) + " pieces, more than " + std::to_string(kMaxPieces - 1);
    return false;
  }
  if (pieces == nullptr && !meta_version_2) {
    why = "the seed has no piece hashes";
    return false;
  }
  if (pieces != nullptr && static_cast<std::int64_t>(pieces->size()) != count * 20) {
    why = "the seed's piece hashes (" + std::to_string(pieces->size()) + " bytes) are not 20 bytes for each of its " +
          std::to_string(count) + " pieces";
    return false;
  }
  if (total == 0) {
    why = "the seed's files hold no bytes";
    return false;
  }
  return true;
}

}  // namespace seed_naming_detail
