// Telling the host's P2P hub that a download's files were deleted or moved:
// one call per finished data file of the torrent, whether or not it exists.
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bt_shell/module_context.h"
#include "bt_shell/seed_files.h"
#include "bt_shell/shell_log.h"

namespace {

// The torrent's files, each as its path inside the download; padding files,
// never written, are left out.
int torrent_file_paths(const std::string& seed_path, std::vector<std::string>& paths) {
  CQTorrentFileParser parser;
  seed_layout layout;
  if (const int result = load_usable_seed(parser, seed_path, layout); result != seed_ok) return result;
  for (const seed_file& file : layout.files) {
    if (!file.pad) paths.push_back(platform_path(file.path));
  }
  return seed_ok;
}

}  // namespace

int notify_hub_bt_deleted(module_context& context, const std::string& data_folder, const std::string& seed_path) {
  LOG4CPLUS_INFO(shell_logger(), "notify_hub_bt_deleted ");
  if (data_folder.empty() || seed_path.empty()) {
    LOG4CPLUS_ERROR(shell_logger(), "notify_hub_bt_deleted parameter not legal");
    return seed_bad_argument;
  }
  std::vector<std::string> paths;
  if (const int result = torrent_file_paths(seed_path, paths); result != seed_ok) return result;
  for (const std::string& path : paths) {
    const std::string full_path = data_folder + path;
    if (p2phub_notify* hub = context.hub()) {
      LOG4CPLUS_DEBUG(shell_logger(), "notify p2p hub file deleted, file full path:" << full_path);
      hub->file_deleted(full_path);
    } else {
      LOG4CPLUS_WARN(shell_logger(), "notify p2p hub file deleted, p2p dll not exist");
    }
  }
  return seed_ok;
}

int notify_hub_bt_moved(module_context& context, const std::string& old_folder, const std::string& seed_path,
                        const std::string& new_folder) {
  LOG4CPLUS_INFO(shell_logger(), "notify_hub_bt_moved ");
  if (old_folder.empty() || seed_path.empty() || new_folder.empty()) return seed_bad_argument;
  std::vector<std::string> paths;
  if (const int result = torrent_file_paths(seed_path, paths); result != seed_ok) return result;
  for (const std::string& path : paths) {
    const std::string old_path = old_folder + path;
    const std::string new_path = new_folder + path;
    if (p2phub_notify* hub = context.hub()) {
      LOG4CPLUS_DEBUG(shell_logger(), "notify p2p hub file moved, file old path:" << old_path
                                                                                 << " file new path:" << new_path);
      hub->file_moved(old_path, new_path);
    } else {
      LOG4CPLUS_WARN(shell_logger(), "notify p2p hub file moved, p2p dll not exist");
    }
  }
  return seed_ok;
}
