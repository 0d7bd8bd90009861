#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace {

std::string read(const char* section, const char* key, const std::string& file, const char* def = "<default>") {
  char buffer[1024];
  const DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer, file.c_str());
  return std::string(buffer, n);
}

const std::string k_profile =
    "; comment\r\n"
    "version=0.1\n"
    "[BT_Kernel]\r\n"
    "Version = 1.0\r\n"
    "version=2.5\r\n"
    "quoted=\"  spaced  \"\n"
    "single='x'\n"
    "lone=\"\n"
    "empty=\n"
    "commented=7 ; why\n"
    "  indented=yes\n"
    "long=" + std::string(300, 'z') + "\n"
    "after_long=ok\n"
    "[other]\n"
    "=nameless\n"
    "version=9.9\n"
    "[bt_kernel]\n"
    "late=1\n";

TEST(GetPrivateProfileString, ReadsValuesWithWindowsRules) {
  bts_test::temp_dir dir;
  const std::string file = dir.write("bt_shell.ini", k_profile);
  struct { const char* section; const char* key; std::string expected; } cases[] = {
      {"bt_kernel", "version", "1.0"},  // case-insensitive names, first match wins, value kept exactly
      {"BT_KERNEL", "VERSION", "1.0"},
      {"other", "version", "9.9"},
      {"bt_kernel", "quoted", "  spaced  "},
      {"bt_kernel", "single", "x"},
      {"bt_kernel", "lone", "\""},
      {"bt_kernel", "empty", ""},  // present but empty: not the default
      {"bt_kernel", "commented", "7"},
      {"bt_kernel", "indented", "yes"},
      {"bt_kernel", "long", "<default>"},  // too long to read: skipped whole
      {"bt_kernel", "after_long", "ok"},
      {"bt_kernel", "late", "1"},  // a section that appears twice
      {"bt_kernel", "missing", "<default>"},
      {"missing", "version", "<default>"},
      {nullptr, nullptr, std::string("BT_Kernel\0other\0", 16)},  // the sections, each once
      {"OTHER", nullptr, std::string("version\0", 8)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, read(c.section, c.key, file)) << (c.section ? c.section : "") << "/" << (c.key ? c.key : "");
  }
  // A list too small: the last name is cut and the list still ends in two NULs.
  char buffer[8];
  EXPECT_EQ(6u, GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str()));
  EXPECT_EQ(std::string("BT_Ker\0\0", 8), std::string(buffer, 8));
}

TEST(GetPrivateProfileString, DefaultsAndTruncationToTheBuffer) {
  bts_test::temp_dir dir;
  EXPECT_EQ("1.2", read("bt_kernel", "version", dir.file("none.ini"), "1.2  "));  // a missing file
  EXPECT_EQ("", read("bt_kernel", "version", dir.file("none.ini"), nullptr));
  const std::string file = dir.write("t.ini", "[s]\nk=abcdef\n");
  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(3u, GetPrivateProfileStringA("s", "k", "", buffer, 4, file.c_str()));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ('#', buffer[4]);
  EXPECT_EQ(0u, GetPrivateProfileStringA("s", "k", "", buffer, 1, file.c_str()));
  EXPECT_EQ('\0', buffer[0]);
}

}  // namespace
