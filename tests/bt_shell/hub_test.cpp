// P2P hub notices through the shell: one per file of the seed, with the
// hub looked up until it is found and let go of at Uninit.
#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

class HubTest : public shell_fixture {
 protected:
  const std::string seed_ = seed_builder()
                                .name("album")
                                .file({"a", "b.txt"}, 1)
                                .file({"c.txt"}, 2)
                                .file({"a", "d", "e.txt"}, 3)
                                .write(dir_, "album.torrent");
};

TEST_F(HubTest, EveryFileIsReportedInOrderWithItsFullPathsOnceAHubIsThere) {
  log_capture cap;
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed_)), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file deleted, p2p dll not exist"), 3);
  EXPECT_EQ(log_->lines("host.GetInstance(IP2p)").size(), 3u);  // one lookup per file
  EXPECT_EQ(shell_->NotifyHubBtMoved(text("/a/"), text(seed_), text("/b/")), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file moved, p2p dll not exist"), 3);

  // A hub that registers later is found by the next notice, and kept.
  fake_p2p_hub* hub = host_->register_hub();
  log_->clear();
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed_)), 0);
  EXPECT_EQ(shell_->NotifyHubBtMoved(text("/old/"), text(seed_), text("/new/")), 0);
  EXPECT_EQ(log_->lines("host.GetInstance(IP2p)").size(), 1u);
  EXPECT_EQ(hub->notices, (strings{"/dl/a/b.txt", "/dl/c.txt", "/dl/a/d/e.txt", "/old/a/b.txt -> /new/a/b.txt",
                                   "/old/c.txt -> /new/c.txt", "/old/a/d/e.txt -> /new/a/d/e.txt"}));
}

TEST_F(HubTest, BadArgumentsAndSeedsReportNothingAndUninitLetsTheHubGo) {
  fake_p2p_hub* hub = host_->register_hub();
  log_capture cap;
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text(""), text(seed_)), -11);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::ERROR_LOG_LEVEL, "notify_hub_bt_deleted parameter not legal"), 1);
  EXPECT_EQ(shell_->NotifyHubBtMoved(text("/a/"), text(seed_), text("")), -11);
  EXPECT_EQ(shell_->NotifyHubBtMoved(text("/a/"), text(dir_.write("bad.torrent", "x")), text("/b/")), -24);
  EXPECT_TRUE(hub->notices.empty());

  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed_)), 0);
  uninit();  // no host any more: nothing to reach
  cap.clear();
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed_)), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file deleted, p2p dll not exist"), 3);
  EXPECT_EQ(hub->notices.size(), 3u);
}

}  // namespace
