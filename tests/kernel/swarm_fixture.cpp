#include "tests/kernel/swarm_fixture.h"

#include <libtorrent/create_torrent.hpp>

#include <cstring>
#include <filesystem>
#include <random>

namespace bts_test {

const char kLoopbackSettings[] =
    "[session]\n"
    "listen_interfaces = 127.0.0.1:0\n"
    "dht = 0\n"
    "local_peer_discovery = 0\n"
    "upnp = 0\n"
    "natpmp = 0\n"
    "utp = 0\n"
    "[resume]\n"
    "save_interval = 0\n";

tagTASK_INFO task_info(IBtTask* task) {
  tagTASK_INFO info{};
  EXPECT_EQ(task->GetTaskInfo(&info), S_OK);
  return info;
}

void swarm_fixture::TearDown() {
  if (seeder_task_) seeder_task_->StopTask();
  seeder_task_.reset();
  seeder_.reset();
  module_fixture::TearDown();
}

void swarm_fixture::generate(const std::vector<generated_file>& files, bool hybrid) {
  namespace fs = std::filesystem;
  files_ = files;
  // The torrent is named "content": its files sit in content/ when it is
  // made, and directly in the data folder when a kernel stores them.
  const std::string root = dir_.file("make/");
  std::mt19937 random(7);
  for (const generated_file& file : files) {
    fs::create_directories(fs::path(root + "content/" + file.path).parent_path());
    std::string bytes(file.size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    dir_.write("make/content/" + file.path, bytes);
    fs::create_directories(fs::path(seeder_data() + file.path).parent_path());
    dir_.write("seeder/" + file.path, bytes);
  }
  lt::file_storage storage;
  lt::add_files(storage, root + "content");
  lt::create_torrent maker(storage, 64 * 1024, hybrid ? lt::create_flags_t{} : lt::create_torrent::v1_only);
  lt::set_piece_hashes(maker, root);
  const lt::file_storage& made = maker.files();
  for (const lt::file_index_t i : made.file_range()) {
    const std::string path = made.file_path(i).substr(std::strlen("content/"));
    for (generated_file& file : files_)
      if (file.path == path) file.index = static_cast<ULONG>(static_cast<int>(i));
  }
  const std::vector<char> seed = maker.generate_buf();
  dir_.make_dirs("seeds");
  dir_.write("seeds/content.torrent", std::string(seed.begin(), seed.end()));
  // The seeder's own copy: a seed's folder holds the state and the lock of
  // one task, as on two machines.
  dir_.make_dirs("seeder-seed");
  dir_.write("seeder-seed/content.torrent", std::string(seed.begin(), seed.end()));
}

void swarm_fixture::start_seeder() {
  seeder_ = torrent_kernel::create(read_kernel_settings(dir_.write("seeder.ini", kLoopbackSettings)));
  const std::string seed = dir_.file("seeder-seed/content.torrent");
  const std::string data = seeder_data();
  com_ptr<IBtTask> task;
  ASSERT_EQ(seeder_->CreateUploadTask(to_tag_string(seed), to_tag_string(data), 0, nullptr, 0, nullptr,
                                      task.put()),
            S_OK);
  ASSERT_EQ(task->StartTask(), S_OK);
  seeder_task_ = task;
  ASSERT_TRUE(wait_for_status(task.get(), bt_task_seeding)) << task_info(task.get()).task_status;
  ASSERT_NE(seeder_->listen_port(), 0);
}

void swarm_fixture::load_host() {
  load();
  dir_.write("modules/bt_kernel.ini", kLoopbackSettings);
}

com_ptr<IBtTask> swarm_fixture::download_through_shell() {
  const std::string seed = seed_path();
  const std::string data = leecher_data();
  const std::string peer = "peer://127.0.0.1:" + std::to_string(seeder_->listen_port());
  SEED_TRACKER_ITEM item{};
  item.url_len = static_cast<ULONG>(peer.size());
  std::memcpy(item.url, peer.data(), peer.size());
  com_ptr<IBtTask> task;
  EXPECT_EQ(shell_->CreateNewTask(to_tag_string(seed), to_tag_string(data), 0, nullptr, 1, &item, task.put()), S_OK);
  return task;
}

bool swarm_fixture::wait_for_status(IBtTask* task, ULONG status) {
  return wait_until([&] { return task_info(task).task_status == status; });
}

}  // namespace bts_test
