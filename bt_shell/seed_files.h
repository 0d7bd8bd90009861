// What the shell answers from a .torrent seed file without the kernel: the
// seed-file information record, the BitTorrent temporary files that belong
// to a download, and the P2P hub notices of deleted or moved files.
//
// Results: 0 on success; -11 an empty argument; -13 the seed cannot be
// opened; -24 its content is not valid bencode (or a file's length is
// negative); -4 a text longer than its
// field; -17 the parser's file entries are out of order. Records handed out
// are freed only by their release functions; a record rejected by a limit
// is released at once and the out-parameter set to null.
#pragma once

#include <string>

#include "interfaces/data_file_list.h"
#include "interfaces/seed_file_info.h"

class CQTorrentFileParser;

enum seed_result : int {
  seed_ok = 0,
  seed_text_too_long = -4,
  seed_bad_argument = -11,
  seed_unreadable = -13,
  seed_bad_order = -17,
  seed_undecodable = -24,
};

int parse_seed_file(const std::string& path, SEED_FILE_INFO** info);
void release_seed_file_info(SEED_FILE_INFO* info);

// The seed file's folder: up to and including its last separator ('\' or
// '/'), "./" when there is none.
std::string get_path_from_full_path(const std::string& full_path);
// What follows the last separator; empty when there is none.
std::string get_file_name_from_full_path(const std::string& full_path);

// 0 when the seed's configuration file exists and is not empty, else 1.
int is_bt_tempfile_exist(const std::string& unused, const std::string& seed_path);
int get_bt_cfg_file_list(const std::string& seed_path, DATA_FILE_LIST** list);
int get_bt_data_file_list(const std::string& data_folder, const std::string& seed_path, DATA_FILE_LIST** list);
void release_data_file_list(DATA_FILE_LIST* list);

int notify_hub_bt_deleted(const std::string& data_folder, const std::string& seed_path);
int notify_hub_bt_moved(const std::string& old_folder, const std::string& seed_path, const std::string& new_folder);

// Loads the seed into `parser` and logs the attempt: 0, or -13 / -24 with
// an ERROR line.
int load_seed(CQTorrentFileParser& parser, const std::string& seed_path);
// A torrent file's folder path with the platform's separator.
std::string platform_folder(const std::string& torrent_folder);
