// Registration through the real module's exported entry points, into the
// user's store that hosts read.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

#include "platform/registry.h"
#include "tests/integration/module_fixture.h"

namespace {

using ModuleTest = bts_test::module_fixture;

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
