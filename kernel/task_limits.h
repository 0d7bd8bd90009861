// The limits a host sets for the tasks of one torrent
// (IBtKernelSettings::SetTaskValue). The kernel session keeps them per info
// hash and gives them to every task of that torrent: the running one at
// once, those made later when their torrent is added.
//
// Plain values and free functions: callable from any thread.
#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <string>

struct task_limits {
  int download_rate = 0;  // bytes per second, 0 = none
  int upload_rate = 0;    // bytes per second, 0 = none
  int connections = 0;    // peer connections, 0 = none
};

// Sets `key` (download_rate_limit, upload_rate_limit, connections_limit) of
// `limits` from the decimal `value`; false, with `limits` unchanged, for
// another key or a value that is not a number from 0 to INT_MAX.
bool change_task_limit(task_limits& limits, const std::string& key, const std::string& value);
// The limits as the torrent's own, before it is added or while it runs.
void apply_task_limits(const task_limits& limits, lt::add_torrent_params& params);
void apply_task_limits(const task_limits& limits, const lt::torrent_handle& torrent);
// `text` when it is 40 hexadecimal digits, in upper case (the form of the
// shell's info hash and of the state file's name); false otherwise.
bool upper_case_info_hash(const std::string& text, std::string& hash_hex);
