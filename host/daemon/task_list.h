// The daemon's list of tasks, "tasks.json" in its state folder: what it
// needs to make every task again after a restart. Written whole (see
// platform::replace_file_whole) whenever a task is added, removed or
// changed, so that a crash leaves the list before or after the change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace daemon_host {

struct task_record {
  std::int64_t id = 0;          // the RPC's id: never reused, the same across restarts
  std::string hash;             // 40 upper-case hexadecimal digits (the shell's info hash)
  std::string name;
  std::string seed;             // the seed's path; empty while a magnet link waits for its metadata
  std::string magnet;           // the link it was added by, if any
  std::string data_dir;         // with a trailing '/'
  std::vector<ULONG> wanted;    // the files to download; empty: every file
  bool started = true;
  std::int64_t download_limit = 0, upload_limit = 0;  // KiB/s, used when limited
  bool download_limited = false, upload_limited = false;
  int peer_limit = 0;           // 0: the daemon's per-task setting
  std::int64_t added = 0, done = 0;  // seconds since the epoch; done 0: not yet
};

// What every run of the daemon together moved, for session-stats.
struct run_totals {
  std::int64_t uploaded = 0, downloaded = 0, files_added = 0, sessions = 0, seconds_active = 0;
};

struct task_list {
  std::int64_t next_id = 1;
  std::vector<task_record> tasks;
  run_totals totals;  // of the runs before this one
};

// Reads the list at `path`. A missing file is an empty list. A file that
// is not a list is renamed aside ("<path>.damaged") and an empty list is
// used; an entry that is not a task is skipped. Each is said in `problems`.
task_list load_task_list(const std::string& path, std::vector<std::string>& problems);
// 0, or the errno of the failed write (the old list stands then).
int save_task_list(const std::string& path, const task_list& list);

}  // namespace daemon_host
