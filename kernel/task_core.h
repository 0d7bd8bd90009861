// One task's torrent in a kernel session: the state that the task object
// (called on host threads) and the kernel thread share.
//
// Threads: the host-side operations (start, stop, the file and piece
// settings, the queries) may be called on any thread, the kernel thread
// included (a sink may call back into its task). The `on_...` operations,
// refresh() and resync() run on the kernel thread only, so the task's events
// are raised from that one thread, in order. The core's mutex guards its own
// fields and is never held while libtorrent or a sink is called.
//
// A core made from a failed plan has no torrent: it reports the failure and
// refuses to start.
#pragma once

#include <libtorrent/alert.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "com_utility/closable_raiser.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IBtTaskDetails.h"
#include "interfaces/bt_task_status.h"
#include "kernel/file_table.h"
#include "kernel/kernel_settings.h"
#include "kernel/swarm_record.h"
#include "kernel/task_setup.h"

class task_core {
 public:
  // Takes everything of `plan` but its add parameters (the session adds
  // those); a failed plan gives a core that is failed for good.
  task_core(task_kind kind, task_plan& plan, save_policy saves = {});
  task_core(const task_core&) = delete;
  task_core& operator=(const task_core&) = delete;

  // The session's torrent of this core, once added. A core whose torrent
  // could not be added fails with `failure` instead.
  void attach_torrent(const lt::torrent_handle& handle);
  void fail_to_add(bt_task_failure failure, const std::string& detail);
  const lt::torrent_handle& handle() const { return handle_; }
  bool has_torrent() const { return handle_.is_valid(); }
  std::size_t file_count() const { return layout_.files().size(); }
  // The shell's info hash, 40 upper-case hexadecimal digits.
  const std::string& hash_hex() const { return layout_.hash_hex(); }

  // Event sinks (IBtTask::AttachEvents/DetachEvents results). close_events()
  // lets go of every sink for good (the module's end).
  HRESULT attach_events(IBtTaskEvents* sink) { return events_.attach(sink); }
  HRESULT detach_events(IBtTaskEvents* sink) { return events_.detach(sink); }
  void close_events() { events_.close(); }

  // Commands. start(): E_FAIL when there is no torrent. stop(): pauses the
  // torrent, closes its files and saves its state; with `wait`, does not
  // return before that is done (bounded) and answers whether the state
  // could be written. A stop called on the kernel thread never waits.
  HRESULT start();
  HRESULT stop(bool wait, bool on_kernel_thread);
  bool stop_flag() const;
  // Stopped and the stop's work done.
  bool is_stopped() const;
  HRESULT select_files(ULONG count, const ULONG* indexes);
  HRESULT order_files(ULONG count, const ULONG* indexes);
  HRESULT set_piece_priorities(ULONG count, const ULONG* priorities);
  HRESULT set_download_limit(ULONG bytes_per_second);

  // Queries. Without a torrent they answer zeros (and the failed status).
  void task_info(tagTASK_INFO& info) const;
  void wanted_file_counts(ULONG& wanted, ULONG& complete) const;
  // Costs no more than a lookup per call: the verified bytes per file are
  // taken from libtorrent at most every few milliseconds.
  HRESULT file_info(ULONG index, ULONGLONG& size, ULONGLONG& done, ULONG& state) const;
  HRESULT file_paths(ULONG index, std::string& inside, std::string& on_disk) const;
  void speeds(ULONG& download, ULONG& upload) const;
  ULONG peer_count() const;
  HRESULT peer_info(ULONG index, tagRESOURCE_INFO& info) const;
  void statistic(tagRESOURCE_STATISTIC& statistic) const;
  bt_task_failure failure() const;
  // The failure in words (empty while there is none).
  std::string failure_text() const;
  void transfer_totals(tagBT_TRANSFER_TOTALS& totals) const;
  std::vector<tracker_answer> trackers() const;
  std::vector<std::string> seen_peers() const { return swarm_.peers(); }

  // Kernel thread. on_alert() handles one of the torrent's alerts;
  // on_status() takes the torrent's periodic status and saves the state
  // when the save policy says so; refresh() raises what the alerts and the
  // host-side commands changed since the last call. resync() rebuilds the
  // task's view from libtorrent's own state, for when alerts were lost.
  void on_alert(const lt::alert& alert);
  void on_status(const lt::torrent_status& status);
  void refresh();
  void resync();
  // Connects a running torrent to its direct peers again, those it lost or
  // could not reach (a peer that is connected already is left alone).
  void reconnect_direct_peers();

  // The task object is gone: a running torrent is stopped (its state saved).
  // The session removes the torrent once no save is pending.
  void release();
  bool released() const;
  bool saves_pending() const;

 private:
  enum class run_state { idle, started, stopped };
  using clock = std::chrono::steady_clock;

  void on_checked();
  // Files that were on disk before the task: each must hold the torrent's
  // content, else the task fails with a conflict and nothing is written.
  bool verify_existing_files();
  // An upload task that runs with its data checked fails when data is missing.
  void verify_upload_data();
  std::string first_missing_file() const;
  void publish();
  void publish(const lt::torrent_status& status);
  void fail(bt_task_failure failure, const std::string& detail);
  bool state_worth_saving_locked() const;
  void save_if_running();
  void save_state();
  // Renames every wanted file that is complete and still named ".bt.td".
  void finalize_files();
  void begin_rename(std::size_t index);
  void finish_rename(std::size_t index);
  void write_state(const lt::add_torrent_params& params);
  void sync_written_files();
  void note_done(std::uint64_t& counter);
  std::string final_path(std::size_t index) const;
  std::string disk_path_locked(std::size_t index) const;
  bt_task_status status_locked(lt::torrent_status::state_t state) const;

  const task_kind kind_;
  bt_task_failure failure_;  // guarded by lock_ (set here once, before sharing)
  std::string failure_text_;  // guarded by lock_
  const torrent_layout layout_;
  const std::string resume_path_;
  const std::string data_folder_;
  const std::string data_folder_abs_;
  const std::vector<lt::tcp::endpoint> direct_peers_;
  const save_policy saves_;
  state_lock state_lock_;  // held for the core's life
  lt::torrent_handle handle_;  // set before the core is shared, then read only
  closable_raiser<IBtTaskEvents> events_;
  swarm_record swarm_;
  // Set by host-side commands and alerts, taken by refresh() on the kernel thread.
  std::atomic<bool> dirty_{false};
  std::atomic<bool> finalize_due_{false};
  std::atomic<bool> verify_due_{false};

  mutable std::mutex lock_;
  std::condition_variable work_done_;
  run_state run_ = run_state::idle;
  file_table files_;
  // Files renamed whose completion event is not raised yet: the task does
  // not read finished before every such event has reached its sinks.
  std::size_t unannounced_ = 0;
  bool data_complete_ = false;  // an upload task: its data found whole
  // Requests made and answered: a stop has completed once the answered
  // counts reach the numbers the stop asked for.
  std::uint64_t saves_asked_ = 0, saves_done_ = 0;
  std::uint64_t flushes_asked_ = 0, flushes_done_ = 0;
  std::uint64_t stop_save_ = 0, stop_flush_ = 0;
  HRESULT last_save_result_ = S_OK;
  bool released_ = false;
  bt_task_status reported_status_ = bt_task_idle;
  ULONG reported_progress_ = 0;
  // The save policy's bookkeeping (kernel thread only).
  clock::time_point last_save_ = clock::now();
  clock::duration last_save_cost_{};
  std::int64_t saved_done_ = -1;
  std::vector<std::int64_t> synced_progress_;  // per file, at the last sync before a save

  // GetFileInfo's verified bytes per file, taken at most every kProgressAge.
  mutable std::mutex progress_lock_;
  mutable std::vector<std::int64_t> progress_;
  mutable clock::time_point progress_time_{};
};
