// What btshell tells while a task finds no peer: after a short while
// without one, what each tracker last answered (or that none has answered
// yet, or that there is nowhere to ask), and again whenever that changes,
// so that nobody needs -v to learn why nothing happens.
//
// Used on one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "host/btshell/transfer_task.h"
#include "interfaces/IBtTask.h"

namespace btshell {

// How long a task may go without a peer before btshell says why.
inline constexpr std::chrono::seconds kPeerlessQuiet{20};

// The note for a task without a peer. `direct_peers`: the --peer
// arguments; `seed_trackers`: how many trackers the seed names (all that is
// known when the kernel does not tell what they answered).
std::string peerless_note(const swarm_state& swarm, const std::vector<std::string>& direct_peers,
                          std::size_t seed_trackers);

class swarm_notes {
 public:
  using clock = std::chrono::steady_clock;

  swarm_notes(std::vector<std::string> direct_peers, std::size_t seed_trackers, clock::time_point began);

  // Whether a note may be due (a task without a peer for kPeerlessQuiet, the
  // time spent checking its data not counted); the caller then reads the
  // swarm and asks note().
  bool due(const tagTASK_INFO& info, clock::time_point now);
  // The note to write now, or empty when it says what the last one said.
  std::string note(const swarm_state& swarm);

 private:
  const std::vector<std::string> direct_peers_;
  const std::size_t seed_trackers_;
  clock::time_point quiet_since_;
  clock::time_point last_look_;
  std::string last_note_;
};

}  // namespace btshell
