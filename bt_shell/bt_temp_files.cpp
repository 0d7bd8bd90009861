// The BitTorrent temporary files of a download: HEX.bt.cfg and HEX.bt.dat
// beside the seed (HEX: the 40-digit upper-case info hash), name.bt.td
// beside each unfinished data file, the kernel's part file and the seed's
// copy in the data folder (names: interfaces/seed_naming.h).
#include <memory>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"
#include "common/file_ex.h"
#include "common/qvnew.h"
#include "platform/file_system.h"

namespace {

struct list_deleter {
  void operator()(DATA_FILE_LIST* list) const { release_data_file_list(list); }
};
using list_ptr = std::unique_ptr<DATA_FILE_LIST, list_deleter>;

std::string seed_hash_hex(CQTorrentFileParser& parser) {
  BYTE hash[kInfoHashSize] = {};
  parser.getInfoSHA1(hash);
  return info_hash_hex(hash);
}

// The entries of a list being gathered (folder, name), each within its
// field's limits. The list handed out is made once they are all known, so
// that its array holds room only for the files found.
using found_files = std::vector<std::pair<std::string, std::string>>;

list_ptr make_list(const found_files& found) {
  list_ptr list(new DATA_FILE_LIST());
  // Never a null array, even for an empty list.
  list->items = qv_new_records<DATA_FILE_ITEM>(found.empty() ? 1 : found.size());
  for (const auto& [folder, name] : found) {
    DATA_FILE_ITEM& item = list->items[list->count++];
    item.folder_len = static_cast<ULONG>(folder.size());
    folder.copy(item.folder, folder.size());
    item.name_len = static_cast<ULONG>(name.size());
    name.copy(item.name, name.size());
  }
  return list;
}

// Whether `path` is an existing entry that is not a folder: a folder is
// never listed as one of a download's files.
bool file_found(const std::string& path) { return any_entry_matches(path) && !is_directory(path); }

// The folder limit shared by every entry; logs and answers false when over.
bool folder_fits(const std::string& folder) {
  if (folder.size() <= DATA_FILE_FOLDER_MAX) return true;
  LOG4CPLUS_ERROR(shell_logger(), "path: " << folder << " too big, len: " << folder.size());
  return false;
}

// Adds folder + name when it is found; false when a limit refuses it.
bool add_if_found(found_files& found, const std::string& folder, const std::string& name, const char* exists_text,
                  const char* too_long_text) {
  if (!file_found(folder + name)) return true;
  LOG4CPLUS_DEBUG(shell_logger(), exists_text << name);
  if (!folder_fits(folder)) return false;
  if (name.size() > DATA_FILE_NAME_MAX) {
    LOG4CPLUS_ERROR(shell_logger(), too_long_text << name.size());
    return false;
  }
  found.emplace_back(folder, name);
  return true;
}

// One torrent file's entry: its .bt.td file when there is one, else the
// finished file, else nothing. False when a limit refuses it.
bool add_data_file(found_files& found, const std::string& folder, const std::string& name) {
  const std::string td_name = name + kBtInProgressSuffix;
  const std::string* listed = nullptr;
  const char* too_long = nullptr;
  if (file_found(folder + td_name)) {
    listed = &td_name;
    too_long = "filename : ";
  } else if (file_found(folder + name)) {
    listed = &name;
    too_long = "filename: ";
  } else {
    LOG4CPLUS_DEBUG(shell_logger(), "file and temp file not exist for: " << folder << name);
    return true;
  }
  LOG4CPLUS_DEBUG(shell_logger(), "file exist: " << folder << *listed);
  if (!folder_fits(folder)) return false;
  if (listed->size() > DATA_FILE_NAME_MAX) {
    LOG4CPLUS_ERROR(shell_logger(), too_long << *listed << " too big, len: " << listed->size());
    return false;
  }
  found.emplace_back(folder, *listed);
  return true;
}

}  // namespace

std::string get_path_from_full_path(const std::string& full_path) {
  LOG4CPLUS_TRACE(shell_logger(), "get_path_from_full_path: " << full_path);
  const std::size_t pos = platform::last_path_separator(full_path);
  const std::string path = pos == std::string::npos ? std::string("./") : full_path.substr(0, pos + 1);
  LOG4CPLUS_TRACE(shell_logger(), "return path: " << path);
  return path;
}

std::string get_file_name_from_full_path(const std::string& full_path) {
  LOG4CPLUS_TRACE(shell_logger(), "get_file_name_from_full_path: " << full_path);
  const std::size_t pos = platform::last_path_separator(full_path);
  const std::string name = pos == std::string::npos ? std::string() : full_path.substr(pos + 1);
  LOG4CPLUS_TRACE(shell_logger(), "return file name: " << name);
  return name;
}

void release_data_file_list(DATA_FILE_LIST* list) {
  if (!list) return;
  qv_delete_records(list->items);
  delete list;
}

int is_bt_tempfile_exist(const std::string&, const std::string& seed_path) {
  LOG4CPLUS_DEBUG(shell_logger(), "is_bt_tempfile_exist ");
  const std::string folder = get_path_from_full_path(seed_path);
  CQTorrentFileParser parser;
  seed_layout layout;
  if (load_usable_seed(parser, seed_path, layout) != seed_ok) return 1;
  const std::string cfg = folder + seed_hash_hex(parser) + kBtStateSuffix;
  if (any_entry_matches(cfg) && file_size(cfg) != 0) {
    LOG4CPLUS_DEBUG(shell_logger(), "bt cfg file: " << cfg << "exist and file size is not 0");
    return 0;
  }
  LOG4CPLUS_DEBUG(shell_logger(), "bt cfg file: " << cfg << "not exist or file size is  0");
  return 1;
}

int get_bt_cfg_file_list(const std::string& seed_path, DATA_FILE_LIST** out) {
  *out = nullptr;
  LOG4CPLUS_TRACE(shell_logger(), "get_bt_cfg_file_list ");
  const std::string folder = get_path_from_full_path(seed_path);
  CQTorrentFileParser parser;
  seed_layout layout;
  if (const int result = load_usable_seed(parser, seed_path, layout); result != seed_ok) return result;
  const std::string hex = seed_hash_hex(parser);
  const std::string cfg_name = hex + kBtStateSuffix;
  const std::string dat_name = hex + kBtDataSuffix;
  LOG4CPLUS_DEBUG(shell_logger(), "bt cfg file: " << folder << cfg_name << "\r\nbt temp data file: " << folder
                                                  << dat_name);
  found_files found;
  if (!add_if_found(found, folder, cfg_name, "cfg file exist: ", "cfg file name len is too big, len: ") ||
      !add_if_found(found, folder, dat_name, "dat file exist: ", "dat file name len is too big, len: "))
    return seed_text_too_long;
  *out = make_list(found).release();
  return seed_ok;
}

int get_bt_data_file_list(const std::string& data_folder, const std::string& seed_path, DATA_FILE_LIST** out) {
  *out = nullptr;
  LOG4CPLUS_DEBUG(shell_logger(), "get_bt_data_file_list ");
  CQTorrentFileParser parser;
  seed_layout layout;
  if (const int result = load_usable_seed(parser, seed_path, layout); result != seed_ok) return result;
  found_files found;
  for (const seed_file& file : layout.files) {
    if (!file.pad && !add_data_file(found, data_folder + platform_path(file.path.substr(0, file.name_at)),
                                    file.path.substr(file.name_at)))
      return seed_text_too_long;
  }
  // The bytes of unwanted files that share a piece with a wanted one.
  const std::string part_file = part_file_name(parser.getInfoRaw(), layout.meta_version_2);
  if (!part_file.empty() &&
      !add_if_found(found, data_folder, part_file, "part file exist: ", "part file name len is too big, len: "))
    return seed_text_too_long;

  // The seed's copy in the data folder. A seed path without a folder has no
  // file name to look for: the data folder itself is never listed.
  const std::string seed_name = get_file_name_from_full_path(seed_path);
  if (seed_name.empty() || !file_found(data_folder + seed_name)) {
    LOG4CPLUS_DEBUG(shell_logger(), "temp seed file not exist: " << seed_name);
  } else if (!add_if_found(found, data_folder, seed_name, "temp seed file exist: ",
                           "temp seed file name len is too big, len: ")) {
    return seed_text_too_long;
  }
  *out = make_list(found).release();
  return seed_ok;
}
