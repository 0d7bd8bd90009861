// The host runtime's registry, factory, host service, P2P hub and plugin loader.
#include "host/download_lib/download_lib.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/download_lib/host_service.h"
#include "host/download_lib/host_text.h"
#include "host/download_lib/module_downloader.h"
#include "host/download_lib/p2p_hub.h"
#include "host/download_lib/plugin_host.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "interfaces/IP2p.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

const std::string kDownloader = platform::guid_to_string(IID_IModuleDownloader);
const std::string kHub = platform::guid_to_string(IID_IP2p);

TEST(DownloadLib, RegistrationsReachEverySinkInOrderAndGetInstanceFollowsThem) {
  com_ptr<download_lib> host = download_lib::create({});
  std::vector<std::string> journal;
  auto a = recording_sink::create("A", &journal), b = recording_sink::create("B", &journal);
  ASSERT_EQ(S_OK, host->AttachEvents(a.get()));
  ASSERT_EQ(S_OK, host->AttachEvents(b.get()));
  EXPECT_EQ(E_UNEXPECTED, host->AttachEvents(a.get()));

  // Nothing under the hub's id yet: a clear failure and a null pointer.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(DL_E_NOT_REGISTERED, host->GetInstance(IID_IP2p, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(DL_E_NOT_REGISTERED, host->UnregisterInstance(IID_IP2p));
  EXPECT_EQ(E_POINTER, host->RegisterInstance(IID_IP2p, nullptr));

  auto first = com_ptr<p2p_hub>::adopt(new p2p_hub());
  auto second = com_ptr<p2p_hub>::adopt(new p2p_hub());
  ASSERT_EQ(S_OK, host->RegisterInstance(IID_IP2p, static_cast<IP2p*>(first.get())));
  // A replacement is announced like a registration; the registry lets go of the first.
  ASSERT_EQ(S_OK, host->RegisterInstance(IID_IP2p, static_cast<IP2p*>(second.get())));
  com_ptr<IP2p> got;
  ASSERT_EQ(S_OK, host->GetInstance(IID_IP2p, got.put_void()));
  EXPECT_EQ(static_cast<IP2p*>(second.get()), got.get());
  got.reset();

  ASSERT_EQ(S_OK, host->DetachEvents(b.get()));
  ASSERT_EQ(S_OK, host->UnregisterInstance(IID_IP2p));
  EXPECT_EQ(DL_E_NOT_REGISTERED, host->GetInstance(IID_IP2p, got.put_void()));
  EXPECT_EQ(S_OK, host->DetachEvents(a.get()));

  EXPECT_EQ((std::vector<std::string>{
                "A.OnRegisterInstance(" + kHub + ",object)", "B.OnRegisterInstance(" + kHub + ",object)",
                "A.OnRegisterInstance(" + kHub + ",object)", "B.OnRegisterInstance(" + kHub + ",object)",
                "A.OnUnregisterInstance(" + kHub + ")"}),
            journal);
}

TEST(DownloadLib, SinkMayCallBackIntoTheRegistryDuringAnEvent) {
  com_ptr<download_lib> host = download_lib::create({});
  std::vector<std::string> journal;
  auto sink = recording_sink::create("S", &journal);
  HRESULT seen = E_FAIL;
  IDownloadLib* raw = host.get();
  sink->hook = [&] {
    if (journal.back().find("OnRegisterInstance") == std::string::npos) return;
    com_ptr<IP2p> hub;
    seen = raw->GetInstance(IID_IP2p, hub.put_void());
  };
  host->AttachEvents(sink.get());
  host->register_p2p_hub();
  EXPECT_EQ(S_OK, seen);  // the object is in the registry before the sinks hear of it
  host->DetachEvents(sink.get());
}

TEST(DownloadLib, ShutdownWithdrawsEveryRegistrationNewestFirst) {
  com_ptr<download_lib> host = download_lib::create({});
  std::vector<std::string> journal;
  auto sink = recording_sink::create("S", &journal);
  host->register_p2p_hub();
  host->AttachEvents(sink.get());
  host->shutdown();
  host->shutdown();
  EXPECT_EQ((std::vector<std::string>{"S.OnUnregisterInstance(" + kHub + ")",
                                      "S.OnUnregisterInstance(" + kDownloader + ")"}),
            journal);
  EXPECT_EQ(0u, host->registered_count());
  host->DetachEvents(sink.get());
}

TEST(DownloadLib, OptionsDecideWhichHostObjectsExist) {
  com_ptr<download_lib> full = download_lib::create({"/nowhere", true, true, true});
  com_ptr<IModuleDownloader> downloader;
  EXPECT_EQ(S_OK, full->GetInstance(IID_IModuleDownloader, downloader.put_void()));
  EXPECT_EQ(static_cast<IModuleDownloader*>(full->downloader()), downloader.get());
  EXPECT_TRUE(full->is_registered(IID_IP2p));
  com_ptr<IHostService> service1, service2;
  EXPECT_EQ(S_OK, full->CreateInstance(CLSID_HostService, IID_IHostService, service1.put_void()));
  EXPECT_EQ(S_OK, full->CreateInstance(CLSID_HostService, IID_IHostService, service2.put_void()));
  EXPECT_EQ(service1.get(), service2.get());  // one service per runtime, readable by the host
  com_ptr<IUnknown> other;
  EXPECT_EQ(DL_E_CLASS_NOT_REGISTERED, full->CreateInstance(IID_IHostService, IID_IUnknown, other.put_void()));
  EXPECT_EQ(E_NOINTERFACE, full->CreateInstance(CLSID_HostService, IID_IP2p, other.put_void()));

  com_ptr<download_lib> bare = download_lib::create({"", false, false, false});
  EXPECT_EQ(nullptr, bare->downloader());
  EXPECT_EQ(DL_E_NOT_REGISTERED, bare->GetInstance(IID_IModuleDownloader, downloader.put_void()));
  EXPECT_FALSE(downloader);
  EXPECT_EQ(DL_E_CLASS_NOT_REGISTERED, bare->CreateInstance(CLSID_HostService, IID_IHostService, service1.put_void()));
  EXPECT_FALSE(service1);
  EXPECT_EQ(0u, bare->registered_count());
}

TEST(HostService, RecordsEventsAndAnswersConnectInfoFromSetValues) {
  com_ptr<download_lib> host = download_lib::create({});
  com_ptr<IHostService> service;
  ASSERT_EQ(S_OK, host->CreateInstance(CLSID_HostService, IID_IHostService, service.put_void()));
  service->ReportEvent(2, 152, -1, 0);
  service->ReportEvent(4, 153, -1, 0);
  ULONG size = 99, result = 99;
  EXPECT_EQ(S_OK, service->GetNewConnectInfo(5, 6, &size, &result));
  EXPECT_EQ(0u, size);
  host->service()->set_connect_info(4, 77);
  EXPECT_EQ(S_OK, service->GetNewConnectInfo(7, 8, &size, &result));
  EXPECT_EQ(S_OK, service->GetNewConnectInfo(9, 10, nullptr, nullptr));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(77u, result);

  const auto events = host->service()->events();
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ(2u, events[0].kind);
  EXPECT_EQ(152u, events[0].event_id);
  EXPECT_EQ(-1, events[0].param1);
  EXPECT_EQ(0, events[0].param2);
  EXPECT_EQ(4u, events[1].kind);
  EXPECT_EQ(153u, events[1].event_id);
  const auto calls = host->service()->connect_info_calls();
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ(7u, calls[1].value1);
  EXPECT_EQ(10u, calls[2].value2);
}

TEST(P2pHub, KeepsMovedAndDeletedFilesInOrderWithExactBytes) {
  com_ptr<download_lib> host = download_lib::create({});
  host->register_p2p_hub();
  com_ptr<IP2p> hub;
  ASSERT_EQ(S_OK, host->GetInstance(IID_IP2p, hub.put_void()));
  const std::string with_zero("a\0b", 3);
  hub->NotifyFileDeleted(host_text::view("/d/a.txt"));
  hub->NotifyFileMoved(tagSTRING{3, "/o/xyz"}, host_text::view(with_zero));
  hub->NotifyFileDeleted(tagSTRING{0, nullptr});
  EXPECT_EQ(E_NOTIMPL, hub->Reserved3());

  const auto notices = host->hub()->notices();
  ASSERT_EQ(3u, notices.size());
  EXPECT_EQ(p2p_hub::notice::deleted, notices[0].kind);
  EXPECT_EQ("/d/a.txt", notices[0].path);
  EXPECT_EQ(p2p_hub::notice::moved, notices[1].kind);
  EXPECT_EQ("/o/", notices[1].path);
  EXPECT_EQ(with_zero, notices[1].new_path);
  EXPECT_EQ("", notices[2].path);
}

TEST(PluginHost, ModulesThatCannotServeAsPluginsAreRefusedCleanly) {
  com_ptr<download_lib> host = download_lib::create({});
  bts_test::temp_dir dir;
  {
    plugin_host plugin(host.get());
    EXPECT_EQ(PH_E_MODULE_NOT_FOUND, plugin.load(dir.file("libmissing.so")));
    EXPECT_NE(std::string::npos, plugin.last_error().find("libmissing.so"));
    EXPECT_FALSE(plugin.module_open());
    EXPECT_EQ(PH_E_MODULE_NOT_FOUND, plugin.load(dir.write("libjunk.so", "not a module")));

    // A real module without the plugin entry points is opened, then closed again.
    EXPECT_EQ(PH_E_ENTRY_POINT_MISSING, plugin.load(std::string(BTS_KERNEL_MODULE_DIR) + "/libbt_kernel.so"));
    EXPECT_FALSE(plugin.module_open());
    EXPECT_EQ(nullptr, plugin.shell());
    EXPECT_EQ(S_OK, plugin.unload());
    EXPECT_EQ(E_UNEXPECTED, plugin.can_unload_now());
  }
  EXPECT_EQ(1u, host->registered_count());  // only the module downloader
}

TEST(PluginHost, LoadsInitsAndClosesOnlyWhenTheModuleSaysItMay) {
  com_ptr<download_lib> host = download_lib::create({});
  std::vector<std::string> journal;
  auto sink = recording_sink::create("S", &journal);
  host->AttachEvents(sink.get());
  const std::string bt = platform::guid_to_string(IID_IBitTorrent);
  {
    plugin_host plugin(host.get());
    ASSERT_EQ(S_OK, plugin.load(BTS_TEST_PLUGIN));
    EXPECT_EQ(E_UNEXPECTED, plugin.load(BTS_TEST_PLUGIN));
    ASSERT_NE(nullptr, plugin.shell());
    EXPECT_EQ(42, plugin.shell()->ReservedOperation(42));
    EXPECT_EQ(S_FALSE, plugin.can_unload_now());
    {
      com_ptr<IClassFactory> factory;
      ASSERT_EQ(S_OK, plugin.get_class_object(CLSID_DownloadLibPlugin, IID_IClassFactory, factory.put_void()));
      com_ptr<IUnknown> aggregated;
      EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.get(), IID_IUnknown, aggregated.put_void()));
    }

    // A reference the host still holds keeps the module open until it goes.
    com_ptr<IBitTorrent2> kept(plugin.shell());
    EXPECT_EQ(S_FALSE, plugin.unload());
    EXPECT_TRUE(plugin.module_open());
    EXPECT_EQ(nullptr, plugin.shell());
    EXPECT_FALSE(host->is_registered(IID_IBitTorrent));
    kept.reset();
    EXPECT_EQ(S_OK, plugin.unload());
    EXPECT_FALSE(plugin.module_open());
    EXPECT_EQ(nullptr, dlopen(BTS_TEST_PLUGIN, RTLD_NOW | RTLD_NOLOAD));
  }
  EXPECT_EQ((std::vector<std::string>{"S.OnRegisterInstance(" + bt + ",object)", "S.OnUnregisterInstance(" + bt + ")"}),
            journal);
  host->DetachEvents(sink.get());
}

}  // namespace
