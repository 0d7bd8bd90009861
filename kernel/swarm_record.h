// What one task has heard of its swarm: each tracker's last answer (from the
// tracker alerts) and the peers it has been connected to in this run. The
// IBtTaskDetails face of a kernel task reads it.
//
// Threads: note() and note_peers() run on the kernel thread; the queries on
// any thread. The record's mutex guards everything and is held only inside
// its own operations.
#pragma once

#include <libtorrent/alert.hpp>
#include <libtorrent/announce_entry.hpp>
#include <libtorrent/peer_info.hpp>

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "interfaces/IBtTaskDetails.h"

struct tracker_answer {
  std::string url;
  std::string text;  // the answer in words
  tagBT_TRACKER_INFO info{};
};

class swarm_record {
 public:
  // Most peers remembered; later ones are not listed.
  static constexpr std::size_t kMaxPeers = 1000;

  // Takes a tracker alert, or a peer's disconnection, of the task's
  // torrent; other alerts are ignored.
  void note(const lt::alert& alert);
  // Remembers the connected peers it has not seen before.
  void note_peers(const std::vector<lt::peer_info>& peers);

  // The torrent's trackers in their order (`trackers` as libtorrent lists
  // them now), each with what it last answered.
  std::vector<tracker_answer> trackers(const std::vector<lt::announce_entry>& trackers) const;
  std::vector<std::string> peers() const;

 private:
  struct heard {
    ULONG state = bt_tracker_not_contacted;
    std::string text;
    ULONG peers = 0;
    int seeds = -1, leechers = -1;
  };
  heard& entry_locked(const std::string& url);
  void remember(const lt::tcp::endpoint& peer, const std::string& client);

  mutable std::mutex lock_;
  std::vector<std::pair<std::string, heard>> heard_;  // by URL, in the order first heard
  std::set<lt::tcp::endpoint> seen_;
  std::vector<std::string> peers_;
};

// "address:port" ("[address]:port" for IPv6), then the client's name when
// the peer sent one: the text of GetResourceInfo and GetSeenPeer.
std::string peer_text(const lt::tcp::endpoint& peer, const std::string& client);
