// The rule of interfaces/seed_naming.h: which seeds are usable and what
// their files are called, read from either side's decoded seed.
//
// A side feeds the rule through a small view of its decoder's values, a
// `Node` with:
//   seed_node_kind kind() const;
//   std::int64_t integer() const;             // an integer's value
//   std::string_view text() const;            // a string's bytes
//   std::size_t count() const;                // a list's elements
//   template <class F> void each(F f) const;  // a list's elements in order; stops when f returns false
//   seed_lookup lookup(std::string_view key, Node& out) const;  // a dictionary's value of `key`
//   bool canonical() const;                   // a dictionary: canonical all the way down
// The shell's view is over its bencode nodes, the kernel's over
// lt::bdecode_node. Stateless and free of locks: callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/seed_naming.h"

enum class seed_node_kind { none, integer, string, list, dict };
enum class seed_lookup { absent, found, repeated };

// One file of a usable seed.
struct seed_file {
  std::string path;          // inside the data folder, components made safe, '/' between them
  std::size_t name_at = 0;   // where the last component starts in `path`
  std::int64_t length = 0;
  std::int64_t offset = 0;   // the lengths of the files before it added up
  bool pad = false;          // padding: named, never written or listed
};

struct seed_layout {
  std::vector<seed_file> files;  // in the order of the seed: index for index the torrent's files
  bool single_file = false;      // "length" rather than "files"
  bool meta_version_2 = false;   // a hybrid seed: a v2 file tree beside the v1 list
};

// The refusals the decoders make before the rule is asked, in the same
// words on both sides.
namespace seed_refusal {
inline constexpr char kNotBencode[] = "the seed is not valid bencode";
std::string too_deep();        // deeper than kSeedMaxDepth
std::string too_many_items();  // more than kSeedMaxItems
std::string too_large();       // more than kSeedMaxBytes
}  // namespace seed_refusal

namespace seed_naming_detail {

// Appends `raw` made safe to `path`; false when the component refuses the
// seed (empty, ".", "..", a NUL byte).
bool append_component(std::string_view raw, std::string& path);
// Whether a single file's name keeps a name once the separators and the
// seven direction marks that the kernel on libtorrent drops are dropped.
bool name_survives(std::string_view raw);
// Whether text names a padding file in the form older clients wrote.
bool old_padding_name(std::string_view text);
// The checks over the whole list: names that clash, the lengths and the
// piece hashes. False with `why`.
bool check_names(const seed_layout& layout, std::string& why);
// `pieces`: the "pieces" string, null when there is none (which only a seed
// of meta version 2 may lack).
bool check_pieces(std::int64_t piece_length, std::int64_t total, const std::string_view* pieces, bool meta_version_2,
                  std::string& why);
std::string file_text(std::size_t index);  // "file N"
std::string repeated_key(std::string_view key);

inline constexpr std::int64_t kMaxFileLength = 1073741823LL * 16384 - 1;
inline constexpr std::int64_t kMaxTotalLength = (std::int64_t(1) << 48) - 1;
inline constexpr std::int64_t kMaxPieceLength = 2147483647 / 2;

// The value of `key` when it is there once and of kind `want` (none: any).
template <class Node>
bool find(const Node& dict, std::string_view key, seed_node_kind want, Node& out, std::string& why, bool& ok) {
  const seed_lookup found = dict.lookup(key, out);
  if (found == seed_lookup::repeated) {
    why = repeated_key(key);
    ok = false;
    return false;
  }
  return found == seed_lookup::found && (want == seed_node_kind::none || out.kind() == want);
}

template <class Node>
bool read_path(const Node& list, std::string& path, std::size_t& name_at, bool& old_pad) {
  if (list.kind() != seed_node_kind::list || list.count() == 0) return false;
  bool ok = true;
  list.each([&](const Node& component) {
    if (component.kind() != seed_node_kind::string) return ok = false;
    if (!path.empty()) path += '/';
    name_at = path.size();
    old_pad = old_pad || old_padding_name(component.text());
    return ok = append_component(component.text(), path);
  });
  return ok;
}

}  // namespace seed_naming_detail

// The files of the seed whose "info" dictionary is `info`; false with `why`
// (one line) when the seed is not usable.
template <class Node>
bool read_seed_layout(const Node& info, seed_layout& out, std::string& why) {
  using namespace seed_naming_detail;
  out = seed_layout();
  if (info.kind() != seed_node_kind::dict) {
    why = "the seed has no info dictionary";
    return false;
  }
  bool ok = true;
  Node value, name, length, files, pieces;
  std::int64_t version = -1;
  if (find(info, "meta version", seed_node_kind::integer, value, why, ok)) version = value.integer();
  if (!ok) return false;
  if (version > 2) {
    why = "the seed's meta version " + std::to_string(version) + " is unknown";
    return false;
  }
  if (version > 0 && !info.canonical()) {
    why = "the seed of meta version " + std::to_string(version) + " is not in canonical form";
    return false;
  }
  std::int64_t piece_length = -1;
  if (find(info, "piece length", seed_node_kind::integer, value, why, ok)) piece_length = value.integer();
  if (!ok) return false;
  if (piece_length <= 0 || piece_length > kMaxPieceLength ||
      (version >= 2 && (piece_length < 16384 || (piece_length & (piece_length - 1)) != 0))) {
    why = "the seed has no usable piece length";
    return false;
  }
  const bool utf8_name = find(info, "name.utf-8", seed_node_kind::none, name, why, ok);
  if (!ok || (!utf8_name && !find(info, "name", seed_node_kind::none, name, why, ok))) {
    if (ok) why = "the seed has no name";
    return false;
  }
  if (name.kind() != seed_node_kind::string) {
    why = "the seed's name is not a string";
    return false;
  }
  const bool file_tree = find(info, "file tree", seed_node_kind::dict, value, why, ok);
  if (!ok) return false;
  if (version >= 2 && !file_tree) {
    why = "the seed of meta version 2 has no file tree";
    return false;
  }
  if (version < 2 && file_tree) {
    why = "the seed has a file tree but no meta version 2";
    return false;
  }
  out.meta_version_2 = version == 2;
  const bool has_length = find(info, "length", seed_node_kind::none, length, why, ok);
  if (!ok) return false;
  const bool has_files = find(info, "files", seed_node_kind::list, files, why, ok);
  if (!ok) return false;
  if (has_length && has_files) {
    why = "the seed has both a single file's length and a file list";
    return false;
  }
  if (!has_length && !has_files) {
    why = "the seed has no v1 file list (BitTorrent v2 only)";
    return false;
  }

  std::int64_t total = 0;
  // Lengths are checked as they are read, so that `total` cannot overflow.
  const auto add_length = [&](const Node& node, std::size_t index, seed_file& file) {
    if (node.kind() != seed_node_kind::integer || node.integer() < 0) {
      why = file_text(index) + " has no integer length of 0 or more";
      return false;
    }
    if (node.integer() > kMaxFileLength) {
      why = file_text(index) + " is longer than " + std::to_string(kMaxFileLength) + " bytes";
      return false;
    }
    if (node.integer() > kMaxTotalLength - total) {
      why = "the files add up to more than " + std::to_string(kMaxTotalLength) + " bytes";
      return false;
    }
    file.length = node.integer();
    file.offset = total;
    total += file.length;
    return true;
  };

  if (has_length) {
    out.single_file = true;
    seed_file file;
    if (!add_length(length, 0, file)) return false;
    if (!append_component(name.text(), file.path) || !name_survives(name.text())) {
      why = "the seed's name is empty, \".\" or \"..\", or holds a NUL byte";
      return false;
    }
    file.pad = old_padding_name(name.text());
    out.files.push_back(std::move(file));
  } else {
    if (files.count() > kSeedMaxFiles) {
      why = "the seed lists " + std::to_string(files.count()) + " files, more than " + std::to_string(kSeedMaxFiles);
      return false;
    }
    out.files.reserve(files.count());
    const bool old_pad_name = old_padding_name(name.text());
    files.each([&](const Node& entry) {
      const std::size_t index = out.files.size();
      seed_file file;
      if (entry.kind() != seed_node_kind::dict) {
        why = file_text(index) + " is not a dictionary";
        return ok = false;
      }
      Node attr, entry_length, path;
      if (find(entry, "attr", seed_node_kind::string, attr, why, ok)) {
        const std::string_view flags = attr.text();
        if (flags.find('l') != std::string_view::npos) {
          why = "the seed holds a symbolic link, which is not made (" + file_text(index) + ")";
          return ok = false;
        }
        file.pad = flags.find('p') != std::string_view::npos;
      }
      if (!ok) return false;
      if (!find(entry, "length", seed_node_kind::none, entry_length, why, ok)) {
        if (ok) why = file_text(index) + " has no integer length of 0 or more";
        return ok = false;
      }
      if (!add_length(entry_length, index, file)) return ok = false;
      const bool utf8_path = find(entry, "path.utf-8", seed_node_kind::none, path, why, ok);
      if (!ok || (!utf8_path && !find(entry, "path", seed_node_kind::none, path, why, ok))) {
        if (ok) why = file_text(index) + " has no path";
        return ok = false;
      }
      bool old_pad = old_pad_name;
      if (!read_path(path, file.path, file.name_at, old_pad)) {
        why = file_text(index) + " has no path of strings without an empty, \".\" or \"..\" component or a NUL byte";
        return ok = false;
      }
      file.pad = file.pad || old_pad;
      out.files.push_back(std::move(file));
      return true;
    });
    if (!ok) return false;
    if (out.files.empty()) {
      why = "the seed lists no files";
      return false;
    }
  }
  if (!check_names(out, why)) return false;
  const bool has_pieces = find(info, "pieces", seed_node_kind::string, pieces, why, ok);
  if (!ok) return false;
  const std::string_view hashes = has_pieces ? pieces.text() : std::string_view();
  return check_pieces(piece_length, total, has_pieces ? &hashes : nullptr, out.meta_version_2, why);
}
