#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace {

using platform::registry_keys;

// Points the store at a file of its own while it lives.
class store_at {
 public:
  explicit store_at(const std::string& file) { platform::registry_set_store_file(file); }
  ~store_at() { platform::registry_set_store_file(""); }
};

bool set_value(const std::string& key, const std::string& name, const std::string& value, std::string& error) {
  return platform::registry_update([&](registry_keys& keys) { keys[key][name] = value; }, error);
}

// Several processes change the store at once: none loses another's keys.
TEST(RegistryStore, ConcurrentWritersKeepEveryKey) {
  bts_test::temp_dir dir;
  const store_at store(dir.file("cfg/registry"));
  constexpr int kProcesses = 4;
  constexpr int kKeysEach = 25;
  pid_t children[kProcesses];
  for (int p = 0; p < kProcesses; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      std::string error;
      bool ok = true;
      for (int k = 0; k < kKeysEach; ++k)
        ok = set_value("K\\" + std::to_string(p) + "\\" + std::to_string(k), "", "v", error) && ok;
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::string value;
  for (int p = 0; p < kProcesses; ++p)
    for (int k = 0; k < kKeysEach; ++k)
      EXPECT_TRUE(platform::registry_get_value("K\\" + std::to_string(p) + "\\" + std::to_string(k), "", value))
          << p << " " << k;
  // Only the store and its lock file remain: no temporary file is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("cfg")), {}), 2);
}

TEST(RegistryStore, TreesGoWholeAndValuesKeepTheirTabs) {
  bts_test::temp_dir dir;
  const store_at store(dir.file("registry"));
  std::string error, value;
  ASSERT_TRUE(platform::registry_update(
      [](registry_keys& keys) {
        keys["A"][""] = "top";
        keys["A\\B"]["n"] = "with\ttab";
        keys["AB"][""] = "sibling";
      },
      error))
      << error;
  ASSERT_TRUE(platform::registry_get_value("A\\B", "n", value));
  EXPECT_EQ(value, "with\ttab");
  EXPECT_FALSE(platform::registry_get_value("A\\B", "", value));
  ASSERT_TRUE(platform::registry_update([](registry_keys& keys) { platform::registry_delete_tree(keys, "A"); }, error));
  EXPECT_FALSE(platform::registry_get_value("A", "", value));
  EXPECT_FALSE(platform::registry_get_value("A\\B", "n", value));
  EXPECT_TRUE(platform::registry_get_value("AB", "", value));
}

// Every failure is reported, with its cause, and leaves the store as it was.
TEST(RegistryStore, FailuresAreReportedAndChangeNothing) {
  bts_test::temp_dir dir;
  dir.write("a_file", "");
  dir.make_dirs("a_folder/registry");
  const std::string good = dir.write("registry", "K\t\tkept\n");
  const struct {
    const char* what;
    std::optional<std::string> file;  // none: the user's store, with no home
    std::string key, value, error;
  } cases[] = {
      {"no home", std::nullopt, "K", "v", "no store: neither XDG_CONFIG_HOME nor HOME is set"},
      {"folder cannot be made", dir.file("a_file/registry"), "K", "v", "cannot create " + dir.file("a_file")},
      {"store cannot be read", dir.file("a_folder/registry"), "K", "v", "cannot read " + dir.file("a_folder/registry")},
      {"line break in a value", good, "K", "a\nb", "cannot store a tab or line break in key K"},
      {"tab in a key", good, "K\tX", "v", "cannot store a tab or line break in key K\tX"},
  };
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  const std::string config = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.file) {
      unsetenv("XDG_CONFIG_HOME");
      unsetenv("HOME");
    }
    const store_at store(c.file.value_or(""));
    std::string error;
    EXPECT_FALSE(set_value(c.key, "", c.value, error));
    EXPECT_EQ(error.compare(0, c.error.size(), c.error), 0) << error;
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    if (!config.empty()) setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  }
  EXPECT_EQ(bts_test::read_file(good), "K\t\tkept\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);  // a_file, a_folder, registry, lock
}

}  // namespace
