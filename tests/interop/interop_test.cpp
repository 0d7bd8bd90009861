// btshell and the kernel module on libtorrent against programs nobody here
// wrote: each independent engine of engines.h seeds to btshell, which
// downloads through the lazy kernel, and downloads from btshell seeding; the
// shell's view of the files on disk (temp-files, notify-deleted) agrees with
// what is there. An interrupted download and a file selection: the fault
// suite (fault_rows_*.cpp).
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>

#include "tests/interop/engines.h"
#include "tests/interop/interop_fixture.h"

namespace {

using namespace bts_test;
using nlohmann::json;

// What btshell's --json report says of a run.
void expect_result(const finished_run& r, int status, const std::string& result) {
  EXPECT_EQ(r.status, status) << r.err;
  EXPECT_EQ(r.json().value("result", ""), result) << r.out;
}

std::size_t number(const json& report, const char* key) { return report.value(key, std::size_t{0}); }

// The round trip's torrent: two files, one in a sub-folder, neither a
// multiple of the piece size, so that a piece holds the end of one and the
// start of the other.
const std::vector<content_file> kRoundTripFiles = {{"top.bin", 1'500'000}, {"sub/inner.bin", 2'700'000}};

std::size_t total_size(const made_torrent& t) {
  std::size_t total = 0;
  for (const content_file& f : t.files) total += f.size;
  return total;
}

// Each file of `t` has its bytes at `folder` + its path.
bool all_bytes_at(const made_torrent& t, const std::string& folder) {
  for (const content_file& f : t.files)
    if (!same_bytes(folder + f.path, t.data_folder + f.path)) return false;
  return true;
}

// btshell's report names each file of `t`, in the torrent's order, complete.
void expect_every_file_complete(const json& report, const made_torrent& t) {
  const json files = report.value("files", json::array());
  ASSERT_EQ(files.size(), t.files.size()) << report;
  for (std::size_t i = 0; i < t.files.size(); ++i) {
    EXPECT_EQ(files[i].value("path", ""), t.files[i].path);
    EXPECT_EQ(files[i].value("state", ""), "complete") << t.files[i].path;
  }
}

// One row of the table: an engine, and which side seeds.
struct round_trip {
  const engine* with;
  bool engine_seeds;
};

void PrintTo(const round_trip& r, std::ostream* out) {
  *out << r.with->name << (r.engine_seeds ? " seeds" : " fetches");
}

std::vector<round_trip> all_round_trips() {
  std::vector<round_trip> all;
  for (const engine& e : engines()) all.insert(all.end(), {{&e, true}, {&e, false}});
  return all;
}

class RoundTrip : public interop_fixture, public ::testing::WithParamInterface<round_trip> {};

// Each engine seeds and btshell downloads through the lazy kernel; btshell
// seeds and the engine downloads. Every byte arrives, btshell's report names
// every file, and the shell's view of the download agrees.
TEST_P(RoundTrip, EveryFileArrivesWhole) {
  const engine& e = *GetParam().with;
  ASSERT_FALSE(find_program(e.program).empty()) << e.program << " is not installed (make deps installs it)";
  const made_torrent t = make_torrent("round_trip", kRoundTripFiles);
  start_tracker({&t});
  const std::string name = e.name;

  if (GetParam().engine_seeds) {
    e.start_seeder(*this, t, name + "-seeder");
    ASSERT_TRUE(wait_for_seeder(t));
    EXPECT_TRUE(wait_for_peer_at(t, e.address));
    const std::string data = path("btshell/");
    const finished_run download = run_btshell({"download", "--json", "--peers", t.seed, data});
    expect_result(download, 0, "complete");
    // --peers off a terminal: a line for each change, the tracker's answers among them.
    EXPECT_NE(download.err.find("tracker http://"), std::string::npos) << download.err;
    const json report = download.json();
    EXPECT_EQ(report.value("creation", ""), "CreateNewTask");
    EXPECT_TRUE(report.value("made_before_kernel", false));  // a proxy, handed over when the kernel came
    expect_every_file_complete(report, t);
    EXPECT_EQ(number(report, "done_bytes"), total_size(t));
    EXPECT_GE(number(report, "received_bytes"), total_size(t));
    EXPECT_TRUE(all_bytes_at(t, data));

    std::vector<std::string> finished;  // each file under its final name, in the torrent's order
    for (const content_file& f : t.files) finished.push_back(data + f.path);
    const shell_files after = shell_view(t, data);
    EXPECT_TRUE(after.exists);  // the state saved by the stop, beside the seed
    EXPECT_EQ(after.cfg, std::vector<std::string>{path("seeds/") + report.value("info_hash", "") + ".bt.cfg"});
    EXPECT_EQ(after.data, finished);
    EXPECT_EQ(hub_notices(t, data), finished);

    // Each file completed in this run, its completion heard once (a seeding
    // task hears none: its files were complete before it began).
    std::vector<std::size_t> completed = report.value("completed_files", std::vector<std::size_t>{}), every;
    std::sort(completed.begin(), completed.end());
    for (std::size_t i = 0; i < t.files.size(); ++i) every.push_back(i);
    EXPECT_EQ(completed, every) << report;
    // The engine it fetched from, also when it left before a status update.
    EXPECT_FALSE(report["peers_seen"].empty()) << report;
    return;
  }

  // The leecher first, btshell once the tracker hands the leecher out:
  // transmission 3.00 drops the loopback peers of a tracker's answer (it
  // takes them for unroutable), so its seeder must be the one to connect;
  // btshell finds it in the answer to its first announce.
  const std::string fetched = path(name + "/");
  std::filesystem::create_directories(fetched);
  const leecher l = e.start_leecher(*this, t, fetched, name + "-leecher");
  ASSERT_TRUE(wait_for_peer_at(t, e.address));
  child_process& seeder = start_btshell(
      {"seed", "--json", "--listen", std::string(loopback::kernel) + ":0", t.seed, t.data_folder}, "seeder");
  ASSERT_TRUE(e.wait_complete(l)) << e.name << " did not complete the download";
  // Complete, though not every engine has written its last blocks yet.
  EXPECT_TRUE(wait_until([&] { return all_bytes_at(t, fetched + t.name + "/"); }, std::chrono::seconds(30)));

  seeder.send(SIGTERM);
  const finished_run seeded = finish(seeder, "seeder", std::chrono::seconds(60));
  expect_result(seeded, 0, "complete");
  const json report = seeded.json();
  EXPECT_EQ(report.value("creation", ""), "CreateUploadTask");
  expect_every_file_complete(report, t);
  EXPECT_GE(number(report, "sent_bytes"), total_size(t));
}

INSTANTIATE_TEST_SUITE_P(Engines, RoundTrip, ::testing::ValuesIn(all_round_trips()),
                         [](const ::testing::TestParamInfo<round_trip>& row) {
                           return std::string(row.param.with->name) + (row.param.engine_seeds ? "_seeds" : "_fetches");
                         });

}  // namespace

// A magnet link instead of a seed file: its metadata comes from aria2c,
// found through the link's tracker, and is kept as a seed of the settings'
// state folder; download fetches the data, seed uploads it from a folder
// that holds it.
class MagnetLinks : public interop_fixture {};

TEST_F(MagnetLinks, DownloadAndSeedFromTheSwarmsMetadata) {
  const made_torrent t = make_torrent("linked", kRoundTripFiles);
  start_tracker({&t});
  start_aria2_seeder(t);
  ASSERT_TRUE(wait_for_seeder(t));
  std::string escaped_url;
  for (const char c : announce_url()) escaped_url += (c == ':' ? "%3A" : c == '/' ? "%2F" : std::string(1, c));
  const std::string link = "magnet:?xt=urn:btih:" + t.hash + "&dn=linked&tr=" + escaped_url;
  const std::string data = path("fetched/");
  const finished_run download = run_btshell({"download", "--json", link, data});
  expect_result(download, 0, "complete");
  expect_every_file_complete(download.json(), t);
  EXPECT_TRUE(all_bytes_at(t, data));
  const finished_run seed = run_btshell({"seed", "--json", "--for", "1", link, t.data_folder});
  expect_result(seed, 0, "complete");
  EXPECT_EQ(seed.json().value("creation", ""), "CreateUploadTask");
}
