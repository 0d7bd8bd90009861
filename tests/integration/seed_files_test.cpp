// Seed-file information, temporary files and hub notices through the real
// module, in the shell's first status (no kernel is ever asked for).
#include <gtest/gtest.h>

#include "host/download_lib/p2p_hub.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/integration/module_fixture.h"

namespace {

using SeedFilesThroughModule = bts_test::module_fixture;

tagSTRING tag(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.data()}; }

// Each seed service and its release, answered by the module itself.
TEST_F(SeedFilesThroughModule, EveryServiceAndItsRelease) {
  download_lib_options options;
  options.p2p_hub = true;
  load(true, options);
  const std::string seed =
      bts_test::seed_builder().name("n").file({"a", "x.bin"}, 3).file({"y.bin"}, 4).announce("http://t").write(dir_, "n.torrent");
  SEED_FILE_INFO* info = nullptr;
  ASSERT_EQ(shell_->ParseSeedFile(tag(seed), &info), 0);
  EXPECT_EQ(std::string(info->title, info->title_len), "n");
  ASSERT_EQ(info->file_count, 2u);
  EXPECT_EQ(std::string(info->files[0].path, info->files[0].path_len), "a/");
  EXPECT_EQ(info->tracker_count, 1u);
  EXPECT_EQ(shell_->ReleaseSeedFileInfo(info), 0);

  const std::string data = dir_.make_dirs("data/");
  dir_.make_dirs("data/a");
  dir_.write("data/a/x.bin.bt.td", "partial");
  dir_.write("data/n.torrent", "copy");
  EXPECT_EQ(shell_->IsTempFileExist(tag(""), tag(seed)), 1);
  DATA_FILE_LIST* list = nullptr;
  ASSERT_EQ(shell_->GetDataFileList(tag(data), tag(seed), &list), 0);
  ASSERT_EQ(list->count, 2u);
  EXPECT_EQ(std::string(list->items[0].name, list->items[0].name_len), "x.bin.bt.td");
  EXPECT_EQ(std::string(list->items[1].name, list->items[1].name_len), "n.torrent");
  EXPECT_EQ(shell_->ReleaseDataFileList(list), 0);
  ASSERT_EQ(shell_->GetCfgFileList(tag(seed), &list), 0);
  EXPECT_EQ(list->count, 0u);
  EXPECT_EQ(shell_->ReleaseDataFileList(list), 0);

  EXPECT_EQ(shell_->NotifyHubBtDeleted(tag("/dl/"), tag(seed)), 0);
  EXPECT_EQ(shell_->NotifyHubBtMoved(tag("/old/"), tag(seed), tag("/new/")), 0);
  EXPECT_EQ(shell_->NotifyHubBtMoved(tag("/old/"), tag(seed), tag("")), -11);
  const auto notices = host_->hub()->notices();
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[1].path, "/dl/y.bin");
  EXPECT_EQ(notices[2].path + " " + notices[2].new_path, "/old/a/x.bin /new/a/x.bin");
  EXPECT_TRUE(host_->downloader()->requests().empty());
}

}  // namespace
