// Reference counting from any thread: proxies released by the host on other
// threads while the kernel's arrival is handed over to them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/bt_shell/task_fixture.h"

namespace {

using ConcurrentHandOver = bts_test::task_fixture;

TEST_F(ConcurrentHandOver, ProxiesReleasedWhileTheKernelArrivesAreNeverCalledAfterTheirEnd) {
  constexpr int kRounds = 10, kThreads = 3, kProxiesPerThread = 20;
  for (int round = 0; round < kRounds; ++round) {
    stop();
    start();
    std::vector<std::vector<com_ptr<IBtTask3>>> held(kThreads);
    for (auto& proxies : held) {
      for (int i = 0; i < kProxiesPerThread; ++i) {
        proxies.push_back(make_proxy());
        proxies.back()->StartTask();
      }
    }
    kernel_probe kernel = register_kernel();
    std::atomic<bool> go{false};
    std::vector<std::thread> releasers;
    for (auto& proxies : held) {
      releasers.emplace_back([&go, &proxies] {
        while (!go) std::this_thread::yield();
        for (com_ptr<IBtTask3>& proxy : proxies) proxy.reset();
      });
    }
    go = true;
    complete_kernel_download(0);
    for (std::thread& releaser : releasers) releaser.join();

    EXPECT_EQ(shell_->loading_listener_count(), 0u);
    EXPECT_EQ(kernel.tasks_alive(), 0u);  // each real task went with its proxy
  }
}

}  // namespace
