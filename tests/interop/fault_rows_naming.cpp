// Fault rows: seeds whose files the shell and the kernel named differently
// (docs/robustness.md, "Hostile seeds").
#include <libtorrent/hasher.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/interop/fault_suite.h"
#include "tests/support/seed_text.h"

namespace bts_test {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

void write_file(const std::string& file, const std::string& content) {
  fs::create_directories(fs::path(file).parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

// The seed's refusal: btshell inspect ends with status 1, the result -24 and
// the shell's ERROR line naming `why`.
void expect_refused(interop_fixture& f, const std::string& seed, const std::string& why) {
  const finished_run r = f.run_btshell({"inspect", seed}, std::chrono::seconds(30));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.err.find(": -24 ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
}

// The shell refuses the seed, and so does the kernel when it is asked
// directly: the download is born failed, its data folder not even made.
void x_and_its_in_progress_name(interop_fixture& f) {
  const made_torrent t = f.make_torrent("clash", {{"x", 40000}, {"x.bt.td", 30000}}, 16384);
  expect_refused(f, t.seed, "the path x.bt.td is another file's in-progress name");
  const std::string data = f.path("kernel/");
  in_process_task made = new_kernel_task(f.path("modules/bt_kernel.ini"), t.seed, data);
  ASSERT_TRUE(made.task3);
  EXPECT_EQ(made.task->StartTask(), E_FAIL);
  LONG failure = 0;
  EXPECT_EQ(made.task3->GetFailureDetail(&failure), S_OK);
  EXPECT_EQ(failure, bt_failure_seed_invalid);
  EXPECT_FALSE(exists(data));
}

// Keys of "info" out of order: libtorrent's info hash (the stored bytes)
// is not the shell's (the canonical encoding), the state must be named
// after the shell's.
void state_of_a_non_canonical_seed(interop_fixture& f) {
  const std::string content(40000, 'c');
  std::string pieces;
  for (std::size_t at = 0; at < content.size(); at += 16384) {
    const int size = static_cast<int>(std::min<std::size_t>(16384, content.size() - at));
    const lt::sha1_hash h = lt::hasher(content.data() + at, size).final();
    pieces.append(h.data(), h.size());
  }
  made_torrent t;
  t.seed = f.path("seeds/unsorted.torrent");
  write_file(t.seed, "d4:infod4:name5:a.bin6:lengthi40000e12:piece lengthi16384e6:pieces" + bstr(pieces) + "ee");
  const std::string data = f.path("btshell/");
  write_file(data + "a.bin", content);
  const finished_run r = f.run_btshell({"download", "--json", t.seed, data}, std::chrono::seconds(60));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string state = f.path("seeds/") + r.json().value("info_hash", "") + ".bt.cfg";
  EXPECT_TRUE(exists(state)) << state;
  const interop_fixture::shell_files view = f.shell_view(t, data);
  EXPECT_TRUE(view.exists);
  ASSERT_EQ(view.cfg.size(), 1u);
  EXPECT_EQ(fs::path(view.cfg[0]).filename(), fs::path(state).filename());
}

void v2_only_seed(interop_fixture& f) {
  const std::string seed = f.path("seeds/v2.torrent");
  write_file(seed, "d4:infod9:file treed5:a.bind0:d6:lengthi1e11:pieces root32:" + std::string(32, 'r') +
                       "eee12:meta versioni2e4:name5:a.bin12:piece lengthi16384eee");
  expect_refused(f, seed, "the seed has no v1 file list (BitTorrent v2 only)");
}

void symbolic_link_entry(interop_fixture& f) {
  const std::string seed = f.path("seeds/link.torrent");
  write_file(seed, "d4:infod5:filesld6:lengthi1e4:pathl1:aeed4:attr1:l6:lengthi0e4:pathl1:be12:symlink pathl1:aeee"
                   "4:name4:link12:piece lengthi16384e6:pieces20:" + std::string(20, 'h') + "ee");
  expect_refused(f, seed, "the seed holds a symbolic link, which is not made");
}

// With b.bin left out only a.bin and c.bin are fetched, b.bin not even
// made; its bytes that share a piece with a.bin or c.bin are kept in the
// part file: a host deleting the download's files must be told of it.
void part_file_of_a_selection(interop_fixture& f) {
  const made_torrent t =
      f.make_torrent("parts", {{"a.bin", 3 * 65536 + 12345}, {"b.bin", 5 * 65536 + 777}, {"c/c.bin", 2 * 65536 + 4242}},
                     64 * 1024);
  f.start_tracker({&t});
  f.start_aria2_seeder(t);
  ASSERT_TRUE(f.wait_for_seeder(t));
  const std::string data = f.path("btshell/");
  const finished_run r = f.run_btshell({"download", "--json", "--files", "0,2", t.seed, data});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json report = r.json();
  EXPECT_EQ(report.value("status_name", ""), "finished");  // every wanted file; not all of them
  for (std::size_t i = 0; i < t.files.size(); ++i) {
    const std::string file = data + t.files[i].path;
    const bool wanted = i != 1;
    EXPECT_EQ(report["files"][i].value("state", ""), wanted ? "complete" : "not wanted") << file;
    EXPECT_EQ(exists(file) || exists(file + ".bt.td"), wanted) << file;
    if (wanted) {
      EXPECT_TRUE(same_bytes(file, t.data_folder + t.files[i].path)) << file;
    }
  }
  const std::string part_file = data + "." + t.hash + ".parts";
  ASSERT_TRUE(exists(part_file));
  EXPECT_EQ(f.shell_view(t, data).data, (std::vector<std::string>{data + "a.bin", data + "c/c.bin", part_file}));
}

const fault_rows rows = {
    {"NamingInProgressNameOfAnotherFile", "x and x.bt.td in one torrent: one file's rename lands on the other's",
     x_and_its_in_progress_name},
    {"NamingStateOfNonCanonicalSeed", "the state of a seed with unsorted keys named after libtorrent's info hash",
     state_of_a_non_canonical_seed},
    {"NamingV2OnlySeed", "a v2-only seed reported as a seed of no files", v2_only_seed},
    {"NamingSymbolicLink", "a symbolic link entry listed as a file that is never written", symbolic_link_entry},
    {"NamingPartFile", "the part file of a selection never listed, so never deleted", part_file_of_a_selection},
};

}  // namespace

}  // namespace bts_test
