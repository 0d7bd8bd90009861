// The lazy kernel, end to end: the real module asks the host for the kernel
// module on first need, the host installs libbt_kernel.so, the kernel
// registers itself and the shell hands over to it.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

#include <vector>

#include "platform/registry.h"
#include "support/recording_sink.h"
#include "tests/integration/module_fixture.h"

namespace {

using ModuleTest = bts_test::module_fixture;

TEST_F(ModuleTest, KernelIsFetchedOnFirstNeedAndTakesOver) {
  load();
  EXPECT_EQ(host_->sink_count(), 1u);  // the shell listens to the registry
  std::vector<std::string> seen;
  com_ptr<recording_sink> first = recording_sink::create("first", &seen);
  com_ptr<recording_sink> second = recording_sink::create("second", &seen);
  ASSERT_EQ(shell_->AttachEvents(first.get()), S_OK);
  ASSERT_EQ(shell_->AttachEvents(second.get()), S_OK);

  // Nothing is asked of the kernel before it is needed.
  EXPECT_TRUE(host_->downloader()->requests().empty());
  EXPECT_EQ(shell_->CreateCfgFile(1, 2, 3, 4, 5, 6, 7, 8), E_FAIL);  // starts the fetch; still loading
  ASSERT_EQ(host_->downloader()->requests().size(), 1u);
  EXPECT_EQ(host_->downloader()->requests()[0].name, "bt_kernel");
  EXPECT_EQ(host_->downloader()->requests()[0].major, 1);  // from bt_shell.ini beside the module
  EXPECT_EQ(host_->downloader()->requests()[0].minor, 2);
  // (The host service's events around the fetch are in btshell's lazy-kernel run.)
  EXPECT_EQ(host_->downloader()->complete_pending(), 1u);

  kernel_probe kernel = kernel_of_host();
  ASSERT_TRUE(kernel.valid());
  EXPECT_EQ(kernel.sink_count(), 1u);  // the shell relays the kernel's events
  EXPECT_EQ(shell_->CreateCfgFile(1, 2, 3, 4, 5, 6, 7, 8), S_OK);
  EXPECT_EQ(kernel.journal("kernel.CreateCfgFile"), (std::vector<std::string>{"kernel.CreateCfgFile(1,2,3,4,5,6,7,8)"}));

  kernel.raise_kernel_event1(11);
  kernel.raise_kernel_event2(12, 13);
  EXPECT_EQ(seen, (std::vector<std::string>{"first.OnBitTorrentEvent1(11)", "second.OnBitTorrentEvent1(11)",
                                            "first.OnBitTorrentEvent2(12,13)", "second.OnBitTorrentEvent2(12,13)"}));

  ASSERT_EQ(shell_->DetachEvents(first.get()), S_OK);
  ASSERT_EQ(shell_->DetachEvents(second.get()), S_OK);
  first.reset();
  second.reset();
  EXPECT_EQ(loader_->unload(), S_OK);  // every object of the module is gone
  EXPECT_FALSE(loader_->module_open());
  EXPECT_FALSE(host_->is_registered(IID_IBitTorrent));
  EXPECT_EQ(host_->sink_count(), 0u);
  EXPECT_EQ(kernel.sink_count(), 0u);  // and the kernel no longer holds the shell
}

TEST_F(ModuleTest, RegistrationThroughTheExportedEntryPointsReachesTheUsersStore) {
  setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  void* handle = dlopen(dir_.file("module/libbt_shell.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr);
  auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
  auto unreg = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllUnregisterServer"));
  ASSERT_TRUE(reg && unreg);
  const std::string key = "CLSID\\{DD208EAA-E9AD-4BFC-A68C-5DFC57B12BAB}\\InprocServer32";
  std::string path;
  EXPECT_EQ(reg(), S_OK);
  // The host reads what the module wrote.
  ASSERT_TRUE(platform::registry_get_value(key, "", path));
  EXPECT_EQ(path, dir_.file("module/libbt_shell.so"));
  EXPECT_EQ(unreg(), S_OK);
  EXPECT_FALSE(platform::registry_get_value(key, "", path));
  dlclose(handle);
}

}  // namespace
