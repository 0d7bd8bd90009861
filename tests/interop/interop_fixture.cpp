#include "tests/interop/interop_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libtorrent/create_torrent.hpp>
#include <libtorrent/torrent_info.hpp>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>

namespace bts_test {

namespace fs = std::filesystem;

namespace {

// The kernel's settings for the tests: its loopback address for listening and
// for connecting out, peers from the tracker or given directly.
std::string kernel_settings() {
  return std::string("[session]\nlisten_interfaces = ") + loopback::kernel + ":0\noutgoing_interfaces = " +
         loopback::kernel + "\ndht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\nutp = 0\n";
}

// aria2c without DHT, local discovery and peer exchange, on its own loopback
// address; what it does at INFO level in `log`.
std::vector<std::string> aria2_command(const std::string& dir, const std::string& log) {
  return {"aria2c", "--dir=" + dir, "--interface=" + std::string(loopback::aria2), "--disable-ipv6=true",
          "--log=" + log, "--log-level=info",
          "--listen-port=" + std::to_string(free_port(loopback::aria2)), "--enable-dht=false",
          "--enable-dht6=false", "--bt-enable-lpd=false", "--enable-peer-exchange=false",
          "--console-log-level=warn", "--summary-interval=0", "--file-allocation=none"};
}

// A TCP socket connected to address:port; -1 when none could be.
int connected(const char* address, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address, &to.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return fd;
  close(fd);
  return -1;
}

// One HTTP GET to the tracker; the body, or empty.
std::string http_get(int port, const std::string& target) {
  const std::string response = http_exchange(
      loopback::tracker, port, "GET " + target + " HTTP/1.0\r\nHost: " + loopback::tracker + "\r\n\r\n");
  const std::size_t body = response.find("\r\n\r\n");
  return body == std::string::npos ? std::string() : response.substr(body + 4);
}

std::string url_escaped_hash(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += "%" + hex.substr(i, 2);
  return out;
}

}  // namespace

int free_port(const char* address) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  inet_pton(AF_INET, address, &bound.sin_addr);
  socklen_t length = sizeof bound;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
    port = ntohs(bound.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

bool accepts(const char* address, int port) {
  const int fd = connected(address, port);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::string http_exchange(const char* address, int port, const std::string& request) {
  const int fd = connected(address, port);
  if (fd < 0) return std::string();
  std::string response;
  if (send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) response.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return response;
}

bool same_bytes(const std::string& a, const std::string& b) {
  return exists(a) && exists(b) && read_file(a) == read_file(b);
}

bool exists(const std::string& path) { return fs::exists(path); }

std::size_t bytes_on_disk(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_blocks) * 512 : 0;
}

nlohmann::json finished_run::json() const { return nlohmann::json::parse(out, nullptr, false); }

void interop_fixture::SetUp() {
  for (const char* program : {"opentracker", "aria2c"})
    ASSERT_FALSE(find_program(program).empty()) << program << " is not installed (make deps installs it)";
  adopt_orphans();
  dir_.make_dirs("modules");
  dir_.make_dirs("home");
  fs::copy_file(BTS_KERNEL_MODULE, path("modules/libbt_kernel.so"));
  dir_.write("modules/bt_kernel.ini", kernel_settings());
  tracker_port_ = free_port(loopback::tracker);
  ASSERT_NE(tracker_port_, 0);
}

void interop_fixture::set_kernel_settings(const std::string& ini) { dir_.write("modules/bt_kernel.ini", ini); }

made_torrent interop_fixture::make_torrent(const std::string& name, const std::vector<content_file>& files,
                                           int piece_size) {
  made_torrent t;
  t.files = files;
  t.data_root = path("seeders/" + name + "/");
  const bool single = files.size() == 1 && files[0].path.find('/') == std::string::npos;
  t.name = single ? files[0].path : name;
  // A multi-file torrent is named after its folder; its files go straight
  // into btshell's data folder, and into <name>/ under another client's.
  const std::string top = single ? t.data_root : t.data_root + name + "/";
  t.data_folder = top;
  std::mt19937_64 random(std::hash<std::string>()(name));
  for (const content_file& f : files) {
    fs::create_directories(fs::path(top + f.path).parent_path());
    std::ofstream out(top + f.path, std::ios::binary);
    std::vector<std::uint64_t> block(std::min<std::size_t>(1 << 14, f.size / sizeof(std::uint64_t) + 1));
    for (std::size_t left = f.size; left > 0;) {
      for (std::uint64_t& word : block) word = random();
      const std::size_t n = std::min(left, block.size() * sizeof(std::uint64_t));
      out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
      left -= n;
    }
  }
  lt::file_storage storage;
  lt::add_files(storage, single ? top + files[0].path : top.substr(0, top.size() - 1));
  lt::create_torrent maker(storage, piece_size, lt::create_torrent::v1_only);
  maker.add_tracker(announce_url());
  lt::set_piece_hashes(maker, t.data_root.substr(0, t.data_root.size() - 1));
  // The files as the torrent lists them (index i is file i).
  t.files.clear();
  const lt::file_storage& made = maker.files();
  for (const lt::file_index_t i : made.file_range()) {
    if (made.pad_file_at(i)) ADD_FAILURE() << "a padding file in " << name;
    const std::string inside = made.file_path(i);
    t.files.push_back({single ? inside : inside.substr(name.size() + 1), static_cast<std::size_t>(made.file_size(i))});
  }
  const std::vector<char> seed = maker.generate_buf();
  dir_.make_dirs("seeds");
  t.seed = dir_.write("seeds/" + name + ".torrent", std::string(seed.begin(), seed.end()));
  std::ostringstream hex;
  const lt::torrent_info info(lt::span<const char>(seed), lt::from_span);
  hex << info.info_hashes().v1;
  t.hash = hex.str();
  return t;
}

void interop_fixture::start_tracker(const std::vector<const made_torrent*>& torrents) {
  dir_.make_dirs("tracker");
  std::string whitelist;
  for (const made_torrent* t : torrents) whitelist += t->hash + "\n";
  dir_.write("tracker/whitelist.txt", whitelist);
  // Its own folder is its root (started as root, it changes root to it and
  // becomes nobody).
  dir_.write("tracker/opentracker.conf", "listen.tcp_udp " + std::string(loopback::tracker) + ":" +
                                             std::to_string(tracker_port_) +
                                             "\naccess.whitelist whitelist.txt\ntracker.rootdir " +
                                             path("tracker") + "\n");
  start({"opentracker", "-f", path("tracker/opentracker.conf")}, "tracker");
  // Answering, and with the whitelist read: a stop for an unknown peer of
  // the first torrent is accepted (not refused as unauthorised).
  const std::string probe = "/announce?info_hash=" + url_escaped_hash(torrents.front()->hash) +
                            "&peer_id=-BT0000-probeprobe00&port=1&uploaded=0&downloaded=0&left=0&event=stopped";
  ASSERT_TRUE(wait_until(
      [&] {
        const std::string answer = http_get(tracker_port_, probe);
        return !answer.empty() && answer.find("failure reason") == std::string::npos;
      },
      std::chrono::seconds(10)))
      << read_file(path("tracker.err"));
}

bool interop_fixture::wait_for_seeder(const made_torrent& t) {
  return wait_until(
      [&] {
        const std::string answer = http_get(tracker_port_, "/scrape?info_hash=" + url_escaped_hash(t.hash));
        const std::size_t at = answer.find("8:completei");
        return at != std::string::npos && std::atoi(answer.c_str() + at + 11) > 0;
      },
      std::chrono::seconds(60));
}

bool interop_fixture::wait_for_peer_at(const made_torrent& t, const std::string& address) {
  const std::string probe = "/announce?info_hash=" + url_escaped_hash(t.hash) +
                            "&peer_id=-BT0000-probeprobe00&port=1&uploaded=0&downloaded=0&left=1&compact=1&numwant=50";
  in_addr wanted{};
  inet_pton(AF_INET, address.c_str(), &wanted);
  const auto found = [&] {
    const std::string answer = http_get(tracker_port_, probe);
    http_get(tracker_port_, probe + "&event=stopped");
    // "5:peers<length>:" then six bytes a peer: the IPv4 address, the port.
    const std::size_t at = answer.find("5:peers");
    if (at == std::string::npos) return false;
    const std::size_t colon = answer.find(':', at + 7);
    const std::size_t length = std::strtoul(answer.c_str() + at + 7, nullptr, 10);
    for (std::size_t p = colon + 1; colon != std::string::npos && p + 6 <= colon + 1 + length && p + 6 <= answer.size();
         p += 6)
      if (std::memcmp(answer.data() + p, &wanted.s_addr, 4) == 0) return true;
    return false;
  };
  return wait_until(found, std::chrono::seconds(60));
}

std::string interop_fixture::announce_url() const {
  return "http://" + std::string(loopback::tracker) + ":" + std::to_string(tracker_port_) + "/announce";
}

child_process& interop_fixture::start_aria2_seeder(const made_torrent& t, const std::vector<std::string>& extra,
                                                   const std::string& log) {
  std::vector<std::string> argv = aria2_command(t.data_root, path(log + ".log"));
  argv.insert(argv.end(), {"--seed-ratio=0.0", "--check-integrity=true"});
  argv.insert(argv.end(), extra.begin(), extra.end());
  argv.push_back(t.seed);
  return start(argv, log);
}

child_process& interop_fixture::start_aria2_leecher(const made_torrent& t, const std::string& dir) {
  std::vector<std::string> argv = aria2_command(dir, path("aria2-leecher.log"));
  argv.insert(argv.end(), {"--seed-time=0", t.seed});
  return start(argv, "aria2-leecher");
}

child_process& interop_fixture::start_btshell(const std::vector<std::string>& args, const std::string& log) {
  std::vector<std::string> argv = {BTSHELL_EXE, "--modules-dir", path("modules")};
  argv.insert(argv.end(), args.begin(), args.end());
  return start(argv, log);
}

finished_run interop_fixture::run_btshell(const std::vector<std::string>& args, std::chrono::seconds limit) {
  const std::string log = "btshell-" + std::to_string(++logs_);
  return finish(start_btshell(args, log), log, limit);
}

finished_run interop_fixture::finish(child_process& child, const std::string& log, std::chrono::seconds limit) {
  finished_run run;
  run.status = child.wait(limit);
  if (run.status < 0) child.stop();
  run.out = read_file(path(log + ".out"));
  run.err = read_file(path(log + ".err"));
  return run;
}

nlohmann::json interop_fixture::run_btshell_json(const std::vector<std::string>& args) {
  const finished_run r = run_btshell(args, std::chrono::seconds(30));
  EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
  return r.json();
}

interop_fixture::shell_files interop_fixture::shell_view(const made_torrent& t, const std::string& folder) {
  const nlohmann::json j = run_btshell_json({"temp-files", "--json", t.seed, folder});
  if (!j.is_object()) return {};
  return {j.value("temp_file_exists", false), j.value("cfg_files", std::vector<std::string>{}),
          j.value("data_files", std::vector<std::string>{})};
}

std::vector<std::string> interop_fixture::hub_notices(const made_torrent& t, const std::string& folder) {
  std::vector<std::string> paths;
  const nlohmann::json j = run_btshell_json({"notify-deleted", "--json", folder, t.seed});
  if (!j.is_object()) return paths;
  for (const nlohmann::json& n : j.value("hub_notices", nlohmann::json::array())) paths.push_back(n.value("path", ""));
  return paths;
}

child_process& interop_fixture::start(const std::vector<std::string>& argv, const std::string& log,
                                      std::chrono::seconds grace) {
  for (const char* kind : {".out", ".err", ".log"}) logs_written_.push_back(log + kind);
  children_.push_back({std::make_unique<child_process>(), grace});
  child_process& child = *children_.back().child;
  // No program reads or writes the user's own configuration and caches.
  const std::string home = path("home");
  const std::vector<std::string> environment = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                                "XDG_CACHE_HOME=" + home + "/.cache",
                                                "XDG_DATA_HOME=" + home + "/.local/share"};
  EXPECT_TRUE(child.start(argv, dir_.path(), path(log + ".out"), path(log + ".err"), environment)) << argv[0];
  return child;
}

void interop_fixture::TearDown() {
  // Clients first, the tracker last; each by its process id.
  while (!children_.empty()) {
    children_.back().child->stop(children_.back().grace);
    children_.pop_back();
  }
  // Then what they left behind (see ctorrent in engines.cpp).
  end_orphans();
  if (!HasFailure()) return;
  // What each program wrote, to tell why.
  for (const std::string& log : logs_written_) {
    std::string text = read_file(path(log));
    if (text.size() > 3000) text = "..." + text.substr(text.size() - 3000);
    if (!text.empty()) std::cerr << "--- " << log << "\n" << text << (text.back() == '\n' ? "" : "\n");
  }
}

}  // namespace bts_test
