#include "host/btshell/swarm_notes.h"

#include <utility>

#include "interfaces/bt_task_status.h"

namespace btshell {

namespace {

// The trackers are asked at most this often while a note may be due.
constexpr std::chrono::seconds kLookInterval{1};

bool heard_from(const tracker_state& tracker) {
  return tracker.info.state == bt_tracker_answered || tracker.info.state == bt_tracker_failed;
}

}  // namespace

std::string peerless_note(const swarm_state& swarm, const std::vector<std::string>& direct_peers,
                          std::size_t seed_trackers) {
  std::string lines;
  for (const std::string& peer : direct_peers) lines += "\n  --peer " + peer + ": not connected";
  if (!swarm.known)
    return "no peer connected; the kernel does not tell what the seed's " + std::to_string(seed_trackers) +
           (seed_trackers == 1 ? " tracker" : " trackers") + " answered" + lines;
  if (swarm.trackers.empty() && direct_peers.empty())
    return "no peer connected: the seed names no tracker and no --peer was given (peers can come only from the "
           "DHT or local peer discovery, where the kernel's settings allow them)";
  bool any_heard = false;
  std::string trackers;
  for (const tracker_state& tracker : swarm.trackers) {
    any_heard = any_heard || heard_from(tracker);
    trackers += "\n  " + tracker.url + ": " + tracker.answer;
  }
  std::string head = "no peer connected";
  if (!swarm.trackers.empty()) head += any_heard ? "; the trackers' last answers:" : "; no tracker has answered yet:";
  return head + trackers + lines;
}

swarm_notes::swarm_notes(std::vector<std::string> direct_peers, std::size_t seed_trackers, clock::time_point began)
    : direct_peers_(std::move(direct_peers)), seed_trackers_(seed_trackers), quiet_since_(began) {}

bool swarm_notes::due(const tagTASK_INFO& info, clock::time_point now) {
  if (info.peer_count > 0 || info.task_status == bt_task_checking || info.task_status == bt_task_idle) {
    quiet_since_ = now;
    // Quiet again later, it is said again.
    if (info.peer_count > 0) last_note_.clear();
    return false;
  }
  if (now - quiet_since_ < kPeerlessQuiet || now - last_look_ < kLookInterval) return false;
  last_look_ = now;
  return true;
}

std::string swarm_notes::note(const swarm_state& swarm) {
  std::string text = peerless_note(swarm, direct_peers_, seed_trackers_);
  if (text == last_note_) return std::string();
  last_note_ = text;
  return text;
}

}  // namespace btshell
