#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/winerror.h"
#include "support/temp_dir.h"

namespace {

// Every name a lookup reports, in order; the last error when it finds none.
std::vector<std::string> find_all(const std::string& pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do {
    names.emplace_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
  EXPECT_TRUE(FindClose(search));
  return names;
}

using names = std::vector<std::string>;

TEST(FindFirstFile, PatternsMatchTheLastComponentOnly) {
  bts_test::temp_dir dir;
  dir.write("b.bt.cfg", std::string(5000, 'x'));
  dir.write("a.bt.cfg", "");
  dir.write("a.bt.dat", "");
  dir.write("noext", "");
  dir.write(".hidden.cfg", "");
  dir.make_dirs("sub.cfg");
  dir.make_dirs("empty");
  struct {
    std::string pattern;
    names expected;
    DWORD error;  // when nothing is found
  } cases[] = {
      {"*.cfg", {".hidden.cfg", "a.bt.cfg", "b.bt.cfg", "sub.cfg"}, 0},
      {"?.bt.*", {"a.bt.cfg", "a.bt.dat", "b.bt.cfg"}, 0},
      {"*.*", {".hidden.cfg", "a.bt.cfg", "a.bt.dat", "b.bt.cfg", "empty", "noext", "sub.cfg"}, 0},
      {"no*", {"noext"}, 0},
      {"a.bt.cfg", {"a.bt.cfg"}, 0},
      {"empty/", {"empty"}, 0},
      {"*.CFG", {}, ERROR_FILE_NOT_FOUND},
      {"empty/*", {}, ERROR_FILE_NOT_FOUND},  // "." and ".." are never reported
      {"missing", {}, ERROR_FILE_NOT_FOUND},
      {"nofolder/*.cfg", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    DWORD error = 0;
    EXPECT_EQ(c.expected, find_all(dir.file(c.pattern), &error)) << c.pattern;
    EXPECT_EQ(c.error, error) << c.pattern;
  }
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(dir.file("b*").c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_EQ(5000u, data.nFileSizeLow);
  EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, data.dwFileAttributes);
  EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
  FindClose(search);
  // A handle that is no search is refused, not followed.
  int not_a_search = 0;
  EXPECT_FALSE(FindClose(&not_a_search));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(FileCalls, AttributesHandlesAndCopies) {
  bts_test::temp_dir dir;
  const std::string ro = dir.write("ro", ""), a = dir.write("a", "AAA");
  ::chmod(ro.c_str(), 0444);
  dir.write(".dot", "");
  EXPECT_EQ(FILE_ATTRIBUTE_READONLY, GetFileAttributesA(ro.c_str()));
  EXPECT_EQ(FILE_ATTRIBUTE_HIDDEN, GetFileAttributesA(dir.file(".dot").c_str()));
  EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(dir.path().c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.file("missing").c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

  // Copying a file onto itself keeps the data.
  EXPECT_FALSE(CopyFileA(a.c_str(), a.c_str(), FALSE));
  struct stat st {};
  ASSERT_EQ(0, ::stat(a.c_str(), &st));
  EXPECT_EQ(3, st.st_size);

  // Folders are not opened; null and invalid handles are no descriptors.
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(dir.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ(-1, platform::fd_from_handle(nullptr));
  EXPECT_EQ(-1, platform::fd_from_handle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(0, platform::fd_from_handle(platform::handle_from_fd(0)));
  DWORD n = 1;
  EXPECT_FALSE(WriteFile(nullptr, "x", 1, &n, nullptr));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_EQ(0u, n);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

}  // namespace
