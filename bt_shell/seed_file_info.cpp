// The seed-file information record.
#include <cstring>
#include <memory>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"
#include "common/qvnew.h"
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

// Stores file `i` in its record: 0, or -4 (logged) when a text is longer
// than its field.
int store_file_item(std::size_t i, const seed_file& file, SEED_FILE_ITEM& item) {
  const std::string folder = platform_path(file.path.substr(0, file.name_at));
  if (folder.size() > SEED_FILE_PATH_MAX) {
    LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " path :" << folder << " is too long len: " << folder.size());
    return seed_text_too_long;
  }
  item.path_len = static_cast<ULONG>(folder.size());
  folder.copy(item.path, folder.size());
  const std::string name = file.path.substr(file.name_at);
  if (!store_text(name, item.name_len, item.name)) {
    LOG4CPLUS_ERROR(shell_logger(), "file item : " << i << " file name :" << name << " is too long len: " << name.size());
    return seed_text_too_long;
  }
  item.file_size = static_cast<ULONGLONG>(file.length);
  LOG4CPLUS_DEBUG(shell_logger(), "file item: " << i << " file size: " << item.file_size << "\r\n path: " << folder
                                                << "\r\n file name: " << name);
  return seed_ok;
}

}  // namespace

int load_usable_seed(CQTorrentFileParser& parser, const std::string& seed_path, seed_layout& layout) {
  LOG4CPLUS_DEBUG(shell_logger(), "begin parse seed file: " << seed_path);
  if (!parser.loadFile(seed_path)) {
    if (parser.getState() != CQTorrentFileParser::STATE_DECODE_FAILED) {
      LOG4CPLUS_ERROR(shell_logger(), "seed file: " << seed_path << " cannot be read");
      return seed_unreadable;
    }
    LOG4CPLUS_ERROR(shell_logger(), "seed file: " << seed_path << " parse error: " << parser.decodeFailure());
    return seed_undecodable;
  }
  std::string why;
  if (!parser.getLayout(layout, why)) {
    LOG4CPLUS_ERROR(shell_logger(), "seed file: " << seed_path << " refused: " << why);
    return seed_undecodable;
  }
  return seed_ok;
}

std::string platform_path(const std::string& torrent_path) {
  std::string path = torrent_path;
  for (char& c : path)
    if (c == '/') c = platform::path_separator;
  return path;
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
  seed_layout layout;
  if (const int result = load_usable_seed(parser, path, layout); result != seed_ok) return result;

  seed_info_ptr info(new SEED_FILE_INFO());
  parser.getInfoSHA1(info->info_hash);
  LOG4CPLUS_DEBUG(shell_logger(), "seed file infoid: " << info_hash_hex(info->info_hash));

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

  const std::size_t count = layout.files.size();
  info->file_count = static_cast<ULONG>(count);
  // The title is reported for multi-file torrents only.
  if (info->file_count < 2) info->title_len = 0;
  // Every file has its item, padding files too: the items stand for the
  // torrent's file indexes, which tasks address files by.
  info->files = qv_new_records<SEED_FILE_ITEM>(count);
  LOG4CPLUS_DEBUG(shell_logger(), "file info count: " << info->file_count);
  for (std::size_t i = 0; i < count; ++i)
    if (const int stored = store_file_item(i, layout.files[i], info->files[i]); stored != seed_ok) return stored;

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
