// What `btshell download` and `btshell seed` report when they end, as text
// or (--json) as JSON.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/btshell/transfer_task.h"
#include "interfaces/IBtTask.h"

namespace btshell {

enum class transfer_outcome {
  complete,     // every wanted file complete and verified (an upload task: its data checked)
  failed,       // the task failed, or the kernel module could not be had
  interrupted,  // SIGINT or SIGTERM before it was complete
};

struct transfer_report {
  std::string seed;
  std::string info_hash;
  std::string data_folder;
  task_creation how = task_creation::new_download;
  bool made_before_kernel = false;
  transfer_outcome outcome = transfer_outcome::failed;
  int signal = 0;               // the signal that interrupted it, 0: none
  LONG failure = 0;             // GetFailureDetail
  std::string failure_text;     // the kernel's words for it; empty: none told
  HRESULT stop_result = S_OK;   // StopTask; a failure: the task's state was not saved
  tagTASK_INFO info{};          // the last GetTaskInfo, before the stop
  transfer_totals totals;       // payload bytes of this run
  swarm_state swarm;            // before the stop
  std::vector<std::string> seed_trackers;  // the seed's, for a kernel that does not tell its own
  double seconds = 0;           // from the creation to the stop
  struct file {
    std::string path;  // inside the data folder
    task_file_state state;
  };
  std::vector<file> files;
  // The files completed in this run: as their events came (OnBtTaskEvent3),
  // then any other that is complete and was not at the start.
  std::vector<ULONG> completed;
  double upload_ratio = 0;  // upload_ratio() of the task as it stopped
  // The settings the kernel ran with (settings_view.h), null when it did not come.
  nlohmann::ordered_json settings;

  bool state_saved() const { return SUCCEEDED(stop_result); }
};

// "complete: every wanted file is complete and verified", ...
std::string outcome_text(const transfer_report& report);
void print_transfer_report(std::ostream& out, const transfer_report& report);
// {"seed", "info_hash", "data_folder", "creation", "made_before_kernel",
//  "result": "complete"|"failed"|"interrupted", "signal", "failure": {"code",
//  "meaning", "text"} or null, "status", "status_name", "stop_result",
//  "state_saved", "wanted_bytes", "done_bytes", "received_bytes", "sent_bytes",
//  "uploaded_bytes", "upload_ratio", "seconds", "settings": {"listen-address",
//  "dht", ...} or null, "files": [{"index", "path", "size", "done",
//  "state"}], "completed_files", "trackers": [{"url", "state", "answer",
//  "peers", "seeds", "leechers"}], "peers_seen": [...]}; what the kernel does
//  not tell (a failure's text, the trackers' answers, the peers) is null.
nlohmann::ordered_json transfer_report_json(const transfer_report& report);

}  // namespace btshell
