// Task creation on the shell: proxies while the kernel is on its way, the
// kernel's own tasks once it is loaded, and every refusal.
#include <gtest/gtest.h>

#include <cstring>

#include "common/file_ex.h"
#include "support/log_capture.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

using TaskCreationTest = shell_fixture;

IBtTask* const kUntouched = reinterpret_cast<IBtTask*>(0x5A5A);

TEST_F(TaskCreationTest, ProxiesAreMadeWhileTheKernelLoadsWithTheirOwnRegistration) {
  const ULONG first[] = {1, 2, 3};
  com_ptr<IBtTask3> one = make_proxy();
  IBtTask* raw = nullptr;
  EXPECT_EQ(shell_->CreateUploadTask(text("/seeds/a.torrent"), text(data_folder()), 3, first, 0, nullptr, &raw), S_OK);
  com_ptr<IBtTask3> two = com_ptr<IBtTask3>::adopt(static_cast<IBtTask3*>(raw));

  EXPECT_TRUE(is_directory(data_folder()));  // made, one level
  ASSERT_TRUE(one && two && one.get() != two.get());
  EXPECT_EQ(shell_->loading_listener_count(), 2u);
}

TEST_F(TaskCreationTest, RefusedCreationsLeaveNoProxyAndTheOutParameterAlone) {
  make_proxy();  // the shell now waits for the kernel; this proxy goes at once
  const std::string folder = dir_.file("fresh");
  const std::string file = dir_.write("plain", "x");
  const std::string orphan = dir_.file("missing/child");
  const ULONG list[] = {1};

  // Empty or unusable arguments, and data folders that cannot be made (a file, a missing parent).
  const struct {
    tagSTRING seed, data;
    ULONG first_count;
    const ULONG* first;
    ULONG second_count;
  } cases[] = {
      {tagSTRING{0, "x"}, text(folder), 0, nullptr, 0}, {text("s"), tagSTRING{0, nullptr}, 0, nullptr, 0},
      {text("s"), text(folder), 3, nullptr, 0},         {text("s"), text(folder), 1, list, 2},
      {tagSTRING{4, nullptr}, text(folder), 0, nullptr, 0}, {text("s"), text(file), 0, nullptr, 0},
      {text("s"), text(orphan), 0, nullptr, 0},
  };
  for (const auto& c : cases) {
    IBtTask* out = kUntouched;
    EXPECT_EQ(shell_->CreateContinuedTask(c.seed, c.data, c.first_count, c.first, c.second_count, nullptr, &out),
              -11);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(shell_->loading_listener_count(), 0u);
  }
  EXPECT_FALSE(is_directory(folder));  // the checks come before the folder
  EXPECT_FALSE(is_directory(orphan));

  // The kernel cannot be had: E_FAIL from then on.
  host_->complete(2);
  IBtTask* out = kUntouched;
  for (auto create : {&IBitTorrent::CreateNewTask, &IBitTorrent::CreateContinuedTask, &IBitTorrent::CreateUploadTask})
    EXPECT_EQ((shell_.get()->*create)(text("s"), text(folder), 0, nullptr, 0, nullptr, &out), E_FAIL);
  EXPECT_EQ(out, kUntouched);
}

TEST_F(TaskCreationTest, LoadedKernelGetsTheSevenArgumentsUnchangedAndItsResultIsReturned) {
  fake_kernel& kernel = register_kernel();
  const ULONG first[] = {4, 5};
  SEED_TRACKER_ITEM tracker{};
  tracker.url_len = 2;
  std::memcpy(tracker.url, "u1", 2);
  const std::string orphan = dir_.file("missing/child");

  IBtTask* out = nullptr;
  EXPECT_EQ(shell_->CreateUploadTask(text("seed"), text(orphan), 2, first, 1, &tracker, &out), S_OK);
  EXPECT_EQ(log_->lines("kernel.Create"),
            (strings{"kernel.CreateUploadTask(4:\"seed\"," + std::to_string(orphan.size()) + ":\"" + orphan +
                     "\",[4,5],[2:\"u1\"]) -> task1"}));
  EXPECT_EQ(kernel.probe.task(1).get(), static_cast<IBtTask3*>(out));
  EXPECT_FALSE(is_directory(dir_.file("missing")));  // neither tested nor made
  out->Release();

  kernel.answers.results["CreateNewTask"] = static_cast<HRESULT>(0x80004321u);
  out = kUntouched;
  EXPECT_EQ(shell_->CreateNewTask(tagSTRING{0, nullptr}, text(""), 0, nullptr, 0, nullptr, &out),
            static_cast<HRESULT>(0x80004321u));
  EXPECT_EQ(out, nullptr);  // as the kernel left it
  EXPECT_EQ(shell_->loading_listener_count(), 0u);
}

TEST_F(TaskCreationTest, ProxyKeepsItsShellAfterThePluginIsGone) {
  com_ptr<IBtTask3> task = make_proxy();
  task->SetDispatchStrategy(1);
  stop();  // Uninit; the plugin's and the test's references to the shell go

  EXPECT_EQ(proxy_of(task.get())->IsModuleDownloadFailed(), S_FALSE);  // reads the shell's status
  log_capture cap;
  task.reset();
  EXPECT_EQ(cap.count("CBtShell", log4cplus::INFO_LOG_LEVEL, "~CBtShell "), 1);  // with its last proxy
}

}  // namespace
