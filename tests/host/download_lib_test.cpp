// The host runtime's registry, factory, host service, P2P hub and plugin loader.
#include "host/download_lib/download_lib.h"

#include <gtest/gtest.h>

#include "host/download_lib/host_service.h"
#include "interfaces/string_types.h"
#include "host/download_lib/module_downloader.h"
#include "host/download_lib/p2p_hub.h"
#include "host/download_lib/plugin_host.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "interfaces/IP2p.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

using strings = std::vector<std::string>;
const std::string kDownloader = platform::guid_to_string(IID_IModuleDownloader);
const std::string kHub = platform::guid_to_string(IID_IP2p);

TEST(DownloadLib, RegistryEventsReachEverySinkInOrderAndShutdownWithdrawsNewestFirst) {
  com_ptr<download_lib> host = download_lib::create({});
  strings journal;
  auto a = recording_sink::create("A", &journal), b = recording_sink::create("B", &journal);
  ASSERT_EQ(S_OK, host->AttachEvents(a.get()));
  ASSERT_EQ(S_OK, host->AttachEvents(b.get()));
  EXPECT_EQ(E_UNEXPECTED, host->AttachEvents(a.get()));
  // The object is in the registry before the sinks hear of it.
  HRESULT seen = S_OK;
  a->hook = [&] {
    if (journal.back().find("A.OnRegisterInstance") != 0) return;
    com_ptr<IP2p> hub;
    if (FAILED(host->GetInstance(IID_IP2p, hub.put_void()))) seen = E_FAIL;
  };

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(DL_E_NOT_REGISTERED, host->GetInstance(IID_IP2p, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(DL_E_NOT_REGISTERED, host->UnregisterInstance(IID_IP2p));
  EXPECT_EQ(E_POINTER, host->RegisterInstance(IID_IP2p, nullptr));

  auto first = com_ptr<p2p_hub>::adopt(new p2p_hub()), second = com_ptr<p2p_hub>::adopt(new p2p_hub());
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

  host->register_p2p_hub();
  host->shutdown();
  host->shutdown();
  EXPECT_EQ(S_OK, seen);
  EXPECT_EQ(0u, host->registered_count());
  EXPECT_EQ(S_OK, host->DetachEvents(a.get()));
  EXPECT_EQ((strings{"A.OnRegisterInstance(" + kHub + ",object)", "B.OnRegisterInstance(" + kHub + ",object)",
                     "A.OnRegisterInstance(" + kHub + ",object)", "B.OnRegisterInstance(" + kHub + ",object)",
                     "A.OnUnregisterInstance(" + kHub + ")", "A.OnRegisterInstance(" + kHub + ",object)",
                     "A.OnUnregisterInstance(" + kHub + ")", "A.OnUnregisterInstance(" + kDownloader + ")"}),
            journal);
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
  EXPECT_EQ(0u, bare->registered_count());
  EXPECT_EQ(DL_E_CLASS_NOT_REGISTERED, bare->CreateInstance(CLSID_HostService, IID_IHostService, other.put_void()));
}

// The host service's events are checked where the shell reports them
// (test_integration, btshell's lazy-kernel run), the hub's notices where
// btshell prints them (notify-moved, notify-deleted).
TEST(HostService, AnswersConnectInfoFromSetValuesAndRecordsTheCalls) {
  com_ptr<download_lib> host = download_lib::create({});
  com_ptr<IHostService> service;
  ASSERT_EQ(S_OK, host->CreateInstance(CLSID_HostService, IID_IHostService, service.put_void()));
  ULONG size = 99, result = 99;
  EXPECT_EQ(S_OK, service->GetNewConnectInfo(5, 6, &size, &result));
  EXPECT_EQ((std::vector<ULONG>{0, 0}), (std::vector<ULONG>{size, result}));  // nothing set yet
  host->service()->set_connect_info(4, 77);
  EXPECT_EQ(S_OK, service->GetNewConnectInfo(9, 10, &size, &result));
  EXPECT_EQ((std::vector<ULONG>{4, 77}), (std::vector<ULONG>{size, result}));
  const auto calls = host->service()->connect_info_calls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(9u, calls[1].value1);
}

TEST(PluginHost, RefusesNonPluginsAndClosesAPluginOnlyWhenNoneOfItsObjectsIsHeld) {
  com_ptr<download_lib> host = download_lib::create({});
  bts_test::temp_dir dir;
  strings journal;
  auto sink = recording_sink::create("S", &journal);
  host->AttachEvents(sink.get());
  {
    plugin_host plugin(host.get());
    EXPECT_EQ(PH_E_MODULE_NOT_FOUND, plugin.load(dir.file("libmissing.so")));
    EXPECT_NE(std::string::npos, plugin.last_error().find("libmissing.so"));
    EXPECT_EQ(PH_E_MODULE_NOT_FOUND, plugin.load(dir.write("libjunk.so", "not a module")));
    // A real module without the plugin entry points is opened, then closed again.
    EXPECT_EQ(PH_E_ENTRY_POINT_MISSING, plugin.load(std::string(BTS_KERNEL_MODULE_DIR) + "/libbt_kernel.so"));
    EXPECT_FALSE(plugin.module_open());
    EXPECT_EQ(nullptr, plugin.shell());
    EXPECT_EQ(E_UNEXPECTED, plugin.can_unload_now());
    EXPECT_EQ(1u, host->registered_count());  // only the module downloader

    ASSERT_EQ(S_OK, plugin.load(BTS_SHELL_MODULE)) << plugin.last_error();
    EXPECT_EQ(E_UNEXPECTED, plugin.load(BTS_SHELL_MODULE));
    com_ptr<IBitTorrent2> kept(plugin.shell());
    ASSERT_TRUE(kept);
    EXPECT_EQ(S_FALSE, plugin.unload());
    EXPECT_TRUE(plugin.module_open());
    EXPECT_EQ(nullptr, plugin.shell());
    EXPECT_FALSE(host->is_registered(IID_IBitTorrent));
    kept.reset();
    EXPECT_EQ(S_OK, plugin.unload());
    EXPECT_FALSE(plugin.module_open());
  }
  const std::string bt = platform::guid_to_string(IID_IBitTorrent);
  EXPECT_EQ((strings{"S.OnRegisterInstance(" + bt + ",object)", "S.OnUnregisterInstance(" + bt + ")"}), journal);
  host->DetachEvents(sink.get());
}

}  // namespace
