#include <gtest/gtest.h>

#include <filesystem>

#include "bencode/QTorrentFileParser.h"
#include "bt_shell/seed_files.h"
#include "common/utility.h"
#include "support/temp_dir.h"
#include "tests/bt_shell/seed_builder.h"

namespace {

using bts_test::seed_builder;
using bts_test::temp_dir;

std::string hex_of(const std::string& seed_path) {
  CQTorrentFileParser parser;
  EXPECT_TRUE(parser.loadFile(seed_path));
  BYTE hash[20];
  parser.getInfoSHA1(hash);
  return info_hash_hex(hash);
}

using listed = std::pair<std::string, std::string>;  // folder, name

std::vector<listed> entries(const DATA_FILE_LIST* list) {
  std::vector<listed> out;
  for (ULONG i = 0; i < list->count; ++i)
    out.emplace_back(std::string(list->items[i].folder, list->items[i].folder_len),
                     std::string(list->items[i].name, list->items[i].name_len));
  return out;
}

struct list_holder {
  DATA_FILE_LIST* list = nullptr;
  ~list_holder() { release_data_file_list(list); }
};

TEST(TempFiles, ConfigurationFileTestAndList) {
  temp_dir dir;
  const std::string seed = seed_builder().name("n").single(3).write(dir, "x.torrent");
  const std::string hex = hex_of(seed);
  dir.write(hex + ".bt.cfg", "");  // exists, but empty
  dir.write(hex + ".bt.dat", "data");
  EXPECT_EQ(is_bt_tempfile_exist("", seed), 1);
  list_holder both;
  ASSERT_EQ(get_bt_cfg_file_list(seed, &both.list), 0);
  EXPECT_EQ(entries(both.list),
            (std::vector<listed>{{dir.path(), hex + ".bt.cfg"}, {dir.path(), hex + ".bt.dat"}}));

  dir.write(hex + ".bt.cfg", "cfg");
  EXPECT_EQ(is_bt_tempfile_exist("", seed), 0);

  DATA_FILE_LIST* none = reinterpret_cast<DATA_FILE_LIST*>(1);
  EXPECT_EQ(get_bt_cfg_file_list(dir.file("none.torrent"), &none), -13);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(get_bt_cfg_file_list(dir.write("bad.torrent", "not bencode"), &none), -24);
  EXPECT_EQ(is_bt_tempfile_exist("", dir.file("none.torrent")), 1);
  // A seed the naming rule refuses has no temporary files, whatever is on disk.
  const std::string refused = seed_builder().name("n").file({"x"}, 1).file({"x.bt.td"}, 1).write(dir, "r.torrent");
  dir.write(hex_of(refused) + ".bt.cfg", "cfg");
  EXPECT_EQ(is_bt_tempfile_exist("", refused), 1);
  EXPECT_EQ(get_bt_cfg_file_list(refused, &none), -24);
}

// A seed without a folder is read from the current directory (its
// configuration file is listed there by btshell's temp-files run).
TEST(TempFiles, SeedWithoutFolderNeverListsTheDataFolder) {
  temp_dir dir;
  seed_builder().name("n").single(3).write(dir, "bare.torrent");
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  // The seed copy's name is empty: the data folder itself is never listed.
  list_holder h;
  EXPECT_EQ(get_bt_data_file_list(dir.path(), "bare.torrent", &h.list), 0);
  EXPECT_EQ(h.list->count, 0u);
  std::filesystem::current_path(saved);
}

TEST(TempFiles, FolderOfExactly256BytesIsListedOneMoreFailsTheCall) {
  for (std::size_t length : {256u, 257u}) {
    temp_dir dir;
    const std::string seed = seed_builder().name("t").file({"sub", "f.txt"}, 1).write(dir, "s.torrent");
    // data folder + "sub/" must come to `length` bytes.
    const std::string pad(length - dir.path().size() - 1 - 4, 'd');
    const std::string data = dir.make_dirs(pad + "/");
    dir.make_dirs(pad + "/sub");
    dir.write(pad + "/sub/f.txt", "x");
    ASSERT_EQ((data + "sub/").size(), length);
    DATA_FILE_LIST* list = reinterpret_cast<DATA_FILE_LIST*>(1);
    EXPECT_EQ(get_bt_data_file_list(data, seed, &list), length == 256 ? 0 : -4);
    ASSERT_EQ(list == nullptr, length == 257);
    EXPECT_EQ(list ? list->count : 1u, 1u);
    release_data_file_list(list);
  }
}

}  // namespace
