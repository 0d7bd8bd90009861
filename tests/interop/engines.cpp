#include "tests/interop/engines.h"

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

namespace bts_test {

namespace {

namespace fs = std::filesystem;

// From its start to having every piece of the round trip's few MiB, with
// room for transmission 3.00, which declares interest and unchokes only on
// its 10-second rechoke.
constexpr std::chrono::seconds kTransferLimit(120);
// For a daemon to open its control port, and for one command to it.
constexpr std::chrono::seconds kCommandLimit(30);
// ctorrent, told to stop, waits out its 15-second pause between tracker
// requests to announce its stop (and, with the tracker gone, for ever): a
// second, then it is killed; nothing of it is checked after the stop.
constexpr std::chrono::seconds kCtorrentGrace(1);

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

// A script an engine runs once its download is complete: it makes `marker`.
std::string completion_hook(interop_fixture& f, const std::string& log, const std::string& marker) {
  const std::string script = f.path(log + "-complete.sh");
  write_file(script, "#!/bin/sh\n: > '" + marker + "'\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

std::string port_text(const char* address) { return std::to_string(free_port(address)); }

// aria2c --seed-time=0 ends once it has every piece.
bool ends_when_complete(const leecher& l) { return l.process->wait(kTransferLimit) == 0; }

bool marks_completion(const leecher& l) {
  const bool marked = wait_until([&] { return exists(l.complete_marker) || !l.process->running(); }, kTransferLimit);
  return marked && exists(l.complete_marker);
}

// transmission-daemon, in the foreground, with its settings and state in
// <log>/, holding `t` in `dir`; runs `hook` (unless empty) once the torrent
// is complete. It takes the torrent through transmission-remote.
child_process& start_transmission(interop_fixture& f, const made_torrent& t, const std::string& dir,
                                  const std::string& log, const std::string& hook) {
  const int rpc_port = free_port(loopback::transmission);
  int peer_port = free_port(loopback::transmission);
  while (peer_port != 0 && peer_port == rpc_port) peer_port = free_port(loopback::transmission);
  const nlohmann::json settings = {
      {"bind-address-ipv4", loopback::transmission},  // listening, connecting out, tracker requests
      {"bind-address-ipv6", "::1"},
      {"peer-port", peer_port},
      {"peer-port-random-on-start", false},
      {"rpc-bind-address", loopback::transmission},
      {"rpc-port", rpc_port},
      {"rpc-whitelist", "127.0.0.*"},
      {"rpc-authentication-required", false},
      {"dht-enabled", false},
      {"lpd-enabled", false},
      {"pex-enabled", false},
      {"utp-enabled", false},
      {"port-forwarding-enabled", false},
      {"blocklist-enabled", false},
      {"download-dir", dir},
      {"incomplete-dir-enabled", false},
      {"rename-partial-files", false},
      {"watch-dir-enabled", false},
      {"ratio-limit-enabled", false},
      {"idle-seeding-limit-enabled", false},
      {"script-torrent-done-enabled", !hook.empty()},
      {"script-torrent-done-filename", hook},
      {"message-level", 2}};
  fs::create_directories(f.path(log));
  write_file(f.path(log + "/settings.json"), settings.dump(2));
  child_process& daemon = f.start(
      {"transmission-daemon", "--foreground", "--config-dir", f.path(log), "--logfile", f.path(log + ".log")}, log);
  EXPECT_TRUE(wait_until([&] { return accepts(loopback::transmission, rpc_port) || !daemon.running(); },
                         kCommandLimit) &&
              daemon.running())
      << "transmission-daemon opened no control port";
  child_process& remote = f.start(
      {"transmission-remote", std::string(loopback::transmission) + ":" + std::to_string(rpc_port), "--add", t.seed},
      log + "-remote");
  EXPECT_EQ(remote.wait(kCommandLimit), 0) << read_file(f.path(log + "-remote.err"));
  return daemon;
}

// rtorrent with the settings of <log>/rtorrent.rc, its session in
// <log>/session/, holding `t` in `dir`; runs `hook` (unless empty) once the
// download is finished (and its pieces checked).
child_process& start_rtorrent(interop_fixture& f, const made_torrent& t, const std::string& dir,
                              const std::string& log, const std::string& hook) {
  const std::string port = port_text(loopback::rtorrent);
  fs::create_directories(f.path(log + "/session"));
  // Without a terminal rtorrent runs only as a daemon (no screen).
  std::string rc = "system.daemon.set = true\n";
  rc += std::string("network.bind_address.set = ") + loopback::rtorrent + "\n";  // and its tracker requests
  rc += "network.port_range.set = " + port + "-" + port + "\nnetwork.port_random.set = no\n";
  rc += "dht.mode.set = disable\nprotocol.pex.set = no\ntrackers.use_udp.set = no\n";
  rc += "session.path.set = \"" + f.path(log + "/session/") + "\"\n";
  rc += "directory.default.set = \"" + dir + "\"\n";
  rc += "log.open_file = \"main\", \"" + f.path(log + ".log") + "\"\nlog.add_output = \"info\", \"main\"\n";
  if (!hook.empty())
    rc += "method.set_key = event.download.finished, complete_hook, \"execute.nothrow = " + hook + "\"\n";
  rc += "load.start = \"" + t.seed + "\"\n";
  // -o would split these at their commas: they go in a file it imports.
  write_file(f.path(log + "/rtorrent.rc"), rc);
  return f.start({"rtorrent", "-n", "-o", "import=" + f.path(log + "/rtorrent.rc")}, log);
}

// ctorrent holding `t` in `dir`, its bitfield file in <log>/; runs `hook`
// (unless empty) once the download is complete (its cache written out).
// Its -i binds its listening socket and its tracker requests, not the peer
// connections it makes: those come from 127.0.0.1. Nothing needs them to
// come from its own address: the tracker hands it out at the address of its
// requests, and a peer takes a connection from anywhere on the loopback.
// It forks to run `hook` and never waits for that process: left a zombie,
// it passes to the fixture (its orphans' reaper) when ctorrent is stopped.
child_process& start_ctorrent(interop_fixture& f, const made_torrent& t, const std::string& dir,
                              const std::string& log, const std::string& hook) {
  fs::create_directories(f.path(log));
  std::vector<std::string> argv = {"ctorrent",      "-i", loopback::ctorrent,          "-p", port_text(loopback::ctorrent),
                                   "-s",            dir + t.name, "-b", f.path(log + "/bitfield")};
  if (!hook.empty()) argv.insert(argv.end(), {"-X", hook});
  argv.push_back(t.seed);
  return f.start(argv, log, kCtorrentGrace);
}

void aria2_seeder(interop_fixture& f, const made_torrent& t, const std::string&) { f.start_aria2_seeder(t); }

leecher aria2_leecher(interop_fixture& f, const made_torrent& t, const std::string& dir, const std::string&) {
  return {&f.start_aria2_leecher(t, dir), ""};
}

using start_function = child_process& (*)(interop_fixture&, const made_torrent&, const std::string& dir,
                                          const std::string& log, const std::string& hook);

template <start_function start>
void seeder(interop_fixture& f, const made_torrent& t, const std::string& log) {
  start(f, t, t.data_root, log, "");
}

template <start_function start>
leecher hooked_leecher(interop_fixture& f, const made_torrent& t, const std::string& dir, const std::string& log) {
  const std::string marker = f.path(log + ".complete");
  return {&start(f, t, dir, log, completion_hook(f, log, marker)), marker};
}

}  // namespace

const std::vector<engine>& engines() {
  static const std::vector<engine> all = {
      {"aria2", "aria2c", loopback::aria2, aria2_seeder, aria2_leecher, ends_when_complete},
      {"transmission", "transmission-daemon", loopback::transmission, seeder<start_transmission>,
       hooked_leecher<start_transmission>, marks_completion},
      {"rtorrent", "rtorrent", loopback::rtorrent, seeder<start_rtorrent>, hooked_leecher<start_rtorrent>,
       marks_completion},
      {"ctorrent", "ctorrent", loopback::ctorrent, seeder<start_ctorrent>, hooked_leecher<start_ctorrent>,
       marks_completion},
  };
  return all;
}

}  // namespace bts_test
