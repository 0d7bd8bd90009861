// The kernel's services to a host besides tasks: its settings at run time
// (IBtKernelSettings) and magnet metadata fetches (IBtMetadataFetcher), on
// kernel objects made in-process and through the real module.
#include <gtest/gtest.h>

#include <libtorrent/bdecode.hpp>
#include <libtorrent/torrent_info.hpp>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "com_utility/StringSetter.h"
#include "interfaces/IBtKernelSettings.h"
#include "interfaces/IBtMetadataFetcher.h"
#include "support/recording_sink.h"
#include "tests/kernel/swarm_fixture.h"

namespace {

using namespace bts_test;
namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

std::string text_of(const std::function<HRESULT(IStringSetter*)>& call, HRESULT expected = S_OK) {
  std::string text;
  CStringSetter setter(&text);
  EXPECT_EQ(call(&setter), expected);
  return text;
}

std::string value_of(IBtKernelSettings* settings, const std::string& key) {
  return text_of([&](IStringSetter* s) { return settings->GetValue(to_tag_string(key), s); });
}

HRESULT set(IBtKernelSettings* settings, const std::string& key, const std::string& value) {
  return settings->SetValue(to_tag_string(key), to_tag_string(value));
}

HRESULT set_task(IBtKernelSettings* settings, const std::string& hash, const std::string& key,
                 const std::string& value) {
  return settings->SetTaskValue(to_tag_string(hash), to_tag_string(key), to_tag_string(value));
}

// A TCP port on loopback that nobody listened on a moment ago.
int free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
  EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
  ::close(fd);
  return ntohs(address.sin_port);
}

// What is under `folder`, but for the seeder's seed folder, where it saves its state when it will.
std::set<std::string> everything_under(const std::string& folder) {
  std::set<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().string().find("/seeder-seed") == std::string::npos) paths.insert(entry.path().string());
  return paths;
}

class KernelServicesTest : public swarm_fixture {
 protected:
  void SetUp() override {
    swarm_fixture::SetUp();
    kernel_ = torrent_kernel::create(read_kernel_settings(dir_.write("kernel.ini", kLoopbackSettings)));
    ASSERT_EQ(com_ptr<torrent_kernel>(kernel_).query(IID_IBtKernelSettings, settings_), S_OK);
    ASSERT_EQ(com_ptr<torrent_kernel>(kernel_).query(IID_IBtMetadataFetcher, fetcher_), S_OK);
  }
  void TearDown() override {
    settings_.reset();
    fetcher_.reset();
    kernel_.reset();
    swarm_fixture::TearDown();
  }

  // libtorrent's info hash of the generated seed, in lower-case hexadecimal.
  std::string seed_hash() const {
    std::ostringstream hex;
    hex << lt::torrent_info(seed_path()).info_hashes().v1;
    return hex.str();
  }

  com_ptr<IBtMetadataFetch> start_fetch(const std::string& link) {
    com_ptr<IBtMetadataFetch> fetch;
    EXPECT_EQ(fetcher_->StartFetch(to_tag_string(link), fetch.put()), S_OK) << link;
    return fetch;
  }

  static ULONG state_of(IBtMetadataFetch* fetch) {
    ULONG state = 99;
    EXPECT_EQ(fetch->GetState(&state, nullptr), S_OK);
    return state;
  }

  static std::string failure_of(IBtMetadataFetch* fetch) {
    return text_of([&](IStringSetter* s) { return fetch->GetFailureText(s); });
  }

  com_ptr<torrent_kernel> kernel_;
  com_ptr<IBtKernelSettings> settings_;
  com_ptr<IBtMetadataFetcher> fetcher_;
};

TEST_F(KernelServicesTest, SettingsAreAppliedAtOnceAndBadOnesChangeNothing) {
  // The port listened on follows the listening interfaces.
  EXPECT_EQ(value_of(settings_.get(), "session.listen_port"), std::to_string(kernel_->listen_port()));
  const int port = free_port();
  EXPECT_EQ(set(settings_.get(), "session.listen_interfaces", "127.0.0.1:" + std::to_string(port)), S_OK);
  EXPECT_TRUE(wait_until([&] { return kernel_->listen_port() == port; })) << kernel_->listen_port();
  EXPECT_EQ(value_of(settings_.get(), "session.listen_port"), std::to_string(port));

  struct row {
    const char* key;
    const char* value;
    const char* reads;  // after the call; null: refused, the value before stays
  } rows[] = {
      {"session.connections_limit", "55", "55"},
      {"session.utp", "on", "1"},
      {"session.rate_limit_local_network", "no", "0"},
      {"resume.save_after_mib", "3", "3"},
      {"session.outgoing_interfaces", "", ""},
      {"session.dht", "maybe", nullptr},
      {"session.connections_limit", "-1", nullptr},
      {"session.upload_rate_limit", "99999999999", nullptr},
      {"session.listen_interfaces", "127.0.0.1", nullptr},
      {"session.listen_interfaces", "127.0.0.1:0,", nullptr},
      {"resume.save_interval", "5s", nullptr},
      {"session.listen_port", "7000", nullptr},
      {"session.no_such_key", "1", nullptr},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.key) + " = " + r.value);
    const bool known = std::string(r.key) != "session.no_such_key";
    const std::string before = known ? value_of(settings_.get(), r.key) : std::string();
    EXPECT_EQ(set(settings_.get(), r.key, r.value), r.reads ? S_OK : E_INVALIDARG);
    if (known) {
      EXPECT_EQ(value_of(settings_.get(), r.key), r.reads ? r.reads : before);
    }
  }
  EXPECT_EQ(kernel_->listen_port(), port);  // the refused interfaces left it alone
  std::string unused;
  CStringSetter setter(&unused);
  EXPECT_EQ(settings_->GetValue(to_tag_string("session.no_such_key"), &setter), E_INVALIDARG);
  EXPECT_EQ(settings_->GetValue(to_tag_string("session.dht"), nullptr), E_POINTER);

  const std::string hash(40, 'a');
  EXPECT_EQ(set_task(settings_.get(), hash, "upload_rate_limit", "1000"), S_OK);
  EXPECT_EQ(set_task(settings_.get(), hash.substr(1), "upload_rate_limit", "1000"), E_INVALIDARG);
  EXPECT_EQ(set_task(settings_.get(), std::string(40, 'g'), "upload_rate_limit", "1000"), E_INVALIDARG);
  EXPECT_EQ(set_task(settings_.get(), hash, "max_uploads", "1"), E_INVALIDARG);
  EXPECT_EQ(set_task(settings_.get(), hash, "connections_limit", "many"), E_INVALIDARG);
}

TEST_F(KernelServicesTest, MagnetFetchGivesTheSeedAndWritesNothing) {
  generate({{"one.bin", 300 * 1024}, {"d/two.bin", 0}, {"three.bin", 70 * 1024}});
  start_seeder();
  const std::set<std::string> before = everything_under(dir_.path());
  const std::string hash = seed_hash();
  const std::string trackers = "&tr=http%3A%2F%2F127.0.0.1%3A1%2Fannounce&tr=udp://127.0.0.1:2";
  const std::string link = "magnet:?xt=urn:btih:" + hash + "&dn=content" + trackers +
                           "&x.pe=127.0.0.1:" + std::to_string(seeder_->listen_port());

  com_ptr<IBtMetadataFetch> fetch = start_fetch(link);
  ASSERT_TRUE(wait_until([&] { return state_of(fetch.get()) != bt_fetch_running; }));
  ASSERT_EQ(state_of(fetch.get()), bt_fetch_done) << failure_of(fetch.get());
  const std::string seed = text_of([&](IStringSetter* s) { return fetch->GetSeed(s); });
  lt::error_code ec;
  const lt::bdecode_node root = lt::bdecode(seed, ec);
  ASSERT_FALSE(ec) << ec.message();
  const lt::torrent_info made(seed, lt::from_span);
  std::ostringstream made_hash;
  made_hash << made.info_hashes().v1;  // the SHA-1 of "info" as the seed holds it
  EXPECT_EQ(made_hash.str(), hash);
  EXPECT_EQ(root.dict_find_string_value("announce"), "http://127.0.0.1:1/announce");
  ASSERT_EQ(root.dict_find_list("announce-list").list_size(), 2);
  EXPECT_EQ(root.dict_find_list("announce-list").list_at(1).list_string_value_at(0), "udp://127.0.0.1:2");
  EXPECT_EQ(everything_under(dir_.path()), before);
  fetch.reset();

  // A fetch that no peer answers holds the torrent until a task of it comes:
  // the task takes its place and the fetch fails, saying why.
  const std::string silent = "magnet:?xt=urn:btih:" + hash + "&x.pe=127.0.0.1:" + std::to_string(free_port());
  fetch = start_fetch(silent);
  EXPECT_EQ(state_of(fetch.get()), bt_fetch_running);
  EXPECT_EQ(text_of([&](IStringSetter* s) { return fetch->GetSeed(s); }, E_PENDING), "");
  com_ptr<IBtTask> task;
  ASSERT_EQ(kernel_->CreateNewTask(to_tag_string(seed_path()), to_tag_string(leecher_data()), 0, nullptr, 0,
                                   nullptr, task.put()),
            S_OK);
  EXPECT_NE(task_info(task.get()).task_status, bt_task_failed);
  EXPECT_EQ(state_of(fetch.get()), bt_fetch_failed);
  EXPECT_NE(failure_of(fetch.get()), "");
  EXPECT_EQ(text_of([&](IStringSetter* s) { return fetch->GetSeed(s); }, E_FAIL), "");

  // While the task is there, a fetch of its torrent fails at once.
  com_ptr<IBtMetadataFetch> tasked = start_fetch(link);
  EXPECT_EQ(state_of(tasked.get()), bt_fetch_failed);
  EXPECT_EQ(failure_of(tasked.get()).rfind("10008", 0), 0u) << failure_of(tasked.get());
}

TEST_F(KernelServicesTest, ReleasedFetchLeavesTheSessionAndBadLinksAreRefused) {
  const std::string link = "magnet:?xt=urn:btih:" + std::string(40, 'c') + "&x.pe=127.0.0.1:" +
                           std::to_string(free_port());
  com_ptr<IBtMetadataFetch> first = start_fetch(link);
  EXPECT_EQ(state_of(first.get()), bt_fetch_running);
  com_ptr<IBtMetadataFetch> second = start_fetch(link);
  EXPECT_EQ(state_of(second.get()), bt_fetch_failed);  // one fetch per torrent
  first.reset();
  second = start_fetch(link);  // the released one's torrent is gone
  EXPECT_EQ(state_of(second.get()), bt_fetch_running) << failure_of(second.get());
  ULONG peers = 99;
  EXPECT_EQ(second->GetState(nullptr, &peers), S_OK);
  EXPECT_EQ(peers, 0u);

  for (const std::string& bad : std::vector<std::string>{"http://example.invalid/", "magnet:?dn=x",
                                "magnet:?xt=urn:btih:" + std::string(39, 'a') + "z",
                                "magnet:?xt=urn:btih:" + std::string(31, 'A'),
                                "magnet:?xt=urn:btmh:1220" + std::string(64, 'a')}) {
    com_ptr<IBtMetadataFetch> fetch;
    EXPECT_EQ(fetcher_->StartFetch(to_tag_string(bad), fetch.put()), E_INVALIDARG) << bad;
    EXPECT_FALSE(fetch);
  }
  EXPECT_EQ(fetcher_->StartFetch(to_tag_string(link), nullptr), E_POINTER);
}

// Through the real module: the settings and the fetcher are registered before
// the kernel. An upload limit set on the running seeding task holds the
// transfer while it is there; a download limit set before the shell's proxy
// made its task holds that task once the upload limit is lifted.
TEST_F(KernelServicesTest, TaskLimitsHoldRunningTasksAndTasksMadeLater) {
  constexpr int kUploadLimit = 192 * 1024;
  constexpr int kDownloadLimit = 384 * 1024;
  generate({{"one.bin", 900 * 1024}, {"two.bin", 700 * 1024}});
  start_seeder();
  load_host();
  std::string hash = seed_hash();
  std::transform(hash.begin(), hash.end(), hash.begin(), ::toupper);
  com_ptr<IBtKernelSettings> seeder;
  ASSERT_EQ(com_ptr<torrent_kernel>(seeder_).query(IID_IBtKernelSettings, seeder), S_OK);
  EXPECT_EQ(set_task(seeder.get(), hash, "upload_rate_limit", std::to_string(kUploadLimit)), S_OK);

  std::vector<std::string> journal;
  com_ptr<recording_sink> sink = recording_sink::create("host", &journal);
  bool faces_first = false;
  sink->hook = [&] {
    if (sink->lines().back() != "host.OnRegisterInstance(" + platform::guid_to_string(IID_IBitTorrentKernel) + ",object)")
      return;
    com_ptr<IBtKernelSettings> leecher;
    com_ptr<IBtMetadataFetcher> fetcher;
    faces_first = host_->GetInstance(IID_IBtKernelSettings, leecher.put_void()) == S_OK &&
                  host_->GetInstance(IID_IBtMetadataFetcher, fetcher.put_void()) == S_OK;
    if (leecher) {
      EXPECT_EQ(set_task(leecher.get(), hash, "download_rate_limit", std::to_string(kDownloadLimit)), S_OK);
    }
  };
  ASSERT_EQ(host_->AttachEvents(sink.get()), S_OK);
  com_ptr<IBtTask> task = download_through_shell();
  ASSERT_TRUE(task);
  ASSERT_EQ(task->StartTask(), S_OK);
  const clock_type::time_point start = clock_type::now();
  EXPECT_EQ(host_->downloader()->complete_pending(), 1u);
  EXPECT_EQ(host_->DetachEvents(sink.get()), S_OK);
  ASSERT_TRUE(faces_first);

  const ULONGLONG total = task_info(task.get()).total_size;
  ASSERT_TRUE(wait_until([&] { return task_info(task.get()).done_size * 10 >= total * 3; }));
  const clock_type::time_point middle = clock_type::now();
  const ULONGLONG first_part = task_info(task.get()).done_size;
  EXPECT_EQ(set_task(seeder.get(), hash, "upload_rate_limit", "0"), S_OK);
  ASSERT_TRUE(wait_until([&] { return task_info(task.get()).task_status == bt_task_seeding; }));
  const clock_type::time_point end = clock_type::now();

  // Generous bounds: three times the limit (libtorrent's download limit lets
  // through about twice its rate), less a piece or two on its way.
  const double slack = 128 * 1024;
  const auto seconds = [](clock_type::duration d) { return std::chrono::duration<double>(d).count(); };
  EXPECT_GE(seconds(middle - start), (first_part - slack) / (3.0 * kUploadLimit));
  EXPECT_GE(seconds(end - middle), (total - first_part - slack) / (3.0 * kDownloadLimit));
  task->StopTask();
}

}  // namespace
