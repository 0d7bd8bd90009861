#include <gtest/gtest.h>

#include "bt_shell/p2phub_notify.h"
#include "bt_shell/seed_files.h"
#include "host/download_lib/p2p_hub.h"
#include "support/log_capture.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using HubTest = bts_test::shell_fixture;

std::string three_file_seed(const bts_test::temp_dir& dir) {
  return bts_test::seed_builder()
      .name("album")
      .file({"a", "b.txt"}, 1)
      .file({"c.txt"}, 2)
      .file({"a", "d", "e.txt"}, 3)
      .write(dir, "album.torrent");
}

TEST_F(HubTest, DeletedFilesAreReportedInOrderWithTheirFullPaths) {
  const std::string seed = three_file_seed(dir_);
  p2p_hub* hub = host_->register_p2p_hub();
  EXPECT_EQ(notify_hub_bt_deleted("/dl/", seed), 0);
  const auto notices = hub->notices();
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[0].path, "/dl/a/b.txt");
  EXPECT_EQ(notices[1].path, "/dl/c.txt");
  EXPECT_EQ(notices[2].path, "/dl/a/d/e.txt");
  EXPECT_EQ(notices[0].kind, p2p_hub::notice::deleted);
}

TEST_F(HubTest, MovedFilesCarryBothPaths) {
  const std::string seed = bts_test::seed_builder().name("single.bin").single(9).write(dir_, "s.torrent");
  p2p_hub* hub = host_->register_p2p_hub();
  EXPECT_EQ(notify_hub_bt_moved("/old/", seed, "/new/"), 0);
  const auto notices = hub->notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].kind, p2p_hub::notice::moved);
  EXPECT_EQ(notices[0].path, "/old/single.bin");
  EXPECT_EQ(notices[0].new_path, "/new/single.bin");
}

TEST_F(HubTest, WithoutHubEveryFileIsWarnedAndTheLookupRetried) {
  const std::string seed = three_file_seed(dir_);
  bts_test::log_capture cap;
  EXPECT_EQ(notify_hub_bt_deleted("/dl/", seed), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file deleted, p2p dll not exist"), 3);
  EXPECT_EQ(host_->lookup_count(IID_IP2p), 3u);  // one lookup per file
  EXPECT_EQ(notify_hub_bt_moved("/a/", seed, "/b/"), 0);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::WARN_LOG_LEVEL, "notify p2p hub file moved, p2p dll not exist"), 3);
  // A hub that registers later is found by the next notice.
  p2p_hub* hub = host_->register_p2p_hub();
  EXPECT_EQ(notify_hub_bt_deleted("/dl/", seed), 0);
  EXPECT_EQ(hub->notices().size(), 3u);
}

TEST_F(HubTest, BadArgumentsAndSeedsReportNothing) {
  const std::string seed = three_file_seed(dir_);
  p2p_hub* hub = host_->register_p2p_hub();
  bts_test::log_capture cap;
  EXPECT_EQ(notify_hub_bt_deleted("", seed), -11);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::ERROR_LOG_LEVEL, "notify_hub_bt_deleted parameter not legal"), 1);
  EXPECT_EQ(notify_hub_bt_moved("/a/", seed, ""), -11);
  EXPECT_EQ(notify_hub_bt_deleted("/dl/", dir_.file("none.torrent")), -13);
  EXPECT_EQ(notify_hub_bt_moved("/a/", dir_.write("bad.torrent", "x"), "/b/"), -24);
  EXPECT_TRUE(hub->notices().empty());
}

TEST_F(HubTest, UninitDropsTheHubConnection) {
  const std::string seed = three_file_seed(dir_);
  host_->register_p2p_hub();
  ASSERT_NE(p2phub_notify::instance(), nullptr);
  plugin_->Uninit();
  EXPECT_EQ(p2phub_notify::instance(), nullptr);  // no host any more: nothing to reach
}

}  // namespace
