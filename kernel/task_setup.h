// Turning a task creation into a torrent to add to a session.
//
// Called on the creating host thread; touches no session.
#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/address.hpp>
#include <libtorrent/socket.hpp>

#include <string>
#include <vector>

#include "interfaces/bt_task_creation.h"
#include "interfaces/bt_task_status.h"
#include "interfaces/seed_file_info.h"
#include "kernel/torrent_layout.h"
#include "platform/winerror.h"

using task_kind = bt_task_creation;

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
  std::string detail;                         // what went wrong, for the log
  torrent_layout layout;
  std::string resume_path;                    // "<HASH>.bt.cfg" beside the seed
  std::vector<bool> wanted;                   // per file
  std::vector<bool> in_progress;              // per file: named "<name>.bt.td" now
  std::vector<lt::tcp::endpoint> direct_peers;
  lt::add_torrent_params params;              // stopped, not managed by the session's queue
};

// Loads the seed (load_seed); makes the data folder when it is missing; names every file
// after what is on disk (its ".bt.td" file when there is one, else its final
// file when there is one, else ".bt.td"; empty files take their final name);
// for continued and upload tasks, reads the resume state when there is a
// usable one (verified pieces are then not checked nor fetched again).
task_plan plan_task(const task_request& request);
