#include "common/file_ex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>

#include "support/temp_dir.h"

namespace {

// The text of the file_exception that `action` raises ("" when none).
template <typename F>
std::string raised(F action) {
  try {
    action();
  } catch (const file_exception& e) {
    return e.what();
  }
  return "";
}

TEST(PathHelpers, ExistsSizeDirectoriesCopyRenameRemove) {
  bts_test::temp_dir dir;
  EXPECT_FALSE(create_directory(dir.file("seeds/sub")));  // one level only
  ASSERT_TRUE(create_directory(dir.file("seeds")));
  EXPECT_FALSE(create_directory(dir.file("seeds")));
  EXPECT_TRUE(create_directory(dir.file("seeds/sub")));
  EXPECT_FALSE(any_entry_matches(dir.file("seeds/*.cfg")));
  dir.write("seeds/0123.bt.cfg", "");
  EXPECT_TRUE(any_entry_matches(dir.file("seeds/*.cfg")));
  EXPECT_TRUE(any_entry_matches(dir.file("seeds")));
  EXPECT_FALSE(any_entry_matches(dir.file("seeds/none")));
  EXPECT_TRUE(is_directory(dir.file("seeds")));
  EXPECT_FALSE(is_directory(dir.file("seeds/0123.bt.cfg")));
  EXPECT_FALSE(is_directory(dir.file("missing")));

  const std::string big = dir.file("big");
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  constexpr LONGLONG five_gib = 5LL << 30;
  ASSERT_EQ(0, ::ftruncate(fd, five_gib));  // sparse: no disk space used
  ::close(fd);
  EXPECT_EQ(five_gib, file_size(big));
  EXPECT_EQ(0, file_size(dir.file("seeds/0123.bt.cfg")));
  EXPECT_EQ(-1, file_size(dir.file("missing")));
  EXPECT_EQ(0, file_size(dir.file("seeds")));

  // Copy, rename and remove (which the module never calls) raise with their texts.
  const std::string a = dir.write("a", "AAA"), b = dir.write("b", "B");
  copy_file(a, b, false);  // never overwrites unasked
  EXPECT_EQ(1, file_size(b));
  const std::pair<std::function<void()>, std::string> failures[] = {
      {[&] { copy_file(dir.file("x"), b, true); },
       "copy file error, source name is: " + dir.file("x") + " dest name is: " + b + ", error code: 2"},
      {[&] { rename_file(a, b); }, "rename file error, old name is: " + a + " new name is: " + b + ", error code: 183"},
      {[&] { remove_file(dir.file("x")); }, "remove file error, error code: 2"},
  };
  for (const auto& [call, text] : failures) EXPECT_EQ(text, raised(call));
}

// The seed parser opens read-only and reads what is there; the writes make
// the file and show the handle's access.
TEST(FileEx, ReadWhatIsThereAndRefuseWhatTheHandleMayNotDo) {
  bts_test::temp_dir dir;
  const std::string path = dir.file("f");
  {
    file_ex f(path, file_ex::create_new);
    f.write("0123", 4);
    f.seek(1);
    char buf[8] = {};
    EXPECT_EQ(3u, f.read_some(buf, sizeof buf));
    EXPECT_EQ("123", std::string(buf, 3));
    f.seek(0);
    EXPECT_EQ("while read file, only success read part data, error code: 38", raised([&] { f.read(buf, 5); }));
  }
  EXPECT_EQ("open file:" + path + " error , error code: 80", raised([&] { file_ex f(path, file_ex::create_new); }));
  EXPECT_EQ("open file:" + dir.file("none") + " error , error code: 2",
            raised([&] { file_ex f(dir.file("none"), 42); }));  // unknown modes open existing files only

  file_ex reader(path, file_ex::read_only);
  EXPECT_EQ("write file error, error code: 5", raised([&] { reader.write("x", 1); }));
  EXPECT_EQ("set file pos error, error code: 131", raised([&] { reader.seek(-1); }));
}

}  // namespace
