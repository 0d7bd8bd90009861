// What the shell answers from a .torrent seed file without the kernel: the
// seed-file information record, the BitTorrent temporary files that belong
// to a download, and the P2P hub notices of deleted or moved files.
//
// Results (interfaces/bt_shell_results.h): 0 on success; -11 an empty
// argument; -13 the seed cannot be opened; -24 its content is not valid
// bencode or the shared naming rule (interfaces/seed_naming.h) refuses it,
// with an ERROR line saying why; -4 a text longer than its field. Records
// handed out are freed only by their release functions; a record rejected
// by a limit is released at once and the out-parameter set to null.
//
// What a seed can make these services commit is bounded by what it really
// describes: the rule refuses a seed of more than kSeedMaxFiles files before
// a single one is named, and a data-file list holds room only for the files
// found on disk.
#pragma once

#include <string>

#include "interfaces/bt_shell_results.h"
#include "interfaces/data_file_list.h"
#include "interfaces/seed_file_info.h"
#include "interfaces/seed_naming.h"

class CQTorrentFileParser;
class module_context;
struct seed_layout;

int parse_seed_file(const std::string& path, SEED_FILE_INFO** info);
void release_seed_file_info(SEED_FILE_INFO* info);

// The seed file's folder: up to and including its last separator ('\' or
// '/'), "./" when there is none.
std::string get_path_from_full_path(const std::string& full_path);
// What follows the last separator; empty when there is none.
std::string get_file_name_from_full_path(const std::string& full_path);

// 0 when the seed's configuration file exists and is not empty, else 1
// (also for a seed that cannot be read or is refused).
int is_bt_tempfile_exist(const std::string& unused, const std::string& seed_path);
int get_bt_cfg_file_list(const std::string& seed_path, DATA_FILE_LIST** list);
int get_bt_data_file_list(const std::string& data_folder, const std::string& seed_path, DATA_FILE_LIST** list);
void release_data_file_list(DATA_FILE_LIST* list);

// The notices go to the P2P hub of `context`'s host.
int notify_hub_bt_deleted(module_context& context, const std::string& data_folder, const std::string& seed_path);
int notify_hub_bt_moved(module_context& context, const std::string& old_folder, const std::string& seed_path,
                        const std::string& new_folder);

// Loads the seed into `parser` and names its files by the shared rule: 0,
// or -13 / -24 with an ERROR line saying why.
int load_usable_seed(CQTorrentFileParser& parser, const std::string& seed_path, seed_layout& layout);
// A path inside the torrent ('/' between components) with the platform's
// separator.
std::string platform_path(const std::string& torrent_path);
