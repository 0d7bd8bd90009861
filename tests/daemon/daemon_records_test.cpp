// What the daemon keeps on disk and reads from its users: the settings
// file, the task list, magnet links.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "host/btshell/magnet_link.h"
#include "host/daemon/daemon_command.h"
#include "host/daemon/task_list.h"
#include "host/rpc/password_hash.h"
#include "host/settings/host_settings.h"
#include "support/temp_dir.h"

namespace {

using bts_test::read_file;
using bts_test::temp_dir;

TEST(HostSettings, FileOverDefaultsRefusesWhatItDoesNotKnowAndWritesNoClearPassword) {
  temp_dir dir;
  host_settings::settings s = host_settings::defaults();
  std::string error;
  EXPECT_TRUE(host_settings::load(dir.file("missing.json"), s, error)) << "a missing file is no error";

  const std::string path = dir.write("settings.json",
                                     R"({"rpc-address":"127.0.0.2:9999","dht":false,"download-limit":40,
                                         "rpc-username":"me","rpc-password":"secret"})");
  ASSERT_TRUE(host_settings::load(path, s, error)) << error;
  EXPECT_EQ(s.rpc_address, "127.0.0.2:9999");
  EXPECT_EQ(s.dht, std::optional<bool>(false));
  EXPECT_EQ(s.download_limit, 40);
  EXPECT_FALSE(s.local_discovery.has_value()) << "left out: the kernel's own default";

  // The daemon replaces the clear password by its hash in the file, and
  // writes no option into it.
  btshell::command_line line;
  line.settings.config = path;
  line.settings.values = {{"upload-limit", 9}};
  host_settings::settings in_force;
  std::string used;
  ASSERT_TRUE(daemon_host::settings_in_force(line, in_force, used, error)) << error;
  const std::string text = read_file(path);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_TRUE(rpc::password_matches(in_force.rpc_password_hash, "secret"));
  host_settings::settings again = host_settings::defaults();
  ASSERT_TRUE(host_settings::load(path, again, error)) << error;
  EXPECT_EQ(again.rpc_password_hash, in_force.rpc_password_hash);
  EXPECT_EQ(again.rpc_username, "me");
  EXPECT_FALSE(again.upload_limit.has_value());
  EXPECT_EQ(in_force.upload_limit, 9);

  struct bad_file {
    const char* text;
    const char* named;
  };
  for (const bad_file& bad : {bad_file{"[1,2]", "not a JSON object"}, bad_file{"{\"dht\":\"yes\"}", "\"dht\""},
                              bad_file{"{\"no-such-key\":1}", "no-such-key"},
                              bad_file{"{\"download-limit\":-5}", "download-limit"}}) {
    host_settings::settings kept = host_settings::defaults();
    error.clear();
    EXPECT_FALSE(host_settings::load(dir.write("bad.json", bad.text), kept, error)) << bad.text;
    EXPECT_NE(error.find(bad.named), std::string::npos) << error;
    EXPECT_EQ(kept.rpc_address, host_settings::kDefaultRpcAddress) << "nothing taken from a refused file";
  }
}

// An option over the file over the default, each setting telling where it
// came from; the kernel's settings in its words and back.
TEST(HostSettings, OptionOverFileOverDefaultAndTheKernelsWords) {
  temp_dir dir;
  const std::string path = dir.write("s.json", R"({"dht":false,"upload-limit":5,"state-dir":"st"})");
  host_settings::in_force s;
  std::string error;
  ASSERT_TRUE(host_settings::resolve(path, true, {{"upload-limit", 7}, {"listen-address", "127.0.0.1:0"}}, s, error))
      << error;
  const std::pair<const char*, host_settings::source> sources[] = {
      {"dht", host_settings::source::file},
      {"upload-limit", host_settings::source::option},
      {"listen-address", host_settings::source::option},
      {"download-limit", host_settings::source::default_value}};
  for (const auto& [key, from] : sources) EXPECT_EQ(s.of(key), from) << key;
  EXPECT_EQ(s.values.upload_limit, 7);
  EXPECT_EQ(s.values.state_dir, std::filesystem::absolute("st").string()) << "folders are made absolute";
  EXPECT_EQ(host_settings::kernel_values(s.values),
            (std::vector<std::pair<std::string, std::string>>{{"session.listen_interfaces", "127.0.0.1:0"},
                                                              {"session.dht", "0"},
                                                              {"session.upload_rate_limit", "7168"}}))
      << "what is left out stays the kernel's";

  // Options are refused as the file's keys are; a file named must be there,
  // the default one need not.
  EXPECT_FALSE(host_settings::resolve(path, true, {{"max-peers", 3}}, s, error));
  EXPECT_NE(error.find("the command line: unknown key \"max-peers\""), std::string::npos) << error;
  EXPECT_FALSE(host_settings::resolve(dir.file("none.json"), true, nlohmann::json::object(), s, error));
  EXPECT_TRUE(host_settings::resolve(dir.file("none.json"), false, nlohmann::json::object(), s, error));

  // The kernel's texts as the file's values.
  const std::map<std::string, std::string> kernel = {{"session.upnp", "0"}, {"session.natpmp", "1"},
                                                     {"session.download_rate_limit", "1000"},
                                                     {"session.connections_limit", "200"}};
  const auto text = [&](const std::string& key) {
    const auto found = kernel.find(key);
    return found == kernel.end() ? std::string() : found->second;
  };
  EXPECT_EQ(host_settings::kernel_value_of("port-mapping", text), true) << "on when one of them is";
  EXPECT_EQ(host_settings::kernel_value_of("download-limit", text), 1) << "a few bytes are no 0 = none";
  EXPECT_EQ(host_settings::kernel_value_of("connections-limit", text), 200);
  EXPECT_TRUE(host_settings::kernel_value_of("dht", text).is_null()) << "not told";
  EXPECT_TRUE(host_settings::kernel_value_of("state-dir", text).is_null()) << "not the kernel's";
}

TEST(HostSettings, NoPasswordMeansLoopbackOnly) {
  temp_dir dir;
  struct row {
    const char* address;
    bool password;
    bool accepted;
  };
  for (const row& r : {row{"127.0.0.1:9091", false, true}, row{"[::1]:9091", false, true},
                       row{"localhost:9091", false, true}, row{"0.0.0.0:9091", false, false},
                       row{"192.168.1.5:9091", false, false}, row{"0.0.0.0:9091", true, true},
                       row{"127.0.0.1", false, false}, row{"[::1:9091", false, false}}) {
    btshell::command_line line;
    line.settings.config = dir.file("none.json");
    line.settings.values["rpc-address"] = r.address;
    if (r.password) line.daemon.rpc_password = "pw";
    host_settings::settings s;
    std::string path, error;
    EXPECT_EQ(daemon_host::settings_in_force(line, s, path, error), r.accepted) << r.address << ": " << error;
  }
}

TEST(TaskList, SurvivesARoundTripAndDamageIsSetAsideNotFatal) {
  temp_dir dir;
  const std::string path = dir.file("tasks.json");
  daemon_host::task_list list;
  list.next_id = 7;
  daemon_host::task_record a;
  a.id = 3;
  a.hash = std::string(40, 'A');
  a.name = "a";
  a.seed = "/state/torrents/A.torrent";
  a.data_dir = "/data/";
  a.wanted = {0, 2};
  a.started = false;
  a.upload_limit = 50;
  a.upload_limited = true;
  a.added = 1700000000;
  daemon_host::task_record b = a;
  b.id = 5;
  b.hash = std::string(40, 'B');
  b.seed.clear();
  b.magnet = "magnet:?xt=urn:btih:" + b.hash;
  list.tasks = {a, b};
  list.totals = {5000, 7000, 2, 3, 3600};
  ASSERT_EQ(daemon_host::save_task_list(path, list), 0);

  std::vector<std::string> problems;
  const daemon_host::task_list read = daemon_host::load_task_list(path, problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(read.tasks.size(), 2u);
  EXPECT_EQ(read.next_id, 7);
  EXPECT_EQ(read.totals.downloaded, 7000);
  EXPECT_EQ(read.totals.sessions, 3);
  EXPECT_EQ(read.tasks[0].wanted, a.wanted);
  EXPECT_FALSE(read.tasks[0].started);
  EXPECT_EQ(read.tasks[0].upload_limit, 50);
  EXPECT_EQ(read.tasks[1].magnet, b.magnet);

  // One entry that is no task is skipped; the next id never goes back.
  dir.write("tasks.json", R"({"next-id":1,"tasks":[{"id":9,"hash":")" + std::string(40, 'C') +
                              R"(","seed":"/s","data-dir":"/d"},{"id":"x"},{"id":4,"hash":"short","seed":"/s","data-dir":"/d"}]})");
  problems.clear();
  const daemon_host::task_list partial = daemon_host::load_task_list(path, problems);
  ASSERT_EQ(partial.tasks.size(), 1u);
  EXPECT_EQ(partial.tasks[0].data_dir, "/d/");
  EXPECT_EQ(partial.next_id, 10);
  EXPECT_EQ(problems.size(), 2u);

  // A list that is no list is kept aside, and the daemon starts empty.
  dir.write("tasks.json", "{\"tasks\": [trunc");
  problems.clear();
  EXPECT_TRUE(daemon_host::load_task_list(path, problems).tasks.empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(read_file(path + ".damaged"), "{\"tasks\": [trunc");
}

TEST(MagnetLink, HashAndNameFromTheFormsInUse) {
  const std::string hex = "0123456789ABCDEF0123456789ABCDEF01234567";
  struct row {
    std::string link;
    std::string hash;  // empty: refused
    std::string name;
    std::vector<std::string> peers = {};
  };
  for (const row& r : std::vector<row>{
           {"magnet:?xt=urn:btih:" + hex + "&dn=My+File%20%C3%A9", hex, "My File \xC3\xA9"},
           {"magnet:?dn=x&tr=udp%3A%2F%2Ft%3A1&xt=urn:btih:0123456789abcdef0123456789abcdef01234567&x.pe=127.0.0.3:6881"
            "&x.pe=%5B%3A%3A1%5D%3A7000",
            hex, "x", {"127.0.0.3:6881", "[::1]:7000"}},
           // base32 of the same twenty bytes
           {"magnet:?xt=urn:btih:AERUKZ4JVPG66AJDIVTYTK6N54ASGRLH", hex, ""},
           {"magnet:?xt=urn:btih:0123", "", ""},
           {"magnet:?xt=urn:sha1:" + hex, "", ""},
           {"http://example/x.torrent", "", ""},
           {"magnet:?xt=urn:btih:" + hex.substr(0, 39) + "G", "", ""}}) {
    const auto link = btshell::parse_magnet_link(r.link);
    if (r.hash.empty()) {
      EXPECT_FALSE(link) << r.link;
      continue;
    }
    ASSERT_TRUE(link) << r.link;
    EXPECT_EQ(link->hash, r.hash) << r.link;
    EXPECT_EQ(link->name, r.name) << r.link;
    EXPECT_EQ(link->peers, r.peers) << r.link;
  }
}

}  // namespace
