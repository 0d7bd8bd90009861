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

std::string seed(const char* name) { return std::string(BTS_CORPUS_DIR) + "/" + name; }

// One run of btshell: its exit status, the lines its output must hold, and
// a text its error output must hold (for a success: nothing at all).
struct expected_run {
  std::vector<std::string> args;
  int status;
  std::vector<std::string> out;
  std::string err;
};

TEST(BtshellRun, EachCommandEndsWithItsStatusAndPrintsItsKeyLines) {
  bts_test::temp_dir dir;
  std::filesystem::copy_file(seed("sample.torrent"), dir.file("sample.torrent"));
  const std::string hex = "58D8D15A4EB3BD9AFABC9CEE2564F78192777EDB";
  dir.write(hex + ".bt.cfg", "cfg");
  dir.make_dirs("data");
  dir.make_dirs("no_modules");
  dir.write("data/text_file2.txt.bt.td", "part");
  dir.write("data/text_file.txt", "done");
  const std::string bencode = "-24 (the seed file is not valid bencode)";

  const expected_run runs[] = {
      {{"inspect", seed("sample.torrent")}, 0,
       {"info hash:      " + hex + "\n", "title:          sample\n",
        "files:          3 (16,404 bytes)\n               25  text_file2.txt\n",
        "trackers:       2\n  udp://tracker.opentracker.com:80/announce\n"}, ""},
      {{"help"}, 0, {"usage: btshell"}, ""},
      {{"temp-files", "sample.torrent", "data"}, 0,
       {"IsTempFileExist: 0 (success)", "(GetCfgFileList):\n  ./" + hex + ".bt.cfg\nfiles",
        "(GetDataFileList):\n  data/text_file2.txt.bt.td\n  data/text_file.txt\n"}, ""},
      {{"notify-moved", "/old", "sample.torrent", "/new/"}, 0,
       {"  moved    /old/text_file.txt\n        -> /new/text_file.txt\n"}, ""},
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
      {{}, 2, {}, "usage"},
      {{"frobnicate"}, 2, {}, "unknown command frobnicate"},
      {{"notify-moved", "a", "b"}, 2, {}, "notify-moved takes"},
      {{"--log-config", dir.file("none.properties"), "inspect", "x"}, 2, {}, "none.properties"},
      {{"--module", dir.file("none.so"), "inspect", seed("sample.torrent")}, 1, {}, "cannot load the plugin module"},
      {{"inspect", dir.file("none.torrent")}, 1, {}, "none.torrent: -13 (the seed file cannot be read)\n"},
      {{"inspect", seed("string.torrent")}, 1, {}, bencode},
      // A negative file length makes the seed malformed.
      {{"inspect", seed("negative_file_size.torrent")}, 1, {}, bencode},
  };
  for (const expected_run& e : runs) {
    std::string line = "cd " + quoted(dir.path()) + " && " + quoted(BTSHELL_EXE);
    for (const std::string& a : e.args) line += " " + quoted(a);
    line += " >" + quoted(dir.file("out.txt")) + " 2>" + quoted(dir.file("err.txt"));
    const int raw = std::system(line.c_str());
    const std::string out = read_all(dir.file("out.txt")), err = read_all(dir.file("err.txt"));
    const std::string what = e.args.empty() ? "(no arguments)" : e.args[0] + " " + e.args.back();
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, e.status) << what << "\n" << err;
    for (const std::string& l : e.out) EXPECT_NE(out.find(l), std::string::npos) << what << ": " << l << "\n" << out;
    if (e.err.empty()) {
      EXPECT_EQ(err, "") << what;  // nothing logged at the default level
    } else {
      EXPECT_NE(err.find(e.err), std::string::npos) << what << "\n" << err;
    }
    if (e.status == 1 && e.args[0] == "inspect") {
      EXPECT_EQ(out, "") << what;
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("made")));  // the shell made the data folder
}

}  // namespace
