// Seed-file information, temporary files and hub notices through the real
// module, in the shell's first status (no kernel is ever asked for).
#include <gtest/gtest.h>

#include "host/download_lib/p2p_hub.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/integration/module_fixture.h"

namespace {

using SeedFilesThroughModule = bts_test::module_fixture;

tagSTRING tag(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.data()}; }

TEST_F(SeedFilesThroughModule, SeedInformationAndItsRelease) {
  load();
  const std::string seed = bts_test::seed_builder()
                               .name("album")
                               .file({"a", "b.txt"}, 3)
                               .file({"c.txt"}, 4)
                               .announce("http://tracker")
                               .write(dir_, "album.torrent");
  SEED_FILE_INFO* info = nullptr;
  ASSERT_EQ(shell_->ParseSeedFile(tag(seed), &info), 0);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(std::string(info->title, info->title_len), "album");
  ASSERT_EQ(info->file_count, 2u);
  EXPECT_EQ(std::string(info->files[0].path, info->files[0].path_len), "a/");
  EXPECT_EQ(info->tracker_count, 1u);
  EXPECT_EQ(shell_->ReleaseSeedFileInfo(info), 0);

  const std::string too_long = bts_test::seed_builder().name("t").single(1).announce(std::string(1025, 'h')).write(dir_, "long.torrent");
  info = reinterpret_cast<SEED_FILE_INFO*>(1);
  EXPECT_EQ(shell_->ParseSeedFile(tag(too_long), &info), -4);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(shell_->ParseSeedFile(tag(dir_.file("none.torrent")), &info), -13);
  EXPECT_TRUE(host_->downloader()->requests().empty());
}

TEST_F(SeedFilesThroughModule, TemporaryFilesAndTheirLists) {
  load();
  const std::string seed = bts_test::seed_builder().name("n").file({"x.bin"}, 1).file({"y.bin"}, 1).write(dir_, "n.torrent");
  const std::string data = dir_.make_dirs("data/");
  dir_.write("data/x.bin.bt.td", "partial");
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
}

TEST_F(SeedFilesThroughModule, HubHearsOfDeletedAndMovedFiles) {
  download_lib_options options;
  options.p2p_hub = true;
  load(true, options);
  const std::string seed = bts_test::seed_builder().name("n").file({"a", "x.bin"}, 1).file({"y.bin"}, 1).write(dir_, "n.torrent");
  EXPECT_EQ(shell_->NotifyHubBtDeleted(tag("/dl/"), tag(seed)), 0);
  EXPECT_EQ(shell_->NotifyHubBtMoved(tag("/old/"), tag(seed), tag("/new/")), 0);
  EXPECT_EQ(shell_->NotifyHubBtMoved(tag("/old/"), tag(seed), tag("")), -11);
  const auto notices = host_->hub()->notices();
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[0].path, "/dl/a/x.bin");
  EXPECT_EQ(notices[1].path, "/dl/y.bin");
  EXPECT_EQ(notices[2].path, "/old/a/x.bin");
  EXPECT_EQ(notices[2].new_path, "/new/a/x.bin");
}

}  // namespace
