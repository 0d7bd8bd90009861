// What a kernel object answers when a task cannot be set up or cannot go on,
// and for operations that have no meaning for it.
#include <gtest/gtest.h>

#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "com_utility/StringSetter.h"
#include "interfaces/IBtTaskDetails.h"
#include "support/log_capture.h"
#include "support/recording_sink.h"
#include "tests/kernel/swarm_fixture.h"

namespace {

using namespace bts_test;
using std::filesystem::exists;

class KernelFailureTest : public swarm_fixture {
 protected:
  void SetUp() override {
    swarm_fixture::SetUp();
    generate({{"one.bin", 100 * 1024}, {"two.bin", 30 * 1024}});
    kernel_ = torrent_kernel::create(read_kernel_settings(dir_.write("kernel.ini", kLoopbackSettings)));
  }
  void TearDown() override {
    kernel_.reset();
    swarm_fixture::TearDown();
  }

  HRESULT create(HRESULT (STDMETHODCALLTYPE IBitTorrent::*operation)(tagSTRING, tagSTRING, ULONG, const ULONG*,
                                                                    ULONG, const SEED_TRACKER_ITEM*, IBtTask**),
                 const std::string& seed, const std::string& data, const std::vector<ULONG>& selection,
                 com_ptr<IBtTask>& task) {
    return (kernel_.get()->*operation)(to_tag_string(seed), to_tag_string(data),
                                       static_cast<ULONG>(selection.size()), selection.data(), 0, nullptr,
                                       task.put());
  }

  LONG failure_of(IBtTask* task) {
    com_ptr<IBtTask3> task3;
    EXPECT_EQ(com_ptr<IBtTask>(task).query(IID_IBtTask3, task3), S_OK);
    LONG code = -1;
    EXPECT_EQ(task3->GetFailureDetail(&code), S_OK);
    return code;
  }

  com_ptr<torrent_kernel> kernel_;
};

// A seed whose only file would land outside the data folder.
std::string escaping_seed() {
  lt::entry info;
  info["name"] = "x";
  info["piece length"] = 16384;
  info["pieces"] = std::string(20, '\0');
  lt::entry file;
  file["length"] = 10;
  file["path"] = lt::entry::list_type{lt::entry(".."), lt::entry("evil")};
  info["files"] = lt::entry::list_type{file};
  lt::entry torrent;
  torrent["info"] = info;
  std::string out;
  lt::bencode(std::back_inserter(out), torrent);
  return out;
}

TEST_F(KernelFailureTest, TaskThatCannotBeSetUpIsBornFailed) {
  dir_.write("garbage.torrent", "not bencode at all");
  dir_.write("escaping.torrent", escaping_seed());
  dir_.write("plain_file", "x");
  struct row {
    const char* what;
    std::string seed;
    std::string data;
    std::vector<ULONG> selection;
    LONG failure;
  } rows[] = {
      {"missing seed", dir_.file("none.torrent"), leecher_data(), {}, bt_failure_seed_unreadable},
      {"not a torrent", dir_.file("garbage.torrent"), leecher_data(), {}, bt_failure_seed_invalid},
      {"path out of the folder", dir_.file("escaping.torrent"), leecher_data(), {}, bt_failure_seed_invalid},
      {"index outside the torrent", seed_path(), leecher_data(), {0, 2}, bt_failure_bad_selection},
      {"data folder is a file", seed_path(), dir_.file("plain_file"), {}, bt_failure_data_folder},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    com_ptr<IBtTask> task;
    ASSERT_EQ(create(&IBitTorrent::CreateNewTask, r.seed, r.data, r.selection, task), S_OK);
    ASSERT_TRUE(task);
    EXPECT_EQ(task_info(task.get()).task_status, bt_task_failed);
    EXPECT_EQ(failure_of(task.get()), r.failure);
    EXPECT_EQ(task->StartTask(), E_FAIL);
    EXPECT_EQ(task_info(task.get()).task_status, bt_task_failed);
  }
  EXPECT_FALSE(exists(dir_.file("evil")));
}

TEST_F(KernelFailureTest, UploadOfMissingDataFailsOnceChecked) {
  // No data folder: born failed, and the folder is not made.
  com_ptr<IBtTask> task;
  ASSERT_EQ(create(&IBitTorrent::CreateUploadTask, seed_path(), leecher_data(), {}, task), S_OK);
  EXPECT_EQ(failure_of(task.get()), bt_failure_data_incomplete);
  EXPECT_FALSE(exists(leecher_data()));
  task.reset();

  dir_.make_dirs("leecher");
  ASSERT_EQ(create(&IBitTorrent::CreateUploadTask, seed_path(), leecher_data(), {}, task), S_OK);
  std::vector<std::string> journal;
  com_ptr<recording_sink> sink = recording_sink::create("sink", &journal);
  ASSERT_EQ(task->AttachEvents(sink.get()), S_OK);
  EXPECT_EQ(task_info(task.get()).task_status, bt_task_idle);
  EXPECT_EQ(task->StartTask(), S_OK);
  ASSERT_TRUE(wait_until([&] { return sink->lines().size() >= 2 && sink->lines().back() == "sink.OnBtTaskEvent1(12)"; }));
  EXPECT_EQ(failure_of(task.get()), bt_failure_data_incomplete);
  const std::vector<std::string> lines = sink->lines();
  EXPECT_EQ(lines[lines.size() - 2], "sink.OnBtTaskEvent4(10007)");
  EXPECT_EQ(task->DetachEvents(sink.get()), S_OK);
  // The failure names the first file missing, where it was looked for.
  com_ptr<IBtTaskDetails> details;
  ASSERT_EQ(task.query(IID_IBtTaskDetails, details), S_OK);
  std::string text;
  CStringSetter setter(&text);
  EXPECT_EQ(details->GetFailureText(&setter), S_OK);
  const auto first = std::find_if(files().begin(), files().end(), [](const generated_file& f) { return f.index == 0; });
  EXPECT_NE(text.find(leecher_data() + first->path + " is missing"), std::string::npos) << text;
  // Nothing was fetched: the files an upload needs are not made up; and no
  // state is left for data that is not there.
  EXPECT_EQ(task->StopTask(), S_OK);
  details.reset();
  task.reset();
  EXPECT_FALSE(exists(leecher_data() + files()[0].path));
  // The seed alone, once the torrent has left the session (and its lock gone).
  EXPECT_TRUE(wait_until([&] { return std::distance(std::filesystem::directory_iterator(dir_.file("seeds")), {}) == 1; }));
}

TEST_F(KernelFailureTest, RefusedArgumentsAndOperationsOfOtherEngines) {
  const std::string seed = seed_path();
  const std::string data = leecher_data();
  const ULONG one = 0;
  IBtTask* out = reinterpret_cast<IBtTask*>(1);
  EXPECT_EQ(kernel_->CreateNewTask(to_tag_string(seed), to_tag_string(data), 0, nullptr, 0, nullptr, nullptr),
            E_POINTER);
  EXPECT_EQ(kernel_->CreateNewTask(tagSTRING{0, nullptr}, to_tag_string(data), 0, nullptr, 0, nullptr, &out),
            E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(kernel_->CreateNewTask(to_tag_string(seed), to_tag_string(data), 1, nullptr, 0, nullptr, &out),
            E_INVALIDARG);
  for (const std::string& text : {std::string("peer://nowhere:80"), std::string("peer://127.0.0.1:0"),
                                  std::string("peer://[::1]80")}) {
    SEED_TRACKER_ITEM item{};
    item.url_len = static_cast<ULONG>(text.size());
    std::memcpy(item.url, text.data(), text.size());
    EXPECT_EQ(kernel_->CreateNewTask(to_tag_string(seed), to_tag_string(data), 1, &one, 1, &item, &out),
              E_INVALIDARG)
        << text;
  }
  SEED_TRACKER_ITEM overlong{};
  overlong.url_len = SEED_TRACKER_URL_MAX + 1;
  EXPECT_EQ(kernel_->CreateNewTask(to_tag_string(seed), to_tag_string(data), 0, nullptr, 1, &overlong, &out),
            E_INVALIDARG);

  // One task per torrent and kernel.
  com_ptr<IBtTask> first, second;
  ASSERT_EQ(create(&IBitTorrent::CreateNewTask, seed, data, {}, first), S_OK);
  ASSERT_EQ(create(&IBitTorrent::CreateNewTask, seed, data, {}, second), S_OK);
  EXPECT_EQ(failure_of(first.get()), bt_failure_none);
  EXPECT_EQ(failure_of(second.get()), bt_failure_duplicate);

  log_capture log;
  EXPECT_EQ(kernel_->CreateCfgFile(1, 2, 3, 4, 5, 6, 7, 8), E_NOTIMPL);
  EXPECT_EQ(first->SetStatParam(tagSTRING{}, tagSTRING{}, tagSTRING{}, 0), E_NOTIMPL);
  EXPECT_EQ(log.count("bt_kernel", log4cplus::INFO_LOG_LEVEL, "CreateCfgFile has no meaning for this kernel"), 1);
  EXPECT_EQ(log.count("bt_kernel", log4cplus::INFO_LOG_LEVEL, "SetStatParam has no meaning for this kernel"), 1);
  com_ptr<IBitTorrentTest> test;
  ASSERT_EQ(kernel_->QueryInterface(IID_IBitTorrentTest, test.put_void()), S_OK);
  EXPECT_EQ(test->CreateBtWriterFactory(0), E_NOTIMPL);
}

}  // namespace
