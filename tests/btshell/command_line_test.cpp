// btshell's command line and the texts of its report.
#include <gtest/gtest.h>

#include "host/btshell/command_line.h"
#include "host/btshell/command_table.h"
#include "host/btshell/commands.h"
#include "host/btshell/file_selection.h"
#include "host/btshell/json_printers.h"
#include "host/btshell/printers.h"
#include "json_unescape.h"

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

  // Several seeds, --json among them; a lone "-" is an argument, and so is,
  // after "--", a word that looks like an option.
  const auto seeds = parse_command_line({"inspect", "a.torrent", "--json", "-"});
  ASSERT_EQ(seeds.error, "");
  EXPECT_EQ(seeds.line.arguments, (std::vector<std::string>{"a.torrent", "-"}));
  EXPECT_TRUE(seeds.line.json);
  EXPECT_EQ(parse_command_line({"inspect", "--", "-odd.torrent"}).line.arguments,
            (std::vector<std::string>{"-odd.torrent"}));

  // The options of download and seed; --peer repeats, --files splits on commas.
  const auto download = parse_command_line({"download", "--files", "0,2", "--files=5", "--peer", "peer.example:6881",
                                            "--peer=[::1]:7000", "--listen", "127.0.0.2:0", "--seed-after", "30",
                                            "s.torrent", "data", "--json"});
  ASSERT_EQ(download.error, "");
  const btshell::transfer_options& t = download.line.transfer;
  EXPECT_EQ(t.files, (std::vector<std::string>{"0,2", "5"}));
  EXPECT_EQ(t.peers, (std::vector<std::string>{"peer.example:6881", "[::1]:7000"}));
  EXPECT_EQ(t.seed_after, 30u);
  EXPECT_TRUE(download.line.json);
  EXPECT_FALSE(t.seed_for.has_value() || t.seed_ratio.has_value());
  const auto seed = parse_command_line({"seed", "--for", "0", "--seed-ratio", "1.5", "s.torrent", "data"});
  ASSERT_EQ(seed.error, "");
  EXPECT_EQ(seed.line.transfer.seed_for, 0u);
  EXPECT_EQ(seed.line.transfer.seed_ratio, 1.5);

  // Each command that runs a kernel takes the settings as keys of the
  // settings file, to go over it (the daemon's too: its run test).
  const std::vector<std::string> settings = {"--config", "s.json", "--listen", "127.0.0.2:0,[::1]:0", "--no-dht",
                                             "--no-lsd", "--no-upnp", "--download-limit", "100", "--upload-limit=0",
                                             "--max-peers", "8"};
  const nlohmann::json values = {{"listen-address", "127.0.0.2:0,[::1]:0"}, {"dht", false},
                                 {"local-discovery", false}, {"port-mapping", false}, {"download-limit", 100},
                                 {"upload-limit", 0}, {"connections-limit", 8}};
  for (std::vector<std::string> words : std::vector<std::vector<std::string>>{
           {"download", "s.torrent", "d"}, {"seed", "s.torrent", "d"}, {"settings"}}) {
    words.insert(words.end(), settings.begin(), settings.end());
    const auto parsed = parse_command_line(words);
    ASSERT_EQ(parsed.error, "") << words[0];
    EXPECT_EQ(parsed.line.settings.config, "s.json") << words[0];
    EXPECT_EQ(parsed.line.settings.values, values) << words[0];
  }

  // Kernel versions; the two-word option reaches the request in btshell's run test.
  const auto widest = btshell::parse_kernel_version("65535.0");
  ASSERT_TRUE(widest.has_value());
  EXPECT_EQ(widest->major, 65535);
  for (const char* bad : {"1", "1.", ".2", "1.2.3", "a.b", "1.-2", "65536.0", " 1.2", "1.2x", ""})
    EXPECT_FALSE(btshell::parse_kernel_version(bad).has_value()) << bad;
}

TEST(BtshellCommandLine, RefusalsNameWhatIsWrongAndHelpIsOutput) {
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"frobnicate"}, "unknown command frobnicate"},
      {{"--color", "inspect", "x"}, "unknown option --color"},
      {{"inspect"}, "inspect: SEED is required"},
      {{"temp-files", "a", "b", "c"}, "temp-files takes no further argument c"},
      {{"lazy-kernel", "s", "d", "--json"}, "unknown option --json"},  // only some commands print JSON
      {{"inspect", "s", "--module"}, "inspect: --module: 1 required PATH missing"},
      {{"--kernel-version=1", "inspect", "s"}, "--kernel-version takes MAJOR.MINOR (e.g. 1.2), not 1"},
      {{"-v", "--log-config", "f", "inspect", "s"}, "-v and --log-config exclude each other"},
      {{"download", "s", "d", "--peer", "host"}, "download: --peer: takes HOST:PORT ([ADDRESS]:PORT for IPv6), not host"},
      {{"seed", "s", "d", "--listen", "::1:80"},
       "seed: --listen: takes HOST:PORT[,HOST:PORT...] ([ADDRESS]:PORT for IPv6), not ::1:80"},
      {{"download", "s", "d", "--listen", "127.0.0.1:0,"},
       "download: --listen: takes HOST:PORT[,HOST:PORT...] ([ADDRESS]:PORT for IPv6), not 127.0.0.1:0,"},
      {{"download", "s", "d", "--max-peers", "-3"}, "download: --max-peers: takes a number from 0, not -3"},
      {{"settings", "--seed-ratio", "1"}, "unknown option --seed-ratio"},
      {{"download", "s", "d", "--for", "3"}, "unknown option --for"},  // seed's, not download's
      {{"download", "s", "d", "--files", "1,7-3"}, "download: --files: 7-3: a range runs from the lower index to the higher"},
  };
  for (const auto& [words, error] : refusals) EXPECT_EQ(parse_command_line(words).error, error) << words[0];

  // Every command has its help, with its arguments; help COMMAND says the same.
  for (const btshell::command_entry& entry : btshell::command_table()) {
    const auto help = parse_command_line({entry.name, "--help"});
    EXPECT_EQ(help.error, "");
    EXPECT_NE(help.output.find(std::string("Usage: btshell ") + entry.name), std::string::npos) << help.output;
    for (const btshell::command_argument& argument : entry.arguments)
      EXPECT_NE(help.output.find(argument.text), std::string::npos) << entry.name;
    EXPECT_EQ(parse_command_line({"help", entry.name}).output, help.output);
  }
  EXPECT_NE(parse_command_line({"inspect", "--help"}).output.find("\\xHH"), std::string::npos);
  const auto nothing = parse_command_line({});
  EXPECT_EQ(nothing.error + nothing.output + nothing.line.command, "");
}

// What --files selects of a torrent's files, or why it selects nothing.
TEST(BtshellFileSelection, IndexesRangesAndPatternsOrTheItemThatSelectsNothing) {
  const std::vector<std::string> paths = {"README.txt", "disc1/a.mkv", "disc1/b.mkv", "disc2/c.mkv",
                                          "disc2/sub/d.txt", "3", ".hidden", "a,b.txt"};
  struct row {
    std::vector<std::string> values;
    std::vector<ULONG> chosen;
    std::string error;  // not empty: refused with this text
  };
  const row rows[] = {
      {{"0-2,5"}, {0, 1, 2, 5}, ""},
      {{"*.mkv"}, {1, 2, 3}, ""},
      {{"disc1/*"}, {1, 2}, ""},
      {{"disc2/*"}, {3, 4}, ""},            // '*' matches '/' too
      {{"*.txt", "2,0"}, {0, 2, 4, 7}, ""},  // several options, in the torrent's order, each once
      {{"[3]"}, {5}, ""},                   // a file named like an index
      {{"?hidden"}, {6}, ""},               // a leading dot is no exception
      {{"a\\,b.txt"}, {7}, ""},            // a comma inside a pattern
      {{"7-7,1"}, {1, 7}, ""},
      {{"*.avi"}, {}, "--files *.avi: the pattern matches no file of the torrent"},
      {{"0", "disc3/*"}, {}, "--files disc3/*: the pattern matches no file"},
      {{"8"}, {}, "--files 8: the torrent's files are 0 to 7"},
      {{"6-9"}, {}, "--files 6-9: the torrent's files are 0 to 7"},
      {{"3-1"}, {}, "--files 3-1: a range runs from the lower index to the higher"},
      {{"0,,1"}, {}, "--files \"0,,1\": an empty item"},
      {{"99999999999"}, {}, "--files 99999999999: no torrent has that many files"},
  };
  for (const row& r : rows) {
    std::vector<ULONG> chosen;
    std::string error;
    const bool selected = btshell::select_files(r.values, paths, chosen, error);
    EXPECT_EQ(selected, r.error.empty()) << r.values[0] << ": " << error;
    if (selected)
      EXPECT_EQ(chosen, r.chosen) << r.values[0];
    else
      EXPECT_EQ(error.compare(0, r.error.size(), r.error), 0) << error;
  }
}

TEST(BtshellTexts, JsonTextKeepsUtf8AndEscapesEveryOtherByte) {
  const std::pair<std::string, std::string> texts[] = {
      {"plain/path.txt", "plain/path.txt"},
      {"\xC3\xA9t\xC3\xA9 \xE5\xA4\x8F \xF0\x9F\x98\x80", "\xC3\xA9t\xC3\xA9 \xE5\xA4\x8F \xF0\x9F\x98\x80"},
      {"Caf\xE9", "Caf\\xE9"},                                // code page 1252
      {"a\\xE9", "a\\\\xE9"},                                 // a backslash, not an escape
      {"\xC0\xAF", "\\xC0\\xAF"},                             // overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                    // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},           // above U+10FFFF
      {"\xE5\xA4", "\\xE5\\xA4"},                             // cut short
      {"\xE5\xA4x", "\\xE5\\xA4x"},
      {std::string("\0\x7F", 2), std::string("\0\x7F", 2)},  // JSON escapes these itself
  };
  for (const auto& [bytes, text] : texts) {
    EXPECT_EQ(btshell::json_text(bytes), text);
    EXPECT_EQ(json_unescape(btshell::json_text(bytes)), bytes);
    // Always valid UTF-8: the JSON library writes it without complaint.
    EXPECT_NO_THROW(nlohmann::json(btshell::json_text(bytes)).dump());
  }
}

// Info hashes, folders given without their separator and small sizes are
// printed in btshell's run test.
TEST(BtshellTexts, ResultsAndSizes) {
  const std::pair<HRESULT, const char*> results[] = {
      // 0, -13 and -24 are printed in btshell's run test.
      {-4, "-4 (a text of the seed is longer than its field)"},
      {E_NOTIMPL, "0x80004001 (E_NOTIMPL)"},
      {static_cast<HRESULT>(0x80041234u), "0x80041234"},
  };
  for (const auto& [result, text] : results) EXPECT_EQ(btshell::result_text(result), text);
  const std::pair<ULONGLONG, const char*> sizes[] = {
      {999, "999"}, {1000, "1,000"}, {18446744073709551615ull, "18,446,744,073,709,551,615"}};
  for (const auto& [size, text] : sizes) EXPECT_EQ(btshell::size_text(size), text);
  EXPECT_EQ(btshell::folder_argument(""), "");  // left for the shell to refuse
}

}  // namespace
