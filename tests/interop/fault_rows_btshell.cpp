// The fault suite's rows of what `btshell download` and `btshell seed` tell
// the user: a failed save, a download that finds no peer, signals, exact
// byte counts, unusable data folders (the files that finished last: the
// 100,000 files of fault_rows_kernel.cpp and the round trips).
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "tests/interop/fault_suite.h"

namespace bts_test {

namespace {

using nlohmann::json;

constexpr std::size_t kMiB = 1024 * 1024;

bool has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// The task's state beside the seed.
std::string state_file(const made_torrent& t) { return beside_seed(t, ".bt.cfg"); }

// The kernel cannot write the state: a folder holds its name (a read-only
// folder would not stop root).
void failed_save(interop_fixture& f) {
  const made_torrent t = f.make_torrent("unsaved", {{"data.bin", 300 * 1024}});
  std::filesystem::create_directories(state_file(t) + "/in_the_way");
  // The data is complete in the folder: the download ends once it is checked.
  const finished_run json_run = f.run_btshell({"download", "--json", t.seed, t.data_folder});
  EXPECT_EQ(json_run.status, 1) << json_run.err;
  const json report = json_run.json();
  EXPECT_EQ(report.value("result", ""), "complete") << json_run.out;
  EXPECT_FALSE(report.value("state_saved", true));
  EXPECT_NE(report.value("stop_result", 0), 0);
  const finished_run text_run = f.run_btshell({"download", t.seed, t.data_folder});
  EXPECT_EQ(text_run.status, 1);
  EXPECT_FALSE(has(text_run.out, "StopTask 0 (success)")) << text_run.out;
  EXPECT_TRUE(has(text_run.out, "checks the data on disk instead of continuing")) << text_run.out;
  EXPECT_TRUE(std::filesystem::is_directory(state_file(t) + "/in_the_way"));
}

// The tracker refuses the torrent (not on its whitelist): no peer ever.
void peerless_download_says_why(interop_fixture& f) {
  const made_torrent listed = f.make_torrent("listed", {{"l.bin", 100 * 1024}});
  const made_torrent t = f.make_torrent("unlisted", {{"u.bin", 100 * 1024}});
  f.start_tracker({&listed});
  child_process& run = f.start_btshell({"download", "--json", t.seed, f.path("btshell/")}, "peerless");
  ASSERT_TRUE(wait_until([&] { return has(read_file(f.path("peerless.err")), "no peer connected") || !run.running(); },
                         std::chrono::seconds(60)));
  run.send(SIGINT);
  const finished_run r = f.finish(run, "peerless", std::chrono::seconds(60));
  EXPECT_TRUE(has(r.err, "no peer connected; the trackers' last answers:\n  http://127.0.0.1:")) << r.err;
  const json report = r.json();
  ASSERT_EQ(report["trackers"].size(), 1u) << r.out;
  const json& answer = report["trackers"][0];
  EXPECT_EQ(answer.value("state", ""), "failed");
  // The tracker's own words, in the note and in the report.
  EXPECT_TRUE(has(r.err, answer.value("url", "?") + ": " + answer.value("answer", "?") + "\n")) << r.err;
  EXPECT_TRUE(has(answer.value("answer", ""), "not authorized")) << answer;
  EXPECT_EQ(report["peers_seen"], json::array());
}

// SIGHUP stops as SIGINT does; two signals close together (GNU timeout
// signals the process, then its group) are one request: the report and the
// state are there.
void signals_stop_cleanly(interop_fixture& f) {
  const made_torrent t = f.make_torrent("signalled", {{"s.bin", 100 * 1024}});
  const auto started = [&](const char* log) {
    child_process& run = f.start_btshell({"download", "--json", t.seed, f.path(std::string(log) + "/")}, log);
    EXPECT_TRUE(wait_until([&] { return has(read_file(f.path(std::string(log) + ".err")), "kernel: installed"); },
                           std::chrono::seconds(30)));
    return &run;
  };
  child_process* run = started("hangup");
  run->send(SIGHUP);
  finished_run r = f.finish(*run, "hangup", std::chrono::seconds(60));
  EXPECT_EQ(r.status, 128 + SIGHUP) << r.err;
  EXPECT_EQ(r.json().value("signal", 0), SIGHUP) << r.out;

  std::filesystem::remove(state_file(t));
  run = started("twice");
  run->send(SIGTERM);
  ASSERT_TRUE(wait_until([&] { return has(read_file(f.path("twice.err")), "signal 15: stopping"); },
                         std::chrono::seconds(30)));
  run->send(SIGTERM);
  r = f.finish(*run, "twice", std::chrono::seconds(60));
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
  EXPECT_EQ(r.json().value("result", ""), "interrupted") << r.out;
  EXPECT_TRUE(r.json().value("state_saved", false));
  EXPECT_TRUE(exists(state_file(t)));
}

// A size that is no whole number of KiB.
void exact_bytes(interop_fixture& f) {
  const std::size_t size = 3 * kMiB + 12345;
  const made_torrent t = f.make_torrent("odd", {{"odd.bin", size}});
  f.start_tracker({&t});
  f.start_aria2_seeder(t);
  ASSERT_TRUE(f.wait_for_seeder(t));
  const finished_run r = f.run_btshell({"download", "--json", t.seed, f.path("btshell/")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.json().value("received_bytes", std::size_t{0}), size) << r.out;
}

// A data folder that cannot be made, one that is missing for a seed, and a
// seed given the folder above its files (where aria2c keeps them).
void unusable_data_folders(interop_fixture& f) {
  const made_torrent t = f.make_torrent("folders", {{"a/one.bin", 40000}, {"two.bin", 50000}});
  f.start_tracker({&t});
  const std::string blocked = f.path("a_file/data/");
  std::ofstream(f.path("a_file")) << "not a folder";
  finished_run r = f.run_btshell({"download", t.seed, blocked});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "cannot make the data folder " + blocked + ": Not a directory")) << r.err;

  const std::string missing = f.path("missing/");
  r = f.run_btshell({"seed", t.seed, missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "the data folder " + missing + " does not exist")) << r.err;
  EXPECT_FALSE(has(r.err, "task:"));  // refused before any task was made
  EXPECT_FALSE(exists(missing));

  r = f.run_btshell({"seed", t.seed, t.data_root});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.out, "result:         failed: 10007")) << r.out;
  // The kernel's words: the file it looked for, where.
  EXPECT_TRUE(has(r.out, "failure:        the data to upload is not complete: " + t.data_root)) << r.out;
  EXPECT_TRUE(has(r.out, " is missing (files go straight into the data folder " + t.data_root + ")")) << r.out;
  EXPECT_FALSE(exists(state_file(t)));
}

const fault_rows rows({
    {"FailedSaveIsNoSuccess", "a state that could not be saved was reported as StopTask 0 (success)", failed_save},
    {"PeerlessDownloadSaysWhy", "without peers btshell showed peers 0 and never why",
     peerless_download_says_why},
    {"SignalsStopCleanly", "SIGHUP killed btshell; two signals at once lost the report", signals_stop_cleanly},
    {"BytesAreExact", "received_bytes and sent_bytes were whole KiB", exact_bytes},
    {"UnusableDataFoldersAreNamed", "unusable data folders were reported as -11 or 10007 without a name",
     unusable_data_folders},
});

}  // namespace

}  // namespace bts_test
