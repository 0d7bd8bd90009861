// What a host may do from several threads at once: count references on the
// shell and on proxy tasks, and use the module's class factory.
#include <gtest/gtest.h>

#include <atomic>

#include "bt_shell/ComModule.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "interfaces/IVirtualTask.h"
#include "platform/module.h"
#include "support/run_together.h"
#include "tests/bt_shell/task_fixture.h"

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

class ConcurrentReferenceCountTest : public bts_test::task_fixture {};

TEST_F(ConcurrentReferenceCountTest, ShellAndProxiesCountedFromSeveralThreads) {
  const LONG locks = platform::module_lock_count();
  IBitTorrent2* shell = shell_;
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
