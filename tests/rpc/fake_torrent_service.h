// An in-memory torrent_service for the RPC front's tests: it answers from
// `torrents` and remembers the last call of each kind.
// Not thread-safe: filled before the front runs, read after it answered.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "host/rpc/torrent_service.h"

namespace bts_test {

class fake_torrent_service : public rpc::torrent_service {
 public:
  std::vector<rpc::torrent_view> torrents;
  std::vector<std::int64_t> removed_ids;
  rpc::session_view session_state;
  rpc::session_stats stats_state;
  std::string failure;  // what act/remove/change/change_session answer

  std::vector<std::string> calls;  // one word a call: "list", "add", "act", ...
  rpc::id_selection which;
  unsigned groups = 0;
  rpc::add_request added;
  rpc::torrent_action action = rpc::torrent_action::stop;
  bool delete_local_data = false;
  rpc::torrent_changes changes;
  rpc::session_changes session_changes;

  void list(const rpc::id_selection& w, unsigned g, std::vector<rpc::torrent_view>& out,
            std::vector<std::int64_t>& removed) override {
    calls.push_back("list");
    which = w;
    groups = g;
    for (const rpc::torrent_view& t : torrents)
      if (w.all || w.recently_active || std::count(w.ids.begin(), w.ids.end(), t.id) ||
          std::count(w.hashes.begin(), w.hashes.end(), t.hash))
        out.push_back(t);
    if (w.recently_active) removed = removed_ids;
  }
  rpc::add_result add(const rpc::add_request& r) override {
    calls.push_back("add");
    added = r;
    rpc::add_result result;
    for (const rpc::torrent_view& t : torrents)
      if (t.name == r.metainfo || t.name == r.filename) {
        result.duplicate = true;
        result.id = t.id;
        result.name = t.name;
        result.hash = t.hash;
        return result;
      }
    result.id = 100;
    result.name = "new";
    result.hash = std::string(40, 'a');
    return result;
  }
  std::string act(rpc::torrent_action a, const rpc::id_selection& w) override {
    calls.push_back("act");
    action = a;
    which = w;
    return failure;
  }
  std::string remove(const rpc::id_selection& w, bool delete_data) override {
    calls.push_back("remove");
    which = w;
    delete_local_data = delete_data;
    return failure;
  }
  std::string change(const rpc::id_selection& w, const rpc::torrent_changes& c) override {
    calls.push_back("change");
    which = w;
    changes = c;
    return failure;
  }
  rpc::session_view session() override {
    calls.push_back("session");
    return session_state;
  }
  std::string change_session(const rpc::session_changes& c) override {
    calls.push_back("change_session");
    session_changes = c;
    return failure;
  }
  rpc::session_stats stats() override {
    calls.push_back("stats");
    return stats_state;
  }
};

// Two torrents: 1 "alpha" (one file, one tracker, one peer), 2 "beta".
inline void add_sample_torrents(fake_torrent_service& service) {
  rpc::torrent_view a;
  a.id = 1;
  a.hash = std::string(40, '1');
  a.name = "alpha";
  a.status = rpc::torrent_status::downloading;
  a.total_size = a.size_when_done = 1000;
  a.left_until_done = 250;
  a.percent_done = 0.75;
  a.upload_ratio = 0;  // a whole number that must still be written as a real
  a.eta = -1;
  a.files.push_back({"alpha", 1000, 750, true, 0});
  rpc::tracker_view tracker;
  tracker.announce = "http://127.0.0.1:6969/announce";
  tracker.host = "http://127.0.0.1:6969";
  a.trackers.push_back(tracker);
  rpc::peer_view peer;
  peer.address = "127.0.0.2";
  peer.client_name = "a peer";
  peer.progress = 0.5;
  a.peers.push_back(peer);
  rpc::torrent_view b = a;
  b.id = 2;
  b.hash = std::string(40, '2');
  b.name = "beta";
  b.status = rpc::torrent_status::seeding;
  service.torrents = {a, b};
}

}  // namespace bts_test
