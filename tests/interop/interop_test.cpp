// btshell and the kernel module on libtorrent against programs nobody here
// wrote: aria2c seeds, btshell downloads through the lazy kernel and seeds
// back to another aria2c; an interrupted download continues with only the
// missing bytes; a file selection; and at each point the shell's view of the
// files on disk (temp-files, notify-deleted) agrees with what is there.
#include <signal.h>

#include <chrono>
#include <set>

#include "tests/interop/interop_fixture.h"

namespace {

using namespace bts_test;
using nlohmann::json;

using Interop = interop_fixture;

constexpr std::size_t kMiB = 1024 * 1024;

// What btshell's --json report says of a run.
void expect_result(const finished_run& r, int status, const std::string& result) {
  EXPECT_EQ(r.status, status) << r.err;
  EXPECT_EQ(r.json().value("result", ""), result) << r.out;
}

std::size_t number(const json& report, const char* key) { return report.value(key, std::size_t{0}); }

// (a) aria2c seeds; btshell downloads through the lazy kernel. (b) btshell
// seeds what it got; another aria2c downloads it. (e) the shell's view after each.
TEST_F(Interop, Aria2SeedsBtshellDownloadsThenBtshellSeedsAria2Downloads) {
  const made_torrent t = make_torrent("single", {{"big.bin", 64 * kMiB}});
  start_tracker({&t});
  child_process& aria2_seeder = start_aria2_seeder(t);
  ASSERT_TRUE(wait_for_seeder(t));

  const std::string data = path("btshell/");
  const finished_run download = run_btshell({"download", "--json", t.seed, data});
  expect_result(download, 0, "complete");
  const json report = download.json();
  EXPECT_EQ(report.value("creation", ""), "CreateNewTask");
  EXPECT_TRUE(report.value("made_before_kernel", false));  // a proxy, handed over when the kernel came
  EXPECT_EQ(number(report, "received_bytes"), 64 * kMiB);
  EXPECT_TRUE(same_bytes(data + "big.bin", t.data_folder + "big.bin"));

  const shell_files after = shell_view(t, data);
  EXPECT_TRUE(after.exists);  // the state saved by the stop, beside the seed
  EXPECT_EQ(after.cfg, std::vector<std::string>{path("seeds/") + report.value("info_hash", "") + ".bt.cfg"});
  EXPECT_EQ(after.data, std::vector<std::string>{data + "big.bin"});
  EXPECT_EQ(hub_notices(t, data), std::vector<std::string>{data + "big.bin"});

  // The first seeder goes; btshell seeds, listening where it is told to.
  aria2_seeder.stop();
  child_process& seeder = start_btshell({"seed", "--json", "--listen", "127.0.0.2:0", t.seed, data}, "seeder");
  ASSERT_TRUE(wait_for_peer_at(t, "127.0.0.2")) << read_file(path("seeder.err"));
  const std::string fetched = path("aria2/");
  child_process& leecher = start_aria2_leecher(t, fetched);
  EXPECT_EQ(leecher.wait(std::chrono::seconds(120)), 0) << read_file(path("aria2-leecher.out"));
  EXPECT_TRUE(same_bytes(fetched + "big.bin", t.data_folder + "big.bin"));

  seeder.send(SIGTERM);
  const finished_run seeded = finish(seeder, "seeder", std::chrono::seconds(60));
  expect_result(seeded, 0, "complete");
  EXPECT_EQ(seeded.json().value("creation", ""), "CreateUploadTask");
  EXPECT_GE(number(seeded.json(), "sent_bytes"), 64 * kMiB);
}

// (c) Interrupted a third of the way, the download leaves its unfinished file
// under ".bt.td" and its state beside the seed; run again, it continues and
// fetches only what was missing. (e) the shell's view at both points.
TEST_F(Interop, InterruptedDownloadContinuesWithOnlyTheMissingBytes) {
  constexpr std::size_t kSize = 24 * kMiB;
  const made_torrent t = make_torrent("resumed", {{"part.bin", kSize}});
  start_tracker({&t});
  start_aria2_seeder(t, {"--max-upload-limit=4M"});
  ASSERT_TRUE(wait_for_seeder(t));

  const std::string data = path("btshell/"), final_name = data + "part.bin", in_progress = final_name + ".bt.td";
  child_process& first = start_btshell({"download", "--json", t.seed, data}, "first");
  ASSERT_TRUE(wait_until([&] { return bytes_on_disk(in_progress) >= kSize / 3 || !first.running(); },
                         std::chrono::seconds(60)));
  first.send(SIGINT);
  const finished_run stopped = finish(first, "first", std::chrono::seconds(60));
  expect_result(stopped, 128 + SIGINT, "interrupted");
  const std::size_t done = number(stopped.json(), "done_bytes");
  ASSERT_GT(done, 0u);
  ASSERT_LT(done, kSize);
  EXPECT_TRUE(exists(in_progress));
  EXPECT_FALSE(exists(final_name));

  const shell_files halfway = shell_view(t, data);
  EXPECT_TRUE(halfway.exists);
  EXPECT_EQ(halfway.cfg.size(), 1u);
  EXPECT_EQ(halfway.data, std::vector<std::string>{in_progress});
  EXPECT_EQ(hub_notices(t, data), std::vector<std::string>{final_name});  // the name the file will have

  const finished_run second = run_btshell({"download", "--json", t.seed, data});
  expect_result(second, 0, "complete");
  EXPECT_EQ(second.json().value("creation", ""), "CreateContinuedTask");
  // The verified pieces are not fetched again: what is missing, give or take
  // the few pieces under way at the interruption (their blocks on disk are
  // kept by the saved state, or fetched twice), never all of it again.
  constexpr std::size_t kUnderWay = 8 * 256 * 1024;
  const std::size_t received = number(second.json(), "received_bytes");
  EXPECT_GE(received + kUnderWay, kSize - done);
  EXPECT_LE(received, kSize - done + kUnderWay);
  EXPECT_TRUE(same_bytes(final_name, t.data_folder + "part.bin"));
  EXPECT_FALSE(exists(in_progress));
  EXPECT_EQ(shell_view(t, data).data, std::vector<std::string>{final_name});
}

// (d) With --files only the chosen files are fetched; the other is not even
// created. (e) the hub hears of all three (what the shell lists then: the
// fault row NamingPartFile).
TEST_F(Interop, OnlyTheChosenFilesAreFetched) {
  const made_torrent t = make_torrent(
      "selection", {{"docs/a.bin", 3 * kMiB + 12345}, {"b.bin", 5 * kMiB + 777}, {"media/c/c.bin", 2 * kMiB + 4242}},
      64 * 1024);
  start_tracker({&t});
  start_aria2_seeder(t);
  ASSERT_TRUE(wait_for_seeder(t));
  std::vector<std::string> chosen_indexes;
  std::set<std::string> chosen = {"docs/a.bin", "media/c/c.bin"};
  for (std::size_t i = 0; i < t.files.size(); ++i)
    if (chosen.count(t.files[i].path)) chosen_indexes.push_back(std::to_string(i));
  ASSERT_EQ(chosen_indexes.size(), 2u);

  const std::string data = path("btshell/");
  const finished_run r =
      run_btshell({"download", "--json", "--files", chosen_indexes[0] + "," + chosen_indexes[1], t.seed, data});
  expect_result(r, 0, "complete");
  EXPECT_EQ(r.json().value("status_name", ""), "finished");  // every wanted file; not all of them
  std::vector<std::string> notices;
  for (std::size_t i = 0; i < t.files.size(); ++i) {
    const content_file& f = t.files[i];
    const bool wanted = chosen.count(f.path) > 0;
    EXPECT_EQ(r.json()["files"][i].value("state", ""), wanted ? "complete" : "not wanted") << f.path;
    if (wanted) {
      EXPECT_TRUE(same_bytes(data + f.path, t.data_folder + f.path)) << f.path;
    } else {
      EXPECT_FALSE(exists(data + f.path)) << f.path;
      EXPECT_FALSE(exists(data + f.path + ".bt.td")) << f.path;
    }
    notices.push_back(data + f.path);
  }
  EXPECT_EQ(hub_notices(t, data), notices);
}

}  // namespace
