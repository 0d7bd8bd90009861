// The private copy of a module with its settings beside it, and the default
// paths of the build tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/btshell/module_location.h"
#include "host/btshell/staged_module.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(BtshellStagedModule, CopyWithIniBesideItGoesWithTheObjectAndAMissingModuleLeavesNothing) {
  bts_test::temp_dir dir;
  const std::string module = dir.write("libbt_shell.so", "module bytes");
  std::string folder, error;
  {
    btshell::staged_module staged;
    ASSERT_TRUE(staged.create(module, "bt_shell.ini", btshell::shell_ini_text({3, 14}), error)) << error;
    const fs::path copy = staged.path();
    EXPECT_EQ(copy.filename(), "libbt_shell.so");
    EXPECT_NE(copy.parent_path(), fs::path(dir.path()).parent_path());
    EXPECT_EQ(read_all(copy.string()), "module bytes");
    EXPECT_EQ(read_all((copy.parent_path() / "bt_shell.ini").string()), "[bt_kernel]\nversion=3.14\n");
    folder = copy.parent_path().string();
  }
  EXPECT_FALSE(fs::exists(folder));  // removed with everything in it
  EXPECT_TRUE(fs::exists(module));   // the original stays

  btshell::staged_module missing;
  EXPECT_FALSE(missing.create(dir.file("none.so"), "bt_shell.ini", "", error));
  EXPECT_NE(error.find("none.so"), std::string::npos) << error;
  EXPECT_EQ(missing.path(), "");
}

// --listen: the kernel's own settings, read as the kernel reads them, with the
// listen address replaced and everything else kept.
TEST(BtshellStagedModule, KernelSettingsWithAnotherListenAddress) {
  bts_test::temp_dir dir;
  const std::string ini = dir.write(
      "bt_kernel.ini", btshell::kernel_ini_text("[session]\nlisten_interfaces = 0.0.0.0:6881\ndht = 0", "127.0.0.2:0"));
  char value[64];
  GetPrivateProfileStringA("session", "listen_interfaces", "", value, sizeof value, ini.c_str());
  EXPECT_STREQ(value, "127.0.0.2:0");
  GetPrivateProfileStringA("session", "dht", "", value, sizeof value, ini.c_str());
  EXPECT_STREQ(value, "0");
}

TEST(BtshellModuleLocation, DefaultsAreAbsoluteAndNormalised) {
  // From a test binary only their form: the build's layout applied to this binary's folder.
  const std::string module = btshell::default_module_path(), modules = btshell::default_modules_dir(),
                    recording = btshell::default_modules_dir(btshell::kernel_module::recording);
  EXPECT_EQ(fs::path(module).filename(), "libbt_shell.so");
  EXPECT_NE(modules, recording);
  for (const std::string& path : {module, modules, recording}) {
    EXPECT_TRUE(fs::path(path).is_absolute()) << path;
    EXPECT_EQ(path.find("/./"), std::string::npos) << path;
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_NE(path.back(), '/') << path;
  }
}

}  // namespace
