// The fault suite's rows about the kernel: data on disk that is not the
// download's, its state, a crash, two runs at once, many files, peers on one
// address, a host that lets go of a running task.
#include <libtorrent/read_resume_data.hpp>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "tests/interop/fault_suite.h"

namespace bts_test {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kMiB = 1024 * 1024;

std::string random_bytes(std::size_t size, unsigned seed) {
  std::mt19937_64 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

void write_bytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::size_t number(const json& report, const char* key) { return report.value(key, std::size_t{0}); }

long failure_code(const finished_run& r) {
  const json report = r.json();
  return report.is_object() && report["failure"].is_object() ? report["failure"].value("code", 0L) : 0L;
}

void expect_complete(const finished_run& r) {
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.json().value("result", ""), "complete") << r.out;
}

// A torrent of `files`, seeded by aria2c through the tracker (at most
// `rate` bytes a second when given).
made_torrent seeded(interop_fixture& f, const std::string& name, const std::vector<content_file>& files,
                    const std::string& rate = "") {
  made_torrent t = f.make_torrent(name, files);
  f.start_tracker({&t});
  if (rate.empty())
    f.start_aria2_seeder(t);
  else
    f.start_aria2_seeder(t, {"--max-upload-limit=" + rate});
  EXPECT_TRUE(f.wait_for_seeder(t));
  return t;
}

// Run into one folder, then into another that holds right-sized junk under
// the in-progress names: the first folder's state is no proof for it, so
// everything is fetched. Seeding other data of the same sizes is refused.
void state_of_another_folder(interop_fixture& f) {
  const made_torrent t = seeded(f, "moved", {{"a.bin", 3 * kMiB + 5}, {"sub/b.bin", 2 * kMiB}});
  expect_complete(f.run_btshell({"download", "--json", t.seed, f.path("first/")}));
  const std::string second = f.path("second/");
  for (const content_file& file : t.files) write_bytes(second + file.path + ".bt.td", random_bytes(file.size, 1));
  const finished_run again = f.run_btshell({"download", "--json", t.seed, second});
  expect_complete(again);
  EXPECT_GE(number(again.json(), "received_bytes"), 5 * kMiB);
  for (const content_file& file : t.files) EXPECT_TRUE(same_bytes(second + file.path, t.data_folder + file.path));

  const std::string other = f.path("other/");
  for (const content_file& file : t.files) write_bytes(other + file.path, random_bytes(file.size, 2));
  const finished_run seed = f.run_btshell({"seed", "--json", t.seed, other});
  EXPECT_EQ(seed.status, 1) << seed.out;
  EXPECT_EQ(failure_code(seed), 10007);
  for (const content_file& file : t.files) EXPECT_EQ(read_file(other + file.path), random_bytes(file.size, 2));
}

// A user's file under one of the torrent's names, of another size: the
// download fails at once and the file is as it was.
void user_file_of_another_size(interop_fixture& f) {
  const made_torrent t = f.make_torrent("taken", {{"a.bin", 1 * kMiB}, {"b.bin", 2 * kMiB}});
  f.start_tracker({&t});
  const std::string data = f.path("data/");
  const std::string mine = random_bytes(4000000, 3);
  write_bytes(data + "a.bin", mine);
  const finished_run r = f.run_btshell({"download", "--json", t.seed, data});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(failure_code(r), 10009);
  EXPECT_EQ(read_file(data + "a.bin"), mine);
  EXPECT_FALSE(exists(data + "a.bin.bt.td"));
}

// Two torrents that both hold README.txt (of one size, other content) into
// one folder: the second is checked against what is there and fails; the
// first one's file is as it was.
void two_torrents_one_name(interop_fixture& f) {
  const made_torrent one = f.make_torrent("one", {{"README.txt", 1000}, {"x.bin", 1 * kMiB}});
  const made_torrent two = f.make_torrent("two", {{"README.txt", 1000}, {"y.bin", 1 * kMiB}});
  f.start_tracker({&one, &two});
  f.start_aria2_seeder(one);
  ASSERT_TRUE(f.wait_for_seeder(one));
  const std::string data = f.path("data/");
  expect_complete(f.run_btshell({"download", "--json", one.seed, data}));
  const finished_run second = f.run_btshell({"download", "--json", two.seed, data});
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_EQ(failure_code(second), 10009);
  EXPECT_TRUE(same_bytes(data + "README.txt", one.data_folder + "README.txt"));
}

// Stopped with Ctrl-C a third of the way, a download leaves its unfinished
// file under ".bt.td" and its state beside the seed, as the shell lists
// them; continued and killed at two thirds, then run again, it fetches no
// more than what was missing at the kill and a tenth: it finds what is on
// disk instead of trusting a state written before it.
void stopped_then_killed(interop_fixture& f) {
  constexpr std::size_t kSize = 32 * kMiB;
  const made_torrent t = seeded(f, "killed", {{"big.bin", kSize}}, "4M");
  const std::string data = f.path("data/"), final_name = data + "big.bin", in_progress = final_name + ".bt.td";
  const auto run_until = [&](const char* log, std::size_t on_disk, int signal) {
    child_process& run = f.start_btshell({"download", "--json", t.seed, data}, log);
    EXPECT_TRUE(wait_until([&] { return bytes_on_disk(in_progress) >= on_disk || !run.running(); },
                           std::chrono::seconds(60)));
    run.send(signal);
    return f.finish(run, log, std::chrono::seconds(60));
  };
  const finished_run stopped = run_until("stopped", kSize / 3, SIGINT);
  EXPECT_EQ(stopped.status, 128 + SIGINT) << stopped.err;
  EXPECT_EQ(stopped.json().value("result", ""), "interrupted") << stopped.out;
  const interop_fixture::shell_files halfway = f.shell_view(t, data);
  EXPECT_TRUE(halfway.exists);
  EXPECT_EQ(halfway.cfg, std::vector<std::string>{beside_seed(t, ".bt.cfg")});
  EXPECT_EQ(halfway.data, std::vector<std::string>{in_progress});
  EXPECT_EQ(f.hub_notices(t, data), std::vector<std::string>{final_name});  // the name the file will have

  run_until("killed", 2 * kSize / 3, SIGKILL);
  const finished_run again = f.run_btshell({"download", "--json", t.seed, data});
  expect_complete(again);
  EXPECT_EQ(again.json().value("creation", ""), "CreateContinuedTask");
  EXPECT_LE(number(again.json(), "received_bytes"), kSize / 3 + kSize / 10);
  EXPECT_TRUE(same_bytes(final_name, t.data_folder + "big.bin"));
  EXPECT_EQ(f.shell_view(t, data).data, std::vector<std::string>{final_name});
}

// A second run of the same download while the first runs is refused; a link
// planted where a fixed temporary name of the state once was is not written
// through.
void second_run_and_planted_link(interop_fixture& f) {
  const made_torrent t = seeded(f, "twice", {{"t.bin", 12 * kMiB}}, "2M");
  const std::string data = f.path("data/");
  const std::string victim = f.path("victim.txt");
  write_bytes(victim, "precious");
  fs::create_symlink(victim, beside_seed(t, ".bt.cfg.new"));
  child_process& first = f.start_btshell({"download", "--json", t.seed, data}, "first");
  ASSERT_TRUE(wait_until([&] { return exists(data + "t.bin.bt.td") || !first.running(); }));
  const finished_run second = f.run_btshell({"download", "--json", t.seed, data});
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_EQ(failure_code(second), 10010);
  expect_complete(f.finish(first, "first", std::chrono::seconds(120)));
  EXPECT_EQ(read_file(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(beside_seed(t, ".bt.cfg")));
}

// 100,000 files: every completion is heard (none lost to a full alert
// queue, none raised after btshell's last look), the report is made in
// linear time, and the run ends.
void hundred_thousand_files(interop_fixture& f) {
  std::vector<content_file> files;
  for (int i = 0; i < 100000; ++i) files.push_back({"d" + std::to_string(i % 300) + "/f" + std::to_string(i), 300});
  const made_torrent t = seeded(f, "many", files);
  const std::string data = f.path("data/");
  const finished_run r = f.run_btshell({"download", "--json", t.seed, data}, std::chrono::seconds(300));
  expect_complete(r);
  // Every file, once, in completed_files and on a "file complete:" line.
  const std::vector<std::size_t> completed = r.json().value("completed_files", std::vector<std::size_t>{});
  EXPECT_EQ(completed.size(), files.size());
  EXPECT_EQ(std::set<std::size_t>(completed.begin(), completed.end()).size(), files.size());
  std::size_t told = 0;
  for (std::size_t at = r.err.find("file complete: "); at != std::string::npos; at = r.err.find("file complete: ", at + 1))
    ++told;
  EXPECT_EQ(told, files.size());
  EXPECT_TRUE(same_bytes(data + t.files.back().path, t.data_folder + t.files.back().path));
}

// Tracker, seeder and downloader on 127.0.0.1 (each kernel meets itself in
// the tracker's answer), with the upload limit of the kernel's settings,
// which holds for loopback peers too.
void one_address_for_all(interop_fixture& f) {
  constexpr std::size_t kSize = 4 * kMiB;
  f.set_kernel_settings(
      "[session]\nlisten_interfaces = 127.0.0.1:0\ndht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\n"
      "utp = 0\nupload_rate_limit = 524288\n");
  const made_torrent t = f.make_torrent("shared", {{"s.bin", kSize}});
  f.start_tracker({&t});
  // The seeder's own copy of the seed: a seed's folder holds one task's state.
  fs::create_directories(f.path("seeder-seed"));
  fs::copy_file(t.seed, f.path("seeder-seed/shared.torrent"));
  f.start_btshell({"seed", "--json", f.path("seeder-seed/shared.torrent"), t.data_folder}, "seeder");
  ASSERT_TRUE(f.wait_for_peer_at(t, "127.0.0.1"));
  const finished_run r = f.run_btshell({"download", "--json", t.seed, f.path("data/")});
  expect_complete(r);
  EXPECT_TRUE(same_bytes(f.path("data/s.bin"), t.data_folder + "s.bin"));
  // 4 MiB at 512 KiB/s take 8 s; unlimited, a fraction of one.
  EXPECT_GE(r.json().value("seconds", 0.0), 5.0);
}

// A host that lets go of a running task: the task stops, and its state is
// on disk with the pieces verified, before its torrent leaves the session.
void released_while_running(interop_fixture& f) {
  const made_torrent t = seeded(f, "released", {{"r.bin", 8 * kMiB}}, "1M");
  const std::string ini = f.path("kernel.ini");
  write_bytes(ini, "[session]\nlisten_interfaces = 127.0.0.2:0\noutgoing_interfaces = 127.0.0.2\ndht = 0\n"
                   "local_peer_discovery = 0\nupnp = 0\nnatpmp = 0\nutp = 0\n[resume]\nsave_interval = 0\n");
  in_process_task made = new_kernel_task(ini, t.seed, f.path("data/"));
  ASSERT_TRUE(made.task3);
  ASSERT_EQ(made.task->StartTask(), S_OK);
  ASSERT_TRUE(wait_until([&] {
    tagRESOURCE_STATISTIC statistic{};
    made.task3->GetResourceStatistic(&statistic);
    return statistic.values[10] >= 2;  // pieces verified
  }));
  made.task3.reset();
  made.task.reset();
  const std::string state = beside_seed(t, ".bt.cfg");
  const std::string lock = beside_seed(t, ".bt.dat");
  ASSERT_TRUE(wait_until([&] { return !exists(lock); }));
  lt::error_code ec;
  const std::string bytes = read_file(state);
  const lt::add_torrent_params saved = lt::read_resume_data(lt::span<const char>(bytes.data(), bytes.size()), ec);
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_GE(saved.have_pieces.count(), 2);
}

const fault_rows rows({
    {"StateOfAnotherFolderIsNoProof", "the state of one data folder was applied to another; junk reported verified",
     state_of_another_folder},
    {"UserFileOfAnotherSizeIsLeftAlone", "a user's file under a torrent's name was truncated and overwritten",
     user_file_of_another_size},
    {"SecondTorrentDoesNotTakeTheFirstOnesFile", "two torrents sharing a name: the second destroyed the first's file",
     two_torrents_one_name},
    {"StoppedThenKilledFetchesOnlyWhatIsMissing", "after a crash the state written at the start hid what was on disk",
     stopped_then_killed},
    {"SecondRunRefusedAndPlantedLinkNotFollowed",
     "two runs of one download fought; the state's temporary file followed a planted link",
     second_run_and_planted_link},
    {"HundredThousandFilesComplete",
     "the alert queue overflowed and the download hung at 100 %; the files finished last missed the report",
     hundred_thousand_files},
    {"PeersOnOneAddressTransferWithinTheLimit",
     "peers sharing one address never connected; rate limits skipped loopback peers", one_address_for_all},
    {"ReleasedRunningTaskSavesItsState", "a running task released by a host could lose its last save",
     released_while_running},
});

}  // namespace

}  // namespace bts_test
