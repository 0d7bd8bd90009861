#include "host/btshell/peers_view.h"

#include <utility>

#include "host/btshell/printers.h"
#include "host/btshell/progress_meter.h"
#include "host/btshell/terminal_line.h"

namespace btshell {

namespace {

// The peers listed under the bar; the rest are counted.
constexpr std::size_t kPeersShown = 10;
// The swarm is read at most this often (each read waits for the kernel's network thread).
constexpr std::chrono::milliseconds kLookInterval{250};
// Columns of the endpoint and of the client's name in a peer's line.
constexpr std::size_t kEndpointColumns = 22;
constexpr std::size_t kClientColumns = 22;

std::string padded(std::string text, std::size_t columns) {
  text = cut_to_columns(text, columns - 1);
  const std::size_t used = text_columns(text);
  return text + std::string(columns > used ? columns - used : 1, ' ');
}

std::string tracker_line(const tracker_state& tracker) {
  return "tracker " + terminal_text(tracker.url) + ": " + terminal_text(tracker.answer);
}

}  // namespace

std::string peer_line(const peer_state& peer) {
  const std::string client = peer.client.empty() ? std::string("(no name)") : terminal_text(peer.client);
  return padded(terminal_text(peer.endpoint), kEndpointColumns) + padded(client, kClientColumns) + "down " +
         rate_text(peer.down_rate) + "  up " + rate_text(peer.up_rate) + "  " + percent_text(peer.progress);
}

std::vector<std::string> swarm_lines(const std::vector<peer_state>& peers, const swarm_state& swarm) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < peers.size() && i < kPeersShown; ++i) lines.push_back("  " + peer_line(peers[i]));
  if (peers.size() > kPeersShown) lines.push_back("  ... and " + std::to_string(peers.size() - kPeersShown) + " more peers");
  for (const tracker_state& tracker : swarm.trackers) lines.push_back("  " + tracker_line(tracker));
  return lines;
}

std::vector<std::string> swarm_changes::take(const std::vector<peer_state>& peers, const swarm_state& swarm) {
  std::vector<std::string> told;
  std::map<std::string, std::string> now;
  for (const peer_state& peer : peers) now.emplace(peer.endpoint, peer.client);
  for (const auto& [endpoint, client] : peers_)
    if (!now.count(endpoint)) told.push_back("peer " + terminal_text(endpoint) + " left");
  for (const auto& [endpoint, client] : now) {
    const auto before = peers_.find(endpoint);
    if (before == peers_.end())
      told.push_back("peer " + terminal_text(endpoint) + " connected" +
                     (client.empty() ? std::string() : " (" + terminal_text(client) + ")"));
    else if (before->second != client && !client.empty())  // the name comes after the handshake
      told.push_back("peer " + terminal_text(endpoint) + " is " + terminal_text(client));
  }
  peers_ = std::move(now);
  for (const tracker_state& tracker : swarm.trackers) {
    std::string& answer = answers_[tracker.url];
    if (answer == tracker.answer) continue;
    answer = tracker.answer;
    told.push_back(tracker_line(tracker));
  }
  return told;
}

peers_watch::peers_watch(std::function<void(const std::string&)> tell) : tell_(std::move(tell)) {}

const std::vector<std::string>& peers_watch::look(const transfer_task& task, const tagTASK_INFO& info,
                                                  clock::time_point now) {
  if (looked_ && now - last_look_ < kLookInterval) return lines_;
  looked_ = true;
  last_look_ = now;
  const std::vector<peer_state> peers = task.peers(info.peer_count);
  const swarm_state swarm = task.swarm();
  lines_ = swarm_lines(peers, swarm);
  if (tell_)
    for (const std::string& change : changes_.take(peers, swarm)) tell_(change);
  return lines_;
}

}  // namespace btshell
