// The seed-file information record.
#include <cstring>
#include <memory>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"
#include "common/qvnew.h"
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

// Stores file entry `i` in its record: 0, or a result (logged) when a text is
// longer than its field (-4) or the entry is out of order (-17).
int store_file_item(std::size_t i, const TorrentFileEntry& entry, SEED_FILE_ITEM& item) {
  if (entry.folder.size() > SEED_FILE_PATH_MAX) {
    LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " path :" << platform_folder(entry.folder)
                                                   << " is too long len: " << entry.folder.size());
    return seed_text_too_long;
  }
  item.path_len = static_cast<ULONG>(entry.folder.size());
  copy_platform_folder(entry.folder, item.path);
  if (!store_text(entry.name, item.name_len, item.name)) {
    LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " file name :" << entry.name
                                                   << " is too long len: " << entry.name.size());
    return seed_text_too_long;
  }
  if (entry.index != i) {
    LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " n_index : " << entry.index << " logic error ");
    return seed_bad_order;
  }
  item.file_size = static_cast<ULONGLONG>(entry.length);
  LOG4CPLUS_DEBUG(shell_logger(), "file item: " << i << " file size: " << item.file_size << "\r\n path: "
                                                << platform_folder(entry.folder) << "\r\n file name: " << entry.name);
  return seed_ok;
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

int check_seed_file_count(CQTorrentFileParser& parser) {
  std::size_t count = 0;
  if (parser.getFileCount(count) && count > kSeedMaxFiles) {
    LOG4CPLUS_ERROR(shell_logger(), "file count: " << count << " is over the limit of " << kSeedMaxFiles);
    return seed_undecodable;
  }
  return seed_ok;
}

int seed_file_entries(CQTorrentFileParser& parser, std::vector<TorrentFileEntry>& files) {
  if (const int result = check_seed_file_count(parser); result != seed_ok) return result;
  parser.getFiles(files);
  return seed_ok;
}

bool names_a_file(const TorrentFileEntry& entry) { return !entry.name.empty(); }

void copy_platform_folder(const std::string& torrent_folder, char* out) {
  for (const char c : torrent_folder) *out++ = c == kTorrentFolderSeparator ? platform::path_separator : c;
}

std::string platform_folder(const std::string& torrent_folder) {
  std::string folder(torrent_folder.size(), '\0');
  copy_platform_folder(torrent_folder, folder.data());
  return folder;
}

void release_seed_file_info(SEED_FILE_INFO* info) {
  if (!info) return;
  qv_delete_records(info->files);
  qv_delete_records(info->trackers);
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

  if (const int result = check_seed_file_count(parser); result != seed_ok) return result;
  // Entries that cannot be a file refuse the seed before any record is made
  // for it: a nameless entry keeps its place (the items stand for the
  // torrent's file indexes), so each would cost a record for nothing. The
  // check needs no text converted.
  std::size_t count = 0;
  int refused = seed_ok;
  parser.walkFiles(
      [&](const TorrentFileEntry& entry) {
        if (!names_a_file(entry)) {
          LOG4CPLUS_ERROR(shell_logger(), "file item : " << count << " has no file name");
          refused = seed_undecodable;
        } else if (entry.length < 0) {
          LOG4CPLUS_ERROR(shell_logger(), "file item : " << count << " file size is negative: " << entry.length);
          refused = seed_undecodable;
        } else {
          ++count;
        }
        return refused == seed_ok;
      },
      false);
  if (refused != seed_ok) return refused;
  info->file_count = static_cast<ULONG>(count);
  // The title is reported for multi-file torrents only.
  if (info->file_count < 2) info->title_len = 0;
  if (count != 0) info->files = qv_new_records<SEED_FILE_ITEM>(count);
  LOG4CPLUS_DEBUG(shell_logger(), "file info count: " << info->file_count);
  // The same walk again, the texts converted this time, straight into the
  // records.
  std::size_t i = 0;
  int stored = seed_ok;
  parser.walkFiles([&](const TorrentFileEntry& entry) {
    if (i == count) return false;
    stored = store_file_item(i, entry, info->files[i]);
    ++i;
    return stored == seed_ok;
  });
  if (stored == seed_bad_order) {
    *out = info.release();  // the host still owns a consistent record
    return stored;
  }
  if (stored != seed_ok) return stored;

  std::vector<std::string> trackers;
  parser.getAnnounceList(trackers);
  info->tracker_count = static_cast<ULONG>(trackers.size());
  if (!trackers.empty()) info->trackers = qv_new_records<SEED_TRACKER_ITEM>(trackers.size());
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
