// What `download --peers` and `seed --peers` show of a task's swarm: under
// the progress bar the connected peers (address, client, rates, progress)
// and the trackers with their last answers, refreshed; as lines (the log
// with -v, plain lines off a terminal) each peer that comes or goes and
// each tracker whose answer changes. Texts from the swarm are made safe for
// a terminal (terminal_text()).
//
// Used on one thread.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/btshell/transfer_task.h"

namespace btshell {

// "127.0.0.1:6881         libtorrent/2.0.8      down 12.0 MiB/s  up 0 B/s  45.2%"
std::string peer_line(const peer_state& peer);
// The lines under the bar: a line a peer (the first kPeersShown of them,
// then how many more), then a line a tracker with its last answer.
std::vector<std::string> swarm_lines(const std::vector<peer_state>& peers, const swarm_state& swarm);

// What changed in the swarm since the last look.
class swarm_changes {
 public:
  // "peer ENDPOINT connected (CLIENT)", "peer ENDPOINT is CLIENT" (its name
  // came later), "peer ENDPOINT left", "tracker URL: ANSWER".
  std::vector<std::string> take(const std::vector<peer_state>& peers, const swarm_state& swarm);

 private:
  std::map<std::string, std::string> peers_;    // endpoint -> client
  std::map<std::string, std::string> answers_;  // tracker URL -> answer
};

// Reads the swarm of a task once in a while and keeps what the bar shows of it.
class peers_watch {
 public:
  using clock = std::chrono::steady_clock;
  // `tell` gets each change; null: the changes are not told.
  explicit peers_watch(std::function<void(const std::string&)> tell);

  // The lines for under the bar, read again when they are due.
  const std::vector<std::string>& look(const transfer_task& task, const tagTASK_INFO& info, clock::time_point now);

 private:
  std::function<void(const std::string&)> tell_;
  swarm_changes changes_;
  std::vector<std::string> lines_;
  clock::time_point last_look_{};
  bool looked_ = false;
};

}  // namespace btshell
