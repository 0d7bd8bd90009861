// Calls a host is not supposed to make: each is answered with its code and
// exactly one ERROR line, changes nothing, and the process goes on.
#include <gtest/gtest.h>

#include <functional>

#include "support/log_capture.h"
#include "tests/bt_shell/task_fixture.h"

namespace {

using bts_test::log_capture;
using bts_test::proxy_of;
using bts_test::text;
using strings = std::vector<std::string>;

class MisuseTest : public bts_test::task_fixture {
 protected:
  enum stage {
    plugin_started,   // the shell has asked nothing of the kernel
    proxy_waiting,    // a proxy waits for the kernel
    proxy_running,    // the proxy's real task runs
    after_uninit,     // the plugin was uninitialised; the host still holds the shell
    no_host_service,  // the host has no host service; a proxy waits
  };

  struct misuse_case {
    const char* what;
    stage at;
    std::function<HRESULT(IBtTask3* task)> call;
    HRESULT answer;
    const char* error;  // part of the one ERROR line
  };

  // Brings a fresh plugin to `at`; the proxy, if any, is returned.
  com_ptr<IBtTask3> reach(stage at) {
    stop();
    download_lib_options options;
    options.host_service = at != no_host_service;
    start(options);
    com_ptr<IBtTask3> task;
    if (at == proxy_waiting || at == proxy_running || at == no_host_service) task = make_proxy();
    if (at == proxy_running) probe_ = arrive();
    if (at == after_uninit) plugin_->Uninit();
    return task;
  }

  std::vector<misuse_case> cases() {
    const auto null_out = "a null pointer argument; nothing done";
    const auto no_list = "a count without its list; nothing done";
    const auto after = "called after Uninit; nothing done";
    return {
        // The plugin.
        {"Init without a host", plugin_started, [&](IBtTask3*) { return plugin_->Init(nullptr); }, E_POINTER,
         "Init: no host given"},
        {"Init twice", plugin_started, [&](IBtTask3*) { return plugin_->Init(host_.get()); }, S_OK,
         "Init: the module is initialised already"},
        {"Init of a second plugin", plugin_started,
         [&](IBtTask3*) {
           auto other = com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin);
           return other->Init(host_.get());
         },
         E_UNEXPECTED, "Init: another plugin holds the module"},
        {"Uninit of a plugin that holds nothing", plugin_started,
         [&](IBtTask3*) {
           auto other = com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin);
           const HRESULT hr = other->Uninit();
           EXPECT_TRUE(host_->is_registered(IID_IBitTorrent));
           return hr;
         },
         S_OK, "Uninit: the plugin does not hold the module"},
        {"Uninit twice", after_uninit, [&](IBtTask3*) { return plugin_->Uninit(); }, S_OK,
         "Uninit: the plugin does not hold the module"},
        {"GetPluginValue without a value", plugin_started, [&](IBtTask3*) { return plugin_->GetPluginValue(nullptr); },
         E_POINTER, null_out},
        {"plugin released without Uninit while its shell holds the kernel", plugin_started,
         [&](IBtTask3*) {
           kernel_probe kernel = register_kernel();
           EXPECT_EQ(kernel.sink_count(), 1u);
           std::exchange(plugin_, nullptr)->Release();
           EXPECT_FALSE(host_->is_registered(IID_IBitTorrent));
           EXPECT_EQ(kernel.sink_count(), 0u);  // the shell let go of the kernel
           return S_OK;
         },
         S_OK, "~CDownloadLibPlugin: released without Uninit"},
        // The shell.
        {"CreateNewTask without a task", plugin_started,
         [&](IBtTask3*) {
           const HRESULT hr = shell_->CreateNewTask(text("s"), text("d"), 0, nullptr, 0, nullptr, nullptr);
           EXPECT_EQ(shell_->status(), shell_init);  // nothing requested
           return hr;
         },
         E_POINTER, null_out},
        {"ParseSeedFile(NULL)", plugin_started, [&](IBtTask3*) { return shell_->ParseSeedFile(text("s"), nullptr); },
         E_POINTER, null_out},
        {"GetDataFileList(NULL)", plugin_started,
         [&](IBtTask3*) { return shell_->GetDataFileList(text("d"), text("s"), nullptr); }, E_POINTER, null_out},
        {"GetCfgFileList(NULL)", plugin_started, [&](IBtTask3*) { return shell_->GetCfgFileList(text("s"), nullptr); },
         E_POINTER, null_out},
        {"GetReimportProgress(NULL)", plugin_started, [&](IBtTask3*) { return shell_->GetReimportProgress(nullptr); },
         E_POINTER, null_out},
        {"GetReimportTaskTorrentFileName before the kernel", plugin_started,
         [&](IBtTask3*) { return shell_->GetReimportTaskTorrentFileName(1); }, E_FAIL, "FALSE not true"},
        {"GetReimportRootPath before the kernel", plugin_started,
         [&](IBtTask3*) { return shell_->GetReimportRootPath(1); }, E_FAIL, "FALSE not true"},
        {"GetReimportProgress without a reimport", plugin_started,
         [&](IBtTask3*) {
           BYTE progress = 0;
           return shell_->GetReimportProgress(&progress);
         },
         S_OK, "_is_virtual_reimport not true"},
        {"a kernel operation after the host withdrew the kernel", plugin_started,
         [&](IBtTask3*) {
           register_kernel();
           EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), S_OK);
           host_->UnregisterInstance(IID_IBitTorrentKernel);
           return shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
         },
         E_FAIL, "_IBitTorrentKernel != NULL not true"},
        {"CreateCfgFile after Uninit", after_uninit,
         [&](IBtTask3*) { return shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0); }, E_UNEXPECTED, after},
        {"CreateNewTask after Uninit", after_uninit,
         [&](IBtTask3*) {
           IBtTask* task = nullptr;
           return shell_->CreateNewTask(text("s"), text(data_folder()), 0, nullptr, 0, nullptr, &task);
         },
         E_UNEXPECTED, after},
        {"a kernel registration delivered after Uninit", after_uninit,
         [&](IBtTask3*) {
           auto kernel = recording_kernel::create();
           IBitTorrentKernel* object = kernel.get();
           const HRESULT hr = shell_->OnRegisterInstance(IID_IBitTorrentKernel, object);
           EXPECT_EQ(kernel_probe(object).sink_count(), 0u);
           return hr;
         },
         E_UNEXPECTED, after},
        // A waiting proxy.
        {"SetFileDownOrder with a count and no list", proxy_waiting,
         [&](IBtTask3* t) { return t->SetFileDownOrder(3, nullptr); }, E_POINTER, no_list},
        {"ResetNeedDownloadFile with a count and no list", proxy_waiting,
         [&](IBtTask3* t) { return t->ResetNeedDownloadFile(2, nullptr); }, E_POINTER, no_list},
        {"SetDapPriorityList with a count and no list", proxy_waiting,
         [&](IBtTask3* t) { return t->SetDapPriorityList(1, nullptr); }, E_POINTER, no_list},
        {"GetStopFlag before the hand-over", proxy_waiting,
         [&](IBtTask3* t) {
           BOOL flag = 5;
           const HRESULT hr = t->GetStopFlag(&flag);
           EXPECT_EQ(flag, 5);
           return hr;
         },
         S_OK, "FALSE not true"},
        {"GetFailureDetail(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetFailureDetail(nullptr); },
         E_POINTER, "pFailureCode not true"},
        {"GetStopFlag(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetStopFlag(nullptr); }, E_POINTER, null_out},
        {"GetResourceCount(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetResourceCount(nullptr); }, E_POINTER,
         null_out},
        {"GetResourceInfo(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetResourceInfo(0, nullptr); },
         E_POINTER, null_out},
        {"GetResourceStatistic(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetResourceStatistic(nullptr); },
         E_POINTER, null_out},
        {"GetFileInfo(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetFileInfo(0, nullptr, nullptr, nullptr); },
         E_POINTER, null_out},
        {"GetTaskInfo(NULL record)", proxy_waiting,
         [&](IBtTask3* t) { return t->GetTaskInfo(static_cast<tagTASK_INFO*>(nullptr)); }, E_POINTER, null_out},
        {"GetTaskInfo(NULL block)", proxy_waiting,
         [&](IBtTask3* t) { return t->GetTaskInfo(static_cast<tagTASK_INFO2**>(nullptr)); }, E_POINTER, null_out},
        {"GetTaskType(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetTaskType(nullptr); }, E_POINTER, null_out},
        {"GetSpeed(NULL)", proxy_waiting, [&](IBtTask3* t) { return t->GetSpeed(nullptr, nullptr); }, E_POINTER,
         null_out},
        {"GetNewConnectInfo(NULL)", proxy_waiting,
         [&](IBtTask3* t) { return t->GetNewConnectInfo(1, 2, nullptr, nullptr); }, E_POINTER, null_out},
        {"GetRealTask(NULL)", proxy_waiting, [&](IBtTask3* t) { return proxy_of(t)->GetRealTask(nullptr); }, E_POINTER,
         null_out},
        // A running proxy: nothing reaches the real task.
        {"SetFileDownOrder with a count and no list, after the hand-over", proxy_running,
         [&](IBtTask3* t) { return t->SetFileDownOrder(3, nullptr); }, E_POINTER, no_list},
        {"GetResourceCount(NULL) after the hand-over", proxy_running,
         [&](IBtTask3* t) { return t->GetResourceCount(nullptr); }, E_POINTER, null_out},
        {"GetNewConnectInfo without a host service", no_host_service,
         [&](IBtTask3* t) {
           ULONG size = 7, result = 7;
           const HRESULT hr = t->GetNewConnectInfo(1, 2, &size, &result);
           EXPECT_EQ(size, 0u);
           return hr;
         },
         S_OK, "GetHostService() != NULL not true"},
    };
  }

  kernel_probe probe_{nullptr};
};

TEST_F(MisuseTest, EachCallIsAnsweredWithOneErrorLineAndChangesNothing) {
  for (const misuse_case& c : cases()) {
    com_ptr<IBtTask3> task = reach(c.at);
    const std::size_t records = task ? proxy_of(task.get())->record_count() : 0;
    if (c.at == proxy_running) probe_.clear_journal();
    log_capture cap;
    EXPECT_EQ(c.call(task.get()), c.answer) << c.what;
    strings errors;
    for (const auto& line : cap.lines())
      if (line.level >= log4cplus::ERROR_LOG_LEVEL) errors.push_back(line.logger + ": " + line.text);
    ASSERT_EQ(errors.size(), 1u) << c.what << "\n" << ::testing::PrintToString(errors);
    EXPECT_NE(errors[0].find(c.error), std::string::npos) << c.what << ": " << errors[0];
    if (task) {
      EXPECT_EQ(proxy_of(task.get())->record_count(), records) << c.what;
      task->StopTask();
    }
    if (c.at == proxy_running) {
      EXPECT_TRUE(probe_.journal("task1.Set").empty()) << c.what;
      EXPECT_TRUE(probe_.journal("task1.Get").empty()) << c.what;
    }
  }
}

}  // namespace
