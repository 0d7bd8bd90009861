// The shell: its identities, the operations it forwards, obtaining the
// kernel and telling the listeners that wait for it, and the reimport it
// imitates meanwhile.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/log_capture.h"
#include "support/recording_sink.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

// A waiting proxy stand-in: notes the code and, on success, leaves the
// shell's list as a proxy does; it may withdraw another listener meanwhile.
struct listener : bt_kernel_loading_listenner {
  listener(CBtShell* shell, strings* told, std::string name) : shell(shell), told(told), name(std::move(name)) {}
  void loading_complete(ULONG code) override {
    told->push_back(name + ":" + std::to_string(code));
    if (code == 0) shell->remove_loading_listenner(this);
    if (victim) shell->remove_loading_listenner(victim);
  }
  bool hold_for_call() override { return true; }
  void release_after_call() override {}
  CBtShell* shell;
  strings* told;
  std::string name;
  bt_kernel_loading_listenner* victim = nullptr;
};

using ShellTest = shell_fixture;

TEST_F(ShellTest, FreshShellWaitsAndAnswersItsIdentities) {
  // IBitTorrent and IBitTorrent2 are one face; IUnknown is the test face, from either; sinks are not reachable.
  IBitTorrent2* main_face = shell_.get();
  IBitTorrentTest* test_face = shell_.get();
  for (IUnknown* face : {static_cast<IUnknown*>(main_face), static_cast<IUnknown*>(test_face)})
    expect_faces(face, {{IID_IBitTorrent, main_face}, {IID_IBitTorrent2, main_face}, {IID_IBitTorrentTest, test_face},
                        {IID_IUnknown, test_face}, {IID_IBitTorrentEvents, nullptr}});
  EXPECT_EQ(shell_->ReservedOperation(1), S_OK);
  EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);
  EXPECT_TRUE(log_->lines("downloader.").empty());
}

// Every operation the shell forwards reaches the same operation of a loaded
// kernel with its arguments unchanged, and the kernel's own result comes back;
// the kernel's events come back to the shell's sinks.
TEST_F(ShellTest, LoadedKernelReceivesEveryForwardedCallUnchanged) {
  // Those that only look for a registered kernel never request one.
  EXPECT_EQ(shell_->DebugP2pPipeQueryInfo(1, 2), E_FAIL);
  EXPECT_EQ(shell_->DebugP2pPipeReleaseInfo(1), E_FAIL);
  EXPECT_EQ(shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), E_FAIL);
  fake_kernel& kernel = register_kernel();
  EXPECT_EQ(shell_->status(), bt_shell_status::shell_init);  // registration alone changes nothing
  IBitTorrentTest* test = shell_.get();
  BYTE progress = 0;
  const struct {
    std::string line;
    std::function<HRESULT()> call;
  } cases[] = {
      {"DebugP2pPipeQueryInfo(1,2)", [&] { return shell_->DebugP2pPipeQueryInfo(1, 2); }},
      {"CreateSubTask(1,2,3,4,5,6,7,8,9,10,11,12)",
       [&] { return shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12); }},
      {"DebugP2pPipeReleaseInfo(3)", [&] { return shell_->DebugP2pPipeReleaseInfo(3); }},
      {"StartReimportTask(3:\"abc\",1:\"a\",0:\"\")",
       [&] { return shell_->StartReimportTask(text("abc"), text("a"), tagSTRING{0, nullptr}); }},
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

  // The kernel's events reach every sink of the shell, in the order attached.
  strings seen;
  com_ptr<recording_sink> first = recording_sink::create("first", &seen), second = recording_sink::create("second", &seen);
  shell_->AttachEvents(first.get());
  shell_->AttachEvents(second.get());
  kernel.probe.raise_kernel_event1(11);
  kernel.probe.raise_kernel_event2(12, 13);
  EXPECT_EQ(seen, (strings{"first.OnBitTorrentEvent1(11)", "second.OnBitTorrentEvent1(11)",
                           "first.OnBitTorrentEvent2(12,13)", "second.OnBitTorrentEvent2(12,13)"}));
  shell_->DetachEvents(first.get());
  shell_->DetachEvents(second.get());
}

// (The readable version reaches the request in btshell's lazy-kernel run.)
TEST_F(ShellTest, FirstKernelCallRequestsTheModuleAndItsArrivalLoadsIt) {
  EXPECT_EQ(shell_->CreateBtTrackerClient(1), E_FAIL);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);  // still loading
  EXPECT_EQ(log_->lines("downloader.Request").size(), 1u);

  // Other modules' installations change nothing and log nothing.
  log_capture cap;
  for (const char* name : {"BT_KERNEL", "bt_kernel2", "bt_kerne", "other"}) host_->complete(0, name);
  EXPECT_TRUE(cap.lines().empty());

  register_kernel();
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  log_->clear();
  host_->complete(0);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loaded);
  EXPECT_EQ(log_->lines(), (strings{"downloader.DetachEvents()", "host.GetInstance(IBitTorrentKernel)",
                                    "service.ReportEvent(2,154,-1,0)"}));
}

// A version that cannot be read, or no bt_shell.ini at all: version 0.0 is
// requested, with an ERROR line.
TEST_F(ShellTest, KernelVersionThatCannotBeRead) {
  for (const bool file : {true, false}) {
    stop();
    start();
    if (file)
      dir_.write("bt_shell.ini", "[bt_kernel]\nversion=abc\n");
    else
      std::filesystem::remove(dir_.file("bt_shell.ini"));
    log_capture cap;
    shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(log_->lines("downloader.Request"), (strings{"downloader.RequestDownload(9:\"bt_kernel\",0,0)"}));
    EXPECT_EQ(cap.texts("CBtShell", log4cplus::ERROR_LOG_LEVEL).size(), 1u) << file;
  }
}

TEST_F(ShellTest, FailedDownloadIsFinalAndToldToEveryWaitingListener) {
  // A failure code, or success without a kernel registered with the host.
  for (const ULONG code : {5u, 0u}) {
    stop();
    start();
    strings told;
    listener a(shell_.get(), &told, "a"), b(shell_.get(), &told, "b");
    shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0);
    shell_->add_loading_listenner(&a);
    shell_->add_loading_listenner(&b);
    host_->complete(code);
    const std::string told_code = code ? "5" : "4294967295";
    EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
    EXPECT_EQ(told, (strings{"a:" + told_code, "b:" + told_code}));
    EXPECT_EQ(shell_->loading_listener_count(), 2u);  // a failure leaves them registered
    EXPECT_EQ(log_->lines("service."), (strings{"service.ReportEvent(2,152,-1,0)", "service.ReportEvent(4,153,-1,0)"}));

    register_kernel();  // a late kernel, or a late answer, changes nothing
    host_->last_attached->OnModuleInstallComplete(0, text("bt_kernel"), 1, 2);
    EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
    EXPECT_EQ(log_->lines("service.").size(), 2u);
    EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(shell_->DebugP2pPipeQueryInfo(1, 2), E_FAIL);
    shell_->remove_loading_listenner(&a);
    shell_->remove_loading_listenner(&b);
  }
  // Without a module downloader the kernel cannot be had at all.
  stop();
  start(fake_host_options{true, false});
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_load_failed);
  EXPECT_TRUE(log_->lines("service.").empty());
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

TEST_F(ShellTest, KernelRegistrations) {
  // Other identifiers, a null object, a withdrawal of nothing: ignored.
  fake_kernel other(log_);
  host_->RegisterInstance(IID_IBitTorrent, other.object());
  host_->RegisterInstance(IID_IBitTorrentKernel, nullptr);
  host_->UnregisterInstance(IID_IBitTorrentKernel);
  EXPECT_EQ(other.probe.sink_count(), 0u);
  // An object that does not serve the kernel interface is reported, not kept.
  log_capture cap;
  strings unused;
  com_ptr<recording_sink> not_a_kernel = recording_sink::create("sink", &unused);
  host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBtTaskEvents*>(not_a_kernel.get()));
  EXPECT_EQ(cap.count_containing("CBtShell", log4cplus::ERROR_LOG_LEVEL, "SUCCEEDED(hr) not true"), 1);
  EXPECT_EQ(shell_->CreateSubTask(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), E_FAIL);

  // The same kernel again is attached once; another replaces it, without a leak.
  fake_kernel& first = register_kernel();
  register_kernel();
  EXPECT_EQ(first.probe.sink_count(), 1u);
  host_->RegisterInstance(IID_IBitTorrentKernel, other.object());
  EXPECT_EQ(first.probe.sink_count(), 0u);
  EXPECT_EQ(other.probe.sink_count(), 1u);
  EXPECT_EQ(shell_->CreateCfgFile(0, 0, 0, 0, 0, 0, 0, 0), S_OK);
  host_->UnregisterInstance(IID_IBitTorrentKernel);
  EXPECT_EQ(other.probe.sink_count(), 0u);
}

TEST_F(ShellTest, ReimportIsSimulatedWhileLoadingAndReplayedAtArrival) {
  now_ = 1000;
  EXPECT_EQ(shell_->StartReimportTask(text("alpha"), tagSTRING{0, nullptr}, text("gamma")), S_OK);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
  BYTE progress = 0;
  now_ = 1007;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 3);
  now_ = 1200;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 50);

  register_kernel().answers.values["GetReimportProgress"] = 10;
  com_ptr<IModuleDownloaderEvents> sink = host_->last_attached;
  host_->complete(0);
  EXPECT_EQ(log_->lines("kernel.StartReimportTask"),
            (strings{"kernel.StartReimportTask(5:\"alpha\",0:\"\",5:\"gamma\")"}));
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 50);  // never falls back
  kernel_->answers.values["GetReimportProgress"] = 80;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
  EXPECT_EQ(progress, 80);

  // Answers nobody asked for (the downloader kept the sink): the first one's status is final.
  sink->OnModuleInstallComplete(0, text("bt_kernel"), 1, 2);
  sink->OnModuleInstallComplete(7, text("bt_kernel"), 1, 2);
  EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loaded);
  EXPECT_EQ(log_->lines("kernel.StartReimportTask").size(), 1u);
  EXPECT_EQ(log_->lines("service.").size(), 2u);
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
  host_->complete(0);
  BYTE progress = 0;
  EXPECT_EQ(shell_->GetReimportProgress(&progress), E_FAIL);
  kernel_->probe.reset_answers();
  EXPECT_EQ(shell_->StartReimportTask(text("x"), text("x"), text("x")), S_OK);
  EXPECT_EQ(shell_->GetReimportProgress(&progress), S_OK);
}

// Hub notices (their paths are checked through the module): the hub is looked
// up for each file until it is found, then kept until Uninit.
TEST_F(ShellTest, HubNotices) {
  const std::string seed = seed_builder().name("n").file({"a", "b.txt"}, 1).file({"c.txt"}, 2).write(dir_, "s.torrent");
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed)), 0);
  EXPECT_EQ(log_->lines("host.GetInstance(IP2p)").size(), 2u);
  host_->register_hub();
  log_->clear();
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed)), 0);
  EXPECT_EQ(shell_->NotifyHubBtMoved(text("/old/"), text(seed), text("/new/")), 0);
  EXPECT_EQ(log_->lines("host.GetInstance(IP2p)").size(), 1u);
  EXPECT_EQ(host_->notices,
            (strings{"/dl/a/b.txt", "/dl/c.txt", "/old/a/b.txt -> /new/a/b.txt", "/old/c.txt -> /new/c.txt"}));
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text(""), text(seed)), -11);
  uninit();  // no host any more: nothing to reach
  log_->clear();
  EXPECT_EQ(shell_->NotifyHubBtDeleted(text("/dl/"), text(seed)), 0);
  EXPECT_TRUE(log_->lines().empty());
  EXPECT_EQ(host_->notices.size(), 4u);
}

}  // namespace
