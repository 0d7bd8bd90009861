// Proxy tasks: recording while the kernel is on its way, the hand-over to the
// real task with the replay in order, the relay of its events, calls made
// during the replay, and the release of whatever was recorded.
#include <gtest/gtest.h>

#include <cstring>

#include "support/log_capture.h"
#include "support/recording_sink.h"
#include "tests/bt_shell/task_fixture.h"

namespace {

using bts_test::eventful_kernel;
using bts_test::log_capture;
using bts_test::prefix_of;
using bts_test::proxy_of;
using bts_test::text;
using strings = std::vector<std::string>;

using TaskReplayTest = bts_test::task_fixture;

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

// The commands' order and the copies of the caller's buffers are checked end
// to end through the module as well.
TEST_F(TaskReplayTest, KernelArrivalCreatesRealTasksAndReplaysTheirCommandsInOrder) {
  com_ptr<IBtTask3> one = make_proxy(&IBitTorrent::CreateNewTask);

  strings events;
  com_ptr<recording_sink> sink = recording_sink::create("a", &events);
  com_ptr<recording_sink> other = recording_sink::create("b", &events);
  ASSERT_EQ(one->AttachEvents(sink.get()), S_OK);
  ASSERT_EQ(one->AttachEvents(other.get()), S_OK);
  EXPECT_EQ(one->AttachEvents(sink.get()), E_UNEXPECTED);
  ULONG order[] = {3, 1, 2};
  char key[] = "k1";
  EXPECT_EQ(one->SetDispatchStrategy(2), S_OK);
  EXPECT_EQ(one->StartTask(), S_OK);
  EXPECT_EQ(one->SetFileDownOrder(3, order), S_OK);
  EXPECT_EQ(one->SetStatParam(text(key), text("key2"), tagSTRING{0, nullptr}, -4), S_OK);
  EXPECT_EQ(static_cast<IAcceleratable*>(proxy_of(one.get()))->Accelerate(text("abc")), S_OK);
  order[0] = 99;  // the caller's buffers change (or die) after the calls
  key[0] = 'z';
  EXPECT_EQ(proxy_of(one.get())->record_count(), 4u);
  IVirtualTask* virtual_task = proxy_of(one.get());
  ITask* real = reinterpret_cast<ITask*>(1);
  EXPECT_EQ(virtual_task->GetRealTask(&real), S_OK);
  EXPECT_EQ(real, nullptr);
  EXPECT_EQ(virtual_task->IsModuleDownloadFailed(), S_FALSE);  // loading

  log_capture cap;
  kernel_probe kernel = arrive();
  const std::string data = "(16:\"/seeds/a.torrent\"," + std::to_string(data_folder().size()) + ":\"" +
                           data_folder() + "\",";
  EXPECT_EQ(kernel.journal(),
            (strings{"kernel.AttachEvents(sinks=1)",  // the shell's own sink
                     "kernel.CreateNewTask" + data + "[],[]) -> task1", "task1.AttachEvents(sinks=1)",
                     "task1.Accelerate(3:\"abc\")", "task1.SetDispatchStrategy(2)", "task1.StartTask()",
                     "task1.SetFileDownOrder([3,1,2])", "task1.SetStatParam(2:\"k1\",4:\"key2\",0:\"\",-4)"}));
  EXPECT_EQ(proxy_of(one.get())->record_count(), 0u);
  EXPECT_EQ(proxy_of(one.get())->shell_status(), shell_running);
  EXPECT_EQ(shell_->loading_listener_count(), 0u);  // withdrew
  EXPECT_EQ(virtual_task->IsModuleDownloadFailed(), S_FALSE);  // loaded
  EXPECT_EQ(virtual_task->GetRealTask(&real), S_OK);
  EXPECT_EQ(real, static_cast<ITask*>(kernel.task(1).get()));
  real->Release();

  EXPECT_EQ(cap.count("bt_shell_task", log4cplus::INFO_LOG_LEVEL,
                      prefix_of(proxy_of(one.get())) + "loading_complete, m_str_seed_file /seeds/a.torrent " +
                          "m_str_data_file_path:" + data_folder() + ", error_code=0, m_shell_status=0, " +
                          "m_shell_task_status=1"),
            1);
  const strings debug = cap.texts("bt_shell_task", log4cplus::DEBUG_LOG_LEVEL);
  const strings expected_debug = {"OnRegisterInstance CreateNewTask",
                                  "shell_reload_function",
                                  "shell_reload_function, funcion_name:SetDispatchStrategy",
                                  "SetDispatchStrategy, m_shell_status: 1",
                                  "shell_reload_function, funcion_name:StartTask",
                                  "StartTask, m_shell_status: 1"};
  ASSERT_GE(debug.size(), expected_debug.size());
  EXPECT_EQ(strings(debug.begin(), debug.begin() + expected_debug.size()), expected_debug);
  for (const char* line : {"OnRegisterInstance GetRealTask", "IsModuleDownloadFailed FALSE"})
    EXPECT_EQ(cap.count("bt_shell_task", log4cplus::DEBUG_LOG_LEVEL, line), 1) << line;

  // The real task's events reach the host's sinks once each, in attach
  // order, until StopTask.
  for (ULONG event = 1; event <= 4; ++event) kernel.raise_task_event(1, event, 6 + event);
  EXPECT_EQ(events, (strings{"a.OnBtTaskEvent1(7)", "b.OnBtTaskEvent1(7)", "a.OnBtTaskEvent2(8)",
                             "b.OnBtTaskEvent2(8)", "a.OnBtTaskEvent3(9)", "b.OnBtTaskEvent3(9)",
                             "a.OnBtTaskEvent4(10)", "b.OnBtTaskEvent4(10)"}));
  EXPECT_EQ(one->DetachEvents(other.get()), S_OK);
  EXPECT_EQ(one->DetachEvents(other.get()), E_UNEXPECTED);
  events.clear();
  kernel.clear_journal();
  EXPECT_EQ(one->StopTask(), S_OK);
  EXPECT_EQ(kernel.journal(), (strings{"task1.DetachEvents(sinks=0)", "task1.StopTask()"}));
  kernel.raise_task_event(1, 2, 8);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(one->DetachEvents(sink.get()), S_OK);
}

TEST_F(TaskReplayTest, StartTaskFromAnEventDuringTheReplayComesAfterTheOlderRecords) {
  com_ptr<IBtTask3> task = make_proxy();
  const ULONG order[] = {9};
  task->SetDispatchStrategy(5);
  task->SetFileDownOrder(1, order);
  task->ResetNeedDownloadFile(0, nullptr);
  strings events;
  com_ptr<recording_sink> sink = recording_sink::create("host", &events);
  sink->hook = [&] { EXPECT_EQ(task->StartTask(), S_OK); };
  task->AttachEvents(sink.get());

  com_ptr<eventful_kernel> kernel = arrive_eventful();
  EXPECT_EQ(kernel->lists, "0:null 0:null");
  EXPECT_EQ(kernel->state->journal(), (strings{"task1.AttachEvents(sinks=1)", "task1.SetDispatchStrategy(5)",
                                               "task1.SetFileDownOrder([9])", "task1.ResetNeedDownloadFile([])",
                                               "task1.StartTask()"}));
  EXPECT_EQ(kernel->made->null_lists, "ResetNeedDownloadFile:null ");
  EXPECT_EQ(events, (strings{"host.OnBtTaskEvent2(5)"}));
  EXPECT_EQ(proxy_of(task.get())->shell_task_status(), shell_task_started);
  EXPECT_EQ(proxy_of(task.get())->record_count(), 0u);
  task->StopTask();
  task->DetachEvents(sink.get());
}

TEST_F(TaskReplayTest, StopTaskDuringTheReplayReachesTheTaskOnceAndEndsTheReplay) {
  com_ptr<IBtTask3> task = make_proxy();
  task->StartTask();
  task->SetDispatchStrategy(5);
  task->SetDispatchStrategy(6);
  strings events;
  com_ptr<recording_sink> sink = recording_sink::create("host", &events);
  sink->hook = [&] {
    EXPECT_EQ(task->StopTask(), S_OK);
    EXPECT_EQ(task->StopTask(), S_OK);
    EXPECT_EQ(task->StartTask(), S_OK);  // stopped: no effect
  };
  task->AttachEvents(sink.get());

  com_ptr<eventful_kernel> kernel = arrive_eventful();
  EXPECT_EQ(kernel->state->journal(),
            (strings{"task1.AttachEvents(sinks=1)", "task1.StartTask()", "task1.SetDispatchStrategy(5)",
                     "task1.DetachEvents(sinks=0)", "task1.SetDispatchStrategy(6)", "task1.StopTask()"}));
  EXPECT_EQ(events, (strings{"host.OnBtTaskEvent2(5)"}));
  EXPECT_EQ(proxy_of(task.get())->shell_status(), shell_running);
  EXPECT_EQ(proxy_of(task.get())->record_count(), 0u);
  EXPECT_EQ(task->IsStopped(), S_OK);
  task->DetachEvents(sink.get());
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
  kernel_probe kernel = arrive();
  EXPECT_EQ(kernel.tasks_created(), 0u);
  EXPECT_EQ(proxy_of(waiting.get())->shell_status(), shell_reload_func);
  EXPECT_EQ(proxy_of(stopped.get())->shell_status(), shell_idle);  // no longer told
  EXPECT_EQ(shell_->loading_listener_count(), 1u);

  log_capture cap;
  const std::string p = prefix_of(proxy_of(waiting.get()));
  kernel.clear_journal();
  waiting.reset();
  stopped.reset();
  EXPECT_TRUE(kernel.journal().empty());
  EXPECT_EQ(cap.count("bt_shell_task", log4cplus::INFO_LOG_LEVEL, p + "bt_shell_task::~bt_shell_task"), 1);
  EXPECT_EQ(cap.count("bt_shell_task", log4cplus::DEBUG_LOG_LEVEL, "shell_reload_function"), 2);
  EXPECT_EQ(cap.count_containing("bt_shell_task", log4cplus::DEBUG_LOG_LEVEL, "funcion_name:"), 19);
  EXPECT_EQ(shell_->loading_listener_count(), 0u);  // the registered one withdrew itself
}

}  // namespace
