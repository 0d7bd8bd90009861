// The daemon's tasks, served to the RPC front (rpc::torrent_service): the
// records and their tasks, made through the one shell of the daemon's host
// session, the task list kept in the state folder, the settings handed to
// the kernel through kernel_link, the watch folder.
//
// State folder: "tasks.json" (task_list.h) and "torrents/", which holds each
// task's seed as "<HASH>.torrent"; the kernel keeps the task's state
// ("<HASH>.bt.cfg") and lock beside it.
//
// Threads: the RPC front calls the service on its thread, the daemon's loop
// calls tick() and stop_all() on its own; one mutex serialises them. Nothing
// here is called from the kernel's threads (task events are queued and taken
// by tick()).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/btshell/host_session.h"
#include "host/daemon/daemon_task.h"
#include "host/btshell/kernel_link.h"
#include "host/daemon/task_list.h"
#include "host/rpc/torrent_service.h"
#include "host/settings/host_settings.h"

namespace daemon_host {

class task_host : public rpc::torrent_service {
 public:
  // `settings_path` empty: session changes are not written back.
  task_host(btshell::host_session& session, btshell::kernel_link& kernel, host_settings::settings settings,
            std::string settings_path, std::string version);
  ~task_host() override;

  // Makes the state folder and every task of its list (a damaged list or a
  // missing seed is logged and skipped). False with `error` when the state
  // folder cannot be made.
  bool restore(std::string& error);
  // The loop's work, every few hundred milliseconds: hands tasks over to
  // the kernel when it arrives, advances magnet links, takes task events,
  // scans the watch folder, writes the task list when it changed.
  void tick();
  // Stops every task (each saves its state) and writes the list; false when
  // a state could not be saved.
  bool stop_all();
  std::size_t task_count() const;

  // rpc::torrent_service
  void list(const rpc::id_selection& which, unsigned groups, std::vector<rpc::torrent_view>& out,
            std::vector<std::int64_t>& removed) override;
  rpc::add_result add(const rpc::add_request& request) override;
  std::string act(rpc::torrent_action action, const rpc::id_selection& which) override;
  std::string remove(const rpc::id_selection& which, bool delete_local_data) override;
  std::string change(const rpc::id_selection& which, const rpc::torrent_changes& changes) override;
  rpc::session_view session() override;
  std::string change_session(const rpc::session_changes& changes) override;
  rpc::session_stats stats() override;

 private:
  using clock = std::chrono::steady_clock;

  std::vector<daemon_task*> select(const rpc::id_selection& which);
  rpc::add_result add_locked(const rpc::add_request& request);
  rpc::add_result add_seed_bytes(const std::string& bytes, const rpc::add_request& request);
  rpc::add_result add_magnet(const std::string& link, const rpc::add_request& request);
  // `summary`: the seed's, when the caller has read it (none for a magnet link).
  rpc::add_result insert(task_record record, const std::string& data_dir, bool paused,
                         std::optional<seed_summary> summary);
  daemon_task* find_hash(const std::string& hash);
  bool allowed_source(const std::string& path, std::string& error) const;
  void apply_task_settings(const daemon_task& task);
  void apply_kernel_settings();
  void request_kernel();
  void scan_watch_folder();
  void save_list();
  void touch(std::int64_t id);

  btshell::host_session& session_;
  btshell::kernel_link& kernel_;
  host_settings::settings settings_;
  const std::string settings_path_;
  const std::string version_;
  std::string seeds_folder_;  // "<state>/torrents/"
  std::string list_path_;

  mutable std::mutex lock_;
  std::map<std::int64_t, std::unique_ptr<daemon_task>> tasks_;
  std::map<std::string, std::int64_t> ids_by_hash_;  // upper-case info hash -> id, for every task of tasks_
  std::int64_t next_id_ = 1;
  bool dirty_ = false;
  bool kernel_requested_ = false;
  std::map<std::int64_t, clock::time_point> touched_;
  std::vector<std::pair<std::int64_t, clock::time_point>> removed_;
  std::set<std::string> reported_watch_files_;
  clock::time_point next_watch_scan_{};
  const clock::time_point started_ = clock::now();
  std::int64_t files_added_ = 0;
  run_totals earlier_;  // the runs before this one
  rpc::transfer_stats current_stats();
};

}  // namespace daemon_host
