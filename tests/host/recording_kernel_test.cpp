// The stand-in kernel made in-process: its journal, configured answers,
// interface options, task state and events.
#include "host/recording_kernel/recording_kernel.h"

#include <gtest/gtest.h>

#include <cstring>

#include "com_utility/StringSetter.h"
#include "host/kernel_probe/kernel_probe.h"
#include "interfaces/string_types.h"
#include "mp/mp.h"
#include "interfaces/IAcceleratable.h"
#include "support/recording_sink.h"
#include "support/log_capture.h"

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

TEST_F(kernel_fixture, ConfiguredResultsWinAndAFailureSkipsTheEffect) {
  probe.set_result("kernel.CreateNewTask", E_OUTOFMEMORY);
  com_ptr<IBtTask> none;
  EXPECT_EQ(E_OUTOFMEMORY, kernel->CreateNewTask(to_tag_string("s"), to_tag_string("d"), 0, nullptr, 0, nullptr, none.put()));
  EXPECT_FALSE(none);
  EXPECT_EQ(0u, probe.tasks_created());
  EXPECT_EQ("kernel.CreateNewTask(1:\"s\",1:\"d\",[],[])", probe.journal().back());
  probe.reset_answers();

  // An answer for one task wins over the one for every task; a failure leaves the outputs alone.
  auto t1 = new_task(), t2 = new_task();
  probe.set_result("task.StartTask", S_FALSE);
  probe.set_result("task2.StartTask", E_FAIL);
  probe.set_result("task2.GetSpeed", E_FAIL);
  probe.set_value("task.GetSpeed.speed1", 7);
  probe.set_value("task.GetNewConnectInfo.result_size", 4);
  probe.set_value("task.GetNewConnectInfo.result", 11);
  EXPECT_EQ(S_FALSE, t1->StartTask());
  EXPECT_EQ(E_FAIL, t2->StartTask());
  ULONG s1 = 55, s2 = 55, s3 = 55, size = 0, res = 0;
  t2->GetSpeed(&s1, &s2);
  t1->GetSpeed(&s3, &s2);
  t1->GetNewConnectInfo(1, 2, &size, &res);
  EXPECT_EQ((std::vector<ULONG>{55, 7, 4, 11}), (std::vector<ULONG>{s1, s3, size, res}));  // 55: untouched

  // The kernel's own seed operations are not served by the stand-in.
  SEED_FILE_INFO* info = reinterpret_cast<SEED_FILE_INFO*>(1);
  EXPECT_EQ(E_NOTIMPL, kernel->ParseSeedFile(to_tag_string("x"), &info));
  EXPECT_EQ(nullptr, info);
}

TEST_F(kernel_fixture, TasksKeepTheirOwnStateAndAnswersAndOutliveTheirKernel) {
  auto task = new_task();
  BOOL flag = 7;
  task->GetStopFlag(&flag);
  EXPECT_EQ(FALSE, flag);
  task->SignalStop();
  task->GetStopFlag(&flag);
  EXPECT_EQ(TRUE, flag);
  EXPECT_EQ(S_FALSE, task->IsStopped());  // a signal is not a stop
  task->StopTask();
  EXPECT_EQ(S_OK, task->IsStopped());
  task->StartTask();
  EXPECT_EQ(S_FALSE, task->IsStopped());
  ULONG type = 0;
  task->SetTaskType(7);
  task->GetTaskType(&type);
  EXPECT_EQ(7u, type);
  EXPECT_EQ(S_OK, task->IsSupportDispatchStrategy(1));
  EXPECT_EQ(S_FALSE, task->IsSupportDispatchStrategy(2));

  com_ptr<IAcceleratable> acc;
  ASSERT_EQ(S_OK, task.query(IID_IAcceleratable, acc));
  std::string text = "unchanged", id1, id2;
  CStringSetter setter(&text), set1(&id1), set2(&id2);
  EXPECT_EQ(S_FALSE, acc->IsAccelerated(&setter));
  EXPECT_EQ(S_OK, acc->Accelerate(to_tag_string("abc")));
  EXPECT_EQ(S_OK, acc->IsAccelerated(nullptr));
  EXPECT_EQ(S_OK, acc->IsAccelerated(&setter));
  EXPECT_EQ("abc", text);
  task->GetFileIdInfo(3, &set1, &set2);
  EXPECT_EQ("id1-3 id2-3", id1 + " " + id2);

  probe.set_value("task.GetTaskInfo.status", 5);
  probe.set_value("task.GetResourceInfo.value", 6);
  tagTASK_INFO info;
  std::memset(&info, 0xAB, sizeof info);
  task->GetTaskInfo(&info);
  EXPECT_EQ(5u, info.task_status);
  EXPECT_EQ(0u, info.seed_count);
  tagRESOURCE_INFO resource;
  std::memset(&resource, 0xCD, sizeof resource);
  task->GetResourceInfo(0, &resource);
  EXPECT_EQ(6u, resource.value5);
  EXPECT_EQ(0xCD, resource.data[0]);  // the kernel's area is left alone
  com_ptr<IBtTask2> task2;
  ASSERT_EQ(S_OK, task.query(IID_IBtTask2, task2));
  tagTASK_INFO2* block = nullptr;
  ASSERT_EQ(S_OK, task2->GetTaskInfo(&block));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(5u, block->value1);
  mp_gv(block);  // the caller's, from the memory-pool library

  // A task outlives its kernel.
  task2.reset();
  acc.reset();
  kernel.reset();
  EXPECT_EQ(S_OK, task->StopTask());
  EXPECT_EQ("task1.StopTask()", probe.journal().back());
}

TEST_F(kernel_fixture, EventsReachAttachedSinksInOrderUntilDetachedOrClosed) {
  std::vector<std::string> journal;
  auto a = recording_sink::create("A", &journal), b = recording_sink::create("B", &journal);
  auto t1 = new_task(), t2 = new_task();
  ASSERT_EQ(S_OK, t2->AttachEvents(a.get()));
  ASSERT_EQ(S_OK, t2->AttachEvents(b.get()));
  EXPECT_EQ(E_UNEXPECTED, t2->AttachEvents(a.get()));
  ASSERT_EQ(S_OK, kernel->AttachEvents(b.get()));
  ASSERT_EQ(S_OK, kernel->AttachEvents(a.get()));
  EXPECT_EQ(2u, probe.sink_count(2));
  EXPECT_EQ(0u, probe.sink_count(1));

  EXPECT_EQ(S_OK, probe.raise_task_event(2, 2, 7));
  EXPECT_EQ(S_OK, probe.raise_task_event(1, 4, 1));  // no sinks on task 1
  EXPECT_EQ(E_INVALIDARG, probe.raise_task_event(2, 5, 1));
  EXPECT_EQ(E_FAIL, probe.raise_task_event(9, 1, 1));
  probe.raise_kernel_event1(3);
  probe.raise_kernel_event2(4, 5);
  t2->DetachEvents(a.get());
  EXPECT_EQ(E_UNEXPECTED, t2->DetachEvents(a.get()));
  probe.raise_task_event(2, 3, 8);
  kernel->DetachEvents(a.get());
  kernel->DetachEvents(b.get());
  probe.raise_kernel_event1(6);

  EXPECT_EQ((std::vector<std::string>{"A.OnBtTaskEvent2(7)", "B.OnBtTaskEvent2(7)", "B.OnBitTorrentEvent1(3)",
                                      "A.OnBitTorrentEvent1(3)", "B.OnBitTorrentEvent2(4,5)",
                                      "A.OnBitTorrentEvent2(4,5)", "B.OnBtTaskEvent3(8)"}),
            journal);
  EXPECT_EQ((std::vector<std::string>{"task2.AttachEvents(sinks=1)", "task2.AttachEvents(sinks=2)",
                                      "task2.AttachEvents(sinks=2)", "task2.DetachEvents(sinks=1)",
                                      "task2.DetachEvents(sinks=1)"}),
            probe.journal("task2."));

  // The probe hands out a live task, and nothing once it is gone.
  EXPECT_EQ(static_cast<void*>(t2.get()), static_cast<void*>(probe.task(2).get()));
  t2->DetachEvents(b.get());
  t2.reset();
  EXPECT_FALSE(probe.task(2));
  EXPECT_EQ(1u, probe.tasks_alive());

  // Closing lets go of every sink still attached and raises nothing more.
  journal.clear();
  kernel->AttachEvents(a.get());
  t1->AttachEvents(a.get());
  bts_test::log_capture log;
  kernel->close();
  EXPECT_EQ(2, log.count_containing("CEventsRaiser", log4cplus::FATAL_LOG_LEVEL, "didn't DetachEvents!!"));
  EXPECT_EQ(0u, probe.sink_count(0));
  EXPECT_EQ(0u, probe.sink_count(1));
  EXPECT_EQ(E_FAIL, kernel->AttachEvents(a.get()));
  EXPECT_EQ(E_UNEXPECTED, t1->DetachEvents(a.get()));
  probe.raise_kernel_event1(1);
  probe.raise_task_event(1, 1, 1);
  EXPECT_TRUE(journal.empty());
}

}  // namespace
