// The proxy's IVirtualTask and IAcceleratable faces. The relay of the real
// task's events is exercised with the hand-over (task_replay_test.cpp).
#include <gtest/gtest.h>

#include "com_utility/StringSetter.h"
#include "support/log_capture.h"
#include "tests/bt_shell/task_fixture.h"

namespace {

using bts_test::log_capture;
using bts_test::prefix_of;
using bts_test::proxy_of;
using bts_test::text;
using strings = std::vector<std::string>;

using TaskEventsTest = bts_test::task_fixture;

TEST_F(TaskEventsTest, VirtualTaskLeadsToTheRealTaskAndTellsOfADownloadFailure) {
  log_capture cap;
  com_ptr<IBtTask3> task = make_proxy();
  IVirtualTask* virtual_task = proxy_of(task.get());
  ITask* real = reinterpret_cast<ITask*>(1);
  EXPECT_EQ(virtual_task->GetRealTask(&real), S_OK);
  EXPECT_EQ(real, nullptr);
  EXPECT_EQ(virtual_task->IsModuleDownloadFailed(), S_FALSE);  // loading

  kernel_probe kernel = arrive();
  EXPECT_EQ(virtual_task->IsModuleDownloadFailed(), S_FALSE);  // loaded
  EXPECT_EQ(virtual_task->GetRealTask(&real), S_OK);
  EXPECT_EQ(real, static_cast<ITask*>(kernel.task(1).get()));
  real->Release();
  EXPECT_EQ(cap.count("bt_shell_task", log4cplus::DEBUG_LOG_LEVEL, "OnRegisterInstance GetRealTask"), 2);
  EXPECT_EQ(cap.count("bt_shell_task", log4cplus::DEBUG_LOG_LEVEL, "IsModuleDownloadFailed FALSE"), 2);
  task->StopTask();
}

TEST_F(TaskEventsTest, CertificationIsKeptAndPassedOnAtOnceOrAtTheHandOver) {
  com_ptr<IBtTask3> with = make_proxy();
  com_ptr<IBtTask3> without = make_proxy();
  IAcceleratable* accelerated = proxy_of(with.get());
  IAcceleratable* plain = proxy_of(without.get());
  log_capture cap;

  std::string got = "old";
  CStringSetter setter(&got);
  EXPECT_EQ(plain->IsAccelerated(&setter), S_FALSE);
  EXPECT_EQ(got, "old");
  EXPECT_EQ(accelerated->Accelerate(text("abc")), S_OK);
  EXPECT_EQ(accelerated->IsAccelerated(&setter), S_OK);
  EXPECT_EQ(got, "abc");
  EXPECT_EQ(accelerated->IsAccelerated(nullptr), S_OK);
  const std::string p = prefix_of(proxy_of(with.get()));
  EXPECT_EQ(cap.texts("bt_shell_task", log4cplus::INFO_LOG_LEVEL),
            (strings{prefix_of(proxy_of(without.get())) + "IsAccelerated ", p + "Accelerate hr=0, Certification=abc",
                     p + "IsAccelerated abc", p + "IsAccelerated abc"}));

  // Task 1 is `with`: its certification goes ahead of the replay. Task 2
  // lacks the acceleration interface: Accelerate answers S_FALSE, the text
  // is kept all the same.
  kernel_probe kernel = register_kernel();
  with->StartTask();
  complete_kernel_download(0);
  EXPECT_EQ(kernel.journal("task1."),
            (strings{"task1.AttachEvents(sinks=1)", "task1.Accelerate(3:\"abc\")", "task1.StartTask()"}));
  kernel.set_option(BT_KERNEL_TASK_ACCELERATABLE, false);
  EXPECT_EQ(plain->Accelerate(text("xyz")), S_FALSE);
  EXPECT_EQ(plain->IsAccelerated(&setter), S_OK);
  EXPECT_EQ(got, "xyz");
  EXPECT_TRUE(kernel.journal("task2.Accelerate").empty());

  kernel.set_option(BT_KERNEL_TASK_ACCELERATABLE, true);
  kernel.set_result("task1.Accelerate", static_cast<HRESULT>(0x80001234u));
  EXPECT_EQ(accelerated->Accelerate(text("q")), static_cast<HRESULT>(0x80001234u));
  EXPECT_EQ(kernel.journal("task1.Accelerate").back(), "task1.Accelerate(1:\"q\")");
  with->StopTask();
  without->StopTask();
}

}  // namespace
