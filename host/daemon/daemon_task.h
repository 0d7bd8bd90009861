// One task of the daemon: its record (task_list.h) and, once it has a seed,
// the task the shell made for it, exactly as a host makes one
// (btshell::transfer_task: a proxy while the kernel is on its way, the
// kernel's task afterwards). A task added by a magnet link first waits for
// its metadata (a fetch of the kernel's IBtMetadataFetcher); the daemon then
// writes the seed into its state folder and makes the task like any other.
//
// Not thread-safe: the daemon's lock (task_host) guards every call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/btshell/commands.h"
#include "host/btshell/transfer_task.h"
#include "host/daemon/task_list.h"
#include "host/rpc/torrent_service.h"
#include "interfaces/IBtMetadataFetcher.h"

namespace daemon_host {

// What the seed says, read once through the shell's ParseSeedFile.
struct seed_summary {
  std::string name;
  std::int64_t total_size = 0;
  std::vector<std::string> paths;  // each file's path inside the torrent, "/"-separated, name included
  std::vector<std::int64_t> sizes;
  std::vector<std::string> trackers;
  bool single_file = true;  // a seed of one file: it lies in the download folder itself
};

// Reads `seed` through the shell; false with `error` in words.
bool read_seed(IBitTorrent2* shell, const std::string& seed, seed_summary& summary, std::string& hash,
               std::string& error);

class daemon_task {
 public:
  // `summary`: the seed's when the caller read it already; open() reads it otherwise.
  daemon_task(btshell::host_session& session, task_record record, std::optional<seed_summary> summary = {});
  ~daemon_task();
  daemon_task(const daemon_task&) = delete;
  daemon_task& operator=(const daemon_task&) = delete;

  task_record& record() { return record_; }
  const task_record& record() const { return record_; }
  bool waiting_for_metadata() const { return record_.seed.empty(); }
  bool has_task() const { return task_ != nullptr; }

  // Makes the task through the shell from the record's seed (continued
  // from its state when it proves the data, else checking what is on disk;
  // `recheck`: always checking) and starts it when the record says so.
  // False with `error` set; the task then shows the error.
  bool open(bool recheck, std::string& error);
  // Starts or stops the task (a magnet link's fetch stops with it).
  void start();
  // The task's StopTask: false when its state could not be saved.
  bool stop();
  // Lets go of the task (stopped first), keeping the record.
  void close();

  // A magnet link's wait: starts the fetch once `fetcher` is there and, when
  // the metadata has come, writes the seed into `seeds_folder` and makes the
  // task. True when the record changed.
  bool advance_fetch(IBtMetadataFetcher* fetcher, const std::string& seeds_folder);
  // Once the kernel is there: takes the real task behind a proxy made
  // before it (btshell::transfer_task::fetch_kernel); later calls do nothing.
  void hand_over();
  tagTASK_INFO task_info() const { return task_->info(); }
  btshell::transfer_totals totals() const { return task_->totals(); }
  // Takes the task's events; true when it finished (the record's done time set).
  bool take_events(std::int64_t now);

  rpc::torrent_view view(unsigned groups) const;
  // The files the shell lists for the task's data folder (GetDataFileList)
  // and its state files beside the seed (GetCfgFileList).
  std::vector<std::string> data_files() const;
  std::vector<std::string> state_files() const;
  // Changes the files to download (ResetNeedDownloadFile); false for an index outside the torrent.
  bool set_wanted(const std::vector<ULONG>& wanted);
  const seed_summary& summary() const { return summary_; }
  // The folder the task is given: the record's download folder, and in it,
  // for a seed of a folder, a folder named after the torrent (as every
  // client of the RPC expects: "downloadDir" holds the torrent's name).
  std::string task_folder() const;

 private:
  rpc::torrent_status status(const tagTASK_INFO& info, LONG failure) const;

  btshell::host_session& session_;
  task_record record_;
  seed_summary summary_;
  bool summary_read_ = false;
  std::unique_ptr<btshell::transfer_task> task_;
  com_ptr<IBtMetadataFetch> fetch_;
  bool handed_over_ = false;
  bool stopped_proxy_ = false;  // the task is a proxy of the shell that was stopped
  std::string error_;  // why the task could not be made or fetched
};

}  // namespace daemon_host
