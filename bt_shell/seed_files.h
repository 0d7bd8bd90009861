// What the shell answers from a .torrent seed file without the kernel: the
// seed-file information record, the BitTorrent temporary files that belong
// to a download, and the P2P hub notices of deleted or moved files.
//
// Results: 0 on success; -11 an empty argument; -13 the seed cannot be
// opened; -24 its content is not valid bencode, or it lists more than
// kSeedMaxFiles files, or (seed-file information only) one of its file
// entries has no name or a negative length; -4 a text longer than its
// field; -17 the parser's file entries are out of order. Records handed out
// are freed only by their release functions; a record rejected by a limit
// is released at once and the out-parameter set to null.
//
// What a seed can make these services commit is bounded by what it really
// describes: a file entry without a name never costs a record (the
// information record refuses the seed, the lists and hub notices leave the
// entry out), a data-file list holds room only for the files found on disk,
// and no seed lists more than kSeedMaxFiles files.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "interfaces/data_file_list.h"
#include "interfaces/seed_file_info.h"

class CQTorrentFileParser;
class module_context;
struct TorrentFileEntry;

// Most files a seed may list. Each costs the seed-file information a
// 1296-byte record and the parser's file list about 140 bytes more, so the
// records of a seed at the limit take about 350 MiB; the 100,000 files of
// the largest seed of the benchmarks use two fifths of the allowance.
constexpr std::size_t kSeedMaxFiles = 250000;

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

// The notices go to the P2P hub of `context`'s host.
int notify_hub_bt_deleted(module_context& context, const std::string& data_folder, const std::string& seed_path);
int notify_hub_bt_moved(module_context& context, const std::string& old_folder, const std::string& seed_path,
                        const std::string& new_folder);

// Loads the seed into `parser` and logs the attempt: 0, or -13 / -24 with
// an ERROR line. load_seed is begin_seed_load followed by finish_seed_load.
int load_seed(CQTorrentFileParser& parser, const std::string& seed_path);
void begin_seed_load(const std::string& seed_path);
int finish_seed_load(CQTorrentFileParser& parser, const std::string& seed_path);
// 0, or -24 with an ERROR line when the loaded seed lists more than
// kSeedMaxFiles files.
int check_seed_file_count(CQTorrentFileParser& parser);
// Appends the loaded seed's file entries (whatever getFiles delivers): 0, or
// -24 (check_seed_file_count) and nothing appended.
int seed_file_entries(CQTorrentFileParser& parser, std::vector<TorrentFileEntry>& files);
// Whether an entry names a file. One without a name (an element of "files"
// that is not a dictionary, has no path list, or whose path ends in an empty
// component) describes none: it is never listed, never reported to the hub,
// and its lookup would find the data folder itself.
bool names_a_file(const TorrentFileEntry& entry);
// A torrent file's folder path with the platform's separator; the copy
// form writes its bytes (as many as the folder has) to `out`.
std::string platform_folder(const std::string& torrent_folder);
void copy_platform_folder(const std::string& torrent_folder, char* out);
