// The RPC front's tests: an in-memory torrent_service that answers from
// `torrents` and keeps what the last calls were given, and the whole front
// over it on a free port of 127.0.0.1.
// Not thread-safe: filled before the front runs, read after it answered.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "host/rpc/http_server.h"
#include "host/rpc/rpc_gate.h"
#include "host/rpc/rpc_methods.h"
#include "host/rpc/static_site.h"
#include "host/rpc/torrent_service.h"

namespace bts_test {

struct fake_torrent_service : rpc::torrent_service {
  std::vector<rpc::torrent_view> torrents;
  std::vector<std::int64_t> removed_ids;
  rpc::session_view session_state;
  std::string failure;  // what act/remove/change/change_session answer

  std::vector<std::string> calls;  // one word a call
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
      if (w.all || w.recently_active || std::count(w.ids.begin(), w.ids.end(), t.id)) out.push_back(t);
    removed = removed_ids;
  }
  rpc::add_result add(const rpc::add_request& r) override {
    calls.push_back("add");
    added = r;
    for (const rpc::torrent_view& t : torrents)
      if (t.name == r.filename) return {"", true, t.id, t.name, t.hash};
    return {"", false, 100, "new", std::string(40, 'a')};
  }
  std::string act(rpc::torrent_action a, const rpc::id_selection& w) override {
    action = a;
    return record("act", w);
  }
  std::string remove(const rpc::id_selection& w, bool delete_data) override {
    delete_local_data = delete_data;
    return record("remove", w);
  }
  std::string change(const rpc::id_selection& w, const rpc::torrent_changes& c) override {
    changes = c;
    return record("change", w);
  }
  rpc::session_view session() override { return session_state; }
  std::string change_session(const rpc::session_changes& c) override {
    session_changes = c;
    return record("change_session", which);
  }
  rpc::session_stats stats() override { return {}; }

  std::string record(const char* call, const rpc::id_selection& w) {
    calls.push_back(call);
    which = w;
    return failure;
  }
};

// Two torrents, 1 "alpha" and 2 "beta", three quarters done, each with a
// file, a tracker and a peer.
inline void add_sample_torrents(fake_torrent_service& service) {
  rpc::torrent_view t;
  t.hash = std::string(40, '1');
  t.status = rpc::torrent_status::downloading;
  t.total_size = t.size_when_done = 1000;
  t.left_until_done = 250;
  t.percent_done = 0.75;
  t.upload_ratio = 0;  // a whole number that must still be written as a real
  t.files.push_back({"alpha", 1000, 750, true, 0});
  t.trackers.emplace_back();
  t.trackers[0].host = "http://127.0.0.1:6969";
  t.peers.emplace_back();
  t.peers[0].address = "127.0.0.2";
  t.peers[0].client_name = "a peer";
  service.torrents = {t, t};
  service.torrents[0].id = 1;
  service.torrents[0].name = "alpha";
  service.torrents[1].id = 2;
  service.torrents[1].name = "beta";
}

// The gate, the methods over a fake service holding the sample torrents,
// the server listening (start_error says why not).
struct test_front {
  explicit test_front(rpc::gate_settings g = {}, rpc::server_settings s = {})
      : gate(std::move(g)), methods(service), server((s.port = 0, s), gate, methods, &site) {
    add_sample_torrents(service);
    start_error = server.start();
  }
  fake_torrent_service service;
  rpc::rpc_gate gate;
  rpc::rpc_methods methods;
  const rpc::static_site site{{{"index.html", "<p>the page</p>"}, {"app.js", "export {};"}}};
  rpc::http_server server;
  std::string start_error;
};

}  // namespace bts_test
