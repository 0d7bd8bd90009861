#include "bt_shell/DownloadLibPlugin.h"

#include <gtest/gtest.h>

#include "bt_shell/ComModule.h"
#include "common/charset_analyser.h"
#include "interfaces/IBitTorrent.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using bts_test::log_capture;

com_ptr<IClassFactory> factory() {
  com_ptr<IClassFactory> f;
  EXPECT_EQ(module_get_class_object(CLSID_DownloadLibPlugin, IID_IClassFactory, f.put_void()), S_OK);
  return f;
}

TEST(PluginModule, FactoryRefusalsAndThePluginsFixedAnswers) {
  com_ptr<IClassFactory> f = factory();
  ASSERT_TRUE(f);
  const LONG base = platform::module_lock_count();

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->CreateInstance(reinterpret_cast<IUnknown*>(f.get()), IID_IDownloadLibPlugin, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IBitTorrent, &out), E_NOINTERFACE);
  EXPECT_EQ(module_get_class_object(IID_IBitTorrent, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  // The lock count of plugins and LockServer from several threads: ConcurrentModule.
  EXPECT_EQ(platform::module_lock_count(), base);

  // The plugin's one interface and its fixed answers.
  com_ptr<IDownloadLibPlugin> plugin;
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IDownloadLibPlugin, plugin.put_void()), S_OK);
  com_ptr<IUnknown> other;
  EXPECT_EQ(plugin.query(IID_IBitTorrent2, other), E_NOINTERFACE);
  ULONG value = 77;
  EXPECT_EQ(plugin->GetPluginValue(&value), S_OK);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(plugin->QueryPluginStatus(), S_FALSE);
}

// Written and removed keys are checked through the module's exports
// (test_integration); a store that cannot be written is a failure, not a
// silent loss.
TEST(PluginModule, RegistrationIntoAStoreThatCannotBeWrittenFails) {
  bts_test::temp_dir home;
  platform::registry_set_store_file(home.write("a_file", "") + "/registry");
  log_capture cap;
  EXPECT_EQ(module_register_server(), SELFREG_E_CLASS);
  EXPECT_EQ(module_unregister_server(), SELFREG_E_CLASS);
  // One ERROR line each, naming the cause.
  const auto errors = cap.texts("CDownloadLibPlugin(bt_shell)", log4cplus::ERROR_LOG_LEVEL);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("cannot create " + home.path()), std::string::npos) << errors[0];
  platform::registry_set_store_file("");
}

TEST(PluginInit, InitBindsTheHostAndPublishesTheShellUninitUndoesIt) {
  auto log = std::make_shared<bts_test::journal>();
  auto host = com_ptr<bts_test::fake_host>::adopt(new bts_test::fake_host(log, {}));
  auto plugin = com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin);
  ASSERT_EQ(plugin->Init(host.get()), S_OK);
  // The plugin's calls to its host, in order.
  EXPECT_EQ(log->lines("host."), (std::vector<std::string>{"host.GetInstance(IMultiLanguage2)",
                                                          "host.CreateInstance(HostService,IHostService)",
                                                          "host.GetInstance(IModuleDownloader)", "host.AttachEvents()",
                                                          "host.RegisterInstance(IBitTorrent)"}));
  ASSERT_NE(charset_analyser::existing(), nullptr);
  EXPECT_NE(charset_analyser::instance().mlang(), nullptr);  // the built-in detector
  com_ptr<IBitTorrent2> shell;
  ASSERT_EQ(host->GetInstance(IID_IBitTorrent, shell.put_void()), S_OK);
  EXPECT_EQ(static_cast<IBitTorrent2*>(plugin->shell()), shell.get());

  log->clear();
  ASSERT_EQ(plugin->Uninit(), S_OK);
  EXPECT_EQ(log->lines("host."),
            (std::vector<std::string>{"host.UnregisterInstance(IBitTorrent)", "host.DetachEvents()"}));
  EXPECT_EQ(charset_analyser::existing(), nullptr);
  EXPECT_FALSE(module_context::module_bound());
  // The shell the host still holds lives on after Uninit, without its host.
  EXPECT_EQ(shell->ReservedOperation(5), S_OK);
  EXPECT_EQ(shell->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_UNEXPECTED);
}

}  // namespace
