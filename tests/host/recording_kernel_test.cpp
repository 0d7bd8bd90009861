// The recording kernel made in-process: its journal and configured answers.
// The shell's tests drive it (its events, options and per-kernel answers);
// it lets go of its sinks at the module's end in the module downloader's test.
#include "host/recording_kernel/recording_kernel.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/kernel_probe/kernel_probe.h"
#include "interfaces/string_types.h"

namespace {

struct kernel_fixture : ::testing::Test {
  com_ptr<recording_kernel> kernel = recording_kernel::create();
  kernel_probe probe{static_cast<IBitTorrentKernel*>(kernel.get())};

  com_ptr<IBtTask> new_task() {
    com_ptr<IBtTask> task;
    kernel->CreateNewTask(to_tag_string("s.torrent"), to_tag_string("/d/"), 0, nullptr, 0, nullptr, task.put());
    return task;
  }
};

TEST_F(kernel_fixture, JournalNamesEveryArgumentInCallOrderAcrossKernelAndTasks) {
  SEED_TRACKER_ITEM trackers[2] = {};
  trackers[0].url_len = 8;
  std::memcpy(trackers[0].url, "udp://t/", 8);
  const ULONG first[] = {4, 5};
  com_ptr<IBtTask> task;
  ASSERT_EQ(S_OK, kernel->CreateContinuedTask(tagSTRING{5, "a\"b\\\nzzz"}, tagSTRING{0, nullptr}, 2, first, 2,
                                              trackers, task.put()));

  // SetStatParam keeps the bytes as they were during the call.
  std::string p1 = "one", p2 = "two";
  task->SetStatParam(to_tag_string(p1), to_tag_string(p2), tagSTRING{0, nullptr}, -3);
  p1[0] = 'X';
  const ULONG order[] = {2, 0, 1};
  task->SetFileDownOrder(3, order);
  task->ResetNeedDownloadFile(2, nullptr);
  kernel->StartReimportTask(to_tag_string("r1"), tagSTRING{4, nullptr}, to_tag_string(""));
  com_ptr<IBtTask2> task2;
  ASSERT_EQ(S_OK, task.query(IID_IBtTask2, task2));
  task2->SetDapPriorityList(0, nullptr);
  task2.reset();
  task.reset();

  EXPECT_EQ((std::vector<std::string>{
                "kernel.CreateContinuedTask(5:\"a\\\"b\\\\\\x0A\",0:\"\",[4,5],[8:\"udp://t/\",0:\"\"]) -> task1",
                "task1.SetStatParam(3:\"one\",3:\"two\",0:\"\",-3)",
                "task1.SetFileDownOrder([2,0,1])",
                "task1.ResetNeedDownloadFile(2:null)",
                "kernel.StartReimportTask(2:\"r1\",4:null,0:\"\")",
                "task1.SetDapPriorityList([])",
                "task1.destroyed"}),
            probe.journal());
}

// (A refused creation makes no task, and the answers of a task's own state
// are forwarded by the proxy: the shell's tests drive this kernel.)
TEST_F(kernel_fixture, ConfiguredResultsWinAFailureSkipsTheEffectAndTasksOutliveTheKernel) {
  // An answer for one task wins over the one for every task; a failure leaves the outputs alone.
  auto t1 = new_task(), t2 = new_task();
  probe.set_result("task.StartTask", S_FALSE);
  probe.set_result("task2.StartTask", E_FAIL);
  probe.set_result("task2.GetSpeed", E_FAIL);
  probe.set_value("task.GetSpeed.speed1", 7);
  EXPECT_EQ(S_FALSE, t1->StartTask());
  EXPECT_EQ(E_FAIL, t2->StartTask());
  ULONG s1 = 55, s2 = 55, s3 = 55;
  t2->GetSpeed(&s1, &s2);
  t1->GetSpeed(&s3, &s2);
  EXPECT_EQ((std::vector<ULONG>{55, 7}), (std::vector<ULONG>{s1, s3}));  // 55: untouched

  kernel.reset();
  EXPECT_EQ(S_OK, t1->StopTask());
  EXPECT_EQ("task1.StopTask()", probe.journal().back());
}

}  // namespace
