// Calls a host is not supposed to make: each is answered with its code and
// exactly one ERROR line, changes nothing, and the process goes on.
#include <gtest/gtest.h>

#include <functional>

#include "bt_shell/DownloadLibPlugin.h"
#include "support/log_capture.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

class MisuseTest : public shell_fixture {
 protected:
  enum stage {
    plugin_started,   // a plugin bound to the host; its shell has asked nothing of the kernel
    shell_started,    // the same without the plugin
    proxy_waiting,    // a proxy waits for the kernel
    proxy_running,    // the proxy's real task runs
    after_uninit,     // the shell was uninitialised; the host still holds it
    no_host_service,  // the host has no host service; a proxy waits
  };

  struct misuse_case {
    const char* what;
    stage at;
    std::function<HRESULT(IBtTask3* task)> call;
    HRESULT answer;
    const char* error;  // part of the one ERROR line
  };

  void TearDown() override { release(); }

  // The plugin, the shell and the fakes go.
  void release() {
    if (plugin_ && plugin_->shell()) plugin_->Uninit();
    plugin_.reset();
    stop();
  }

  // Brings a fresh shell to `at`; the proxy, if any, is returned.
  com_ptr<IBtTask3> reach(stage at) {
    release();
    if (at == plugin_started) {
      log_ = std::make_shared<journal>();
      host_ = com_ptr<fake_host>::adopt(new fake_host(log_, {}));
      plugin_ = com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin);
      plugin_->Init(host_.get());
      shell_ = com_ptr<CBtShell>(plugin_->shell());
      return nullptr;
    }
    start(fake_host_options{at != no_host_service, true});
    com_ptr<IBtTask3> task;
    if (at == proxy_waiting || at == proxy_running || at == no_host_service) task = make_proxy();
    if (at == proxy_running) arrive();
    if (at == after_uninit) uninit();
    return task;
  }

  // Runs `call` at `at`: its answer, and the texts of the ERROR lines it wrote.
  strings errors_of(stage at, const std::function<HRESULT(IBtTask3*)>& call, HRESULT& answer) {
    com_ptr<IBtTask3> task = reach(at);
    const std::size_t records = task ? proxy_of(task.get())->record_count() : 0;
    log_->clear();
    log_capture cap;
    answer = call(task.get());
    strings errors;
    for (const auto& line : cap.lines())
      if (line.level >= log4cplus::ERROR_LOG_LEVEL) errors.push_back(line.logger + ": " + line.text);
    EXPECT_TRUE(log_->lines("task1.").empty());  // nothing reaches a real task
    if (task) {
      EXPECT_EQ(proxy_of(task.get())->record_count(), records);
    }
    return errors;
  }

  com_ptr<CDownloadLibPlugin> other_plugin() { return com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin); }

  com_ptr<CDownloadLibPlugin> plugin_;
};

#define ON_TASK(expression) [&](IBtTask3* t) { return expression; }
#define ON_SHELL(expression) [&](IBtTask3*) { return expression; }

TEST_F(MisuseTest, EachCallIsAnsweredWithOneErrorLineAndChangesNothing) {
  BYTE progress = 0;
  BOOL flag = 5;
  IBtTask* out = nullptr;
  const auto no_list = "a count without its list; nothing done";
  const auto null_out = "a null pointer argument; nothing done";
  const auto after = "called after Uninit; nothing done";
  const misuse_case cases[] = {
      // The plugin.
      {"Init without a host", plugin_started, ON_SHELL(plugin_->Init(nullptr)), E_POINTER, "Init: no host given"},
      {"Init twice", plugin_started, ON_SHELL(plugin_->Init(host_.get())), S_OK,
       "Init: the module is initialised already"},
      {"Init of a second plugin", plugin_started, ON_SHELL(other_plugin()->Init(host_.get())), E_UNEXPECTED,
       "Init: another plugin holds the module"},
      {"Uninit of a plugin that holds nothing", plugin_started, ON_SHELL(other_plugin()->Uninit()), S_OK,
       "Uninit: the plugin does not hold the module"},
      {"GetPluginValue without a value", plugin_started, ON_SHELL(plugin_->GetPluginValue(nullptr)), E_POINTER,
       null_out},
      {"plugin released without Uninit while its shell holds the kernel", plugin_started,
       [&](IBtTask3*) {
         fake_kernel& kernel = register_kernel();
         EXPECT_EQ(kernel.probe.sink_count(), 1u);
         plugin_.reset();
         EXPECT_FALSE(host_->is_registered(IID_IBitTorrent));
         EXPECT_EQ(kernel.probe.sink_count(), 0u);  // the shell let go of the kernel
         return S_OK;
       },
       S_OK, "~CDownloadLibPlugin: released without Uninit"},
      // The shell.
      {"GetReimportTaskTorrentFileName before the kernel", shell_started,
       ON_SHELL(shell_->GetReimportTaskTorrentFileName(1)), E_FAIL, "FALSE not true"},
      {"GetReimportProgress without a reimport", shell_started, ON_SHELL(shell_->GetReimportProgress(&progress)), S_OK,
       "_is_virtual_reimport not true"},
      {"a kernel operation after the host withdrew the kernel", shell_started,
       [&](IBtTask3*) {
         register_kernel();
         EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), S_OK);
         host_->UnregisterInstance(IID_IBitTorrentKernel);
         return shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
       },
       E_FAIL, "_IBitTorrentKernel != NULL not true"},
      {"CreateCfgFile after Uninit", after_uninit, ON_SHELL(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0)),
       E_UNEXPECTED, after},
      {"CreateNewTask after Uninit", after_uninit,
       ON_SHELL(shell_->CreateNewTask(text("s"), text(data_folder()), 0, nullptr, 0, nullptr, &out)), E_UNEXPECTED,
       after},
      {"the kernel's installation reported after Uninit (the downloader kept the sink)", shell_started,
       [&](IBtTask3*) {
         shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
         com_ptr<IModuleDownloaderEvents> sink = host_->last_attached;
         uninit();
         return sink->OnModuleInstallComplete(0, text("bt_kernel"), 1, 2);
       },
       E_UNEXPECTED, after},
      // A proxy.
      {"SetFileDownOrder with a count and no list", proxy_waiting, ON_TASK(t->SetFileDownOrder(3, nullptr)),
       E_POINTER, no_list},
      {"SetDapPriorityList with a count and no list", proxy_waiting, ON_TASK(t->SetDapPriorityList(1, nullptr)),
       E_POINTER, no_list},
      {"SetFileDownOrder with a count and no list, after the hand-over", proxy_running,
       ON_TASK(t->SetFileDownOrder(3, nullptr)), E_POINTER, no_list},
      {"GetStopFlag before the hand-over (the flag is left alone)", proxy_waiting, ON_TASK(t->GetStopFlag(&flag)), S_OK,
       "FALSE not true"},
      {"GetFailureDetail(NULL)", proxy_waiting, ON_TASK(t->GetFailureDetail(nullptr)), E_POINTER,
       "pFailureCode not true"},
      {"GetNewConnectInfo without a host service", no_host_service,
       [&](IBtTask3* t) {
         ULONG size = 7, result = 7;
         const HRESULT hr = t->GetNewConnectInfo(1, 2, &size, &result);
         EXPECT_EQ(size, 0u);
         return hr;
       },
       S_OK, "GetHostService() != NULL not true"},
      // A null pointer where an operation writes or reads: refused before anything is done (one
      // check serves every such argument; a few stand for the rest).
      {"CreateNewTask without a task", shell_started,
       [&](IBtTask3*) {
         const HRESULT hr = shell_->CreateNewTask(text("s"), text("d"), 0, nullptr, 0, nullptr, nullptr);
         EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);  // nothing requested
         return hr;
       },
       E_POINTER, null_out},
      {"ParseSeedFile(NULL)", shell_started, ON_SHELL(shell_->ParseSeedFile(text("s"), nullptr)), E_POINTER, null_out},
      {"GetStopFlag(NULL)", proxy_waiting, ON_TASK(t->GetStopFlag(nullptr)), E_POINTER, null_out},
      {"GetResourceCount(NULL) after the hand-over", proxy_running, ON_TASK(t->GetResourceCount(nullptr)), E_POINTER,
       null_out},
  };
  for (const misuse_case& c : cases) {
    SCOPED_TRACE(c.what);
    HRESULT answer = S_OK;
    const strings errors = errors_of(c.at, c.call, answer);
    EXPECT_EQ(answer, c.answer);
    ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
    EXPECT_NE(errors[0].find(c.error), std::string::npos) << errors[0];
  }
  EXPECT_EQ(flag, 5);
  EXPECT_EQ(out, nullptr);
}

#undef ON_TASK
#undef ON_SHELL

}  // namespace
