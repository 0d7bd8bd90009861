// The seed-file information record.
#include <cstring>
#include <memory>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"
#include "common/utility.h"
#include "platform/file_system.h"

namespace {

struct seed_info_deleter {
  void operator()(SEED_FILE_INFO* info) const { release_seed_file_info(info); }
};
using seed_info_ptr = std::unique_ptr<SEED_FILE_INFO, seed_info_deleter>;

// Copies `text` into a fixed field when it fits; false when it is longer.
template <std::size_t N>
bool store_text(const std::string& text, ULONG& length, char (&field)[N]) {
  if (text.size() > N) return false;
  length = static_cast<ULONG>(text.size());
  if (!text.empty()) std::memcpy(field, text.data(), text.size());
  return true;
}

// A text value from the info dictionary, else from the root.
std::string info_or_root_value(CQTorrentFileParser& parser, const char* key) {
  std::string value;
  parser.getInfoValue(key, value);
  if (value.empty()) parser.getRootValue(key, value);
  return value;
}

}  // namespace

void begin_seed_load(const std::string& seed_path) {
  LOG4CPLUS_DEBUG(shell_logger(), "begin parse seed file: " << seed_path);
}

int finish_seed_load(CQTorrentFileParser& parser, const std::string& seed_path) {
  if (parser.loadFile(seed_path)) return seed_ok;
  LOG4CPLUS_ERROR(shell_logger(), "seed file: " << seed_path << " parse error");
  return parser.getState() == CQTorrentFileParser::STATE_DECODE_FAILED ? seed_undecodable : seed_unreadable;
}

int load_seed(CQTorrentFileParser& parser, const std::string& seed_path) {
  begin_seed_load(seed_path);
  return finish_seed_load(parser, seed_path);
}

int seed_file_entries(CQTorrentFileParser& parser, std::vector<TorrentFileEntry>& files) {
  std::size_t count = 0;
  if (parser.getFileCount(count) && count > kSeedMaxFiles) {
    LOG4CPLUS_ERROR(shell_logger(), "file count: " << count << " is over the limit of " << kSeedMaxFiles);
    return seed_undecodable;
  }
  parser.getFiles(files);
  return seed_ok;
}

bool names_a_file(const TorrentFileEntry& entry) { return !entry.name.empty(); }

std::string platform_folder(const std::string& torrent_folder) {
  std::string folder = torrent_folder;
  for (char& c : folder)
    if (c == kTorrentFolderSeparator) c = platform::path_separator;
  return folder;
}

void release_seed_file_info(SEED_FILE_INFO* info) {
  if (!info) return;
  if (info->files) delete[] info->files;
  if (info->trackers) delete[] info->trackers;
  delete info;
}

int parse_seed_file(const std::string& path, SEED_FILE_INFO** out) {
  *out = nullptr;
  LOG4CPLUS_TRACE(shell_logger(), "parse_seed_file: " << path);
  CQTorrentFileParser parser;
  if (const int result = load_seed(parser, path); result != seed_ok) return result;

  seed_info_ptr info(new SEED_FILE_INFO());
  parser.getInfoSHA1(info->info_hash);
  LOG4CPLUS_DEBUG(shell_logger(), "seed file infoid: " << hash_to_hex(info->info_hash));

  std::string title;
  parser.getName(title);
  LOG4CPLUS_DEBUG(shell_logger(), "seed file title: " << title);
  if (!store_text(title, info->title_len, info->title)) {
    LOG4CPLUS_ERROR(shell_logger(), "title is too long len: " << title.size());
    return seed_text_too_long;
  }
  const std::string publisher = info_or_root_value(parser, "publisher");
  if (!store_text(publisher, info->publisher_len, info->publisher)) {
    LOG4CPLUS_ERROR(shell_logger(), "publisher is too long len: " << publisher.size());
    return seed_text_too_long;
  }
  const std::string publisher_url = info_or_root_value(parser, "publisher-url");
  if (!store_text(publisher_url, info->publisher_url_len, info->publisher_url)) {
    LOG4CPLUS_ERROR(shell_logger(), "publisher url is too long len: " << publisher_url.size());
    return seed_text_too_long;
  }
  LOG4CPLUS_TRACE(shell_logger(), "publisher:" << publisher << "publisher-url:" << publisher_url);

  std::vector<TorrentFileEntry> files;
  if (const int result = seed_file_entries(parser, files); result != seed_ok) return result;
  // Entries that cannot be a file refuse the seed before any record is made
  // for it: a nameless entry keeps its place (the items stand for the
  // torrent's file indexes), so each would cost a record for nothing.
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!names_a_file(files[i])) {
      LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " has no file name");
      return seed_undecodable;
    }
    if (files[i].length < 0) {
      LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " file size is negative: " << files[i].length);
      return seed_undecodable;
    }
  }
  info->file_count = static_cast<ULONG>(files.size());
  // The title is reported for multi-file torrents only.
  if (info->file_count < 2) info->title_len = 0;
  if (!files.empty()) info->files = new SEED_FILE_ITEM[files.size()]();
  LOG4CPLUS_DEBUG(shell_logger(), "file info count: " << info->file_count);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TorrentFileEntry& entry = files[i];
    SEED_FILE_ITEM& item = info->files[i];
    const std::string folder = platform_folder(entry.folder);
    if (!store_text(folder, item.path_len, item.path)) {
      LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " path :" << folder
                                                     << " is too long len: " << folder.size());
      return seed_text_too_long;
    }
    if (!store_text(entry.name, item.name_len, item.name)) {
      LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " file name :" << entry.name
                                                     << " is too long len: " << entry.name.size());
      return seed_text_too_long;
    }
    if (entry.index != i) {
      LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " n_index : " << entry.index << " logic error ");
      *out = info.release();  // the host still owns a consistent record
      return seed_bad_order;
    }
    item.file_size = static_cast<ULONGLONG>(entry.length);
    LOG4CPLUS_DEBUG(shell_logger(), "file item: " << i << " file size: " << item.file_size << "\r\n path: " << folder
                                                  << "\r\n file name: " << entry.name);
  }

  std::vector<std::string> trackers;
  parser.getAnnounceList(trackers);
  info->tracker_count = static_cast<ULONG>(trackers.size());
  if (!trackers.empty()) info->trackers = new SEED_TRACKER_ITEM[trackers.size()]();
  LOG4CPLUS_DEBUG(shell_logger(), "tracker count: " << info->tracker_count);
  for (std::size_t j = 0; j < trackers.size(); ++j) {
    if (!store_text(trackers[j], info->trackers[j].url_len, info->trackers[j].url)) {
      LOG4CPLUS_ERROR(shell_logger(), "tracker item: " << j << " too long " << trackers[j]
                                                       << " len: " << trackers[j].size());
      return seed_text_too_long;
    }
    LOG4CPLUS_DEBUG(shell_logger(), "tracker item: " << j << " url: " << trackers[j]);
  }
  *out = info.release();
  return seed_ok;
}
