// One metadata fetch's torrent in a kernel session: the state that the fetch
// object (called on host threads) and the kernel thread share.
//
// Threads: every operation may be called on any thread; on_alert() runs on
// the kernel thread. The core's mutex guards its own fields and is never
// held while libtorrent is called. A fetch raises no events.
//
// A fetch never writes to disk: its torrent is added in upload mode (no piece
// is asked for), with every file at priority 0 (none is wanted, so none is
// made, not even an empty one or a part file) and with a save path under
// /dev/null, a device and no folder, where nothing can be made at all.
#pragma once

#include <libtorrent/alert.hpp>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/sha1_hash.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <mutex>
#include <string>
#include <vector>

#include "interfaces/IBtMetadataFetcher.h"

// The words of a fetch of a torrent the kernel has a task of, led by the
// failure code a second task of it gets.
extern const char kFetchOfTaskedTorrent[];

class fetch_core {
 public:
  // A fetch of the link read into `params`; `params` become the torrent's
  // add parameters (fetch_params()).
  explicit fetch_core(const lt::add_torrent_params& params);
  fetch_core(const fetch_core&) = delete;
  fetch_core& operator=(const fetch_core&) = delete;

  // The add parameters of the fetch's torrent: the link's hash, name,
  // trackers and peers, with the flags and save path that keep it off the disk.
  lt::add_torrent_params fetch_params() const;
  // The link's v1 info hash (the SHA-1 of "info").
  const lt::sha1_hash& info_hash() const { return info_hash_; }
  // Set once, before the core is shared.
  void attach_torrent(const lt::torrent_handle& handle) { handle_ = handle; }
  const lt::torrent_handle& handle() const { return handle_; }

  // Host side. `peers`: connected now (0 once the fetch has ended).
  bt_fetch_state state(ULONG* peers) const;
  // False while not done.
  bool seed(std::string& bytes) const;
  std::string failure_text() const;

  // Kernel thread: one alert of the fetch's torrent. True when the fetch has
  // ended with it (done or failed): its torrent is to leave the session.
  bool on_alert(const lt::alert& alert);
  // The fetch ends with `text` unless it has ended already; true when it was running.
  bool fail(const std::string& text);
  // Kernel thread: connects a running fetch to the link's peers ("x.pe")
  // again, those it lost or could not reach, as a task does its direct peers.
  void reconnect_link_peers();

 private:
  void finish(const lt::torrent_handle& torrent);

  const lt::add_torrent_params link_;  // what the link says
  const lt::sha1_hash info_hash_;
  lt::torrent_handle handle_;  // set before the core is shared, then read only

  mutable std::mutex lock_;
  bt_fetch_state state_ = bt_fetch_running;
  std::string seed_;
  std::string failure_;
};

// The bytes of a seed file made of `info`, the info dictionary as received,
// and `trackers`: "announce" the first, "announce-list" every one in a tier
// of its own when there are more than one.
std::string seed_from_metadata(lt::span<char const> info, const std::vector<std::string>& trackers);
