#include <gtest/gtest.h>

#include "bt_shell/p2phub_notify.h"
#include "bt_shell/seed_files.h"
#include "host/download_lib/p2p_hub.h"
#include "support/log_capture.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

class HubTest : public bts_test::shell_fixture {
 protected:
  const std::string seed_ = bts_test::seed_builder()
                                .name("album")
                                .file({"a", "b.txt"}, 1)
                                .file({"c.txt"}, 2)
                                .file({"a", "d", "e.txt"}, 3)
                                .write(dir_, "album.torrent");
};

TEST_F(HubTest, EveryFileIsReportedInOrderWithItsFullPathsOnceAHubIsThere) {
  bts_test::log_capture cap;
  EXPECT_EQ(notify_hub_bt_deleted("/dl/", seed_), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file deleted, p2p dll not exist"), 3);
  EXPECT_EQ(host_->lookup_count(IID_IP2p), 3u);  // one lookup per file
  EXPECT_EQ(notify_hub_bt_moved("/a/", seed_, "/b/"), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file moved, p2p dll not exist"), 3);

  // A hub that registers later is found by the next notice.
  p2p_hub* hub = host_->register_p2p_hub();
  EXPECT_EQ(notify_hub_bt_deleted("/dl/", seed_), 0);
  EXPECT_EQ(notify_hub_bt_moved("/old/", seed_, "/new/"), 0);
  const auto notices = hub->notices();  // the paths of each kind are checked through the module as well
  ASSERT_EQ(notices.size(), 6u);
  EXPECT_EQ(notices[2].kind, p2p_hub::notice::deleted);
  EXPECT_EQ(notices[2].path, "/dl/a/d/e.txt");
  EXPECT_EQ(notices[5].kind, p2p_hub::notice::moved);
  EXPECT_EQ(notices[5].path + " " + notices[5].new_path, "/old/a/d/e.txt /new/a/d/e.txt");
}

TEST_F(HubTest, BadArgumentsAndSeedsReportNothingAndUninitDropsTheHub) {
  p2p_hub* hub = host_->register_p2p_hub();
  bts_test::log_capture cap;
  EXPECT_EQ(notify_hub_bt_deleted("", seed_), -11);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::ERROR_LOG_LEVEL, "notify_hub_bt_deleted parameter not legal"), 1);
  EXPECT_EQ(notify_hub_bt_moved("/a/", seed_, ""), -11);
  EXPECT_EQ(notify_hub_bt_moved("/a/", dir_.write("bad.torrent", "x"), "/b/"), -24);
  EXPECT_TRUE(hub->notices().empty());

  ASSERT_NE(p2phub_notify::instance(), nullptr);
  plugin_->Uninit();
  EXPECT_EQ(p2phub_notify::instance(), nullptr);  // no host any more: nothing to reach
}

}  // namespace
