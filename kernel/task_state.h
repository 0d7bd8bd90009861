// A task's state on disk, beside its seed:
//
//   "<HASH>.bt.cfg"  libtorrent's resume data (the verified pieces, the file
//                    names), and under the key "bt kernel" the proof that it
//                    belongs to the data on disk: the absolute data folder and,
//                    for every file, which of its names is on disk (none, its
//                    ".bt.td" name or its final name), its size and its
//                    modification time when the state was written. A state is
//                    used only while the proof holds: any difference (another
//                    folder, a file written, grown, replaced, removed or put
//                    there since) drops it, and the data is checked instead.
//                    Written whole: a fresh temporary file beside it (created
//                    exclusively, never through a link) is synced, renamed over
//                    it, and the folder synced.
//   "<HASH>.bt.dat"  the lock of the task that runs the download: held (flock)
//                    while the task lives, holding its process id; removed when
//                    the task ends. A second task of the same seed, in this
//                    process or another, finds it held and refuses to run.
//
// Threads: the functions touch only the files and objects given; a
// state_lock is used by one owner.
#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/torrent_info.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "kernel/torrent_layout.h"

// What is on disk of one file of the torrent.
struct file_stamp {
  enum kind_t : std::uint8_t { absent = 0, in_progress = 1, final_name = 2 };
  kind_t kind = absent;
  std::int64_t size = 0;
  std::int64_t mtime_ns = 0;
  bool operator==(const file_stamp& o) const { return kind == o.kind && size == o.size && mtime_ns == o.mtime_ns; }
};

struct state_proof {
  std::string data_folder;  // absolute, symbolic links resolved
  std::vector<file_stamp> files;  // one per file of the layout (padding: absent)
};

// The stamps of the layout's files in `data_folder` (as given) now, for
// `data_folder_abs`. A file whose ".bt.td" name is there counts as in
// progress, else one whose final name is there as final.
state_proof take_proof(const std::string& data_folder, const std::string& data_folder_abs,
                       const torrent_layout& layout);
// Where `now` differs from `saved`, in words ("" when they agree).
std::string proof_difference(const state_proof& saved, const state_proof& now, const torrent_layout& layout);

// Reads the state at `path` for `torrent`: false when there is none, or it
// is unreadable or another torrent's (`why` says which, empty when there is
// no file).
bool read_task_state(const std::string& path, const lt::torrent_info& torrent, lt::add_torrent_params& params,
                     state_proof& proof, std::string& why);
// Writes the state; 0 or the errno value of what failed.
int write_task_state(const std::string& path, const lt::add_torrent_params& params, const state_proof& proof);

class state_lock {
 public:
  enum class result { held, busy, unavailable };
  state_lock() = default;
  ~state_lock();
  state_lock(state_lock&& other) noexcept;
  state_lock& operator=(state_lock&& other) noexcept;
  state_lock(const state_lock&) = delete;
  state_lock& operator=(const state_lock&) = delete;

  // Takes the lock at `path`. busy: another holder has it (`holder` is its
  // process id, 0 when unknown); unavailable: the file cannot be made there
  // (`holder` is the errno value).
  result acquire(const std::string& path, long& holder);
  bool held() const { return fd_ >= 0; }

 private:
  void release();
  std::string path_;
  int fd_ = -1;
};
