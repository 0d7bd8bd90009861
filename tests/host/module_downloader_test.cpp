// The module downloader: deferred completion, installing libbt_kernel.so for
// real, the failure codes, and the order in which the host tells its sinks.
#include "host/download_lib/module_downloader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/download_lib/download_lib.h"
#include "interfaces/string_types.h"
#include "interfaces/IBitTorrent.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

const std::string kKernel = platform::guid_to_string(IID_IBitTorrentKernel);
const std::string kModule = std::string(BTS_KERNEL_MODULE_DIR) + "/libbt_kernel.so";

struct downloader_fixture : ::testing::Test {
  com_ptr<download_lib> host = download_lib::create({BTS_KERNEL_MODULE_DIR});
  module_downloader* downloader = host->downloader();
  std::vector<std::string> journal;
  com_ptr<recording_sink> sink = recording_sink::create("S", &journal);

  void SetUp() override {
    ASSERT_EQ(S_OK, host->AttachEvents(sink.get()));
    ASSERT_EQ(S_OK, downloader->AttachEvents(sink.get()));
  }
  void TearDown() override {
    downloader->DetachEvents(sink.get());
    host->DetachEvents(sink.get());
    host->shutdown();
  }
  HRESULT request(const std::string& name, USHORT major = 1, USHORT minor = 2) {
    return downloader->RequestDownload(to_tag_string(name), major, minor);
  }
};

TEST_F(downloader_fixture, KernelIsRegisteredBeforeTheCompletionThatTheHostPumps) {
  // The sink asks the registry for the kernel from inside the completion,
  // as the shell does.
  HRESULT kernel_found = E_FAIL;
  sink->hook = [&] {
    if (journal.back().rfind("S.OnModuleInstallComplete", 0) != 0) return;
    com_ptr<IBitTorrentKernel> kernel;
    kernel_found = host->GetInstance(IID_IBitTorrentKernel, kernel.put_void());
  };
  ASSERT_EQ(S_OK, request("bt_kernel", 1, 2));
  EXPECT_TRUE(journal.empty());  // nothing from inside RequestDownload
  EXPECT_EQ(1u, downloader->pending_count());

  EXPECT_EQ(1u, downloader->complete_pending());
  EXPECT_EQ((std::vector<std::string>{"S.OnRegisterInstance(" + kKernel + ",object)",
                                      "S.OnModuleInstallComplete(0,bt_kernel,1.2)"}),
            journal);
  EXPECT_EQ(S_OK, kernel_found);
  EXPECT_TRUE(downloader->is_loaded("bt_kernel"));
  EXPECT_EQ(0u, downloader->complete_pending());

  // A second request for a module already installed ends at once with 0.
  journal.clear();
  sink->hook = nullptr;
  request("bt_kernel", 1, 3);
  downloader->complete_pending();
  EXPECT_EQ(std::vector<std::string>{"S.OnModuleInstallComplete(0,bt_kernel,1.3)"}, journal);

  // The runtime's end: the module withdraws its kernel, then it is closed.
  journal.clear();
  downloader->DetachEvents(sink.get());
  host->shutdown();
  EXPECT_EQ(std::vector<std::string>{"S.OnUnregisterInstance(" + kKernel + ")"},
            std::vector<std::string>(journal.begin(), journal.begin() + 1));
  EXPECT_FALSE(downloader->is_loaded("bt_kernel"));
  EXPECT_EQ(nullptr, dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD));  // closed
  EXPECT_EQ(E_UNEXPECTED, request("bt_kernel"));
}

TEST_F(downloader_fixture, RuntimeEndBreaksTheKernelsSinkCycleAndClosesTheModuleOnceUnused) {
  request("bt_kernel");
  downloader->complete_pending();
  com_ptr<IBitTorrentKernel> kernel;
  ASSERT_EQ(S_OK, host->GetInstance(IID_IBitTorrentKernel, kernel.put_void()));
  {
    // A subscriber that keeps the kernel, as the shell does, and is kept by it.
    std::vector<std::string> events;
    auto holder = recording_sink::create("H", &events);
    ASSERT_EQ(S_OK, kernel->AttachEvents(holder.get()));
    holder->hook = [k = kernel] {};
  }
  downloader->DetachEvents(sink.get());
  host->shutdown();
  void* still = dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(nullptr, still);  // the kernel is still held here
  EXPECT_EQ(0u, kernel.detach()->Release());  // the cycle was broken; the code is there to run it
  if (still) dlclose(still);
  EXPECT_EQ(0u, downloader->close_lingering_modules());
  EXPECT_EQ(nullptr, dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD));
}

TEST_F(downloader_fixture, FailuresEndWithTheirCodesAndRegisterNothingAndLateRequestsWaitForTheNextPump) {
  // A folder holding only junk, and no folder at all.
  bts_test::temp_dir dir;
  dir.write("libjunk.so", "not a module");
  const std::pair<std::string, std::vector<const char*>> runtimes[] = {
      {dir.path(), {"bt_kernel", "junk", "", "../x", "a/b"}}, {"", {"bt_kernel"}}};
  std::vector<std::string> codes;
  auto s = recording_sink::create("T", &codes);
  for (const auto& [folder, names] : runtimes) {
    com_ptr<download_lib> other = download_lib::create({folder});
    other->downloader()->AttachEvents(s.get());
    for (const char* name : names) other->downloader()->RequestDownload(to_tag_string(name), 1, 0);
    other->downloader()->complete_pending();
    EXPECT_FALSE(other->is_registered(IID_IBitTorrentKernel));
    other->downloader()->DetachEvents(s.get());
  }
  EXPECT_EQ((std::vector<std::string>{"T.OnModuleInstallComplete(2,bt_kernel,1.0)",
                                      "T.OnModuleInstallComplete(193,junk,1.0)", "T.OnModuleInstallComplete(123,,1.0)",
                                      "T.OnModuleInstallComplete(123,../x,1.0)",
                                      "T.OnModuleInstallComplete(123,a/b,1.0)",
                                      "T.OnModuleInstallComplete(3,bt_kernel,1.0)"}),
            codes);

  // A forced failure wins over a module that is there; a request made
  // during a completion waits for the next pump.
  downloader->fail_module("bt_kernel", 1460);
  downloader->fail_module("again", 6);
  sink->hook = [&] {
    if (journal.size() == 1) request("again", 3, 4);
  };
  request("bt_kernel");
  EXPECT_EQ(1u, downloader->complete_pending());
  EXPECT_EQ(std::vector<std::string>{"S.OnModuleInstallComplete(1460,bt_kernel,1.2)"}, journal);
  EXPECT_EQ(1u, downloader->complete_pending());
  EXPECT_EQ("S.OnModuleInstallComplete(6,again,3.4)", journal.back());
  EXPECT_FALSE(host->is_registered(IID_IBitTorrentKernel));
}

}  // namespace
