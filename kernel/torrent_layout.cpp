#include "kernel/torrent_layout.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>
#include <libtorrent/hasher.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <utility>

#include "common/seed_naming.h"

namespace {

// A decoding holds at most two tokens per item and three more: one for the
// outermost value, one for its end and one for the decoding's own end.
constexpr int kSeedMaxTokens = 2 * kSeedMaxItems + 3;
// libtorrent's decoder takes nothing at all, not even a list's end, once as
// many lists and dictionaries are open as its limit: one more than the
// levels it lets a seed nest.
constexpr int kSeedDecodeDepth = kSeedMaxDepth + 1;

// The shared naming rule's view of a node.
class rule_view {
 public:
  rule_view() = default;
  explicit rule_view(lt::bdecode_node node) : node_(std::move(node)) {}

  seed_node_kind kind() const {
    switch (node_.type()) {
      case lt::bdecode_node::int_t: return seed_node_kind::integer;
      case lt::bdecode_node::string_t: return seed_node_kind::string;
      case lt::bdecode_node::list_t: return seed_node_kind::list;
      case lt::bdecode_node::dict_t: return seed_node_kind::dict;
      default: return seed_node_kind::none;
    }
  }
  std::int64_t integer() const { return node_.int_value(); }
  std::string_view text() const { return {node_.string_ptr(), static_cast<std::size_t>(node_.string_length())}; }
  std::size_t count() const { return static_cast<std::size_t>(node_.list_size()); }
  template <class F>
  void each(F f) const {
    for (int i = 0, n = node_.list_size(); i < n; ++i)
      if (!f(rule_view(node_.list_at(i)))) return;
  }
  // Every entry is looked at, so that a key stored twice is seen (libtorrent
  // would take the first, the shell the last).
  seed_lookup lookup(std::string_view key, rule_view& out) const {
    bool seen = false;
    for (int i = 0, n = node_.dict_size(); i < n; ++i) {
      auto entry = node_.dict_at(i);
      if (std::string_view(entry.first.data(), entry.first.size()) != key) continue;
      if (seen) return seed_lookup::repeated;
      seen = true;
      out = rule_view(entry.second);
    }
    return seen ? seed_lookup::found : seed_lookup::absent;
  }
  bool canonical() const {
    char error[200];
    return !node_.has_soft_error(error);
  }

 private:
  lt::bdecode_node node_;
};

// Items as the shell counts them: a list element one, a dictionary entry two.
std::int64_t count_items(const lt::bdecode_node& node) {
  std::int64_t items = 0;
  if (node.type() == lt::bdecode_node::list_t) {
    for (int i = 0, n = node.list_size(); i < n; ++i) items += 1 + count_items(node.list_at(i));
  } else if (node.type() == lt::bdecode_node::dict_t) {
    for (int i = 0, n = node.dict_size(); i < n; ++i) items += 2 + count_items(node.dict_at(i).second);
  }
  return items;
}

// The SHA-1 of the dictionary re-encoded canonically (keys sorted), as the
// plugin module names the resume state.
std::string canonical_hash_hex(const lt::bdecode_node& info) {
  std::vector<char> encoded;
  lt::bencode(std::back_inserter(encoded), lt::entry(info));
  const lt::sha1_hash digest = lt::hasher(encoded).final();
  unsigned char bytes[kInfoHashSize];
  std::copy(digest.begin(), digest.end(), bytes);
  return info_hash_hex(bytes);
}

// libtorrent's view of the files must be the layout's, index for index.
bool same_files(const lt::file_storage& files, const std::vector<layout_file>& layout) {
  if (files.num_files() != static_cast<int>(layout.size())) return false;
  for (const lt::file_index_t i : files.file_range()) {
    const layout_file& file = layout[static_cast<std::size_t>(static_cast<int>(i))];
    if (files.file_size(i) != file.size || files.pad_file_at(i) != file.pad) return false;
  }
  return true;
}

}  // namespace

bool load_seed_bytes(lt::span<char const> seed, loaded_seed& out, std::string& why) {
  lt::error_code ec;
  const lt::bdecode_node root = lt::bdecode(seed, ec, nullptr, kSeedDecodeDepth, kSeedMaxTokens);
  if (ec == lt::bdecode_errors::depth_exceeded) {
    why = seed_refusal::too_deep();
    return false;
  }
  if (ec == lt::bdecode_errors::limit_exceeded || (!ec && count_items(root) > kSeedMaxItems)) {
    why = seed_refusal::too_many_items();
    return false;
  }
  if (ec || root.type() != lt::bdecode_node::dict_t) {
    why = seed_refusal::kNotBencode;
    return false;
  }
  // The root owns the decoding: views of its values are taken from it, never
  // from a copy.
  lt::bdecode_node info;
  for (int i = 0, n = root.dict_size(); i < n; ++i) {
    const auto entry = root.dict_at(i);
    if (entry.first != "info") continue;
    if (info) {
      why = seed_naming_detail::repeated_key("info");
      return false;
    }
    info = entry.second;
  }
  seed_layout names;
  if (!read_seed_layout(rule_view(info), names, why)) return false;

  // Decoded already: of libtorrent's limits only the piece count is left,
  // which the rule has checked.
  lt::load_torrent_limits limits;
  limits.max_pieces = std::numeric_limits<int>::max() / 20;
  std::shared_ptr<lt::torrent_info> torrent;
  try {
    torrent = std::make_shared<lt::torrent_info>(root, limits);
  } catch (const std::exception& e) {
    why = std::string("libtorrent refuses the seed: ") + e.what();
    return false;
  }
  std::vector<layout_file> files;
  files.reserve(names.files.size());
  for (seed_file& file : names.files) files.push_back(layout_file{std::move(file.path), file.length, file.pad});
  if (!same_files(torrent->files(), files)) {
    why = "libtorrent's file list does not match the seed's";
    return false;
  }
  out.torrent = std::move(torrent);
  out.layout = torrent_layout(std::move(files), canonical_hash_hex(info));
  return true;
}

bool load_seed(const std::string& path, loaded_seed& out, bt_task_failure& failure, std::string& why) {
  failure = bt_failure_seed_unreadable;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    why = "cannot read the seed file";
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size > static_cast<std::uintmax_t>(kSeedMaxBytes)) {
    failure = bt_failure_seed_invalid;
    why = seed_refusal::too_large();
    return false;
  }
  std::vector<char> bytes;
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) {
    why = "cannot read the seed file";
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    why = "cannot read the seed file";
    return false;
  }
  failure = bt_failure_seed_invalid;
  return load_seed_bytes(bytes, out, why);
}

std::string seed_folder(const std::string& seed_path) {
  const std::size_t pos = seed_path.find_last_of("/\\");
  return pos == std::string::npos ? std::string("./") : seed_path.substr(0, pos + 1);
}

std::string resume_state_path(const std::string& seed_path, const std::string& hash_hex) {
  return seed_folder(seed_path) + hash_hex + kResumeSuffix;
}

std::string join_path(const std::string& folder, const std::string& relative) {
  if (folder.empty() || folder.back() == '/') return folder + relative;
  return folder + '/' + relative;
}
