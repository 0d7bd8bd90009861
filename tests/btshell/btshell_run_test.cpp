// The built btshell, run as a user runs it: the real plugin module and the
// real kernel module of the build tree, seeds of the corpus.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

struct run_result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class BtshellRun : public ::testing::Test {
 protected:
  run_result run(const std::vector<std::string>& args) const {
    std::string line = "cd " + quoted(dir_.path()) + " && " + quoted(BTSHELL_EXE);
    for (const std::string& a : args) line += " " + quoted(a);
    line += " >" + quoted(dir_.file("out.txt")) + " 2>" + quoted(dir_.file("err.txt"));
    const int raw = std::system(line.c_str());
    run_result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_all(dir_.file("out.txt"));
    r.err = read_all(dir_.file("err.txt"));
    return r;
  }
  static std::string seed(const char* name) { return std::string(BTS_CORPUS_DIR) + "/" + name; }
  static bool has(const std::string& text, const std::string& line) { return text.find(line) != std::string::npos; }

  bts_test::temp_dir dir_;
};

TEST_F(BtshellRun, InspectShowsTheSeedAndNamesFailures) {
  const run_result r = run({"inspect", seed("sample.torrent")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "info hash:      58D8D15A4EB3BD9AFABC9CEE2564F78192777EDB\n")) << r.out;
  EXPECT_TRUE(has(r.out, "title:          sample\n")) << r.out;
  EXPECT_TRUE(has(r.out, "files:          3 (16,404 bytes)\n               25  text_file2.txt\n")) << r.out;
  EXPECT_TRUE(has(r.out, "trackers:       2\n  udp://tracker.opentracker.com:80/announce\n")) << r.out;
  EXPECT_EQ(r.err, "");  // nothing logged at the default level
  // A negative file length makes the seed malformed.
  const run_result hostile = run({"inspect", seed("negative_file_size.torrent")});
  EXPECT_EQ(hostile.status, 1);
  EXPECT_TRUE(has(hostile.err, "-24 (the seed file is not valid bencode)")) << hostile.err;

  const run_result missing = run({"inspect", dir_.file("none.torrent")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_TRUE(has(missing.err, "none.torrent: -13 (the seed file cannot be read)\n")) << missing.err;
  const run_result garbled = run({"inspect", seed("string.torrent")});
  EXPECT_EQ(garbled.status, 1);
  EXPECT_TRUE(has(garbled.err, "-24 (the seed file is not valid bencode)")) << garbled.err;
}

TEST_F(BtshellRun, BadUsageAndBadSetUp) {
  EXPECT_EQ(run({}).status, 2);
  const run_result unknown = run({"frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(has(unknown.err, "unknown command frobnicate")) << unknown.err;
  EXPECT_EQ(run({"notify-moved", "a", "b"}).status, 2);
  EXPECT_EQ(run({"--log-config", dir_.file("none.properties"), "inspect", "x"}).status, 2);
  const run_result help = run({"help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(has(help.out, "usage: btshell")) << help.out;

  const run_result no_module = run({"--module", dir_.file("none.so"), "inspect", seed("sample.torrent")});
  EXPECT_EQ(no_module.status, 1);
  EXPECT_TRUE(has(no_module.err, "cannot load the plugin module")) << no_module.err;
}

TEST_F(BtshellRun, TempFilesAndHubNoticesFollowTheSeedsFiles) {
  namespace fs = std::filesystem;
  fs::copy_file(seed("sample.torrent"), dir_.file("sample.torrent"));
  const std::string hex = "58D8D15A4EB3BD9AFABC9CEE2564F78192777EDB";
  dir_.write(hex + ".bt.cfg", "cfg");
  dir_.make_dirs("data");
  dir_.write("data/text_file2.txt.bt.td", "part");
  dir_.write("data/text_file.txt", "done");
  const run_result listed = run({"temp-files", "sample.torrent", "data"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_TRUE(has(listed.out, "IsTempFileExist: 0 (success)")) << listed.out;
  EXPECT_TRUE(has(listed.out, "(GetCfgFileList):\n  ./" + hex + ".bt.cfg\nfiles")) << listed.out;
  EXPECT_TRUE(has(listed.out, "(GetDataFileList):\n  data/text_file2.txt.bt.td\n  data/text_file.txt\n"))
      << listed.out;

  const run_result moved = run({"notify-moved", "/old", "sample.torrent", "/new/"});
  ASSERT_EQ(moved.status, 0) << moved.err;
  EXPECT_TRUE(has(moved.out, "  moved    /old/text_file.txt\n        -> /new/text_file.txt\n")) << moved.out;
  const run_result deleted = run({"notify-deleted", "/dl", "sample.torrent"});
  ASSERT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_TRUE(has(deleted.out, "  deleted  /dl/text_file2.txt\n")) << deleted.out;
}

TEST_F(BtshellRun, LazyKernelReplaysTheRecordedCommandsOnTheRealTask) {
  const run_result r = run({"--kernel-version", "1.2", "lazy-kernel", seed("sample.torrent"), "data"});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_TRUE(has(r.out, "requested bt_kernel 1.2; 1 pending")) << r.out;
  EXPECT_TRUE(has(r.out, "ReportEvent(2, 152, -1, 0)")) << r.out;
  EXPECT_TRUE(has(r.out, "ReportEvent(2, 154, -1, 0)")) << r.out;
  // The real task is made at the hand-over and receives the commands in the order given.
  EXPECT_TRUE(has(r.out, "\",5:\"data/\",[],[]) -> task1\n"
                         "    task1.AttachEvents(sinks=1)\n"
                         "    task1.SetDispatchStrategy(2)\n"
                         "    task1.SetStatParam(6:\"source\",7:\"btshell\",4:\"demo\",7)\n"
                         "    task1.ResetNeedDownloadFile([0])\n"
                         "    task1.SetFileDownOrder([1,0])\n"
                         "    task1.StartTask()\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "the host's sink heard: OnBtTaskEvent1(42)\n")) << r.out;
  EXPECT_TRUE(has(r.out, "    task1.StopTask()\n    task1.destroyed\n  kernel tasks: 1 created, 0 alive\n")) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("data")));  // the shell made the data folder

  // Without the kernel module the proxy reports the failure and btshell says so.
  dir_.make_dirs("no_modules");
  const run_result missing =
      run({"--kernel-version", "1.2", "--modules-dir", dir_.file("no_modules"), "lazy-kernel", seed("sample.torrent"),
           "data"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(has(missing.out, "ReportEvent(4, 153, -1, 0)")) << missing.out;
  EXPECT_TRUE(has(missing.out, "IsModuleDownloadFailed -> 0 (success), GetFailureDetail -> 0 (success), code 10014"))
      << missing.out;
  EXPECT_TRUE(has(missing.err, "the kernel module could not be installed")) << missing.err;
}

}  // namespace
