// One task of `btshell download` or `btshell seed`, created through the shell
// exactly as a host creates one. In a fresh host session no kernel is
// registered: the shell hands out a proxy task and asks the host's module
// downloader for the kernel module, and the proxy records what it is told.
// fetch_kernel() pumps the module downloader; the kernel module is installed,
// registers its kernel, and the proxy has the kernel create the real task and
// replays the recorded calls on it. From then on every call reaches the
// kernel's task through the proxy, and the task's events (raised on the
// kernel's thread) reach the event queue through it.
//
// Used on one host thread; the event queue may be read from any.
#pragma once

#include <string>
#include <vector>

#include "host/btshell/host_session.h"
#include "host/btshell/task_event_queue.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IBtTaskDetails.h"
#include "interfaces/IVirtualTask.h"
#include "interfaces/bt_task_creation.h"
#include "interfaces/seed_file_info.h"
#include "platform/com_ptr.h"

namespace btshell {

using task_creation = bt_task_creation;

struct task_request {
  task_creation how = task_creation::new_download;
  std::string seed;
  std::string data_folder;                 // with a trailing '/'
  std::vector<ULONG> files;                // the files to download; empty: all
  std::vector<SEED_TRACKER_ITEM> extras;   // the creation's second list
};

// "peer://ADDRESS:PORT" items for the creation's second list, one for each
// HOST:PORT (a host name is looked up; the first address found is taken).
// False with `error` set when a host cannot be found.
bool peer_items(const std::vector<std::string>& peers, std::vector<SEED_TRACKER_ITEM>& items, std::string& error);

// What a task says of one of its files (GetFileInfo).
struct task_file_state {
  ULONGLONG size = 0;
  ULONGLONG done = 0;  // verified bytes
  ULONG state = 0;     // 0 not wanted, 1 wanted and not complete, 2 complete under its final name
};

// Payload bytes of this run: exact from IBtTaskDetails, else to the KiB
// (IBtTask3's statistic).
struct transfer_totals {
  ULONGLONG received = 0;
  ULONGLONG sent = 0;
  // Over every run the task's state remembers (this run's without the details).
  ULONGLONG received_all = 0;
  ULONGLONG sent_all = 0;
};

// The upload ratio: bytes sent over bytes received, over every run the
// task's state remembers; over the `wanted` bytes when nothing was ever
// received (the data was there already). 0 when there is neither.
double upload_ratio(ULONGLONG sent_all, ULONGLONG received_all, ULONGLONG wanted);

// A tracker of the task and its last answer.
struct tracker_state {
  std::string url;
  std::string answer;  // in words: "3 peers", the error it sent, "not contacted yet"
  tagBT_TRACKER_INFO info{};
};

// What the kernel's task tells of its swarm; `known` is false when the
// kernel offers no IBtTaskDetails (and the lists are empty).
struct swarm_state {
  bool known = false;
  std::vector<tracker_state> trackers;
  std::vector<std::string> peers_seen;  // "address:port", then the client's name
};

// A peer the task is connected to (GetResourceInfo).
struct peer_state {
  std::string endpoint;  // "address:port", "[address]:port" for IPv6
  std::string address;   // without the brackets
  unsigned port = 0;
  std::string client;    // the name the peer's client sent; empty: none
  ULONG flags = 0;       // tagRESOURCE_INFO's value1
  ULONG down_rate = 0;   // payload bytes per second from the peer
  ULONG up_rate = 0;     // and to it
  ULONG progress = 0;    // the peer's, parts per bt_task_progress_scale
};

class transfer_task {
 public:
  // A host that runs for long keeps no history of the events (see task_event_queue).
  explicit transfer_task(host_session& session, bool keep_event_history = true)
      : session_(session), events_(task_event_queue::create(keep_event_history)) {}
  // Detaches the event queue and lets go of the task (a kernel task still
  // running stops when let go).
  ~transfer_task();
  transfer_task(const transfer_task&) = delete;
  transfer_task& operator=(const transfer_task&) = delete;

  // Has the shell create the task and attaches the event queue to it. The
  // shell's result (S_OK, or its failure code and nothing made).
  HRESULT create(const task_request& request);
  // The shell handed out a proxy: the kernel was not there when the task was made.
  bool made_before_kernel() const { return made_before_kernel_; }
  HRESULT start() { return task_->StartTask(); }
  // Lets the module downloader end the requests it holds. True when the
  // task now has a real task behind it; false when the kernel module could
  // not be had (IsModuleDownloadFailed).
  bool fetch_kernel();
  // StopTask: the task saves its state (a failure: it could not), the event
  // queue is detached.
  HRESULT stop();

  tagTASK_INFO info() const;
  LONG failure() const;
  // Why the task failed, in the kernel's words (naming the file or folder
  // concerned); empty when it has not failed or the kernel does not tell.
  std::string failure_text() const;
  transfer_totals totals() const;
  swarm_state swarm() const;
  // The connected peers, at most `count` (GetTaskInfo's peer_count): the
  // list ends where the task has no peer of that index any more.
  std::vector<peer_state> peers(ULONG count) const;
  task_file_state file_state(ULONG index) const;
  // Where the file is on disk now (GetFileIdInfo): its name changes when it
  // is complete. Empty when the task does not tell.
  std::string disk_path(ULONG index) const;
  task_event_queue& events() const { return *events_.get(); }
  // The task itself (the shell's proxy, or the kernel's task), for the
  // operations not wrapped here; null before create().
  IBtTask3* task() const { return task_.get(); }

 private:
  host_session& session_;
  com_ptr<IBtTask3> task_;
  com_ptr<IVirtualTask> virtual_task_;
  com_ptr<IBtTaskDetails> details_;  // the kernel's task's, when it offers them
  com_ptr<task_event_queue> events_;
  bool attached_ = false;
  bool made_before_kernel_ = false;
};

}  // namespace btshell
