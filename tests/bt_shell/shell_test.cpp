// The shell: its identities, the operations it forwards, obtaining the
// kernel and telling the listeners that wait for it, and the reimport it
// imitates meanwhile.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/log_capture.h"
#include "support/recording_sink.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

// A waiting proxy stand-in: notes the code and, on success, leaves the
// shell's list as a proxy does; it may withdraw another listener meanwhile.
struct listener : bt_kernel_loading_listenner {
  listener(CBtShell* shell, strings* journal, std::string name) : shell(shell), journal(journal), name(std::move(name)) {}
  void loading_complete(ULONG code) override {
    journal->push_back(name + ":" + std::to_string(code));
    if (code == 0) shell->remove_loading_listenner(this);
    if (victim) shell->remove_loading_listenner(victim);
  }
  bool hold_for_call() override { return true; }
  void release_after_call() override {}
  CBtShell* shell;
  strings* journal;
  std::string name;
  bt_kernel_loading_listenner* victim = nullptr;
};

using ShellTest = shell_fixture;

TEST_F(ShellTest, FreshShellWaitsAndAnswersItsIdentities) {
  EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);
  EXPECT_EQ(log_->lines("host."), (strings{"host.GetInstance(IMultiLanguage2)", "host.CreateInstance(HostService,IHostService)",
                                            "host.GetInstance(IModuleDownloader)", "host.AttachEvents()"}));

  IBitTorrent2* face = shell_.get();
  IBitTorrentTest* test_face = shell_.get();
  void *bt = nullptr, *bt2 = nullptr, *test = nullptr, *unknown = nullptr, *unknown2 = nullptr;
  ASSERT_EQ(face->QueryInterface(IID_IBitTorrent, &bt), S_OK);
  ASSERT_EQ(face->QueryInterface(IID_IBitTorrent2, &bt2), S_OK);
  ASSERT_EQ(face->QueryInterface(IID_IBitTorrentTest, &test), S_OK);
  ASSERT_EQ(face->QueryInterface(IID_IUnknown, &unknown), S_OK);
  ASSERT_EQ(test_face->QueryInterface(IID_IUnknown, &unknown2), S_OK);
  EXPECT_EQ(bt, bt2);
  EXPECT_EQ(unknown, test);
  EXPECT_EQ(unknown2, test);
  for (void* p : {bt, bt2, test, unknown, unknown2}) static_cast<IUnknown*>(p)->Release();
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(face->QueryInterface(IID_IBitTorrentEvents, &none), E_NOINTERFACE);  // sinks are not reachable
  EXPECT_EQ(none, nullptr);

  EXPECT_EQ(shell_->ReservedOperation(1), S_OK);
  EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);
  EXPECT_TRUE(log_->lines("downloader.").empty());
}

// Every operation the shell forwards reaches the same operation of a loaded
// kernel with its arguments unchanged, and the kernel's own result comes back.
TEST_F(ShellTest, LoadedKernelReceivesEveryForwardedCallUnchanged) {
  // Those that only look for a registered kernel never request one.
  EXPECT_EQ(shell_->DebugP2pPipeQueryInfo(1, 2), E_FAIL);
  EXPECT_EQ(shell_->DebugP2pPipeReleaseInfo(1), E_FAIL);
  EXPECT_EQ(shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), E_FAIL);
  EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);

  fake_kernel& kernel = register_kernel();
  EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);  // registration alone changes nothing
  EXPECT_EQ(kernel.sink_count(), 1u);
  IBitTorrentTest* test = shell_.get();
  BYTE progress = 0;
  const char abc[] = "abc";
  const struct {
    std::string line;
    std::function<HRESULT()> call;
  } cases[] = {
      {"DebugP2pPipeQueryInfo(1,2)", [&] { return shell_->DebugP2pPipeQueryInfo(1, 2); }},
      {"CreateSubTask(1,2,3,4,5,6,7,8,9,10,11,12)",
       [&] { return shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12); }},
      {"DebugP2pPipeReleaseInfo(3)", [&] { return shell_->DebugP2pPipeReleaseInfo(3); }},
      {"StartReimportTask(3:\"abc\",1:\"a\",0:\"\")",
       [&] { return shell_->StartReimportTask(tagSTRING{3, abc}, tagSTRING{1, abc}, tagSTRING{0, abc}); }},
      {"GetReimportTaskTorrentFileName(4)", [&] { return shell_->GetReimportTaskTorrentFileName(4); }},
      {"GetReimportRootPath(5)", [&] { return shell_->GetReimportRootPath(5); }},
      {"GetReimportProgress()", [&] { return shell_->GetReimportProgress(&progress); }},
      {"CloseReimportTask()", [&] { return shell_->CloseReimportTask(); }},
      {"CreateCfgFile(11,12,13,14,15,16,17,18)", [&] { return shell_->CreateCfgFile(11, 12, 13, 14, 15, 16, 17, 18); }},
      {"CreateBtTrackerClient(6)", [&] { return test->CreateBtTrackerClient(6); }},
      {"CreateBtHubQueryClient(7)", [&] { return test->CreateBtHubQueryClient(7); }},
      {"CreateBtWriterFactory(8)", [&] { return test->CreateBtWriterFactory(8); }},
  };
  HRESULT answer = static_cast<HRESULT>(0x80001000u);
  for (const auto& c : cases) {
    log_->clear();
    kernel.answers.results[c.line.substr(0, c.line.find('('))] = ++answer;
    EXPECT_EQ(c.call(), answer) << c.line;
    EXPECT_EQ(log_->lines("kernel."), (strings{"kernel." + c.line}));
  }
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loaded);
  EXPECT_TRUE(log_->lines("downloader.").empty());

  kernel.options.test_interface = false;
  EXPECT_EQ(test->CreateBtHubQueryClient(1), E_FAIL);
}

TEST_F(ShellTest, FirstKernelCallRequestsTheModuleAndItsArrivalLoadsIt) {
  log_->clear();
  log_capture cap;
  EXPECT_EQ(shell_->CreateBtTrackerClient(1), E_FAIL);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  EXPECT_EQ(log_->lines(), (strings{"host.GetInstance(IBitTorrentKernel)", "downloader.AttachEvents()",
                                    "service.ReportEvent(2,152,-1,0)", "downloader.RequestDownload(9:\"bt_kernel\",1,2)"}));
  EXPECT_EQ(cap.texts("CBtShell", log4cplus::DEBUG_LOG_LEVEL),
            (strings{"CreateBtTrackerClient,_bt_shell_status: 0", "enter_shell_init_status ",
                     "enter_shell_init_status , RequestDownload"}));
  EXPECT_EQ(cap.texts("CBtShell", log4cplus::INFO_LOG_LEVEL),
            (strings{prefix_of(shell_.get()) + "get bt dl module's version: 1,2"}));
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);  // still loading

  fake_kernel& kernel = register_kernel();
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  log_->clear();
  host_->downloader->complete(0);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loaded);
  EXPECT_EQ(log_->lines(), (strings{"downloader.DetachEvents()", "host.GetInstance(IBitTorrentKernel)",
                                    "service.ReportEvent(2,154,-1,0)"}));
  EXPECT_EQ(cap.count("CBtShell", log4cplus::INFO_LOG_LEVEL,
                      prefix_of(shell_.get()) +
                          "OnModuleInstallComplete  error_code=0, moduleName=bt_kernel, MajorVersion=1, MinorVersion=2"),
            1);
  EXPECT_EQ(shell_->CreateBtTrackerClient(5), S_OK);
  EXPECT_EQ(log_->lines("kernel.CreateBt"), (strings{"kernel.CreateBtTrackerClient(5)"}));

  // The kernel's events reach the shell's subscribers in attach order.
  strings seen;
  com_ptr<recording_sink> a = recording_sink::create("a", &seen), b = recording_sink::create("b", &seen);
  shell_->AttachEvents(a.get());
  shell_->AttachEvents(b.get());
  kernel.raise2(12, 13);
  EXPECT_EQ(seen, (strings{"a.OnBitTorrentEvent2(12,13)", "b.OnBitTorrentEvent2(12,13)"}));
  shell_->DetachEvents(a.get());
  shell_->DetachEvents(b.get());
}

TEST_F(ShellTest, KernelVersionFromTheIniFile) {
  const struct {
    const char* content;  // null: no file at all
    std::string request;
    log4cplus::LogLevel level;
    std::string line;
  } cases[] = {
      {"[bt_kernel]\nversion=1.0\n", "1,0", log4cplus::INFO_LOG_LEVEL, "get bt dl module's version: 1,0"},
      {"[BT_KERNEL]\nVersion = \"3.14\"\n", "3,14", log4cplus::INFO_LOG_LEVEL, "get bt dl module's version: 3,14"},
      {"[bt_kernel]\nversion=0.0\n", "0,0", log4cplus::ERROR_LOG_LEVEL, "get bt dl module's version is invalid."},
      {"[bt_kernel]\nversion=abc\n", "0,0", log4cplus::ERROR_LOG_LEVEL, "get bt dl module's version is invalid."},
      {"[other]\nversion=1.2\n", "0,0", log4cplus::ERROR_LOG_LEVEL, "can not get non dl module's version."},
      {nullptr, "0,0", log4cplus::ERROR_LOG_LEVEL, "can not get non dl module's version."},
  };
  for (const auto& c : cases) {
    stop();
    start();
    if (c.content)
      dir_.write("bt_shell.ini", c.content);
    else
      std::filesystem::remove(dir_.file("bt_shell.ini"));
    log_capture cap;
    shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(log_->lines("downloader.Request"), (strings{"downloader.RequestDownload(9:\"bt_kernel\"," + c.request + ")"}));
    EXPECT_EQ(cap.count("CBtShell", c.level, prefix_of(shell_.get()) + c.line), 1) << c.line;
  }
}

TEST_F(ShellTest, CompletionOfOtherModulesChangesNothing) {
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  log_capture cap;
  for (const char* name : {"BT_KERNEL", "bt_kernel2", "bt_kerne", "other"}) host_->downloader->complete(0, name);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(host_->downloader->sink_count(), 1u);
}

TEST_F(ShellTest, FailedDownloadIsFinalAndToldToEveryWaitingListener) {
  strings told;
  listener a(shell_.get(), &told, "a"), b(shell_.get(), &told, "b");
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  shell_->add_loading_listenner(&a);
  shell_->add_loading_listenner(&b);
  com_ptr<IModuleDownloaderEvents> late_answer = host_->downloader->sink(0);
  log_capture cap;
  host_->downloader->complete(5);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
  EXPECT_EQ(told, (strings{"a:5", "b:5"}));
  EXPECT_EQ(shell_->loading_listener_count(), 2u);  // a failure leaves them registered
  EXPECT_EQ(cap.count("CBtShell", log4cplus::ERROR_LOG_LEVEL, "OnModuleDownloadComplete error,error code: 5"), 1);
  EXPECT_EQ(log_->lines("service."), (strings{"service.ReportEvent(2,152,-1,0)", "service.ReportEvent(4,153,-1,0)"}));

  register_kernel();  // a late kernel, or a late answer, changes nothing
  late_answer->OnModuleInstallComplete(0, text("bt_kernel"), 1, 2);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
  EXPECT_EQ(log_->lines("service.").size(), 2u);
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(shell_->DebugP2pPipeQueryInfo(1, 2), E_FAIL);
  shell_->remove_loading_listenner(&a);
  shell_->remove_loading_listenner(&b);
}

TEST_F(ShellTest, SuccessWithoutARegisteredKernelCountsAsFailure) {
  strings told;
  listener a(shell_.get(), &told, "a");
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  shell_->add_loading_listenner(&a);
  host_->downloader->complete(0);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
  EXPECT_EQ(told, (strings{"a:4294967295"}));
  shell_->remove_loading_listenner(&a);
}

TEST_F(ShellTest, ListenersAreToldInOrderAlthoughEachLeavesDuringItsCall) {
  strings told;
  listener a(shell_.get(), &told, "a"), b(shell_.get(), &told, "b"), c(shell_.get(), &told, "c");
  shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_TRUE(shell_->add_loading_listenner(&a));
  EXPECT_FALSE(shell_->add_loading_listenner(&a));     // no duplicates
  EXPECT_FALSE(shell_->remove_loading_listenner(&c));  // not listed
  shell_->add_loading_listenner(&b);
  shell_->add_loading_listenner(&c);
  b.victim = &c;  // as a proxy stopped or released meanwhile: c is not called
  arrive();
  EXPECT_EQ(told, (strings{"a:0", "b:0"}));
  EXPECT_EQ(shell_->loading_listener_count(), 0u);
}

TEST_F(ShellTest, AnswersNobodyAskedForChangeNothing) {
  // A second answer (the downloader kept the sink), after a replayed
  // reimport: the first answer's status is final.
  shell_->StartReimportTask(text("x"), text("x"), text("x"));
  com_ptr<IModuleDownloaderEvents> sink = host_->downloader->sink(0);
  arrive();
  ASSERT_EQ(shell_->status(), bt_shell_status::kernel_loaded);
  sink->OnModuleInstallComplete(0, text("bt_kernel"), 1, 2);
  sink->OnModuleInstallComplete(7, text("bt_kernel"), 1, 2);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loaded);
  EXPECT_EQ(log_->lines("kernel.StartReimportTask").size(), 1u);
  EXPECT_EQ(log_->lines("service.").size(), 2u);
}

TEST_F(ShellTest, RegistrationsOfOtherObjectsAreIgnored) {
  auto kernel = com_ptr<fake_kernel>::adopt(new fake_kernel(log_));
  host_->RegisterInstance(IID_IBitTorrent, static_cast<IBitTorrentKernel*>(kernel.get()));
  host_->RegisterInstance(IID_IBitTorrentKernel, nullptr);
  host_->UnregisterInstance(IID_IBitTorrentKernel);
  EXPECT_EQ(kernel->sink_count(), 0u);
  // An object that does not serve the kernel interface is reported, not kept.
  log_capture cap;
  host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IHostService*>(host_->service.get()));
  EXPECT_EQ(cap.count_containing("CBtShell", log4cplus::ERROR_LOG_LEVEL, "SUCCEEDED(hr) not true"), 1);
  EXPECT_EQ(shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), E_FAIL);
}

TEST_F(ShellTest, WithoutModuleDownloaderTheKernelCannotBeHad) {
  stop();
  start(fake_host_options{true, false});
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
  EXPECT_TRUE(log_->lines("service.").empty());
}

TEST_F(ShellTest, ReimportIsSimulatedWhileLoadingAndReplayedAtArrival) {
  now_ = 1000;
  const char a[] = "alpha", b[] = "", c[] = "gamma";
  EXPECT_EQ(shell_->StartReimportTask(tagSTRING{5, a}, tagSTRING{0, b}, tagSTRING{5, c}), S_OK);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  BYTE progress = 0;
  now_ = 1007;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 3);
  now_ = 1200;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 50);

  fake_kernel& kernel = register_kernel();
  kernel.answers.values["GetReimportProgress"] = 10;
  host_->downloader->complete(0);
  EXPECT_EQ(log_->lines("kernel.StartReimportTask"),
            (strings{"kernel.StartReimportTask(5:\"alpha\",0:\"\",5:\"gamma\")"}));
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 50);  // never falls back
  kernel.answers.values["GetReimportProgress"] = 80;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 80);
}

TEST_F(ShellTest, ReimportClosedBeforeArrivalIsNotReplayedAndOneRefusedFailsTheProgress) {
  shell_->StartReimportTask(text("x"), text("x"), text("x"));
  EXPECT_EQ(shell_->CloseReimportTask(), S_OK);
  arrive();
  EXPECT_TRUE(log_->lines("kernel.StartReimportTask").empty());

  stop();
  start();
  shell_->StartReimportTask(text("x"), text("x"), text("x"));
  register_kernel().answers.results["StartReimportTask"] = E_FAIL;
  host_->downloader->complete(0);
  BYTE progress = 0;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), E_FAIL);
  EXPECT_EQ(shell_->StartReimportTask(text("x"), text("x"), text("x")), E_FAIL);
  kernel_->answers.results.clear();
  EXPECT_EQ(shell_->StartReimportTask(text("x"), text("x"), text("x")), S_OK);
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
}

TEST_F(ShellTest, AnotherKernelRegistrationReplacesTheFirstWithoutLeakOrDoubleAttach) {
  fake_kernel& first = register_kernel();
  register_kernel();
  EXPECT_EQ(first.sink_count(), 1u);  // the same kernel again: attached once
  auto second = com_ptr<fake_kernel>::adopt(new fake_kernel(log_));
  host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(second.get()));
  EXPECT_EQ(first.sink_count(), 0u);
  EXPECT_EQ(second->sink_count(), 1u);
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), S_OK);
  EXPECT_EQ(log_->lines("kernel.CreateCfgFile").size(), 1u);
  host_->UnregisterInstance(IID_IBitTorrentKernel);
  EXPECT_EQ(second->sink_count(), 0u);
}

TEST_F(ShellTest, ReleasePeerInfoListFreesRecordAndArray) {
  auto* with_items = new PEER_INFO_LIST{};
  with_items->items = new BYTE[64];
  EXPECT_EQ(shell_->ReleasePeerInfoList(with_items), S_OK);
  EXPECT_EQ(shell_->ReleasePeerInfoList(new PEER_INFO_LIST{}), S_OK);
}

}  // namespace
