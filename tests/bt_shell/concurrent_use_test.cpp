// What a host may do from several threads at once: release proxy tasks
// while the kernel arrives, and use the module's class factory.
#include <gtest/gtest.h>

#include <atomic>

#include "bt_shell/ComModule.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "platform/module.h"
#include "support/run_together.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

constexpr int kThreads = 4;

// (Counting from several threads is tested with the counted base itself.)
class ConcurrentReferenceCountTest : public bts_test::shell_fixture {};

TEST_F(ConcurrentReferenceCountTest, ProxiesReleasedWhileTheKernelArrivesAreNeverCalledAfterTheirEnd) {
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
    bts_test::fake_kernel& kernel = register_kernel();
    // The last thread reports the kernel installed; the others release their proxies.
    bts_test::run_together(kThreads + 1, [&](int i) {
      if (i == kThreads) return host_->complete(0);
      for (com_ptr<IBtTask3>& proxy : held[static_cast<std::size_t>(i)]) proxy.reset();
    });

    EXPECT_EQ(shell_->loading_listener_count(), 0u);
    EXPECT_EQ(kernel.tasks_alive(), 0u);  // each real task went with its proxy
  }
}

TEST(ConcurrentModule, ClassFactoryServesSeveralThreadsAndTheLockCountComesBack) {
  const LONG locks = platform::module_lock_count();
  std::atomic<int> made{0};
  bts_test::run_together(kThreads, [&](int) {
    for (int k = 0; k < 200; ++k) {
      IClassFactory* factory = nullptr;
      ASSERT_EQ(module_get_class_object(CLSID_DownloadLibPlugin, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory)),
                S_OK);
      factory->LockServer(TRUE);
      EXPECT_EQ(module_can_unload_now(), S_FALSE);
      IDownloadLibPlugin* plugin = nullptr;
      if (factory->CreateInstance(nullptr, IID_IDownloadLibPlugin, reinterpret_cast<void**>(&plugin)) == S_OK) {
        made.fetch_add(1);
        plugin->Release();
      }
      factory->LockServer(FALSE);
      factory->Release();
    }
  });
  EXPECT_EQ(made.load(), kThreads * 200);
  EXPECT_EQ(platform::module_lock_count(), locks);
  EXPECT_EQ(module_can_unload_now(), locks == 0 ? S_OK : S_FALSE);
}

}  // namespace
