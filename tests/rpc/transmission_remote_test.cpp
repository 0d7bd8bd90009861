// Debian's transmission-remote (3.00) against the RPC front over the
// in-memory service: its session, list and detail views show what the
// service holds, with and without a password. Each run is bounded and
// stopped by its process id.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "host/rpc/password_hash.h"
#include "interop/child_process.h"
#include "rpc/test_front.h"
#include "support/temp_dir.h"

namespace {

// The exit status and what it printed.
std::pair<int, std::string> run_remote(unsigned short port, std::vector<std::string> args) {
  bts_test::temp_dir dir;
  args.insert(args.begin(), {"transmission-remote", "127.0.0.1:" + std::to_string(port)});
  bts_test::child_process remote;
  EXPECT_TRUE(remote.start(args, dir.path(), dir.file("out"), dir.file("err"), {"HOME=" + dir.path()}));
  const int status = remote.wait(std::chrono::seconds(30));
  remote.stop();
  return {status, bts_test::read_file(dir.file("out")) + bts_test::read_file(dir.file("err"))};
}

// The front over the sample torrents, with a session.
struct Front : bts_test::test_front {
  explicit Front(rpc::gate_settings g = {}) : test_front(std::move(g)) {
    service.session_state.version = "1.2.3";
    service.session_state.download_dir = "/downloads";
    service.session_state.peer_limit_global = 240;
    EXPECT_EQ("", start_error);
  }
};

TEST(TransmissionRemote, ShowsSessionListAndDetailsWithAndWithoutPassword) {
  if (bts_test::find_program("transmission-remote").empty()) GTEST_SKIP() << "transmission-remote is not installed";
  Front front;
  const struct { std::vector<std::string> args; std::vector<std::string> shown; } rows[] = {
      {{"-si"}, {"Daemon version: 1.2.3", "RPC version: 16", "RPC minimum version: 1", "Download directory: /downloads",
                 "Peer limit: 240", "Upload speed limit: Unlimited"}},
      // A row is printed only when every number in it has the type expected.
      {{"-l"}, {"     1    75%    0.75 kB  Unknown      0.0     0.0    0.0  Idle         alpha\n",
                "     2    75%    0.75 kB  Unknown      0.0     0.0    0.0  Idle         beta\n", "Sum:             1.50 kB"}},
      {{"-t", "1", "-i"}, {"Name: alpha", "Hash: " + std::string(40, '1'), "Percent Done: 75.0%",
                           "Total size: 1.00 kB (1.00 kB wanted)"}},
      {{"-t", "1", "-f"}, {"alpha (1 files):", "75% Normal   Yes"}},
      {{"-t", "1", "-it"}, {"Tracker 0: http://127.0.0.1:6969"}},
      {{"-t", "1", "-pi"}, {"127.0.0.2", "a peer"}},
  };
  for (const auto& r : rows) {
    const auto [status, out] = run_remote(front.server.port(), r.args);
    EXPECT_EQ(0, status) << r.args.back() << "\n" << out;
    for (const std::string& text : r.shown) EXPECT_NE(std::string::npos, out.find(text)) << text << "\n" << out;
  }
  // With a password: given when asked, refused when wrong.
  rpc::gate_settings g;
  g.username = "user";
  g.password_hash = rpc::hash_password("pass", 1000);
  Front locked(g);
  const auto right = run_remote(locked.server.port(), {"-n", "user:pass", "-l"});
  EXPECT_TRUE(right.first == 0 && right.second.find("alpha") != std::string::npos) << right.second;
  const auto wrong = run_remote(locked.server.port(), {"-n", "user:wrong", "-l"});
  EXPECT_TRUE(wrong.first != 0 && wrong.second.find("alpha") == std::string::npos) << wrong.second;
}

}  // namespace
