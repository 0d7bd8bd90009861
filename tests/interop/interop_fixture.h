// Interoperability with programs nobody here wrote: Debian's opentracker (a
// tracker that serves only the info hashes of its whitelist) and the
// independent clients aria2c, transmission-daemon, rtorrent and ctorrent
// (engines.h), against btshell with the kernel module on libtorrent.
//
// Loopback only, one address per party (for listening and, where the party
// can, for connecting out) as distinct hosts would have: see `loopback`
// below. (A client that finds itself in a tracker's answer connects to
// itself and bans the address the connection came from; sharing one address,
// the parties would ban each other.) Every process is started as a
// child_process, with $HOME and the XDG folders in the test's folder, and
// stopped by its process id when the test ends; whatever one of them left
// behind comes to the test's process and is ended then too.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "tests/interop/child_process.h"

namespace bts_test {

// The address of each party. Debian's opentracker hands out the address a
// request came from (it ignores an "ip" parameter), so every client makes its
// tracker requests from its own address too.
namespace loopback {
constexpr char tracker[] = "127.0.0.1";
constexpr char kernel[] = "127.0.0.2";  // btshell's kernel
constexpr char aria2[] = "127.0.0.3";
constexpr char transmission[] = "127.0.0.4";
constexpr char rtorrent[] = "127.0.0.5";
constexpr char ctorrent[] = "127.0.0.6";
constexpr char daemon[] = "127.0.0.7";  // btshell daemon's kernel
}  // namespace loopback

struct content_file {
  std::string path;  // inside the torrent ("a/b.bin"; a single-file torrent: its name)
  std::size_t size;
};

// A torrent made for a test: its seed and where its data was written.
struct made_torrent {
  std::string name;  // its folder, or its single file
  std::string seed;
  std::string hash;                // 40 lower-case hex digits
  std::string data_root;           // the folder a client seeding it is given (its files under <name>/)
  std::string data_folder;         // the folder that holds its files (btshell's DATA_FOLDER)
  std::vector<content_file> files;
};

struct finished_run {
  int status = -1;  // -1: did not end in time (and was stopped)
  std::string out, err;
  nlohmann::json json() const;  // `out` parsed; null when it is no JSON
};

// The helpers are public: the fault suite's rows (fault_suite.h) and the
// engines (engines.h) are plain functions of a fixture. Not thread-safe: the
// test's thread alone uses it.
class interop_fixture : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Random content (the same for the same name) under seeders/<name>/ and
  // its seed, announcing to the tracker, in seeds/<name>.torrent; files of
  // one entry without a folder make a single-file torrent.
  made_torrent make_torrent(const std::string& name, const std::vector<content_file>& files,
                            int piece_size = 256 * 1024);
  // Writes the whitelist of `torrents`, starts the tracker and waits until it answers.
  void start_tracker(const std::vector<const made_torrent*>& torrents);
  // Waits until the tracker's scrape shows a seeder of `t`.
  bool wait_for_seeder(const made_torrent& t);
  // Waits until the tracker hands out a peer of `t` at `address` (an
  // announce of a probe, withdrawn at once).
  bool wait_for_peer_at(const made_torrent& t, const std::string& address);

  // The tracker's announce URL, as every made torrent holds it.
  std::string announce_url() const;

  // aria2c seeding `t` from its data; `extra`: further options (a later
  // option overrides an earlier one); its output to <log>.*.
  child_process& start_aria2_seeder(const made_torrent& t, const std::vector<std::string>& extra = {},
                                    const std::string& log = "aria2-seeder");
  // aria2c downloading `t` into `dir` and ending once complete.
  child_process& start_aria2_leecher(const made_torrent& t, const std::string& dir);
  // Replaces the bt_kernel.ini beside the kernel module that btshell
  // installs (by default: its loopback address, no DHT, discovery or
  // port mapping).
  void set_kernel_settings(const std::string& ini);
  // btshell with the kernel module on libtorrent (loopback settings), in
  // the test's folder, output to <log>.out and <log>.err.
  child_process& start_btshell(const std::vector<std::string>& args, const std::string& log);
  // start_btshell, waiting at most `limit` for its end.
  finished_run run_btshell(const std::vector<std::string>& args,
                           std::chrono::seconds limit = std::chrono::seconds(120));
  finished_run finish(child_process& child, const std::string& log, std::chrono::seconds limit);
  // Any program, in the test's folder, output to <log>.out and <log>.err
  // (and <log>.log, when it is told to write one there), all three shown
  // when the test fails; stopped when the test ends (SIGTERM, SIGKILL once
  // `grace` has passed). The fixture owns it.
  child_process& start(const std::vector<std::string>& argv, const std::string& log,
                       std::chrono::seconds grace = std::chrono::seconds(10));

  // The shell's view of a download's files (btshell temp-files --json):
  // IsTempFileExist, GetCfgFileList, GetDataFileList.
  struct shell_files {
    bool exists = false;
    std::vector<std::string> cfg, data;
  };
  shell_files shell_view(const made_torrent& t, const std::string& folder);
  // The paths the P2P hub is told of when the download is deleted
  // (btshell notify-deleted --json).
  std::vector<std::string> hub_notices(const made_torrent& t, const std::string& folder);

  std::string path(const std::string& relative) const { return dir_.file(relative); }

 private:
  struct started {
    std::unique_ptr<child_process> child;
    std::chrono::seconds grace;
  };
  nlohmann::json run_btshell_json(const std::vector<std::string>& args);

  temp_dir dir_;
  int tracker_port_ = 0;
  std::vector<started> children_;          // stopped in reverse order
  std::vector<std::string> logs_written_;  // shown when a test fails
  int logs_ = 0;
};

// Free TCP port on `address`.
int free_port(const char* address);
// Something accepts TCP connections at address:port.
bool accepts(const char* address, int port);
// Sends `request` (the whole of it) to address:port and reads the answer
// until the other side closes; empty when nothing could be connected or sent.
std::string http_exchange(const char* address, int port, const std::string& request);
// The bytes of `a` and `b` are equal (both must exist).
bool same_bytes(const std::string& a, const std::string& b);
bool exists(const std::string& path);
// Bytes the file occupies on disk (its allocated blocks).
std::size_t bytes_on_disk(const std::string& path);

}  // namespace bts_test
