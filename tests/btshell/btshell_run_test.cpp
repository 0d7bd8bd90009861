// The built btshell, run as a user runs it: the real plugin module and the
// real kernel module of the build tree, seeds of the corpus and the samples.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/interop/child_process.h"
#include "json_unescape.h"
#include "support/temp_dir.h"

namespace {

std::string quoted(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string seed(const char* name) { return std::string(BTS_CORPUS_DIR) + "/" + name; }
std::string example(const char* name) { return std::string(BTS_EXAMPLES_DIR) + "/" + name; }

struct finished_run {
  int status;
  std::string out, err;
};

// Runs btshell in `dir` with `args`, its settings and state folders in `dir`
// (config/, state/) rather than the user's.
finished_run run_btshell(const bts_test::temp_dir& dir, const std::vector<std::string>& args) {
  std::string line = "cd " + quoted(dir.path()) + " && XDG_CONFIG_HOME=" + quoted(dir.file("config")) +
                     " XDG_STATE_HOME=" + quoted(dir.file("state")) + " " + quoted(BTSHELL_EXE);
  for (const std::string& a : args) line += " " + quoted(a);
  line += " >" + quoted(dir.file("out.txt")) + " 2>" + quoted(dir.file("err.txt"));
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, bts_test::read_file(dir.file("out.txt")), bts_test::read_file(dir.file("err.txt"))};
}

// One run of btshell: its exit status, the lines its output must hold, and
// a text its error output must hold (for a success: nothing at all).
struct expected_run {
  std::vector<std::string> args;
  int status;
  std::vector<std::string> out;
  std::string err;
};

// Runs `e` in `dir`; `quiet`: a run that expects no error text must write none.
void check(const bts_test::temp_dir& dir, const expected_run& e, bool quiet) {
  const finished_run r = run_btshell(dir, e.args);
  std::string what;
  for (const std::string& a : e.args) what += a + " ";
  EXPECT_EQ(r.status, e.status) << what << "\n" << r.out << r.err;
  for (const std::string& l : e.out) EXPECT_NE(r.out.find(l), std::string::npos) << what << ": " << l << "\n" << r.out;
  if (quiet && e.err.empty()) {
    EXPECT_EQ(r.err, "") << what;  // nothing logged at the default level
  } else {
    EXPECT_NE(r.err.find(e.err), std::string::npos) << what << "\n" << r.err;
  }
}

TEST(BtshellRun, EachCommandEndsWithItsStatusAndPrintsItsKeyLines) {
  bts_test::temp_dir dir;
  std::filesystem::copy_file(seed("sample.torrent"), dir.file("sample.torrent"));
  const std::string hex = "58D8D15A4EB3BD9AFABC9CEE2564F78192777EDB";
  dir.write(hex + ".bt.cfg", "cfg");
  dir.make_dirs("data");
  dir.make_dirs("no_modules");
  dir.write("data/text_file2.txt.bt.td", "part");
  dir.write("data/text_file.txt", "done");
  dir.write("random.bin", std::string("\x93\x0e\xd4\x00\x7f\xb1\x52\xc6\x0b\x9a", 10));

  const expected_run runs[] = {
      {{"inspect", seed("sample.torrent")}, 0,
       {"info hash:      " + hex + "\n", "title:          sample\n",
        "files:          3 (16,404 bytes)\n  0              25  text_file2.txt\n  1          16,359  .____padding_file/0\n",
        "trackers:       2\n  udp://tracker.opentracker.com:80/announce\n"}, ""},
      // Several seeds: each that can be read is printed; one that cannot makes the status 1.
      {{"inspect", example("single_file.torrent"), "none.torrent", example("with_padding.torrent")}, 1,
       {"single_file.torrent\ninfo hash:      6DB97605E9A1C978F6B6305F02C38FA4B32C1676\n",
        "trackers:       1\n  http://127.0.0.1:6969/announce\n\nseed:           " + example("with_padding.torrent")},
       "none.torrent: -13 (the seed file cannot be read)\n"},
      {{"--version"}, 0, {"plugin module 1.0.1.9  "}, ""},
      {{"temp-files", "sample.torrent", "data"}, 0,
       {"IsTempFileExist: 0 (success)", "(GetCfgFileList):\n  ./" + hex + ".bt.cfg\nfiles",
        "(GetDataFileList):\n  data/text_file2.txt.bt.td\n  data/text_file.txt\n"}, ""},
      // (temp-files --json is what the interop tests read the shell's view through.)
      {{"notify-moved", "/old", "sample.torrent", "/new/"}, 0,
       {"  moved    /old/text_file.txt\n        -> /new/text_file.txt\n"}, ""},
      {{"notify-moved", "--json", "/old", "sample.torrent", "/new/"}, 0,
       {"\"old_folder\": \"/old/\"", "\"kind\": \"moved\",\n      \"path\": \"/old/text_file.txt\",\n"
        "      \"new_path\": \"/new/text_file.txt\""}, ""},
      {{"notify-deleted", "/dl", "sample.torrent"}, 0, {"  deleted  /dl/text_file2.txt\n"}, ""},
      // The real task is made at the hand-over and receives the commands in the order given.
      {{"--kernel-version", "1.2", "lazy-kernel", seed("sample.torrent"), "made"}, 0,
       {"requested bt_kernel 1.2; 1 pending", "ReportEvent(2, 152, -1, 0)", "ReportEvent(2, 154, -1, 0)",
        "\",5:\"made/\",[],[]) -> task1\n"
        "    task1.AttachEvents(sinks=1)\n"
        "    task1.SetDispatchStrategy(2)\n"
        "    task1.SetStatParam(6:\"source\",7:\"btshell\",4:\"demo\",7)\n"
        "    task1.ResetNeedDownloadFile([0])\n"
        "    task1.SetFileDownOrder([1,0])\n"
        "    task1.StartTask()\n",
        "the host's sink heard: OnBtTaskEvent1(42)\n",
        "    task1.StopTask()\n    task1.destroyed\n  kernel tasks: 1 created, 0 alive\n"}, ""},
      // Without the kernel module the proxy reports the failure and btshell says so.
      {{"--kernel-version", "1.2", "--modules-dir", dir.file("no_modules"), "lazy-kernel", seed("sample.torrent"),
        "made"}, 1,
       {"ReportEvent(4, 153, -1, 0)",
        "IsModuleDownloadFailed -> 0 (success), GetFailureDetail -> 0 (success), code 10014"},
       "the kernel module could not be installed"},
      {{}, 2, {}, "Usage: btshell"},
      {{"--log-config", dir.file("none.properties"), "inspect", "x"}, 2, {}, "none.properties"},
      {{"--module", dir.file("none.so"), "inspect", seed("sample.torrent")}, 1, {}, "cannot load the plugin module"},
      {{"inspect", "random.bin"}, 1, {}, "-24 (the seed file is not valid bencode or no seed a kernel can use)"},
  };
  for (const expected_run& e : runs) check(dir, e, true);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("made")));  // the shell made the data folder
}

// download and seed with the kernel module on libtorrent, on the loopback
// address without peers: what ends without one. The data of a sample seed is
// complete already, so a download ends once it is checked; a second run
// continues from the state the first one saved beside the seed.
TEST(BtshellRun, DownloadAndSeedEndWithTheirResultWithoutPeers) {
  bts_test::temp_dir dir;
  dir.make_dirs("modules");
  dir.make_dirs("no_modules");
  std::filesystem::copy_file(BTS_KERNEL_MODULE, dir.file("modules/libbt_kernel.so"));
  dir.write("modules/bt_kernel.ini",
            "[session]\nlisten_interfaces = 127.0.0.1:0\ndht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\n");
  std::filesystem::copy_file(example("single_file.torrent"), dir.file("hello.torrent"));
  dir.make_dirs("complete");
  std::string hello;
  while (hello.size() < 100000) hello += "hello.txt\n";
  dir.write("complete/hello.txt", hello.substr(0, 100000));

  const std::vector<std::string> loopback = {"--modules-dir", dir.file("modules")};
  const auto with = [&](std::vector<std::string> args, const std::vector<std::string>& options) {
    args.insert(args.begin(), options.begin(), options.end());
    return args;
  };
  const expected_run runs[] = {
      {with({"download", "--json", "--files", "*.txt", "--peers", "hello.torrent", "complete"}, loopback), 0,
       {"\"creation\": \"CreateNewTask\"", "\"made_before_kernel\": true", "\"result\": \"complete\"",
        "\"state\": \"complete\""}, "kernel: installed from"},
      {with({"download", "hello.torrent", "complete"}, loopback), 0,
       {"task:           CreateContinuedTask, a proxy until the kernel module arrived",
        "result:         complete: every wanted file is complete and verified\n", "complete            100,000  hello.txt\n"},
       "seeding     100.0%"},
      {with({"seed", "--for", "0", "hello.torrent", "complete"}, loopback), 0,
       {"result:         complete: the data is checked"}, ""},
      {with({"download", "--json", "hello.torrent", "elsewhere"}, {"--modules-dir", dir.file("no_modules")}), 1,
       {"\"result\": \"failed\"", "\"code\": 10014", "the kernel module could not be had"},
       "kernel: the kernel module could not be installed from " + dir.file("no_modules")},
      {with({"download", "missing.torrent", "elsewhere"}, loopback), 1, {},
       "ParseSeedFile missing.torrent: -13 (the seed file cannot be read)"},
  };
  for (const expected_run& e : runs) check(dir, e, false);
  EXPECT_EQ(bts_test::read_file(dir.file("complete/hello.txt")), hello.substr(0, 100000));  // checked, never rewritten
  EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere/hello.txt.bt.td")));
}

// A port nobody uses now on 127.0.0.1.
std::uint16_t free_port() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  return ntohs(address.sin_port);
}

// A modules folder with the kernel module on libtorrent and `ini` beside it.
void kernel_modules(const bts_test::temp_dir& dir, const std::string& ini) {
  dir.make_dirs("modules");
  std::filesystem::copy_file(BTS_KERNEL_MODULE, dir.file("modules/libbt_kernel.so"));
  dir.write("modules/bt_kernel.ini", ini);
}

// Where each setting comes from: the kernel's own (its module's
// bt_kernel.ini), the settings file, an option; a file that is wrong or
// missing is refused.
TEST(BtshellRun, SettingsTellWhatIsInForceAndWhence) {
  bts_test::temp_dir dir;
  kernel_modules(dir, "[session]\nlisten_interfaces = 127.0.0.5:7777\ndht = 0\n");
  dir.make_dirs("config/btshell");
  dir.write("config/btshell/settings.json", R"({"upload-limit": 5, "download-limit": 6})");
  dir.write("bad.json", R"({"upload-limit": "fast"})");
  const finished_run r =
      run_btshell(dir, {"--modules-dir", dir.file("modules"), "settings", "--download-limit", "9", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json settings = nlohmann::json::parse(r.out)["settings"];
  const std::vector<std::pair<const char*, nlohmann::json>> expected = {
      {"listen-address", {{"value", "127.0.0.5:7777"}, {"source", "default"}}},
      {"dht", {{"value", false}, {"source", "default"}}},
      {"local-discovery", {{"value", true}, {"source", "default"}}},
      {"upload-limit", {{"value", 5}, {"source", "file"}}},
      {"download-limit", {{"value", 9}, {"source", "option"}}},
      {"state-dir", {{"value", dir.file("state/btshell")}, {"source", "default"}}}};
  for (const auto& [key, row] : expected) EXPECT_EQ(settings[key], row) << key;
  check(dir, {{"settings", "--config", "bad.json"}, 2, {}, "bad.json: \"upload-limit\" has a value of the wrong kind"},
        false);
  check(dir, {{"download", "--config", "none.json", "s.torrent", "d"}, 2, {}, "none.json does not exist"}, false);
}

// Seeds by URL from a loopback server: what is refused leaves nothing in
// the seeds' folder; a redirected one is downloaded from a btshell seeding
// until it has sent the data once, with the settings of the command line in
// the kernel.
TEST(BtshellRun, DownloadOfASeedByUrlWithItsSettingsInTheKernel) {
  bts_test::temp_dir dir;
  kernel_modules(dir, "");  // the kernel's own defaults: the options keep it to loopback
  dir.make_dirs("www");
  std::filesystem::copy_file(example("single_file.torrent"), dir.file("www/hello.torrent"));
  dir.write("www/junk.torrent", "no bencode");
  dir.make_dirs("complete");
  std::string hello;
  while (hello.size() < 100000) hello += "hello.txt\n";
  hello.resize(100000);
  dir.write("complete/hello.txt", hello);
  // The same over HTTPS, with a certificate nobody vouches for.
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 1 -keyout " +
                         quoted(dir.file("tls.pem")) + " -out " + quoted(dir.file("tls.pem")) + " 2>/dev/null")
                            .c_str()),
            0);
  bts_test::child_process servers[2];
  std::string sites[2];
  for (int s = 0; s < 2; ++s) {
    const std::string port = dir.file("port" + std::to_string(s));
    std::vector<std::string> argv = {"python3", BTS_SEED_SERVER, dir.file("www")};
    if (s == 1) argv.push_back(dir.file("tls.pem"));
    ASSERT_TRUE(servers[s].start(argv, dir.path(), port, dir.file("server.err")));
    // Bounded, and long enough for a run under valgrind (which follows it too).
    for (int i = 0; i < 1200 && bts_test::read_file(port).empty(); ++i) ::usleep(50000);
    const std::string text = bts_test::read_file(port);
    sites[s] = (s == 1 ? "https://127.0.0.1:" : "http://127.0.0.1:") + text.substr(0, text.find('\n'));
  }
  const std::string& site = sites[0];

  const std::pair<std::string, std::string> refusals[] = {
      {"/missing.torrent", "answered HTTP 404"},
      {"/oversized", "larger than a seed can be (16 MiB)"},
      {"/announced-oversized", "larger than a seed can be (16 MiB)"},
      {"/loop", "more than 5 redirects"},
      {"/junk.torrent", "answered is no seed: -24"}};
  for (const auto& [path, error] : refusals)
    check(dir, {{"download", site + path, "elsewhere"}, 1, {}, error}, false);
  check(dir, {{"download", sites[1] + "/hello.torrent", "elsewhere"}, 1, {}, "SSL certificate problem"}, false);
  EXPECT_FALSE(std::filesystem::exists(dir.file("state/btshell/torrents")) &&
               !std::filesystem::is_empty(dir.file("state/btshell/torrents")));

  const std::vector<std::string> loopback = {"--modules-dir", dir.file("modules"), "--no-dht", "--no-lsd",
                                             "--no-upnp"};
  const std::string port = std::to_string(free_port());
  std::vector<std::string> seeder = {BTSHELL_EXE, "seed", "--seed-ratio", "1", "--listen", "127.0.0.1:" + port,
                                     "--for", "300", "www/hello.torrent", "complete"};
  seeder.insert(seeder.begin() + 2, loopback.begin(), loopback.end());
  bts_test::child_process seeding;
  ASSERT_TRUE(seeding.start(seeder, dir.path(), dir.file("seeder.out"), dir.file("seeder.err"),
                            {"XDG_CONFIG_HOME=" + dir.file("config"), "XDG_STATE_HOME=" + dir.file("seeder-state")}));
  std::vector<std::string> args = {"download", "--json", "--peer", "127.0.0.1:" + port, "--listen", "127.0.0.1:0",
                                   "--download-limit", "4000", site + "/redirect/hello.torrent", "fetched"};
  args.insert(args.begin() + 1, loopback.begin(), loopback.end());
  const finished_run r = run_btshell(dir, args);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const nlohmann::json report = nlohmann::json::parse(r.out);
  EXPECT_EQ(report["seed"], dir.file("state/btshell/torrents/6DB97605E9A1C978F6B6305F02C38FA4B32C1676.torrent"));
  EXPECT_EQ(report["received_bytes"], 100000);
  EXPECT_EQ(report["settings"]["dht"], false);
  EXPECT_EQ(report["settings"]["local-discovery"], false);
  EXPECT_EQ(report["settings"]["download-limit"], 4000);
  EXPECT_EQ(bts_test::read_file(dir.file("fetched/hello.txt")), hello);
  // The seeder ends by itself, its data sent once, well before its --for.
  EXPECT_EQ(seeding.wait(std::chrono::seconds(120)), 0) << bts_test::read_file(dir.file("seeder.err"));
  EXPECT_NE(bts_test::read_file(dir.file("seeder.err")).find("upload ratio 1 reached"), std::string::npos);
}

// With --json every command that takes it answers a failure with an error
// object on stdout, and ends with the status it ends with without --json.
TEST(BtshellRun, JsonFailuresAreErrorObjects) {
  bts_test::temp_dir dir;
  std::filesystem::copy_file(example("nested_utf8.torrent"), dir.file("nested.torrent"));
  struct row {
    std::vector<std::string> args;
    int status;
    nlohmann::json code;
    std::string message;  // how the message begins
  };
  const nlohmann::json none;
  const row rows[] = {
      {{"inspect", "--json"}, 2, none, "inspect: SEED is required"},
      {{"inspect", "--json", "--module", dir.file("none.so"), "x.torrent"}, 1, none, "cannot load the plugin module"},
      {{"temp-files", "--json", "none.torrent", "data"}, 1, -13, "GetCfgFileList none.torrent: -13 (the seed file"},
      {{"notify-deleted", "--json", "data", "random.bin"}, 1, -24, "NotifyHubBtDeleted random.bin: -24"},
      {{"notify-moved", "--json", "a", "none.torrent", "b"}, 1, -13, "NotifyHubBtMoved none.torrent: -13"},
      {{"download", "--json", "none.torrent", "data"}, 1, -13, "ParseSeedFile none.torrent: -13"},
      {{"download", "--json", "--files", "photos/*,*.avi", "nested.torrent", "data"}, 1, none,
       "--files *.avi: the pattern matches no file of the torrent"},
      {{"download", "--json", "--files", "5", "nested.torrent", "data"}, 1, none,
       "--files 5: the torrent's files are 0 to 4"},
      {{"download", "--json", "--files", "4-2", "nested.torrent", "data"}, 2, none, "download: --files: 4-2: a range"},
      {{"seed", "--json", "nested.torrent", "data"}, 1, none, "the data folder data/ does not exist"},
      {{"verify", "--json", "none.torrent", "data"}, 1, -13, "ParseSeedFile none.torrent: -13"},
  };
  dir.write("random.bin", std::string("\x93\x0e\xd4\x00\x7f\xb1\x52\xc6\x0b\x9a", 10));
  for (const row& r : rows) {
    const finished_run run = run_btshell(dir, r.args);
    EXPECT_EQ(run.status, r.status) << r.args[0] << " " << r.message << "\n" << run.err;
    const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(out.is_object() && out.contains("error")) << run.out;
    const nlohmann::json& error = out["error"];
    EXPECT_EQ(error["code"], r.code) << run.out;
    EXPECT_EQ(error["meaning"].is_null(), r.code.is_null()) << run.out;
    EXPECT_EQ(error.value("message", "").rfind(r.message, 0), 0u) << run.out;
    EXPECT_NE(run.err.find("btshell: " + r.message), std::string::npos) << run.err;  // and as text, as before
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("data"))) << "a refused selection starts nothing";
}

// Every sample seed as JSON; a name in a legacy code page comes back byte for byte.
TEST(BtshellRun, InspectJsonOfTheSampleSeeds) {
  bts_test::temp_dir dir;
  std::vector<std::string> args = {"inspect", "--json"};
  for (const char* name : {"legacy_codepage.torrent", "nested_utf8.torrent", "single_file.torrent",
                           "with_padding.torrent"})
    args.push_back(example(name));
  const finished_run r = run_btshell(dir, args);
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json seeds = nlohmann::json::parse(r.out);
  ASSERT_EQ(seeds.size(), 4u);

  const nlohmann::json& legacy = seeds[0];
  EXPECT_EQ(legacy["info_hash"], "5EB8D33013C7934C6303C21EAC0C49331DA2A8AC");
  EXPECT_EQ(json_unescape(legacy["title"]), "Caf\xE9 cr\xE8me");
  EXPECT_EQ(json_unescape(legacy["files"][1]["folder"]), "M\xFCnchen/");
  EXPECT_EQ(json_unescape(legacy["files"][1]["name"]), "Stra\xDF" "e.txt");

  const nlohmann::json& nested = seeds[1];
  EXPECT_EQ(nested["title"], "voyage \xC3\xA9t\xC3\xA9 \xE5\xA4\x8F");
  EXPECT_EQ(nested["publisher_url"], "https://example.org/bt_shell/examples");
  EXPECT_EQ(nested["files"][4]["folder"], "notes/\xE6\x97\xA5\xE6\x9C\xAC/\xE6\x97\x85/");
  EXPECT_EQ(nested["trackers"], nlohmann::json({"http://127.0.0.1:6969/announce", "udp://127.0.0.1:6969/announce"}));

  // What a single-file seed lacks is null; sizes are numbers.
  const nlohmann::json& single = seeds[2];
  EXPECT_TRUE(single["title"].is_null() && single["publisher"].is_null() && single["publisher_url"].is_null());
  EXPECT_EQ(single["files"],
            nlohmann::json::parse(R"([{"index": 0, "folder": "", "name": "hello.txt", "size": 100000}])"));
  EXPECT_EQ(seeds[3]["files"][1],
            nlohmann::json::parse(R"({"index": 1, "folder": ".pad/", "name": "6384", "size": 6384})"));
}

// create refuses what it cannot make a sound seed of, and writes nothing
// then; links inside the folder are never followed out of it.
TEST(BtshellRun, CreateRefusesBadInputAndFollowsNoLink) {
  bts_test::temp_dir dir;
  dir.make_dirs("empty");
  dir.make_dirs("zeros");
  dir.write("zeros/none", "");
  dir.make_dirs("data/sub");
  dir.write("data/a.txt", std::string(70000, 'a'));
  dir.write("data/sub/b.txt", "b");
  dir.write("outside.txt", "secret");
  std::filesystem::create_symlink("../outside.txt", dir.file("data/link.txt"));
  std::filesystem::create_symlink("..", dir.file("data/up"));
  dir.write("old.torrent", "old");
  const expected_run runs[] = {
      {{"create", "none", "-o", "x.torrent"}, 1, {}, "none does not exist"},
      {{"create", "empty", "-o", "x.torrent"}, 1, {}, "the folder empty holds no files"},
      {{"create", "zeros", "-o", "x.torrent"}, 1, {}, "hold no bytes"},
      {{"create", "data", "-o", "x.torrent", "--piece-size", "300000"}, 2, {}, "power of two"},
      {{"create", "data", "-o", "x.torrent", "--piece-size", "8K"}, 2, {}, "power of two from 16K to 256M"},
      {{"create", "data", "-o", "data/sub/x.torrent"}, 1, {}, "lies in the folder data that is hashed"},
      {{"create", "data/a.txt", "-o", "data/./a.txt", "--force"}, 1, {}, "would replace the file it is made of"},
      {{"create", "data", "-o", "old.torrent"}, 1, {}, "exists already (--force replaces it)"},
      {{"create", "data", "-o", "none/x.torrent"}, 1, {}, "the folder of the seed none/x.torrent does not exist"},
      {{"create", "data"}, 2, {}, "--output is required"},
  };
  for (const expected_run& e : runs) check(dir, e, false);
  EXPECT_EQ(bts_test::read_file(dir.file("old.torrent")), "old");
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.torrent")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("data/sub/x.torrent")));

  // Links are left out and named; the files are in byte order of their paths.
  check(dir, {{"create", "data", "-o", "old.torrent", "--force", "--piece-size", "16K"}, 0,
              {"files:          2 (70,001 bytes)\n  0          70,000  a.txt\n  1               1  sub/b.txt\n",
               "piece size:     16,384 bytes (5 pieces)\n"},
              "left out: symbolic link link.txt\nbtshell: left out: symbolic link up\n"}, false);
  const std::string seed = bts_test::read_file(dir.file("old.torrent"));
  EXPECT_EQ(seed.find("outside"), std::string::npos);
  EXPECT_EQ(seed.find("secret"), std::string::npos);

  // A file that cannot be read (as someone else: root reads everything).
  dir.write("data/sub/locked.txt", "x");
  std::filesystem::permissions(dir.file("data/sub/locked.txt"), std::filesystem::perms::none);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const std::string line = "cd " + quoted(dir.path()) + " && " + as + quoted(BTSHELL_EXE) +
                           " create data -o locked.torrent 2>err.txt";
  EXPECT_EQ(WEXITSTATUS(std::system(line.c_str())), 1);
  EXPECT_NE(bts_test::read_file(dir.file("err.txt")).find("cannot read data/sub/locked.txt: Permission denied"),
            std::string::npos) << bts_test::read_file(dir.file("err.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("locked.torrent")));
}

// verify over a seed of four files in 16 KiB pieces: each file's state and
// the bytes of it in verified pieces, for the faults a download leaves.
TEST(BtshellRun, VerifyReportsEachFile) {
  bts_test::temp_dir dir;
  dir.make_dirs("good");
  // a: pieces 0-2 (the last shared with b); b: pieces 2-4; c and d in piece 4.
  const std::vector<std::pair<std::string, std::size_t>> files = {{"a", 40000}, {"b", 30000}, {"c", 5000}, {"d", 1000}};
  for (const auto& [name, size] : files) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(name[0] + i * 13);
    dir.write("good/" + name, bytes);
  }
  ASSERT_EQ(run_btshell(dir, {"create", "good", "-o", "good.torrent", "--piece-size", "16K"}).status, 0);

  const auto resize = [](const std::string& path, std::uintmax_t size) { std::filesystem::resize_file(path, size); };
  struct verify_case {
    const char* what;
    std::function<void(const std::string& folder)> damage;
    std::vector<std::pair<const char*, std::int64_t>> states;  // state and verified bytes, file by file
  };
  const verify_case cases[] = {
      {"complete", [](const std::string&) {}, {{"complete", 40000}, {"complete", 30000}, {"complete", 5000}, {"complete", 1000}}},
      {"truncated", [&](const std::string& f) { resize(f + "b", 20000); },
       {{"complete", 40000}, {"incomplete", 49152 - 40000}, {"incomplete", 0}, {"incomplete", 0}}},
      {"a byte flipped in the middle of the piece a and b share",
       [](const std::string& f) {
         std::fstream b(f + "b", std::ios::in | std::ios::out | std::ios::binary);
         b.seekp(40960 - 40000);
         b.put('\x7f');
       },
       {{"incomplete", 32768}, {"incomplete", 30000 - (49152 - 40000)}, {"complete", 5000}, {"complete", 1000}}},
      {"missing, and unfinished under its .bt.td name",
       [](const std::string& f) {
         std::filesystem::remove(f + "c");
         std::filesystem::rename(f + "a", f + "a.bt.td");
       },
       {{"incomplete", 40000}, {"incomplete", 65536 - 40000}, {"missing", 0}, {"incomplete", 0}}},
      {"larger than it should be", [&](const std::string& f) { resize(f + "d", 1001); },
       {{"complete", 40000}, {"complete", 30000}, {"complete", 5000}, {"wrong_size", 1000}}},
  };
  int n = 0;
  for (const verify_case& c : cases) {
    const std::string folder = "data" + std::to_string(n++) + "/";
    std::filesystem::copy(dir.file("good"), dir.file(folder));
    c.damage(dir.file(folder));
    const finished_run r = run_btshell(dir, {"verify", "--json", "good.torrent", folder});
    const bool complete = std::string(c.what) == "complete";
    EXPECT_EQ(r.status, complete ? 0 : 1) << c.what << "\n" << r.out << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["complete"], complete) << c.what;
    ASSERT_EQ(report["files"].size(), 4u) << c.what;
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(report["files"][i]["state"], c.states[i].first) << c.what << " file " << i;
      EXPECT_EQ(report["files"][i]["verified_bytes"], c.states[i].second) << c.what << " file " << i;
    }
  }
  check(dir, {{"verify", "good.torrent", "data1"}, 1,
              {"pieces:         3 of 5 verified (16,384 bytes each)\n", "result:         not complete: 1 of 4 files",
               "  incomplete          30,000  b  (9,152 bytes verified)\n"}, ""}, false);
  check(dir, {{"verify", "none.torrent", "data0"}, 1, {}, "ParseSeedFile none.torrent: -13"}, false);
}

// The daemon as a user starts and stops it: it refuses settings that would
// expose it or that it does not understand, answers Transmission's client,
// and ends cleanly on SIGTERM (under the leak check too).
TEST(BtshellRun, DaemonRefusesUnsafeSettingsServesAndStopsOnTerm) {
  bts_test::temp_dir dir;
  dir.write("open.json", R"({"rpc-address":"0.0.0.0:9091","state-dir":"state"})");
  dir.write("unknown.json", R"({"rpc-adress":"127.0.0.1:9091"})");
  check(dir, {{"daemon", "--config", "open.json"}, 2, {}, "without a password"}, false);
  check(dir, {{"daemon", "--config", "unknown.json"}, 2, {}, "unknown key \"rpc-adress\""}, false);
  EXPECT_FALSE(std::filesystem::exists(dir.file("state"))) << "nothing made for a refused start";

  const std::string rpc = "127.0.0.1:" + std::to_string(free_port());
  dir.write("settings.json", R"({"rpc-address":")" + rpc + R"(","state-dir":"state","download-dir":"data",
                                  "listen-address":"127.0.0.1:0","dht":false,"local-discovery":false,
                                  "port-mapping":false})");
  const std::string script =
      "cd " + quoted(dir.path()) + " && { " + quoted(BTSHELL_EXE) +
      " daemon --config settings.json >out.txt 2>err.txt & p=$!; "
      "i=0; while [ $i -lt 300 ]; do transmission-remote " + rpc + " -si >si.txt 2>&1 && break; sleep 0.1; i=$((i+1)); done; "
      "kill -TERM $p; wait $p; echo $? >status.txt; }";
  ASSERT_EQ(std::system(script.c_str()), 0);
  EXPECT_NE(bts_test::read_file(dir.file("si.txt")).find("RPC version: 16"), std::string::npos)
      << bts_test::read_file(dir.file("si.txt")) << bts_test::read_file(dir.file("err.txt"));
  EXPECT_EQ(bts_test::read_file(dir.file("status.txt")), "0\n") << bts_test::read_file(dir.file("err.txt"));
  EXPECT_NE(bts_test::read_file(dir.file("out.txt")).find("btshell daemon: stopped\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.file("state/tasks.json")));
}

}  // namespace
