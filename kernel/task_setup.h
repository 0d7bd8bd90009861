// Turning a task creation into a torrent to add to a session.
//
// Called on the creating host thread; touches no session.
#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/address.hpp>
#include <libtorrent/socket.hpp>

#include <string>
#include <vector>

#include "interfaces/bt_task_status.h"
#include "interfaces/seed_file_info.h"
#include "kernel/task_state.h"
#include "kernel/torrent_layout.h"
#include "platform/winerror.h"

enum class task_kind { new_download, continued, upload };

struct task_request {
  task_kind kind = task_kind::new_download;
  std::string seed_path;
  std::string data_folder;
  std::vector<ULONG> selection;         // file indexes to download; empty: every file
  std::vector<std::string> trackers;    // announced to besides the seed's own
  std::vector<lt::tcp::endpoint> peers;  // connected to directly
};

// Splits the creation operations' second list into trackers and direct
// peers ("peer://ADDRESS:PORT"). E_INVALIDARG for an item whose length
// exceeds its buffer or a peer item that is not an IP address and a port.
HRESULT read_tracker_items(ULONG count, const SEED_TRACKER_ITEM* items, task_request& request);

struct task_plan {
  bt_task_failure failure = bt_failure_none;  // when set, only `detail` is
  std::string detail;                         // what went wrong, in words
  torrent_layout layout;
  std::string resume_path;                    // "<HASH>.bt.cfg" beside the seed
  std::string data_folder_abs;                // the data folder, absolute, links resolved
  state_lock lock;                            // "<HASH>.bt.dat", held when it could be made
  std::vector<bool> wanted;                   // per file
  std::vector<bool> in_progress;              // per file: named "<name>.bt.td" now
  // Per file: a file under its final name that was there before and that no
  // state of this task proves; it is checked before anything is written.
  std::vector<bool> to_verify;
  std::vector<lt::tcp::endpoint> direct_peers;
  lt::add_torrent_params params;              // stopped, not managed by the session's queue
};

// Reads the seed; makes the data folder when it is missing (not for an
// upload task, whose data must be there); takes the task's lock; for
// continued and upload tasks, reads the state when there is one that
// provably describes the data on disk (its verified pieces are then neither
// checked nor fetched again; otherwise the data is checked). Names each file
// after what is on disk: its final name when the state proves it complete;
// else its ".bt.td" file when there is one; else its final file when one is
// there (to be checked before anything is written: a wanted file of another
// size fails the task at once, with bt_failure_file_conflict); else
// ".bt.td" (files of size 0 take their final name). A file not wanted is
// never written under a final name that is there: it keeps its ".bt.td" name.
task_plan plan_task(const task_request& request);
