#include "kernel/torrent_layout.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>
#include <libtorrent/hasher.hpp>

#include <iterator>
#include <set>

namespace {

// One path component made safe, or false when it cannot be.
bool safe_component(lt::string_view raw, std::string& out) {
  out.assign(raw.data(), raw.size());
  if (out.empty() || out == "." || out == ".." || out.find('\0') != std::string::npos) return false;
  for (char& c : out) {
    switch (c) {
      case ':': case '?': case '\\': case '/': case '*': case '<': case '>': case '|': case '"':
        c = 'A';
        break;
      default:
        break;
    }
  }
  return true;
}

lt::bdecode_node preferred(const lt::bdecode_node& dict, const char* utf8_key, const char* key) {
  lt::bdecode_node value = dict.dict_find(utf8_key);
  return value ? value : dict.dict_find(key);
}

// The '/'-joined safe components of a file's path list.
bool file_path(const lt::bdecode_node& list, std::string& out, std::string& why) {
  if (list.type() != lt::bdecode_node::list_t || list.list_size() == 0) {
    why = "a file has no path";
    return false;
  }
  out.clear();
  for (int i = 0; i < list.list_size(); ++i) {
    const lt::bdecode_node item = list.list_at(i);
    std::string component;
    if (item.type() != lt::bdecode_node::string_t || !safe_component(item.string_value(), component)) {
      why = "a file path has an empty, \".\", \"..\" or non-text component";
      return false;
    }
    if (!out.empty()) out += '/';
    out += component;
  }
  return true;
}

std::string upper_hex(const lt::sha1_hash& hash) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (char byte : hash) {
    const auto b = static_cast<unsigned char>(byte);
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

// The SHA-1 of the dictionary re-encoded canonically (keys sorted), as the
// plugin module names the resume state.
std::string canonical_hash_hex(const lt::bdecode_node& info) {
  std::vector<char> encoded;
  lt::bencode(std::back_inserter(encoded), lt::entry(info));
  return upper_hex(lt::hasher(encoded).final());
}

}  // namespace

bool torrent_layout::read(lt::span<char const> info_section, torrent_layout& out, std::string& why) {
  lt::error_code ec;
  const lt::bdecode_node info = lt::bdecode(info_section, ec);
  if (ec || info.type() != lt::bdecode_node::dict_t) {
    why = "the info dictionary does not decode";
    return false;
  }
  torrent_layout layout;
  layout.hash_hex_ = canonical_hash_hex(info);

  if (const lt::bdecode_node length = info.dict_find_int("length")) {
    const lt::bdecode_node name = preferred(info, "name.utf-8", "name");
    layout_file file;
    if (name.type() != lt::bdecode_node::string_t || !safe_component(name.string_value(), file.path)) {
      why = "the torrent's name is empty, \".\", \"..\" or not text";
      return false;
    }
    file.size = length.int_value();
    layout.files_.push_back(std::move(file));
  } else if (const lt::bdecode_node files = info.dict_find_list("files")) {
    std::set<std::string> paths;
    for (int i = 0; i < files.list_size(); ++i) {
      const lt::bdecode_node entry = files.list_at(i);
      const lt::bdecode_node entry_length =
          entry.type() == lt::bdecode_node::dict_t ? entry.dict_find_int("length") : lt::bdecode_node();
      if (!entry_length) {
        why = "a file has no length";
        return false;
      }
      layout_file file;
      file.size = entry_length.int_value();
      file.pad = entry.dict_find_string_value("attr").find('p') != lt::string_view::npos;
      if (!file_path(preferred(entry, "path.utf-8", "path"), file.path, why)) return false;
      if (!file.pad && !paths.insert(file.path).second) {
        why = "two files have the path " + file.path;
        return false;
      }
      layout.files_.push_back(std::move(file));
    }
  } else {
    why = "the torrent has no v1 file list";
    return false;
  }
  for (const layout_file& file : layout.files_) {
    if (file.size < 0) {
      why = "a file has a negative length";
      return false;
    }
  }
  out = std::move(layout);
  return true;
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
