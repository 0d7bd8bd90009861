// btshell's command line and the texts of its report.
#include <gtest/gtest.h>

#include "host/btshell/command_line.h"
#include "host/btshell/commands.h"
#include "host/btshell/printers.h"

namespace {

using btshell::parse_command_line;

TEST(BtshellCommandLine, OptionsAnywhereWithBothValueFormsAndKernelVersions) {
  const auto parsed = parse_command_line(
      {"--module=/m/libbt_shell.so", "notify-moved", "old", "-v", "--modules-dir", "/mods", "s.torrent", "new"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.line.command, "notify-moved");
  EXPECT_EQ(parsed.line.arguments, (std::vector<std::string>{"old", "s.torrent", "new"}));
  EXPECT_EQ(parsed.line.module, "/m/libbt_shell.so");
  EXPECT_EQ(parsed.line.modules_dir, "/mods");
  EXPECT_TRUE(parsed.line.verbose);

  // After "--" a word that looks like an option is an argument.
  const auto dashed = parse_command_line({"inspect", "--", "-odd.torrent"});
  ASSERT_EQ(dashed.error, "");
  EXPECT_EQ(dashed.line.arguments, (std::vector<std::string>{"-odd.torrent"}));
  // A lone "-" is an argument too.
  EXPECT_EQ(parse_command_line({"inspect", "-"}).line.arguments, (std::vector<std::string>{"-"}));

  // Kernel versions; the two-word option reaches the request in btshell's run test.
  const auto widest = btshell::parse_kernel_version("65535.0");
  ASSERT_TRUE(widest.has_value());
  EXPECT_EQ(widest->major, 65535);
  for (const char* bad : {"1", "1.", ".2", "1.2.3", "a.b", "1.-2", "65536.0", " 1.2", "1.2x", ""})
    EXPECT_FALSE(btshell::parse_kernel_version(bad).has_value()) << bad;
  EXPECT_NE(parse_command_line({"--kernel-version=1", "help"}).error, "");
}

TEST(BtshellCommandLine, RefusalsNameWhatIsWrongHelpAndNothingAreNot) {
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"--color", "help"}, "unknown option --color"},
      {{"inspect"}, "inspect takes SEED (0 given)"},
      {{"temp-files", "a", "b", "c"}, "temp-files takes SEED DATA_FOLDER (3 given)"},
      {{"help", "me"}, "help takes no arguments (1 given)"},
      {{"inspect", "s", "--module"}, "--module needs a value"},
      {{"--log-config=", "help"}, "--log-config needs a value"},
  };
  for (const auto& [words, error] : refusals) EXPECT_EQ(parse_command_line(words).error, error);
  EXPECT_NE(parse_command_line({"-v", "--log-config", "f", "help"}).error, "");

  EXPECT_TRUE(parse_command_line({"help"}).line.help);
  EXPECT_TRUE(parse_command_line({"inspect", "-h"}).line.help);
  const auto nothing = parse_command_line({});
  EXPECT_EQ(nothing.error + nothing.line.command, "");
  EXPECT_FALSE(nothing.line.help);
  // Every command is in the usage text.
  for (const char* name : {"inspect SEED", "temp-files SEED DATA_FOLDER", "notify-deleted DATA_FOLDER SEED",
                           "notify-moved OLD_FOLDER SEED NEW_FOLDER", "lazy-kernel SEED DATA_FOLDER"})
    EXPECT_NE(btshell::usage_text().find(name), std::string::npos) << name;
}

TEST(BtshellTexts, ResultsSizesHashesFolders) {
  const std::pair<HRESULT, const char*> results[] = {
      // 0, -13 and -24 are printed in btshell's run test.
      {-4, "-4 (a text of the seed is longer than its field)"},
      {E_NOTIMPL, "0x80004001 (E_NOTIMPL)"},
      {static_cast<HRESULT>(0x80041234u), "0x80041234"},
  };
  for (const auto& [result, text] : results) EXPECT_EQ(btshell::result_text(result), text);
  const std::pair<ULONGLONG, const char*> sizes[] = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {18446744073709551615ull, "18,446,744,073,709,551,615"}};
  for (const auto& [size, text] : sizes) EXPECT_EQ(btshell::size_text(size), text);

  BYTE hash[20] = {};
  hash[0] = 0x0A;
  hash[19] = 0xF0;
  EXPECT_EQ(btshell::info_hash_text(hash), "0A" + std::string(36, '0') + "F0");
  EXPECT_EQ(btshell::folder_argument("data"), "data/");
  EXPECT_EQ(btshell::folder_argument("data/"), "data/");
  EXPECT_EQ(btshell::folder_argument(""), "");  // left for the shell to refuse
}

}  // namespace
