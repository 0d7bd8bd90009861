// The daemon's tasks under its two threads at once (the RPC front's and the
// loop's), through the real plugin module and the recording kernel module,
// and the same tasks after a restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "host/btshell/host_session.h"
#include "host/btshell/kernel_link.h"
#include "host/daemon/task_host.h"
#include "support/temp_dir.h"

namespace {

using bts_test::temp_dir;

// A seed of one file; `n` makes its info hash its own.
std::string seed_bytes(int n) {
  const std::string name = "file" + std::to_string(n) + ".bin";
  return "d4:infod6:lengthi1000e4:name" + std::to_string(name.size()) + ":" + name +
         "12:piece lengthi16384e6:pieces20:" + std::string(20, 'p') + "ee";
}

class daemon_host_run {
 public:
  explicit daemon_host_run(const temp_dir& dir) : session_(session_settings()) {
    std::string error;
    EXPECT_TRUE(session_.open(error)) << error;
    session_.host().AttachEvents(kernel_.get());
    host_settings::settings s;
    s.state_dir = dir.file("state");
    s.download_dir = dir.file("data");
    tasks_ = std::make_unique<daemon_host::task_host>(session_, *kernel_.get(), s, "", "test");
    EXPECT_TRUE(tasks_->restore(error)) << error;
  }
  ~daemon_host_run() {
    tasks_->stop_all();
    tasks_.reset();
    session_.host().DetachEvents(kernel_.get());
    kernel_->close();
    session_.close();
  }
  daemon_host::task_host& tasks() { return *tasks_; }

  std::vector<std::pair<std::int64_t, std::string>> ids_and_names() {
    std::vector<rpc::torrent_view> views;
    std::vector<std::int64_t> removed;
    tasks_->list(rpc::id_selection{}, rpc::group_basic, views, removed);
    std::vector<std::pair<std::int64_t, std::string>> out;
    for (const auto& v : views) out.emplace_back(v.id, v.name);
    return out;
  }

 private:
  static btshell::session_settings session_settings() {
    btshell::session_settings s;
    s.module = BTS_SHELL_MODULE;
    s.modules_dir = BTS_RECORDING_KERNEL_DIR;
    return s;
  }

  btshell::host_session session_;
  com_ptr<btshell::kernel_link> kernel_ = btshell::kernel_link::create();
  std::unique_ptr<daemon_host::task_host> tasks_;
};

TEST(DaemonConcurrent, RpcCallsAndTheLoopShareTheTasksAndARestartKeepsThem) {
  temp_dir dir;
  std::vector<std::pair<std::int64_t, std::string>> before;
  {
    daemon_host_run run(dir);
    std::atomic<bool> done{false};
    std::thread loop([&] {
      while (!done) {
        run.tasks().tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    auto client = [&](int first) {
      for (int n = first; n < first + 15; ++n) {
        rpc::add_request add;
        add.metainfo = seed_bytes(n);
        add.paused = n % 2 == 0;
        const rpc::add_result added = run.tasks().add(add);
        EXPECT_TRUE(added.error.empty()) << added.error;
        rpc::id_selection one;
        one.all = false;
        one.ids = {added.id};
        rpc::torrent_changes limits;
        limits.upload_limit = 10 * n;
        limits.upload_limited = true;
        EXPECT_EQ(run.tasks().change(one, limits), "");
        run.tasks().act(n % 3 ? rpc::torrent_action::start : rpc::torrent_action::stop, one);
        std::vector<rpc::torrent_view> views;
        std::vector<std::int64_t> removed;
        run.tasks().list(rpc::id_selection{}, rpc::group_basic | rpc::group_files, views, removed);
        run.tasks().stats();
        if (n % 5 == 0) {
          EXPECT_EQ(run.tasks().remove(one, false), "");
        }
      }
    };
    std::thread a(client, 0), b(client, 100);
    a.join();
    b.join();
    // The same seed again is the same task.
    rpc::add_request again;
    again.metainfo = seed_bytes(1);
    EXPECT_TRUE(run.tasks().add(again).duplicate);
    done = true;
    loop.join();
    EXPECT_EQ(run.tasks().task_count(), 24u);  // 30 added, the six with n % 5 == 0 removed
    before = run.ids_and_names();
  }
  // A seed lost meanwhile costs its task, and nothing else.
  std::string lost = seed_bytes(1);
  for (auto& entry : std::filesystem::directory_iterator(dir.file("state/torrents")))
    if (bts_test::read_file(entry.path().string()) == lost) std::filesystem::remove(entry.path());
  before.erase(std::remove_if(before.begin(), before.end(), [](const auto& t) { return t.second == "file1.bin"; }),
               before.end());
  daemon_host_run restarted(dir);
  EXPECT_EQ(restarted.ids_and_names(), before);
  EXPECT_EQ(before.size(), 23u);
  rpc::add_request fresh;
  fresh.metainfo = seed_bytes(999);
  EXPECT_EQ(restarted.tasks().add(fresh).id, 31) << "ids are never reused";
}

}  // namespace
