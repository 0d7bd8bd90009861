// btshell daemon driven the way its users drive it: Debian's
// transmission-remote 3.00 as the client, an aria2c seeder through the
// tracker as the swarm. Each daemon has its own settings file, its RPC on
// 127.0.0.1 and its kernel on loopback::daemon; it is stopped with SIGTERM
// by its process id and must end cleanly. What needs no real daemon (the
// HTTP gate, the methods over a fake service) is in tests/rpc/.
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/interop/interop_fixture.h"

namespace {

using namespace bts_test;
using nlohmann::json;
namespace fs = std::filesystem;

// For the daemon to open its RPC, for one transmission-remote run, and for
// the daemon's end after SIGTERM.
constexpr std::chrono::seconds kCommandLimit(30);
// For the few MiB of the test's torrents to arrive from aria2c.
constexpr std::chrono::seconds kTransferLimit(120);
// Between two looks at the daemon while waiting for it to do something.
constexpr std::chrono::milliseconds kPollPause(500);

struct remote_run {
  int status = -1;
  std::string out;  // stdout and stderr
  bool shows(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// The line of `-l` that ends with `name`; empty when there is none.
std::string list_line(const std::string& listing, const std::string& name) {
  std::size_t start = 0;
  while (start < listing.size()) {
    const std::size_t end = std::min(listing.find('\n', start), listing.size());
    const std::string line = listing.substr(start, end - start);
    if (line.size() >= name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0) return line;
    start = end + 1;
  }
  return std::string();
}

std::string escaped(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '.' || c == '-' || c == '_') out += static_cast<char>(c);
    else out += std::string("%") + kHex[c >> 4] + kHex[c & 15];
  }
  return out;
}

class Daemon : public interop_fixture {
 protected:
  // The settings file of the daemon `name`, its folders under <name>/
  // (seeds/ is the folder local seeds may be added from), with `extra` keys.
  std::string write_settings(const std::string& name, const json& extra = json::object()) {
    for (const char* folder : {"/state", "/downloads", "/watch", "/seeds"}) fs::create_directories(path(name + folder));
    rpc_port_ = free_port("127.0.0.1");
    json settings = {{"rpc-address", "127.0.0.1:" + std::to_string(rpc_port_)},
                     {"listen-address", std::string(loopback::daemon) + ":0"},
                     {"dht", false},
                     {"local-discovery", false},
                     {"port-mapping", false},
                     {"state-dir", path(name + "/state")},
                     {"download-dir", path(name + "/downloads")},
                     {"watch-dir", path(name + "/watch")},
                     {"allowed-dirs", {path(name + "/seeds")}}};
    settings.update(extra);
    const std::string file = path(name + "/settings.json");
    std::ofstream(file) << settings.dump(2);
    return file;
  }

  // The daemon on `config`, once its RPC accepts connections.
  child_process& start_daemon(const std::string& config, const std::string& log) {
    set_kernel_settings(std::string("[session]\nlisten_interfaces = ") + loopback::daemon +
                        ":0\noutgoing_interfaces = " + loopback::daemon +
                        "\ndht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\nutp = 0\n");
    child_process& daemon = start_btshell({"daemon", "--config", config}, log);
    EXPECT_TRUE(wait_until([&] { return accepts("127.0.0.1", rpc_port_) || !daemon.running(); }, kCommandLimit) &&
                daemon.running())
        << "the daemon opened no RPC: " << read_file(path(log + ".err"));
    return daemon;
  }

  // SIGTERM by its pid; its exit status (-1: it did not end in time).
  int stop_daemon(child_process& daemon) {
    daemon.send(SIGTERM);
    return daemon.wait(kCommandLimit);
  }

  remote_run remote(std::vector<std::string> args) {
    args.insert(args.begin(), {"transmission-remote", "127.0.0.1:" + std::to_string(rpc_port_)});
    child_process run;
    remote_run result;
    EXPECT_TRUE(run.start(args, path(""), path("remote.out"), path("remote.err"), {"HOME=" + path("home")}));
    result.status = run.wait(kCommandLimit);
    run.stop();
    result.out = read_file(path("remote.out")) + read_file(path("remote.err"));
    return result;
  }

  // Each row's invocation succeeds and shows each of its fragments.
  struct row {
    std::vector<std::string> args;
    std::vector<std::string> shown;
  };
  void expect_rows(const std::vector<row>& rows) {
    for (const row& r : rows) {
      const remote_run run = remote(r.args);
      EXPECT_EQ(run.status, 0) << r.args.front() << "\n" << run.out;
      for (const std::string& text : r.shown) EXPECT_TRUE(run.shows(text)) << text << "\n" << run.out;
    }
  }

  // POST of `body` to the RPC with `authorization` (a Basic header's
  // value, or empty), going through the session-id exchange; the answer's
  // JSON (null when there was none).
  json rpc_post(const std::string& body, const std::string& authorization = "") {
    std::string session;
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::string request = "POST /transmission/rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
      if (!authorization.empty()) request += "Authorization: Basic " + authorization + "\r\n";
      if (!session.empty()) request += "X-Transmission-Session-Id: " + session + "\r\n";
      request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
      const std::string answer = http_exchange("127.0.0.1", rpc_port_, request);
      const std::size_t head_end = answer.find("\r\n\r\n");
      if (head_end == std::string::npos) return json();
      if (answer.compare(0, 12, "HTTP/1.1 409") != 0) return json::parse(answer.substr(head_end + 4), nullptr, false);
      const std::size_t at = answer.find("X-Transmission-Session-Id: ");
      if (at == std::string::npos || at > head_end) return json();
      session = answer.substr(at + 27, answer.find("\r\n", at) - at - 27);
    }
    return json();
  }

  int rpc_port_ = 0;
};

// One daemon, then the same one restarted on its settings: added by file and
// by magnet link, both complete from aria2c; stopped and started; limits;
// the watch folder; every task back after the restart, nothing fetched
// again; removal with and without the data.
TEST_F(Daemon, RunsTasksFromAnAria2SeederAcrossARestart) {
  ASSERT_FALSE(find_program("transmission-remote").empty()) << "make deps installs transmission-remote";
  const made_torrent single = make_torrent("single", {{"single.bin", 1'500'000}});
  const made_torrent folder = make_torrent("folder", {{"a.bin", 1'000'000}, {"sub/b.bin", 2'000'000}});
  const made_torrent watched = make_torrent("watched", {{"watched.bin", 300'000}});
  start_tracker({&single, &folder});
  start_aria2_seeder(single, {}, "aria2-single");
  const int aria2_port = free_port(loopback::aria2);
  start_aria2_seeder(folder, {"--listen-port=" + std::to_string(aria2_port)}, "aria2-folder");
  ASSERT_TRUE(wait_for_seeder(single) && wait_for_seeder(folder));

  const std::string config = write_settings("d");
  const std::string downloads = path("d/downloads/"), state = path("d/state/");
  fs::copy_file(single.seed, path("d/seeds/single.torrent"));
  const std::string magnet = "magnet:?xt=urn:btih:" + folder.hash + "&dn=linked+name&tr=" + escaped(announce_url()) +
                             "&x.pe=" + loopback::aria2 + ":" + std::to_string(aria2_port);
  child_process* daemon = &start_daemon(config, "daemon-1");
  expect_rows({{{"-si"}, {"RPC version: 16"}},
               {{"-st"}, {"CURRENT SESSION"}},
               {{"-a", path("d/seeds/single.torrent")}, {"success"}},
               {{"-a", magnet}, {"success"}}});
  // The magnet task is named by its dn until the metadata comes, then by the torrent.
  const auto both_done = [&] {
    std::this_thread::sleep_for(kPollPause);
    const std::string listing = remote({"-l"}).out;
    for (const char* name : {"single.bin", "folder"}) {
      const std::string line = list_line(listing, name);
      if (line.find("100%") == std::string::npos || line.find("Done") == std::string::npos) return false;
    }
    return true;
  };
  ASSERT_TRUE(wait_until(both_done, kTransferLimit)) << remote({"-l"}).out;
  EXPECT_TRUE(same_bytes(downloads + "single.bin", single.data_folder + "single.bin"));
  for (const content_file& f : folder.files)
    EXPECT_TRUE(same_bytes(downloads + "folder/" + f.path, folder.data_folder + f.path)) << f.path;
  const std::string listing = remote({"-l"}).out;
  for (const auto& [name, id, size] : {std::tuple("single.bin", "1", "1.50 MB"), std::tuple("folder", "2", "3.00 MB")}) {
    const std::string line = list_line(listing, name);
    for (const std::string& text : {std::string(id) + "   100%", std::string(size) + "  Done"})
      EXPECT_NE(line.find(text), std::string::npos) << text << "\n" << listing;
  }

  expect_rows({{{"-t", "1", "-S"}, {"success"}},
               {{"-t", "2", "-d", "300"}, {"success"}},
               {{"-t", "2", "-i"}, {"Download Limit: 300 kB/s"}},
               {{"-d", "500", "-u", "200"}, {"success"}},
               {{"-si"}, {"Download speed limit: 500 kB/s", "Upload speed limit: 200 kB/s"}}});
  EXPECT_NE(list_line(remote({"-l"}).out, "single.bin").find("Stopped"), std::string::npos);

  // The watch folder: a seed is added and marked, junk is left as it is.
  fs::copy_file(watched.seed, path("d/watch/watched.torrent"));
  std::ofstream(path("d/watch/bad.torrent")) << "not a torrent";
  EXPECT_TRUE(wait_until([&] { return exists(path("d/watch/watched.torrent.added")); }, kCommandLimit));
  EXPECT_FALSE(exists(path("d/watch/watched.torrent")));
  EXPECT_FALSE(list_line(remote({"-l"}).out, "watched.bin").empty());
  std::this_thread::sleep_for(kPollPause * 6);  // past the next scans
  EXPECT_TRUE(exists(path("d/watch/bad.torrent")));
  EXPECT_TRUE(daemon->running());

  // The restart: every task back under its id, name and status (complete
  // and no peer asking: "Idle"), nothing fetched again.
  ASSERT_EQ(stop_daemon(*daemon), 0);
  daemon = &start_daemon(config, "daemon-2");
  const auto restored = [&](int id, const std::string& name, const std::string& status) {
    const std::string line = list_line(remote({"-l"}).out, name);
    return std::atoi(line.c_str()) == id && line.find(status) != std::string::npos;
  };
  EXPECT_TRUE(wait_until([&] { return restored(1, "single.bin", "Stopped") && restored(2, "folder", "Idle"); },
                         kCommandLimit))
      << remote({"-l"}).out;
  EXPECT_FALSE(list_line(remote({"-l"}).out, "watched.bin").empty());
  expect_rows({{{"-st"}, {"Downloaded: None"}},
               {{"-t", "2", "-i"}, {"Download Limit: 300 kB/s", "100%"}},
               {{"-si"}, {"Download speed limit: 500 kB/s"}}});
  expect_rows({{{"-t", "1", "-s"}, {"success"}}});
  EXPECT_TRUE(wait_until([&] { return restored(1, "single.bin", "Idle"); }, kCommandLimit));
  // A restored task runs behind the shell's proxy, which stays stopped once
  // stopped: started again, the task is made anew.
  expect_rows({{{"-t", "2", "-S"}, {"success"}}});
  EXPECT_TRUE(wait_until([&] { return restored(2, "folder", "Stopped"); }, kCommandLimit));
  expect_rows({{{"-t", "2", "-s"}, {"success"}}});
  EXPECT_TRUE(wait_until([&] { return restored(2, "folder", "Idle"); }, kCommandLimit)) << remote({"-l"}).out;

  // Removal: -r keeps the data; -rad deletes the task's files and state
  // files, and nothing else in its folders.
  std::ofstream(downloads + "unrelated.txt") << "mine";
  std::ofstream(downloads + "folder/notes.txt") << "mine too";
  expect_rows({{{"-t", "1", "-r"}, {"success"}}, {{"-t", "2", "-rad"}, {"success"}}});
  const std::string after = remote({"-l"}).out;
  EXPECT_TRUE(list_line(after, "single.bin").empty() && list_line(after, "folder").empty()) << after;
  EXPECT_TRUE(same_bytes(downloads + "single.bin", single.data_folder + "single.bin"));
  for (const content_file& f : folder.files) EXPECT_FALSE(exists(downloads + "folder/" + f.path)) << f.path;
  EXPECT_FALSE(exists(downloads + "folder/sub"));  // emptied by the removal
  EXPECT_TRUE(exists(downloads + "unrelated.txt") && exists(downloads + "folder/notes.txt"));
  std::string upper_hash = folder.hash;
  for (char& c : upper_hash) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const auto& entry : fs::recursive_directory_iterator(state))
    EXPECT_EQ(entry.path().filename().string().find(upper_hash), std::string::npos) << entry.path();
  EXPECT_EQ(stop_daemon(*daemon), 0);
}

// What the daemon refuses: a client without the password; a seed file
// named from outside the folders it may add from (transmission-remote sends
// the bytes of a file it can read itself, so these go as plain requests).
// An RPC open to other hosts without a password: btshell_run_test.cpp.
TEST_F(Daemon, RefusesWhatItMustNot) {
  ASSERT_FALSE(find_program("transmission-remote").empty()) << "make deps installs transmission-remote";
  const std::string config = write_settings("locked", {{"rpc-username", "user"}, {"rpc-password", "pass"}});
  child_process& daemon = start_daemon(config, "daemon");
  const json kept = json::parse(read_file(config), nullptr, false);
  EXPECT_FALSE(kept.contains("rpc-password")) << kept;
  EXPECT_FALSE(kept.value("rpc-password-hash", "").empty()) << kept;
  const remote_run without = remote({"-l"});
  EXPECT_NE(without.status, 0);
  EXPECT_TRUE(without.shows("401")) << without.out;
  expect_rows({{{"-n", "user:pass", "-si"}, {"RPC version: 16"}}});

  const made_torrent t = make_torrent("outside", {{"outside.bin", 100'000}});
  const std::string allowed = path("locked/seeds/");
  fs::create_symlink(t.seed, allowed + "link.torrent");
  const std::string credentials = "dXNlcjpwYXNz";  // user:pass
  const auto add = [&](const std::string& filename) {
    return rpc_post(json{{"method", "torrent-add"}, {"arguments", {{"filename", filename}}}}.dump(), credentials);
  };
  for (const std::string& refused : {t.seed, allowed + "../../seeds/outside.torrent", allowed + "link.torrent",
                                     std::string("seeds/outside.torrent")}) {
    const json answer = add(refused);
    EXPECT_TRUE(answer.is_object() && answer.value("result", "") != "success") << refused << ": " << answer;
  }
  // The same seed inside the folder is taken, and is new: nothing refused was added.
  fs::copy_file(t.seed, allowed + "inside.torrent");
  const json taken = add(allowed + "inside.torrent");
  EXPECT_EQ(taken.value("result", ""), "success") << taken;
  EXPECT_TRUE(taken["arguments"].contains("torrent-added")) << taken;
  EXPECT_EQ(stop_daemon(daemon), 0);
}

}  // namespace
