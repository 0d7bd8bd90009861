#include "kernel/swarm_record.h"

#include <libtorrent/alert_types.hpp>

#include <algorithm>
#include <chrono>
#include <sstream>

namespace {

constexpr ULONG kUnknown = 0xFFFFFFFFu;

ULONG count_or_unknown(int value) { return value < 0 ? kUnknown : static_cast<ULONG>(value); }

std::string peers_text(int count) { return std::to_string(count) + (count == 1 ? " peer" : " peers"); }

}  // namespace

swarm_record::heard& swarm_record::entry_locked(const std::string& url) {
  for (auto& entry : heard_)
    if (entry.first == url) return entry.second;
  heard_.emplace_back(url, heard{});
  return heard_.back().second;
}

void swarm_record::note(const lt::alert& alert) {
  // A peer that finished its handshake and left between two status
  // updates (seeds part as soon as both sides are complete): its address
  // is all there is left of it.
  if (const auto* a = lt::alert_cast<lt::peer_disconnected_alert>(&alert)) {
    if (a->pid != lt::peer_id()) remember(a->endpoint, std::string());
    return;
  }
  const auto* tracker = dynamic_cast<const lt::tracker_alert*>(&alert);
  if (!tracker) return;
  std::lock_guard<std::mutex> lock(lock_);
  heard& h = entry_locked(tracker->tracker_url());
  if (const auto* a = lt::alert_cast<lt::tracker_reply_alert>(&alert)) {
    h.state = bt_tracker_answered;
    h.peers = static_cast<ULONG>(std::max(a->num_peers, 0));
    h.text = peers_text(a->num_peers);
  } else if (const auto* a = lt::alert_cast<lt::tracker_error_alert>(&alert)) {
    h.state = bt_tracker_failed;
    const std::string reason = a->failure_reason();
    h.text = reason.empty() ? a->error.message() : reason;
  } else if (const auto* a = lt::alert_cast<lt::tracker_warning_alert>(&alert)) {
    h.text = std::string("warning: ") + a->warning_message();
  } else if (const auto* a = lt::alert_cast<lt::scrape_reply_alert>(&alert)) {
    h.seeds = a->complete;
    h.leechers = a->incomplete;
  } else if (lt::alert_cast<lt::tracker_announce_alert>(&alert)) {
    if (h.state == bt_tracker_not_contacted) {
      h.state = bt_tracker_announcing;
      h.text = "announcing";
    }
  }
}

void swarm_record::note_peers(const std::vector<lt::peer_info>& peers) {
  for (const lt::peer_info& peer : peers) remember(peer.ip, peer.client);
}

void swarm_record::remember(const lt::tcp::endpoint& peer, const std::string& client) {
  std::lock_guard<std::mutex> lock(lock_);
  if (peers_.size() < kMaxPeers && seen_.insert(peer).second) peers_.push_back(peer_text(peer, client));
}

std::vector<tracker_answer> swarm_record::trackers(const std::vector<lt::announce_entry>& trackers) const {
  const auto now = lt::clock_type::now();
  std::vector<tracker_answer> out;
  std::lock_guard<std::mutex> lock(lock_);
  for (const lt::announce_entry& entry : trackers) {
    tracker_answer answer;
    answer.url = entry.url;
    answer.info.tier = entry.tier;
    answer.info.seeds = answer.info.leechers = answer.info.next_announce = kUnknown;
    answer.text = "not contacted yet";
    // The soonest announce and the most failures over the endpoints.
    for (const lt::announce_endpoint& endpoint : entry.endpoints) {
      const lt::announce_infohash& v1 = endpoint.info_hashes[lt::protocol_version::V1];
      answer.info.failures = std::max<ULONG>(answer.info.failures, v1.fails);
      if (v1.next_announce > now) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(v1.next_announce - now).count();
        answer.info.next_announce = std::min<ULONG>(answer.info.next_announce, static_cast<ULONG>(seconds));
      }
      if (v1.scrape_complete >= 0) answer.info.seeds = static_cast<ULONG>(v1.scrape_complete);
      if (v1.scrape_incomplete >= 0) answer.info.leechers = static_cast<ULONG>(v1.scrape_incomplete);
    }
    for (const auto& entry_heard : heard_) {
      if (entry_heard.first != entry.url) continue;
      const heard& h = entry_heard.second;
      answer.info.state = h.state;
      answer.info.peers = h.peers;
      if (!h.text.empty()) answer.text = h.text;
      if (h.seeds >= 0) answer.info.seeds = count_or_unknown(h.seeds);
      if (h.leechers >= 0) answer.info.leechers = count_or_unknown(h.leechers);
    }
    out.push_back(std::move(answer));
  }
  return out;
}

std::vector<std::string> swarm_record::peers() const {
  std::lock_guard<std::mutex> lock(lock_);
  return peers_;
}

std::string peer_text(const lt::tcp::endpoint& peer, const std::string& client) {
  std::ostringstream text;
  if (peer.address().is_v6())
    text << '[' << peer.address().to_string() << "]:" << peer.port();
  else
    text << peer.address().to_string() << ':' << peer.port();
  if (!client.empty()) text << ' ' << client;
  return text.str();
}
