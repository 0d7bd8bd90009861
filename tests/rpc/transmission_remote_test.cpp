// Debian's transmission-remote (3.00) against the RPC front over the
// in-memory service: its session, list and detail views must show what
// the service holds, with and without a password. Each run is bounded and
// stopped by its process id.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "host/rpc/http_server.h"
#include "host/rpc/password_hash.h"
#include "host/rpc/rpc_gate.h"
#include "host/rpc/rpc_methods.h"
#include "interop/child_process.h"
#include "rpc/fake_torrent_service.h"
#include "support/temp_dir.h"

namespace {

constexpr auto kRunLimit = std::chrono::seconds(30);
constexpr int kFastIterations = 1000;

struct RemoteRun {
  int status = -1;
  std::string out, err;
};

RemoteRun run_remote(unsigned short port, const std::vector<std::string>& args) {
  bts_test::temp_dir dir;
  std::vector<std::string> argv = {"transmission-remote", "127.0.0.1:" + std::to_string(port)};
  argv.insert(argv.end(), args.begin(), args.end());
  bts_test::child_process remote;
  RemoteRun run;
  EXPECT_TRUE(remote.start(argv, dir.path(), dir.file("out"), dir.file("err"), {"HOME=" + dir.path()}));
  run.status = remote.wait(std::chrono::duration_cast<std::chrono::milliseconds>(kRunLimit));
  remote.stop();
  run.out = bts_test::read_file(dir.file("out"));
  run.err = bts_test::read_file(dir.file("err"));
  return run;
}

struct Front {
  explicit Front(rpc::gate_settings g) : gate(std::move(g)), methods(service), server(settings(), gate, methods) {
    bts_test::add_sample_torrents(service);
    service.session_state.version = "1.2.3";
    service.session_state.download_dir = "/downloads";
    service.session_state.peer_limit_global = 240;
    EXPECT_EQ("", server.start());
  }
  static rpc::server_settings settings() {
    rpc::server_settings s;
    s.port = 0;
    return s;
  }
  bts_test::fake_torrent_service service;
  rpc::rpc_gate gate;
  rpc::rpc_methods methods;
  rpc::http_server server;
};

TEST(TransmissionRemote, ShowsTheSessionTheListAndTheDetails) {
  if (bts_test::find_program("transmission-remote").empty()) GTEST_SKIP() << "transmission-remote is not installed";
  Front front{rpc::gate_settings{}};
  const struct { std::vector<std::string> args; std::vector<std::string> shown; } rows[] = {
      {{"-si"}, {"Daemon version: 1.2.3", "RPC version: 16", "RPC minimum version: 1", "Download directory: /downloads",
                 "Peer limit: 240", "Upload speed limit: Unlimited"}},
      // A row is printed only when every number of it has the type expected.
      {{"-l"}, {"     1    75%    0.75 kB  Unknown      0.0     0.0    0.0  Idle         alpha\n",
                "     2    75%    0.75 kB  Unknown      0.0     0.0    0.0  Idle         beta\n",
                "Sum:             1.50 kB"}},
      {{"-t", "1", "-i"}, {"Name: alpha", "Hash: " + std::string(40, '1'), "Percent Done: 75.0%",
                           "Total size: 1.00 kB (1.00 kB wanted)"}},
      {{"-t", "1", "-f"}, {"alpha (1 files):", "75% Normal   Yes"}},
      {{"-t", "1", "-it"}, {"Tracker 0: http://127.0.0.1:6969"}},
      {{"-t", "1", "-pi"}, {"127.0.0.2", "a peer"}},
  };
  for (const auto& r : rows) {
    const RemoteRun run = run_remote(front.server.port(), r.args);
    EXPECT_EQ(0, run.status) << r.args[0] << "\n" << run.out << run.err;
    for (const std::string& text : r.shown) EXPECT_NE(std::string::npos, run.out.find(text)) << text << "\n" << run.out;
  }
}

TEST(TransmissionRemote, GivesThePasswordWhenAsked) {
  if (bts_test::find_program("transmission-remote").empty()) GTEST_SKIP() << "transmission-remote is not installed";
  rpc::gate_settings g;
  g.username = "user";
  g.password_hash = rpc::hash_password("pass", kFastIterations);
  Front front(g);
  const RemoteRun right = run_remote(front.server.port(), {"-n", "user:pass", "-l"});
  EXPECT_EQ(0, right.status) << right.out << right.err;
  EXPECT_NE(std::string::npos, right.out.find("alpha")) << right.out;
  const RemoteRun wrong = run_remote(front.server.port(), {"-n", "user:wrong", "-l"});
  EXPECT_NE(0, wrong.status);
  EXPECT_EQ(std::string::npos, wrong.out.find("alpha"));
}

}  // namespace
