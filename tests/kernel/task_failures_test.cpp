// What a kernel object answers when a task cannot be set up or cannot go on,
// and for operations that have no meaning for it.
#include <gtest/gtest.h>

#include <cstring>

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

// Seeds the naming rule refuses: tests/naming/seed_naming_test.cpp, and the
// kernel's born-failed task for one: the fault row NamingInProgressNameOfAnotherFile.
TEST_F(KernelFailureTest, TaskThatCannotBeSetUpIsBornFailed) {
  dir_.write("plain_file", "x");
  struct row {
    const char* what;
    std::string seed;
    std::string data;
    std::vector<ULONG> selection;
    LONG failure;
  } rows[] = {
      {"missing seed", dir_.file("none.torrent"), leecher_data(), {}, bt_failure_seed_unreadable},
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
}

TEST_F(KernelFailureTest, UploadOfMissingDataFailsOnceChecked) {
  // No data folder: born failed, and the folder is not made.
  com_ptr<IBtTask> task;
  ASSERT_EQ(create(&IBitTorrent::CreateUploadTask, seed_path(), leecher_data(), {}, task), S_OK);
  EXPECT_EQ(failure_of(task.get()), bt_failure_data_incomplete);
  EXPECT_FALSE(exists(leecher_data()));
  task.reset();

  // A data folder without the files: the failure once they are checked (its
  // code, its text naming the first file missing and no state left are the
  // fault row UnusableDataFoldersAreNamed); the files are not made up.
  dir_.make_dirs("leecher");
  ASSERT_EQ(create(&IBitTorrent::CreateUploadTask, seed_path(), leecher_data(), {}, task), S_OK);
  std::vector<std::string> journal;
  com_ptr<recording_sink> sink = recording_sink::create("sink", &journal);
  ASSERT_EQ(task->AttachEvents(sink.get()), S_OK);
  EXPECT_EQ(task_info(task.get()).task_status, bt_task_idle);
  EXPECT_EQ(task->StartTask(), S_OK);
  // The host hears the failure, then the status (no other test hears them from the kernel).
  ASSERT_TRUE(wait_until([&] { return sink->lines().size() >= 2 && sink->lines().back() == "sink.OnBtTaskEvent1(12)"; }));
  EXPECT_EQ(failure_of(task.get()), bt_failure_data_incomplete);
  const std::vector<std::string> lines = sink->lines();
  EXPECT_EQ(lines[lines.size() - 2], "sink.OnBtTaskEvent4(10007)");
  EXPECT_EQ(task->DetachEvents(sink.get()), S_OK);
  EXPECT_EQ(task->StopTask(), S_OK);
  task.reset();
  EXPECT_TRUE(std::filesystem::is_empty(leecher_data()));
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

  EXPECT_EQ(kernel_->CreateCfgFile(1, 2, 3, 4, 5, 6, 7, 8), E_NOTIMPL);
  EXPECT_EQ(first->SetStatParam(tagSTRING{}, tagSTRING{}, tagSTRING{}, 0), E_NOTIMPL);
  com_ptr<IBitTorrentTest> test;
  ASSERT_EQ(kernel_->QueryInterface(IID_IBitTorrentTest, test.put_void()), S_OK);
  EXPECT_EQ(test->CreateBtWriterFactory(0), E_NOTIMPL);
}

}  // namespace
