// A real transfer through the shell on the lazy path, also run under
// ThreadSanitizer: events reach the host's sinks on the kernel's thread while
// the host calls the proxy on its own. (Continuing a stopped download and a
// file selection are tested through btshell, against aria2c: tests/interop.)
#include <gtest/gtest.h>

#include <algorithm>

#include "interfaces/IVirtualTask.h"
#include "mp/mp.h"
#include "support/recording_sink.h"
#include "tests/kernel/swarm_fixture.h"

namespace {

using namespace bts_test;
using std::filesystem::exists;
using strings = std::vector<std::string>;

using ProxyTransferConcurrent = swarm_fixture;

const std::vector<generated_file> kFiles = {
    {"a/one.bin", 700 * 1024 + 17}, {"two.bin", 1300 * 1024}, {"b/c/three.bin", 500 * 1024 + 3}};

strings lines_starting(const strings& lines, const std::string& prefix) {
  strings out;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(out),
               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  return out;
}

TEST_F(ProxyTransferConcurrent, ProxyMadeBeforeTheKernelDownloadsFromAnotherSession) {
  generate(kFiles, /*hybrid=*/true);
  start_seeder();
  load_host();

  // The kernel is not there yet: the shell hands out a proxy that records.
  com_ptr<IBtTask> task = download_through_shell();
  ASSERT_TRUE(task);
  com_ptr<IVirtualTask> proxy;
  ASSERT_EQ(task.query(IID_IVirtualTask, proxy), S_OK);
  std::vector<std::string> journal;
  com_ptr<recording_sink> sink = recording_sink::create("host", &journal);
  ASSERT_EQ(task->AttachEvents(sink.get()), S_OK);
  fixed_speed_limit limit(2 * 1024 * 1024);
  EXPECT_EQ(task->SetDownloadSpeedLimit(tagQV_NAT_TYPE{}, &limit), S_OK);
  EXPECT_EQ(task->StartTask(), S_OK);
  com_ptr<ITask> real;
  EXPECT_EQ(proxy->GetRealTask(real.put()), S_OK);
  EXPECT_FALSE(real);

  // The kernel arrives; the proxy creates the real task and replays.
  EXPECT_EQ(host_->downloader()->complete_pending(), 1u);
  EXPECT_EQ(proxy->GetRealTask(real.put()), S_OK);
  EXPECT_TRUE(real);

  // While the transfer runs, unfinished files carry ".bt.td" and their final
  // names do not exist. Meanwhile the host keeps calling the proxy, sinks
  // come and go.
  std::vector<std::string> other_journal;
  com_ptr<recording_sink> other = recording_sink::create("other", &other_journal);
  bool seen_in_progress = false;
  ASSERT_TRUE(wait_until([&] {
    for (const generated_file& f : files()) {
      const std::string final_name = leecher_data() + f.path;
      if (exists(final_name + ".bt.td") && !exists(final_name)) seen_in_progress = true;
    }
    EXPECT_EQ(task->AttachEvents(other.get()), S_OK);
    ULONG down = 0, up = 0, peers = 0;
    tagRESOURCE_STATISTIC statistic;
    EXPECT_EQ(task->GetSpeed(&down, &up), S_OK);
    EXPECT_EQ(task->GetResourceCount(&peers), S_OK);
    EXPECT_EQ(task->GetResourceStatistic(&statistic), S_OK);
    EXPECT_EQ(task->DetachEvents(other.get()), S_OK);
    return task_info(task.get()).task_status == bt_task_seeding;
  }));
  EXPECT_TRUE(seen_in_progress);

  for (const generated_file& f : files()) {
    EXPECT_EQ(read_file(leecher_data() + f.path), read_file(seeder_data() + f.path)) << f.path;
    EXPECT_FALSE(exists(leecher_data() + f.path + ".bt.td")) << f.path;
  }
  const tagTASK_INFO info = task_info(task.get());
  EXPECT_EQ(info.progress, bt_task_progress_scale);
  EXPECT_EQ(info.total_size, info.done_size);
  com_ptr<IBtTask2> task2;
  ASSERT_EQ(task.query(IID_IBtTask2, task2), S_OK);
  tagTASK_INFO2* block = nullptr;
  ASSERT_EQ(task2->GetTaskInfo(&block), S_OK);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->value1, 3u);  // files wanted, and complete
  EXPECT_EQ(block->value2, 3u);
  mp_gv(block);

  // Events came through the proxy: every file finished once, and the last
  // status is seeding.
  EXPECT_EQ(task->StopTask(), S_OK);
  strings finished = lines_starting(sink->lines(), "host.OnBtTaskEvent3(");
  strings expected;
  for (const generated_file& f : files()) expected.push_back("host.OnBtTaskEvent3(" + std::to_string(f.index) + ")");
  std::sort(finished.begin(), finished.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(finished, expected);
  const strings statuses = lines_starting(sink->lines(), "host.OnBtTaskEvent1(");
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), "host.OnBtTaskEvent1(4)");
  EXPECT_FALSE(lines_starting(sink->lines(), "host.OnBtTaskEvent2(").empty());

  // The resume state is beside the seed: the shell says the task can be continued.
  EXPECT_EQ(shell_->IsTempFileExist(tagSTRING{0, nullptr}, to_tag_string(seed_path())), S_OK);
  EXPECT_EQ(task->DetachEvents(sink.get()), S_OK);
}

}  // namespace
