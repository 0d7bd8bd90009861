// The proxy's operations: neutral answers before the hand-over, forwarding
// after it, the kernel download failure, proxies left without a real task,
// and the acceleration certification.
#include <gtest/gtest.h>

#include <cstring>

#include "com_utility/StringSetter.h"
#include "common/qvnew.h"
#include "support/log_capture.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

using TaskOperationsTest = shell_fixture;

TEST_F(TaskOperationsTest, BeforeTheHandOverTheProxyAnswersQueriesAndKeepsTheCertification) {
  com_ptr<IBtTask3> task = make_proxy();
  bt_shell_task* proxy = proxy_of(task.get());
  // Queries answer zeros (a failure where there is nothing to give) and record nothing.
  EXPECT_EQ(task->GetConnectInfo(1), E_FAIL);
  EXPECT_EQ(task->GetDataOutput(1, 2), E_FAIL);
  ULONG count = 9, value = 9, value2 = 9;
  tagRESOURCE_INFO info;
  tagRESOURCE_STATISTIC statistic;
  tagTASK_INFO task_info;
  std::memset(&info, 0x77, sizeof info);
  std::memset(&statistic, 0x77, sizeof statistic);
  std::memset(&task_info, 0x77, sizeof task_info);
  tagFILE_INFO_PAIR a{7, 7}, b{7, 7};
  tagTASK_INFO2* block = nullptr;
  for (HRESULT hr : {task->GetResourceCount(&count), task->GetResourceInfo(0, &info),
                     task->GetResourceStatistic(&statistic), task->GetTaskInfo(&task_info), task->GetTaskInfo(&block),
                     task->GetFileInfo(3, &a, &b, &value), task->GetSpeed(&value2, &value2),
                     task->IsSupportDispatchStrategy(1), task->SetRetryStrategy(1, 2, 3)})
    EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(info.value1 | info.value5 | count | statistic.values[11] | task_info.task_status | value2, 0u);
  EXPECT_EQ(info.data[0] & info.data[1023], 0x77);  // the area is the kernel's
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->value1 | block->value2 | a.value1 | b.value2, 0u);
  qv_deallocate(block);
  EXPECT_EQ(value, 1u);
  std::string id1 = "old", id2 = "old";
  CStringSetter setter1(&id1), setter2(&id2);
  EXPECT_EQ(task->GetFileIdInfo(4, &setter1, &setter2), S_OK);
  EXPECT_EQ(id1 + id2, "");
  EXPECT_EQ(task->IsStopped(), S_FALSE);
  EXPECT_EQ(task->IsSupportDispatchStrategy(2), S_FALSE);
  EXPECT_EQ(proxy->record_count(), 0u);

  // The certification waits for the hand-over (checked with the replay).
  id1 = "old";
  EXPECT_EQ(proxy->IsAccelerated(&setter1), S_FALSE);
  EXPECT_EQ(proxy->Accelerate(text("abc")), S_OK);
  EXPECT_EQ(id1, "old");
  EXPECT_EQ(proxy->IsAccelerated(&setter1), S_OK);
  EXPECT_EQ(id1, "abc");

  // IUnknown is the IAcceleratable face; the event sink is not reachable.
  void* const main_face = static_cast<IBtTask3*>(proxy);
  void* const identity = static_cast<IAcceleratable*>(proxy);
  expect_faces(static_cast<IVirtualTask*>(proxy),
               {{IID_ITask, main_face}, {IID_IBtTask, main_face}, {IID_IBtTask2, main_face}, {IID_IBtTask3, main_face},
                {IID_IVirtualTask, static_cast<IVirtualTask*>(proxy)}, {IID_IAcceleratable, identity},
                {IID_IUnknown, identity}, {IID_IBtTaskEvents, nullptr}});
}

TEST_F(TaskOperationsTest, AfterTheHandOverCallsGoToTheRealTask) {
  com_ptr<IBtTask3> task = make_proxy();
  task->SetTaskType(7);
  fake_kernel& kernel = arrive();
  log_->clear();
  kernel.task_answers.values = {{"GetResourceCount", 12}, {"GetFailureDetail", 33}};
  kernel.task_answers.results = {{"GetDataInput", static_cast<HRESULT>(0x80001111u)}, {"SetDispatchStrategy", E_FAIL}};

  ULONG count = 0, type = 0, size = 7, result = 0;
  BOOL flag = 5;
  LONG code = 0;
  EXPECT_EQ(task->GetResourceCount(&count), S_OK);
  EXPECT_EQ(count, 12u);
  EXPECT_EQ(task->GetDataInput(1, 2), static_cast<HRESULT>(0x80001111u));  // the real task's answer
  EXPECT_EQ(task->SetDispatchStrategy(3), S_OK);                            // commands answer S_OK
  EXPECT_EQ(task->GetStopFlag(&flag), S_OK);
  EXPECT_EQ(flag, 0);
  task->GetTaskType(&type);  // the proxy's own, never the real task's
  EXPECT_EQ(type, 7u);
  // GetNewConnectInfo reaches the real task only when the host left size 4.
  host_->answers.values["GetNewConnectInfo.size"] = 3;
  EXPECT_EQ(task->GetNewConnectInfo(1, 2, &size, &result), S_OK);
  host_->answers.values["GetNewConnectInfo.size"] = 4;
  EXPECT_EQ(task->GetNewConnectInfo(5, 6, &size, &result), S_OK);
  EXPECT_EQ(log_->lines("service."), (strings{"service.GetNewConnectInfo(1,2)", "service.GetNewConnectInfo(5,6)"}));
  EXPECT_EQ(task->GetFailureDetail(&code), S_OK);
  EXPECT_EQ(code, 33);
  kernel.options.task3 = false;
  EXPECT_EQ(task->GetFailureDetail(&code), S_FALSE);
  // Accelerate: the real task's answer; S_FALSE when it cannot be accelerated,
  // the text kept all the same.
  bt_shell_task* proxy = proxy_of(task.get());
  kernel.task_answers.results["Accelerate"] = static_cast<HRESULT>(0x80001234u);
  EXPECT_EQ(proxy->Accelerate(text("q")), static_cast<HRESULT>(0x80001234u));
  kernel.options.acceleratable = false;
  EXPECT_EQ(proxy->Accelerate(text("xyz")), S_FALSE);
  std::string got;
  CStringSetter setter(&got);
  EXPECT_EQ(proxy->IsAccelerated(&setter), S_OK);
  EXPECT_EQ(got, "xyz");

  EXPECT_EQ(log_->lines("task1."),
            (strings{"task1.GetResourceCount()", "task1.GetDataInput(1,2)", "task1.SetDispatchStrategy(3)",
                     "task1.GetStopFlag()", "task1.GetNewConnectInfo(5,6)", "task1.GetFailureDetail()",
                     "task1.Accelerate(1:\"q\")"}));
  // A stop whose state could not be saved says so; the proxy is stopped and
  // its sink detached all the same.
  log_->clear();
  kernel.task_answers.results["StopTask"] = E_FAIL;
  EXPECT_EQ(task->StopTask(), E_FAIL);
  EXPECT_EQ(task->IsStopped(), S_OK);
  EXPECT_EQ(log_->lines("task1."), (strings{"task1.DetachEvents(sinks=0)", "task1.StopTask()"}));
}

// Stopped before the kernel came, no task from the kernel, or a task without
// IID_IBtTask2: the proxy has no real task and must never call through one.
TEST_F(TaskOperationsTest, ProxiesWithoutARealTaskDropForwardedCallsAndAnswerNeutrally) {
  enum class cause { signalled, no_task, no_bttask2 };
  for (cause why : {cause::signalled, cause::no_task, cause::no_bttask2}) {
    stop();
    start();
    com_ptr<IBtTask3> task = make_proxy();
    task->StartTask();
    if (why == cause::signalled) task->SignalStop();
    fake_kernel& kernel = register_kernel();
    if (why == cause::no_task) kernel.answers.results["CreateNewTask"] = E_FAIL;
    if (why == cause::no_bttask2) kernel.options.task2 = false;
    host_->complete(0);

    bt_shell_task* proxy = proxy_of(task.get());
    EXPECT_EQ(proxy->shell_status(), bt_shell_task_status::shell_reload_func);
    EXPECT_EQ(proxy->listener_registered(), why == cause::signalled);
    LONG code = 0;
    EXPECT_EQ(task->GetFailureDetail(&code), S_OK);
    EXPECT_EQ(code, why == cause::signalled ? 0 : 10014);
    task->StartTask();  // a start clears the failure
    task->GetFailureDetail(&code);
    EXPECT_EQ(code, 0);

    log_capture cap;
    const ULONG list[] = {1};
    ULONG count = 5;
    ITask* real = reinterpret_cast<ITask*>(1);
    EXPECT_EQ(task->SetDispatchStrategy(1), S_OK);
    EXPECT_EQ(task->SetFileDownOrder(1, list), S_OK);
    EXPECT_EQ(task->SignalStop(), S_OK);
    EXPECT_EQ(cap.count_containing("bt_shell_task", log4cplus::ERROR_LOG_LEVEL, "m_IBtTask != NULL not true"), 3);
    EXPECT_EQ(task->GetResourceCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(proxy->GetRealTask(&real), S_OK);
    EXPECT_EQ(real, nullptr);
    EXPECT_EQ(kernel.tasks_alive(), 0u);
  }
}

}  // namespace
