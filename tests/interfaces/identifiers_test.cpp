// The identifiers' binary values read back as their registry text, and no
// two of them collide.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/IAcceleratable.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "interfaces/IP2p.h"
#include "interfaces/IStringSetter.h"
#include "interfaces/ITask.h"
#include "interfaces/IVirtualTask.h"

namespace {

struct Named {
  const char* name;
  const GUID& id;
  const char* text;  // null for the module's own values
};

const std::vector<Named>& identifiers() {
  static const std::vector<Named> all = {
      {"CLSID_DownloadLibPlugin", CLSID_DownloadLibPlugin, "{DD208EAA-E9AD-4BFC-A68C-5DFC57B12BAB}"},
      {"IID_IDownloadLibPlugin", IID_IDownloadLibPlugin, "{D2D3CA33-E582-49E9-83D8-A7CBAC3BB187}"},
      {"LIBID_bt_shell", LIBID_bt_shell, "{6D5CA886-4D17-4551-A9A3-7D45A63A9051}"},
      {"IID_IBitTorrent", IID_IBitTorrent, "{29AF5E70-1FD6-4A46-A9FC-F7C2746AC187}"},
      {"IID_IBitTorrent2", IID_IBitTorrent2, "{BD347075-E3E8-4DD7-A065-0DE774E10AAF}"},
      {"IID_IBitTorrentTest", IID_IBitTorrentTest, "{8771B9B4-49B8-4573-AD88-55C408373F76}"},
      {"IID_IBitTorrentKernel", IID_IBitTorrentKernel, "{893C0F5C-54F4-44A1-955F-E4A334C13481}"},
      {"IID_IBitTorrentEvents", IID_IBitTorrentEvents, "{AAC483B1-E339-4334-BCF3-E1027B1AE8C1}"},
      {"IID_IModuleDownloader", IID_IModuleDownloader, "{94609D51-A3A5-4400-BC47-C7B0ACA40DA9}"},
      {"CLSID_HostService", CLSID_HostService, "{B9AFBE01-1B19-4D0B-9675-7C1959E9AEDD}"},
      {"IID_IHostService", IID_IHostService, "{17F77AE6-68CE-4495-8BE9-B11353F94475}"},
      {"IID_ITask", IID_ITask, "{84B63C19-BEB8-457E-8160-AC89577F5AE2}"},
      {"IID_IBtTask", IID_IBtTask, "{BFB683C2-FA92-4C2C-84F2-41AE818E6A9A}"},
      {"IID_IBtTask2", IID_IBtTask2, "{5BC6897D-357D-4302-BFA4-3A3C650412E5}"},
      {"IID_IBtTask3", IID_IBtTask3, "{5BCA30A3-270D-4DF3-AD49-780FB3F5B3BF}"},
      {"IID_IBtTaskEvents", IID_IBtTaskEvents, "{BF40B918-152B-4CB4-9E15-B5A8DCDBBBEA}"},
      {"IID_IVirtualTask", IID_IVirtualTask, "{B02F5E6E-9442-402E-9703-E2A01DC0E39C}"},
      {"IID_IAcceleratable", IID_IAcceleratable, "{51E3A239-0FAC-4A49-9C7B-E51B24D62496}"},
      {"IID_IP2p", IID_IP2p, "{A71F90F6-140A-4A2F-86B6-35A5726EF0DE}"},
      {"IID_IStringSetter", IID_IStringSetter, "{83A323B1-3B99-496F-91BE-5786FC213443}"},
      {"IID_IStringArraySetter", IID_IStringArraySetter, "{93526DD3-B4DB-4B1B-AAF9-41028E847426}"},
      {"IID_IUnknown", IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
      {"IID_IClassFactory", IID_IClassFactory, "{00000001-0000-0000-C000-000000000046}"},
      {"IID_IDownloadLib", IID_IDownloadLib, nullptr},
      {"IID_IDownloadLibEvents", IID_IDownloadLibEvents, nullptr},
      {"IID_IModuleDownloaderEvents", IID_IModuleDownloaderEvents, nullptr},
  };
  return all;
}

TEST(InterfaceIdentifiers, BinaryValuesMatchTheRegistryText) {
  for (const Named& n : identifiers()) {
    if (n.text) {
      EXPECT_EQ(platform::guid_to_string(n.id), n.text) << n.name;
    }
  }
}

TEST(InterfaceIdentifiers, AreDistinct) {
  const auto& all = identifiers();
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      EXPECT_NE(all[i].id, all[j].id) << all[i].name << " and " << all[j].name;
    }
}

}  // namespace
