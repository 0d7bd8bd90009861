// What a BitTorrent task reports: its status (the first field of
// GetTaskInfo's record), its failure codes (GetFailureDetail) and the
// meaning of the values its events carry.
//
// Task events (IBtTaskEvents), raised by a kernel task on the kernel's own
// thread, never while the task holds a lock, so a sink may call the task back:
//   OnBtTaskEvent1(status)     the status changed; the value is the new
//                              bt_task_status.
//   OnBtTaskEvent2(progress)   the wanted bytes done changed (at most once a
//                              second); the value is parts per
//                              bt_task_progress_scale.
//   OnBtTaskEvent3(file index) a wanted file is complete, verified and under
//                              its final name (its ".bt.td" name is gone).
//   OnBtTaskEvent4(failure)    the task failed; the value is the
//                              bt_task_failure code. OnBtTaskEvent1(12) follows.
//
// Kernel events (IBitTorrentEvents), raised on the kernel's thread:
//   OnBitTorrentEvent1(port)        the session listens on TCP port `port`.
//   OnBitTorrentEvent2(port, error) listening on `port` failed; `error` is
//                                   the system's error number.
#pragma once

#include "platform/types.h"

enum bt_task_status : ULONG {
  bt_task_idle = 0,         // created and not started yet
  bt_task_checking = 1,     // verifying the data on disk against the piece hashes
  bt_task_downloading = 2,  // fetching wanted pieces, or renaming finished files
  bt_task_finished = 3,     // every wanted file complete and renamed; others not wanted; uploading
  bt_task_seeding = 4,      // every file complete; uploading
  bt_task_stopped = 5,      // StopTask or SignalStop; IsStopped says when the state is saved
  bt_task_failed = 12,      // GetFailureDetail says why; also the shell's answer when
                            // the kernel module could not be had
};

enum bt_task_failure : LONG {
  bt_failure_none = 0,
  bt_failure_seed_unreadable = 10001,   // the seed file cannot be opened or read
  bt_failure_seed_invalid = 10002,      // not a torrent this kernel can use: bad bencode or
                                        // fields, no v1 file list, unsafe or clashing file names
  bt_failure_bad_selection = 10003,     // a file index of the selection is outside the torrent
  bt_failure_data_folder = 10004,       // the data folder is not a folder and cannot be created
  bt_failure_file_error = 10005,        // a data file cannot be opened, read, written or renamed
  bt_failure_no_space = 10006,          // the disk that holds the data is full
  bt_failure_data_incomplete = 10007,   // an upload task found data missing or damaged on disk
  bt_failure_duplicate = 10008,         // the kernel already runs a task of this torrent
  bt_failure_file_conflict = 10009,     // a file with one of the torrent's final names is on disk, was not
                                        // made by this task and does not hold the torrent's content; it is
                                        // left as it was (IBtTaskDetails::GetFailureText names it)
  bt_failure_busy = 10010,              // another task, in this process or another, runs this download
                                        // (it holds the lock "<HASH>.bt.dat" beside the seed)
  bt_failure_kernel_unavailable = 10014,  // the shell's proxy task: the kernel module could not be had
};

// OnBtTaskEvent2 and tagTASK_INFO::progress count in these parts.
inline constexpr ULONG bt_task_progress_scale = 10000;
