// What a host may do from several threads at once: count references on the
// shell and on proxy tasks (also while the kernel arrives), and use the
// module's class factory.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "bt_shell/ComModule.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "interfaces/IVirtualTask.h"
#include "platform/module.h"
#include "support/run_together.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

constexpr int kThreads = 4;

// AddRef and Release through each interface of `object`, the extra
// references taken by QueryInterface included.
template <class Interface>
void count_through(Interface* object, REFIID other) {
  for (int k = 0; k < 500; ++k) {
    object->AddRef();
    IUnknown* extra = nullptr;
    if (SUCCEEDED(object->QueryInterface(other, reinterpret_cast<void**>(&extra)))) extra->Release();
    object->Release();
  }
}

class ConcurrentReferenceCountTest : public bts_test::shell_fixture {};

TEST_F(ConcurrentReferenceCountTest, ShellAndProxiesCountedFromSeveralThreads) {
  const LONG locks = platform::module_lock_count();
  IBitTorrent2* shell = shell_.get();
  const ULONG held = shell->AddRef();
  bts_test::run_together(kThreads, [&](int) { count_through(shell, IID_IBitTorrentTest); });
  EXPECT_EQ(shell->Release(), held - 1);

  // Each proxy's last reference goes on whichever thread lets go last.
  for (int round = 0; round < 20; ++round) {
    IBtTask3* proxy = make_proxy().detach();
    ASSERT_EQ(shell_->loading_listener_count(), 1u);
    for (int i = 1; i < kThreads; ++i) proxy->AddRef();  // one reference per thread
    bts_test::run_together(kThreads, [&](int) {
      count_through(proxy, IID_IVirtualTask);
      proxy->Release();
    });
    ASSERT_EQ(shell_->loading_listener_count(), 0u) << "the proxy was not destroyed";
  }
  EXPECT_EQ(platform::module_lock_count(), locks);
}

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
    std::atomic<bool> go{false};
    std::vector<std::thread> releasers;
    for (auto& proxies : held) {
      releasers.emplace_back([&go, &proxies] {
        while (!go) std::this_thread::yield();
        for (com_ptr<IBtTask3>& proxy : proxies) proxy.reset();
      });
    }
    go = true;
    host_->downloader->complete(0);
    for (std::thread& releaser : releasers) releaser.join();

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
