#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "bt_shell/BtShell.h"
#include "bt_shell/module_host.h"
#include "host/recording_kernel/kernel_state.h"
#include "support/log_capture.h"
#include "support/recording_sink.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using bts_test::log_capture;

std::string address_of(const void* p) {
  std::ostringstream s;
  s << p;
  return "[" + s.str() + "]";
}

// A waiting proxy stand-in: records the code and, on success, leaves the
// shell's list as a proxy does.
struct listener : bt_kernel_loading_listenner {
  listener(CBtShell* shell, std::vector<std::string>* journal, std::string name)
      : shell(shell), journal(journal), name(std::move(name)) {}
  void loading_complete(ULONG code) override {
    journal->push_back(name + ":" + std::to_string(code));
    if (code == 0) shell->remove_loading_listenner(this);
  }
  bool hold_for_call() override { return true; }
  void release_after_call() override {}
  CBtShell* shell;
  std::vector<std::string>* journal;
  std::string name;
};

using ShellTest = bts_test::shell_fixture;

TEST_F(ShellTest, FreshShellWaitsAndAnswersItsIdentities) {
  EXPECT_EQ(shell_->status(), shell_init);
  EXPECT_TRUE(host_->downloader()->requests().empty());

  com_ptr<IUnknown> from_test, from_bt2, unknown;
  com_ptr<IBitTorrent2> bt, bt2;
  IBitTorrent2* face = shell_;
  ASSERT_EQ(face->QueryInterface(IID_IBitTorrent, bt.put_void()), S_OK);
  ASSERT_EQ(face->QueryInterface(IID_IBitTorrent2, bt2.put_void()), S_OK);
  EXPECT_EQ(bt.get(), bt2.get());
  ASSERT_EQ(face->QueryInterface(IID_IBitTorrentTest, from_test.put_void()), S_OK);
  ASSERT_EQ(face->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(unknown.get(), from_test.get());
  IBitTorrentTest* test_face = static_cast<IBitTorrentTest*>(shell_);
  ASSERT_EQ(test_face->QueryInterface(IID_IUnknown, from_bt2.put_void()), S_OK);
  EXPECT_EQ(from_bt2.get(), unknown.get());
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(face->QueryInterface(IID_IBitTorrentEvents, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  EXPECT_EQ(shell_->ReservedOperation(1), S_OK);
  EXPECT_EQ(shell_->OnReserved1(), S_OK);
  EXPECT_EQ(shell_->OnReserved2(), S_OK);
  EXPECT_EQ(shell_->status(), shell_init);
}

// Every operation the shell forwards reaches the same operation of a loaded
// kernel with its arguments unchanged, and the kernel's own result comes back.
TEST_F(ShellTest, LoadedKernelReceivesEveryForwardedCallUnchanged) {
  // Those that only look for a registered kernel never request one.
  EXPECT_EQ(shell_->DebugP2pPipeQueryInfo(1, 2), E_FAIL);
  EXPECT_EQ(shell_->DebugP2pPipeReleaseInfo(1), E_FAIL);
  EXPECT_EQ(shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), E_FAIL);
  EXPECT_EQ(shell_->status(), shell_init);

  kernel_probe kernel = register_kernel();
  EXPECT_EQ(shell_->status(), shell_init);  // registration alone changes nothing
  IBitTorrentTest* test = shell_;
  BYTE progress = 0;
  const char text[] = "abc";
  const struct {
    std::string operation;
    std::function<HRESULT()> call;
    std::string arguments;
  } cases[] = {
      {"DebugP2pPipeQueryInfo", [&] { return shell_->DebugP2pPipeQueryInfo(1, 2); }, "(1,2)"},
      {"CreateSubTask", [&] { return shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12); },
       "(1,2,3,4,5,6,7,8,9,10,11,12)"},
      {"DebugP2pPipeReleaseInfo", [&] { return shell_->DebugP2pPipeReleaseInfo(3); }, "(3)"},
      {"StartReimportTask",
       [&] { return shell_->StartReimportTask(tagSTRING{3, text}, tagSTRING{1, text}, tagSTRING{0, text}); },
       "(3:\"abc\",1:\"a\",0:\"\")"},
      {"GetReimportTaskTorrentFileName", [&] { return shell_->GetReimportTaskTorrentFileName(4); }, "(4)"},
      {"GetReimportRootPath", [&] { return shell_->GetReimportRootPath(5); }, "(5)"},
      {"GetReimportProgress", [&] { return shell_->GetReimportProgress(&progress); },
       "(" + kernel_state::pointer(&progress) + ")"},
      {"CloseReimportTask", [&] { return shell_->CloseReimportTask(); }, "()"},
      {"CreateCfgFile", [&] { return shell_->CreateCfgFile(11, 12, 13, 14, 15, 16, 17, 18); },
       "(11,12,13,14,15,16,17,18)"},
      {"CreateBtTrackerClient", [&] { return test->CreateBtTrackerClient(6); }, "(6)"},
      {"CreateBtHubQueryClient", [&] { return test->CreateBtHubQueryClient(7); }, "(7)"},
      {"CreateBtWriterFactory", [&] { return test->CreateBtWriterFactory(8); }, "(8)"},
  };
  HRESULT answer = static_cast<HRESULT>(0x80001000u);
  for (const auto& c : cases) {
    kernel.clear_journal();
    kernel.set_result("kernel." + c.operation, ++answer);
    EXPECT_EQ(c.call(), answer) << c.operation;
    EXPECT_EQ(kernel.journal(), (std::vector<std::string>{"kernel." + c.operation + c.arguments})) << c.operation;
  }
  EXPECT_EQ(shell_->status(), kernel_loaded);
  EXPECT_TRUE(host_->downloader()->requests().empty());
  EXPECT_EQ(host_->downloader()->sink_count(), 0u);

  kernel.set_option(BT_KERNEL_TEST_INTERFACE, false);
  EXPECT_EQ(test->CreateBtHubQueryClient(1), E_FAIL);
}

TEST_F(ShellTest, FirstKernelCallRequestsTheModuleAndItsArrivalLoadsIt) {
  log_capture cap;
  EXPECT_EQ(shell_->CreateBtTrackerClient(1), E_FAIL);
  EXPECT_EQ(shell_->status(), kernel_loading);
  ASSERT_EQ(host_->downloader()->requests().size(), 1u);  // its name and version: end to end
  ASSERT_EQ(host_events().size(), 1u);
  EXPECT_EQ(host_events()[0].kind, 2u);
  EXPECT_EQ(host_events()[0].event_id, 152u);
  EXPECT_EQ(host_events()[0].param1, -1);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::DEBUG_LOG_LEVEL, "CreateBtTrackerClient,_bt_shell_status: 0"), 1);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::INFO_LOG_LEVEL,
                      address_of(shell_) + "get bt dl module's version: 1,2"),
            1);
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);  // still loading

  kernel_probe kernel = register_kernel();
  EXPECT_EQ(shell_->status(), kernel_loading);
  complete_kernel_download();
  EXPECT_EQ(shell_->status(), kernel_loaded);
  EXPECT_EQ(host_->downloader()->sink_count(), 0u);
  ASSERT_EQ(host_events().size(), 2u);
  EXPECT_EQ(host_events()[1].kind, 2u);
  EXPECT_EQ(host_events()[1].event_id, 154u);
  EXPECT_EQ(cap.count("CBtShell", log4cplus::INFO_LOG_LEVEL,
                      address_of(shell_) +
                          "OnModuleInstallComplete  error_code=0, moduleName=bt_kernel, MajorVersion=1, MinorVersion=2"),
            1);
  EXPECT_EQ(shell_->CreateBtTrackerClient(5), S_OK);
  EXPECT_EQ(kernel.journal("kernel.CreateBtTracker"), (std::vector<std::string>{"kernel.CreateBtTrackerClient(5)"}));
}

TEST_F(ShellTest, KernelVersionFromTheIniFile) {
  struct {
    const char* content;  // null: no file at all
    USHORT major, minor;
    log4cplus::LogLevel level;
    std::string line;
  } cases[] = {
      {"[bt_kernel]\nversion=1.0\n", 1, 0, log4cplus::INFO_LOG_LEVEL, "get bt dl module's version: 1,0"},
      {"[BT_KERNEL]\nVersion = \"3.14\"\n", 3, 14, log4cplus::INFO_LOG_LEVEL, "get bt dl module's version: 3,14"},
      {"[bt_kernel]\nversion=0.0\n", 0, 0, log4cplus::ERROR_LOG_LEVEL, "get bt dl module's version is invalid."},
      {"[bt_kernel]\nversion=abc\n", 0, 0, log4cplus::ERROR_LOG_LEVEL, "get bt dl module's version is invalid."},
      {"[other]\nversion=1.2\n", 0, 0, log4cplus::ERROR_LOG_LEVEL, "can not get non dl module's version."},
      {nullptr, 0, 0, log4cplus::ERROR_LOG_LEVEL, "can not get non dl module's version."},
  };
  for (const auto& c : cases) {
    bts_test::temp_dir dir;
    if (c.content) dir.write("bt_shell.ini", c.content);
    shell_->set_config_dir(dir.path());
    log_capture cap;
    USHORT major = 9, minor = 9;
    shell_->get_bt_kernel_version(major, minor);
    EXPECT_EQ(major, c.major) << c.line;
    EXPECT_EQ(minor, c.minor) << c.line;
    EXPECT_EQ(cap.count("CBtShell", c.level, address_of(shell_) + c.line), 1) << c.line;
  }
}

TEST_F(ShellTest, CompletionOfOtherModulesChangesNothing) {
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  log_capture cap;
  const char* names[] = {"BT_KERNEL", "bt_kernel2", "bt_kerne", "other"};
  for (const char* name : names)
    shell_->OnModuleInstallComplete(0, tagSTRING{static_cast<ULONG>(strlen(name)), name}, 1, 2);
  EXPECT_EQ(shell_->status(), kernel_loading);
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(host_->downloader()->sink_count(), 1u);
}

TEST_F(ShellTest, FailedDownloadIsFinalAndToldToEveryWaitingListener) {
  std::vector<std::string> journal;
  listener a(shell_, &journal, "a"), b(shell_, &journal, "b");
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  shell_->add_loading_listenner(&a);
  shell_->add_loading_listenner(&b);
  host_->downloader()->fail_module("bt_kernel", 5);
  log_capture cap;
  EXPECT_EQ(host_->downloader()->complete_pending(), 1u);
  EXPECT_EQ(shell_->status(), kernel_load_failed);
  EXPECT_EQ(journal, (std::vector<std::string>{"a:5", "b:5"}));
  EXPECT_EQ(shell_->loading_listener_count(), 2u);  // a failure leaves them registered
  EXPECT_EQ(cap.count("CBtShell", log4cplus::ERROR_LOG_LEVEL, "OnModuleDownloadComplete error,error code: 5"), 1);
  ASSERT_EQ(host_events().size(), 2u);
  EXPECT_EQ(host_events()[1].kind, 4u);
  EXPECT_EQ(host_events()[1].event_id, 153u);

  register_kernel();  // a late kernel, or a late answer, changes nothing
  complete_kernel_download(0);
  EXPECT_EQ(shell_->status(), kernel_load_failed);
  EXPECT_EQ(host_events().size(), 2u);
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(shell_->DebugP2pPipeQueryInfo(1, 2), E_FAIL);
  shell_->remove_loading_listenner(&a);
  shell_->remove_loading_listenner(&b);
}

TEST_F(ShellTest, SuccessWithoutARegisteredKernelCountsAsFailure) {
  std::vector<std::string> journal;
  listener a(shell_, &journal, "a");
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  shell_->add_loading_listenner(&a);
  complete_kernel_download(0);
  EXPECT_EQ(shell_->status(), kernel_load_failed);
  EXPECT_EQ(journal, (std::vector<std::string>{"a:4294967295"}));
  shell_->remove_loading_listenner(&a);
}

TEST_F(ShellTest, ListenersAreToldInOrderAlthoughEachLeavesDuringItsCall) {
  std::vector<std::string> journal;
  listener a(shell_, &journal, "a"), b(shell_, &journal, "b"), c(shell_, &journal, "c");
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_TRUE(shell_->add_loading_listenner(&a));
  EXPECT_FALSE(shell_->add_loading_listenner(&a));  // no duplicates
  EXPECT_FALSE(shell_->remove_loading_listenner(&c));  // not listed
  shell_->add_loading_listenner(&b);
  shell_->add_loading_listenner(&c);
  // b withdraws c (as a proxy stopped or destroyed meanwhile would): c is not called.
  struct remover : listener {
    using listener::listener;
    bt_kernel_loading_listenner* victim = nullptr;
    void loading_complete(ULONG code) override {
      listener::loading_complete(code);
      shell->remove_loading_listenner(victim);
    }
  } b2(shell_, &journal, "b2");
  b2.victim = &c;
  shell_->remove_loading_listenner(&b);
  shell_->remove_loading_listenner(&c);
  shell_->add_loading_listenner(&b2);
  shell_->add_loading_listenner(&c);
  register_kernel();
  complete_kernel_download();
  EXPECT_EQ(journal, (std::vector<std::string>{"a:0", "b2:0"}));
  EXPECT_EQ(shell_->loading_listener_count(), 0u);
}

TEST_F(ShellTest, AnswersNobodyAskedForChangeNothing) {
  // Before any request, after a failure, and a second success after a
  // replayed reimport: the first answer's status is final.
  complete_kernel_download(0);
  EXPECT_EQ(shell_->status(), shell_init);

  const char a[] = "x";
  shell_->StartReimportTask(tagSTRING{1, a}, tagSTRING{1, a}, tagSTRING{1, a});
  kernel_probe kernel = register_kernel();
  complete_kernel_download(0);
  ASSERT_EQ(shell_->status(), kernel_loaded);
  complete_kernel_download(0);
  complete_kernel_download(7);
  EXPECT_EQ(shell_->status(), kernel_loaded);
  EXPECT_EQ(kernel.journal("kernel.StartReimportTask").size(), 1u);
  EXPECT_EQ(host_events().size(), 2u);
}

TEST_F(ShellTest, RegistrationsOfOtherObjectsAreIgnored) {
  com_ptr<recording_kernel> kernel = recording_kernel::create();
  IUnknown* object = static_cast<IBitTorrentKernel*>(kernel.get());
  EXPECT_EQ(shell_->OnRegisterInstance(IID_IBitTorrent, object), S_OK);
  EXPECT_EQ(shell_->OnRegisterInstance(IID_IBitTorrentKernel, nullptr), S_OK);
  EXPECT_EQ(shell_->OnUnregisterInstance(IID_IBitTorrentKernel), S_OK);
  EXPECT_EQ(shell_->kernel(), nullptr);
  // An object that does not serve the kernel interface is reported, not kept.
  com_ptr<IBitTorrent2> not_a_kernel;
  ASSERT_EQ(host_->GetInstance(IID_IBitTorrent, not_a_kernel.put_void()), S_OK);
  log_capture cap;
  EXPECT_EQ(shell_->OnRegisterInstance(IID_IBitTorrentKernel, not_a_kernel.get()), S_OK);
  EXPECT_EQ(shell_->kernel(), nullptr);
  EXPECT_EQ(cap.count_containing("CBtShell", log4cplus::ERROR_LOG_LEVEL, "SUCCEEDED(hr) not true"), 1);
  EXPECT_EQ(kernel_probe(object).sink_count(), 0u);
}

TEST_F(ShellTest, WithoutModuleDownloaderTheKernelCannotBeHad) {
  stop();
  download_lib_options bare;
  bare.module_downloader = false;
  start(bare);
  EXPECT_EQ(GetModuleDownloader(), nullptr);
  EXPECT_TRUE(host_->is_registered(IID_IBitTorrent));  // the plugin's Init did its work all the same
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(shell_->status(), kernel_load_failed);
  EXPECT_TRUE(host_events().empty());
}

std::time_t g_now = 1000;
std::time_t fake_clock() { return g_now; }

TEST_F(ShellTest, ReimportIsSimulatedWhileLoadingAndReplayedAtArrival) {
  shell_->set_time_source(&fake_clock);
  g_now = 1000;
  const char a[] = "alpha", b[] = "", c[] = "gamma";
  EXPECT_EQ(shell_->StartReimportTask(tagSTRING{5, a}, tagSTRING{0, b}, tagSTRING{5, c}), S_OK);
  EXPECT_EQ(shell_->status(), kernel_loading);
  BYTE progress = 0;
  g_now = 1007;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 3);
  g_now = 1200;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 50);

  kernel_probe kernel = register_kernel();
  kernel.set_value("kernel.GetReimportProgress.progress", 10);
  complete_kernel_download();
  EXPECT_EQ(kernel.journal("kernel.StartReimportTask"),
            (std::vector<std::string>{"kernel.StartReimportTask(5:\"alpha\",0:\"\",5:\"gamma\")"}));
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 50);  // never falls back
  kernel.set_value("kernel.GetReimportProgress.progress", 80);
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 80);
}

TEST_F(ShellTest, ReimportClosedBeforeArrivalIsNotReplayed) {
  const char a[] = "x";
  shell_->StartReimportTask(tagSTRING{1, a}, tagSTRING{1, a}, tagSTRING{1, a});
  EXPECT_EQ(shell_->CloseReimportTask(), S_OK);
  kernel_probe kernel = register_kernel();
  complete_kernel_download();
  EXPECT_TRUE(kernel.journal("kernel.StartReimportTask").empty());
}

TEST_F(ShellTest, ReimportRefusedByTheKernelFailsTheProgress) {
  const char a[] = "x";
  shell_->StartReimportTask(tagSTRING{1, a}, tagSTRING{1, a}, tagSTRING{1, a});
  kernel_probe kernel = register_kernel();
  kernel.set_result("kernel.StartReimportTask", E_FAIL);
  complete_kernel_download();
  BYTE progress = 0;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), E_FAIL);
  EXPECT_EQ(shell_->StartReimportTask(tagSTRING{1, a}, tagSTRING{1, a}, tagSTRING{1, a}), E_FAIL);
  kernel.reset_answers();
  EXPECT_EQ(shell_->StartReimportTask(tagSTRING{1, a}, tagSTRING{1, a}, tagSTRING{1, a}), S_OK);
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
}

TEST_F(ShellTest, AnotherKernelRegistrationReplacesTheFirstWithoutLeakOrDoubleAttach) {
  kernel_probe first = register_kernel();
  host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(kernel_.get()));
  EXPECT_EQ(first.sink_count(), 1u);  // the same kernel again: attached once
  com_ptr<recording_kernel> second = recording_kernel::create();
  host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(second.get()));
  kernel_probe second_probe(static_cast<IBitTorrentKernel*>(second.get()));
  EXPECT_EQ(first.sink_count(), 0u);
  EXPECT_EQ(second_probe.sink_count(), 1u);
  EXPECT_EQ(shell_->kernel(), static_cast<IBitTorrentKernel*>(second.get()));
  host_->UnregisterInstance(IID_IBitTorrentKernel);
  EXPECT_EQ(second_probe.sink_count(), 0u);
  EXPECT_EQ(shell_->kernel(), nullptr);
}

TEST_F(ShellTest, ReleasePeerInfoListFreesRecordAndArray) {
  auto* with_items = new PEER_INFO_LIST{};
  with_items->items = new BYTE[64];
  EXPECT_EQ(shell_->ReleasePeerInfoList(with_items), S_OK);
  auto* bare = new PEER_INFO_LIST{};
  EXPECT_EQ(shell_->ReleasePeerInfoList(bare), S_OK);
}

}  // namespace
