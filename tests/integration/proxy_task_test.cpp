// Proxy tasks through the real module: made while the kernel module is on
// its way, they become real kernel tasks when the host has installed it.
#include <gtest/gtest.h>

#include <cstring>

#include "support/recording_sink.h"
#include "interfaces/IAcceleratable.h"
#include "interfaces/IVirtualTask.h"
#include "host/recording_kernel/kernel_state.h"
#include "tests/integration/module_fixture.h"

namespace {

using strings = std::vector<std::string>;

tagSTRING tag(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.data()}; }

class ProxyThroughModule : public bts_test::module_fixture {
 protected:
  // A task made through the shell; while the kernel loads, a proxy.
  com_ptr<IBtTask3> create(HRESULT (STDMETHODCALLTYPE IBitTorrent::*method)(tagSTRING, tagSTRING, ULONG, const ULONG*,
                                                                           ULONG, const SEED_TRACKER_ITEM*, IBtTask**),
                           ULONG first_count = 0, const ULONG* first = nullptr, ULONG second_count = 0,
                           const SEED_TRACKER_ITEM* second = nullptr) {
    com_ptr<IBtTask> task;
    EXPECT_EQ((shell_->*method)(tag("/seeds/s.torrent"), tag(data_), first_count, first, second_count, second,
                                task.put()),
              S_OK);
    com_ptr<IBtTask3> task3;
    if (task) task.query(IID_IBtTask3, task3);
    return task3;
  }

  void SetUp() override {
    module_fixture::SetUp();
    data_ = dir_.make_dirs("data/");
  }

  std::string data_;
};

TEST_F(ProxyThroughModule, CommandsGivenBeforeTheKernelReachItsTasksInOrder) {
  load();
  const ULONG first[] = {4, 5};
  SEED_TRACKER_ITEM tracker{};
  tracker.url_len = 2;
  std::memcpy(tracker.url, "t1", 2);
  com_ptr<IBtTask3> fresh = create(&IBitTorrent::CreateNewTask);
  com_ptr<IBtTask3> continued = create(&IBitTorrent::CreateContinuedTask, 2, first, 1, &tracker);
  ASSERT_TRUE(fresh && continued);
  EXPECT_EQ(host_->downloader()->requests().size(), 1u);

  strings seen;
  com_ptr<recording_sink> sink = recording_sink::create("host", &seen);
  ASSERT_EQ(fresh->AttachEvents(sink.get()), S_OK);
  ISpeedLimit* const limit = reinterpret_cast<ISpeedLimit*>(0x5150);  // kept, never called
  for (IBtTask3* task : {fresh.get(), continued.get()}) {
    ULONG order[] = {3, 1, 2};
    ULONG priorities[] = {7, 8};
    char key[] = "key";
    EXPECT_EQ(task->SetDispatchStrategy(2), S_OK);
    EXPECT_EQ(task->StartTask(), S_OK);
    EXPECT_EQ(task->SetFileDownOrder(3, order), S_OK);
    EXPECT_EQ(task->SetStatParam(tag(key), tag("v"), tag(""), 7), S_OK);
    EXPECT_EQ(task->SetDownloadSpeedLimit(static_cast<tagQV_NAT_TYPE>(2), limit), S_OK);
    EXPECT_EQ(task->EnableSubTask(static_cast<tagQV_SUB_TASK_TYPE>(1), -5), S_OK);
    EXPECT_EQ(task->SetDapPriorityList(2, priorities), S_OK);
    com_ptr<IAcceleratable> accelerate;
    ASSERT_EQ(task->QueryInterface(IID_IAcceleratable, accelerate.put_void()), S_OK);
    EXPECT_EQ(accelerate->Accelerate(tag("abc")), S_OK);
    order[0] = priorities[0] = 99;  // the caller's buffers change after the calls
    std::memcpy(key, "zzz", 3);
  }

  host_->downloader()->complete_pending();
  kernel_probe kernel = kernel_of_host();
  const std::string created = "(16:\"/seeds/s.torrent\"," + std::to_string(data_.size()) + ":\"" + data_ + "\",";
  strings replayed;
  for (const char* task : {"task1.", "task2."}) {
    for (const std::string& call :
         strings{"AttachEvents(sinks=1)", "Accelerate(3:\"abc\")", "SetDispatchStrategy(2)", "StartTask()",
          "SetFileDownOrder([3,1,2])", "SetStatParam(3:\"key\",1:\"v\",0:\"\",7)",
          "SetDownloadSpeedLimit(2," + kernel_state::pointer(limit) + ")", "EnableSubTask(1,-5)",
          "SetDapPriorityList([7,8])"})
      replayed.push_back(task + call);
  }
  EXPECT_EQ(kernel.journal("task"), replayed);
  EXPECT_EQ(kernel.journal("kernel.Create"),
            (strings{"kernel.CreateNewTask" + created + "[],[]) -> task1",
                     "kernel.CreateContinuedTask" + created + "[4,5],[2:\"t1\"]) -> task2"}));
  kernel.raise_task_event(1, 2, 7);
  EXPECT_EQ(seen, (strings{"host.OnBtTaskEvent2(7)"}));

  // Later tasks come straight from the kernel.
  com_ptr<IBtTask3> direct = create(&IBitTorrent::CreateUploadTask);
  ASSERT_TRUE(direct);
  com_ptr<IVirtualTask> virtual_face;
  EXPECT_EQ(direct->QueryInterface(IID_IVirtualTask, virtual_face.put_void()), E_NOINTERFACE);

  // Released by the host, stopped or not, the tasks go with every reference
  // the module held: nothing of the module is left.
  EXPECT_EQ(continued->StopTask(), S_OK);
  EXPECT_EQ(fresh->DetachEvents(sink.get()), S_OK);
  fresh.reset();
  continued.reset();
  direct.reset();
  EXPECT_EQ(kernel.tasks_alive(), 0u);
  EXPECT_EQ(loader_->unload(), S_OK);
}

}  // namespace
