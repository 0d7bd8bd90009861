// The private copy of a module with its settings beside it. (The default
// paths are those btshell's run test takes.)
#include <gtest/gtest.h>

#include <filesystem>

#include "host/btshell/staged_module.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(BtshellStagedModule, CopyWithIniBesideItGoesWithTheObjectAndAMissingModuleLeavesNothing) {
  bts_test::temp_dir dir;
  const std::string module = dir.write("libbt_shell.so", "module bytes");
  dir.write("libmp.so", "a library beside it");  // found by the module through $ORIGIN
  std::string folder, error;
  {
    btshell::staged_module staged;
    ASSERT_TRUE(staged.create(module, "bt_shell.ini", btshell::shell_ini_text({3, 14}), error)) << error;
    const fs::path copy = staged.path();
    EXPECT_EQ(copy.filename(), "libbt_shell.so");
    EXPECT_NE(copy.parent_path(), fs::path(dir.path()).parent_path());
    EXPECT_EQ(bts_test::read_file(copy.string()), "module bytes");
    EXPECT_EQ(bts_test::read_file((copy.parent_path() / "bt_shell.ini").string()), "[bt_kernel]\nversion=3.14\n");
    EXPECT_EQ(bts_test::read_file((copy.parent_path() / "libmp.so").string()), "a library beside it");
    folder = copy.parent_path().string();
  }
  EXPECT_FALSE(fs::exists(folder));  // removed with everything in it
  EXPECT_TRUE(fs::exists(module));   // the original stays

  btshell::staged_module missing;
  EXPECT_FALSE(missing.create(dir.file("none.so"), "bt_shell.ini", "", error));
  EXPECT_NE(error.find("none.so"), std::string::npos) << error;
  EXPECT_EQ(missing.path(), "");
}

}  // namespace
