// Proxy tasks: recording while the kernel is on its way, the hand-over to the
// real task with the replay in order, the relay of its events, calls made
// during the replay, and the release of whatever was recorded.
#include <gtest/gtest.h>

#include <cstring>

#include "host/recording_kernel/kernel_state.h"
#include "support/recording_sink.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

using TaskReplayTest = shell_fixture;

// Any call on it fails the test: the proxy keeps the pointer and nothing else.
struct untouchable_speed_limit : ISpeedLimit {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override {
    ADD_FAILURE() << "QueryInterface on a recorded ISpeedLimit";
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ADD_FAILURE() << "AddRef on a recorded ISpeedLimit", 1; }
  ULONG STDMETHODCALLTYPE Release() override { return ADD_FAILURE() << "Release on a recorded ISpeedLimit", 1; }
  HRESULT STDMETHODCALLTYPE GetSpeedLimit(ULONG*) override {
    ADD_FAILURE() << "GetSpeedLimit on a recorded ISpeedLimit";
    return E_FAIL;
  }
};

// The real task is made with the creation's arguments and given every
// recorded command in order, with the caller's buffers as they were at the call.
TEST_F(TaskReplayTest, KernelArrivalCreatesTheRealTaskReplaysAndRelaysItsEventsUntilStopTask) {
  const ULONG first[] = {4, 5};
  SEED_TRACKER_ITEM tracker{};
  tracker.url_len = 2;
  std::memcpy(tracker.url, "t1", 2);
  IBtTask* raw = nullptr;
  ASSERT_EQ(shell_->CreateContinuedTask(text("/seeds/a.torrent"), text(data_folder()), 2, first, 1, &tracker, &raw),
            S_OK);
  com_ptr<IBtTask3> task = com_ptr<IBtTask3>::adopt(static_cast<IBtTask3*>(raw));
  bt_shell_task* proxy = proxy_of(task.get());
  strings events;
  com_ptr<recording_sink> sink = recording_sink::create("host", &events);
  untouchable_speed_limit limit;
  ULONG order[] = {3, 1, 2}, priorities[] = {7, 8};
  char key[] = "key";
  task->AttachEvents(sink.get());
  task->SetDispatchStrategy(2);
  task->StartTask();
  task->SetFileDownOrder(3, order);
  task->SetStatParam(tagSTRING{3, key}, text("v"), text(""), 7);
  task->SetDownloadSpeedLimit(static_cast<tagQV_NAT_TYPE>(2), &limit);
  task->EnableSubTask(static_cast<tagQV_SUB_TASK_TYPE>(1), -5);
  task->SetDapPriorityList(2, priorities);
  EXPECT_EQ(proxy->Accelerate(text("abc")), S_OK);
  order[0] = priorities[0] = 99;
  std::memcpy(key, "zzz", 3);

  fake_kernel& kernel = arrive();
  const std::string data = data_folder();
  EXPECT_EQ(log_->lines("kernel.Create"), (strings{"kernel.CreateContinuedTask(16:\"/seeds/a.torrent\"," +
                                                   std::to_string(data.size()) + ":\"" + data +
                                                   "\",[4,5],[2:\"t1\"]) -> task1"}));
  EXPECT_EQ(log_->lines("task1."),
            (strings{"task1.AttachEvents(sinks=1)", "task1.Accelerate(3:\"abc\")", "task1.SetDispatchStrategy(2)",
                     "task1.StartTask()", "task1.SetFileDownOrder([3,1,2])", "task1.SetStatParam(3:\"key\",1:\"v\",0:\"\",7)",
                     "task1.SetDownloadSpeedLimit(2," + kernel_state::pointer(&limit) + ")", "task1.EnableSubTask(1,-5)",
                     "task1.SetDapPriorityList([7,8])"}));
  EXPECT_EQ(proxy->shell_status(), bt_shell_task_status::shell_running);
  EXPECT_EQ(shell_->loading_listener_count(), 0u);  // withdrew
  ITask* real = nullptr;
  EXPECT_EQ(proxy->GetRealTask(&real), S_OK);
  EXPECT_EQ(real, static_cast<ITask*>(kernel.probe.task(1).get()));
  real->Release();
  kernel.probe.raise_task_event(1, 4, 10);
  EXPECT_EQ(events, (strings{"host.OnBtTaskEvent4(10)"}));
  events.clear();
  log_->clear();
  EXPECT_EQ(task->StopTask(), S_OK);
  EXPECT_EQ(log_->lines(), (strings{"task1.DetachEvents(sinks=0)", "task1.StopTask()"}));
  kernel.probe.raise_task_event(1, 2, 8);
  EXPECT_TRUE(events.empty());
  task->DetachEvents(sink.get());
}

// The real task raises OnBtTaskEvent2(5) when given dispatch strategy 5; the
// host's sink then calls the proxy back during the replay.
class CallsDuringTheReplay : public TaskReplayTest {
 protected:
  void arrive_raising() {
    fake_kernel& kernel = register_kernel();
    kernel.on_call([&kernel](const std::string& line) {
      if (line == "task1.SetDispatchStrategy(5)") kernel.probe.raise_task_event(1, 2, 5);
    });
    host_->complete(0);
  }
  strings events_;
  com_ptr<recording_sink> sink_ = recording_sink::create("host", &events_);
};

TEST_F(CallsDuringTheReplay, StartTaskComesAfterTheOlderRecords) {
  com_ptr<IBtTask3> task = make_proxy();
  const ULONG order[] = {9};
  task->SetDispatchStrategy(5);
  task->SetFileDownOrder(1, order);
  task->ResetNeedDownloadFile(0, nullptr);
  sink_->hook = [&] { EXPECT_EQ(task->StartTask(), S_OK); };
  task->AttachEvents(sink_.get());

  arrive_raising();
  EXPECT_EQ(log_->lines("task1."), (strings{"task1.AttachEvents(sinks=1)", "task1.SetDispatchStrategy(5)",
                                            "task1.SetFileDownOrder([9])", "task1.ResetNeedDownloadFile([])",
                                            "task1.StartTask()"}));
  EXPECT_EQ(proxy_of(task.get())->shell_task_status(), bt_shell_task_run_status::shell_task_started);
  EXPECT_EQ(proxy_of(task.get())->record_count(), 0u);
  task->StopTask();
  task->DetachEvents(sink_.get());
}

TEST_F(CallsDuringTheReplay, StopTaskReachesTheTaskOnceAndEndsTheReplay) {
  com_ptr<IBtTask3> task = make_proxy();
  task->StartTask();
  task->SetDispatchStrategy(5);
  task->SetDispatchStrategy(6);
  sink_->hook = [&] {
    EXPECT_EQ(task->StopTask(), S_OK);
    EXPECT_EQ(task->StopTask(), S_OK);
    EXPECT_EQ(task->StartTask(), S_OK);  // stopped: no effect
  };
  task->AttachEvents(sink_.get());

  arrive_raising();
  EXPECT_EQ(log_->lines("task1."),
            (strings{"task1.AttachEvents(sinks=1)", "task1.StartTask()", "task1.SetDispatchStrategy(5)",
                     "task1.DetachEvents(sinks=0)", "task1.SetDispatchStrategy(6)", "task1.StopTask()"}));
  EXPECT_EQ(proxy_of(task.get())->shell_status(), bt_shell_task_status::shell_running);
  EXPECT_EQ(proxy_of(task.get())->record_count(), 0u);
  EXPECT_EQ(task->IsStopped(), S_OK);
  task->DetachEvents(sink_.get());
}

TEST_F(TaskReplayTest, ProxiesThatNeverGetAKernelAreDestroyedWithEverythingTheyRecorded) {
  untouchable_speed_limit limit;
  const ULONG list[] = {1, 2, 3};
  com_ptr<IBtTask3> waiting = make_proxy();
  com_ptr<IBtTask3> stopped = make_proxy();
  com_ptr<IBtTask3> gone = make_proxy();
  for (IBtTask3* task : {waiting.get(), stopped.get(), gone.get()}) {
    task->StartTask();
    task->SetDispatchStrategy(1);
    task->SetDownloadSpeedLimit(static_cast<tagQV_NAT_TYPE>(2), &limit);
    task->EnableSubTask(static_cast<tagQV_SUB_TASK_TYPE>(1), 1);
    task->SetStatParam(text("a"), text("b"), text("c"), 1);
    task->ResetNeedDownloadFile(3, list);
    task->SetFileDownOrder(3, list);
    task->SetDapPriorityList(3, list);
    if (task != gone.get()) task->SignalStop();
  }
  EXPECT_EQ(stopped->StopTask(), S_OK);
  EXPECT_EQ(proxy_of(waiting.get())->record_count(), 9u);
  EXPECT_EQ(proxy_of(stopped.get())->record_count(), 10u);
  EXPECT_FALSE(proxy_of(stopped.get())->listener_registered());
  EXPECT_TRUE(proxy_of(waiting.get())->listener_registered());  // SignalStop keeps it
  // Released while waiting: it leaves the shell's list, so that the kernel's
  // arrival cannot reach freed memory.
  gone.reset();
  EXPECT_EQ(shell_->loading_listener_count(), 1u);

  // The kernel arrives: the stopped proxies make no task and keep their records.
  arrive();
  EXPECT_TRUE(log_->lines("kernel.Create").empty());
  EXPECT_EQ(proxy_of(waiting.get())->shell_status(), bt_shell_task_status::shell_reload_func);
  EXPECT_EQ(proxy_of(stopped.get())->shell_status(), bt_shell_task_status::shell_idle);  // no longer told
  EXPECT_EQ(shell_->loading_listener_count(), 1u);

  log_->clear();
  waiting.reset();
  stopped.reset();
  EXPECT_TRUE(log_->lines().empty());
  EXPECT_EQ(shell_->loading_listener_count(), 0u);  // the registered one withdrew itself
}

}  // namespace
