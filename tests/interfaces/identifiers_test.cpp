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
#define ID(id, text) Named{#id, id, text}

TEST(InterfaceIdentifiers, BinaryValuesMatchTheRegistryTextAndAreDistinct) {
  const std::vector<Named> all = {
      ID(CLSID_DownloadLibPlugin, "{DD208EAA-E9AD-4BFC-A68C-5DFC57B12BAB}"),
      ID(IID_IDownloadLibPlugin, "{D2D3CA33-E582-49E9-83D8-A7CBAC3BB187}"),
      ID(LIBID_bt_shell, "{6D5CA886-4D17-4551-A9A3-7D45A63A9051}"),
      ID(IID_IBitTorrent, "{29AF5E70-1FD6-4A46-A9FC-F7C2746AC187}"),
      ID(IID_IBitTorrent2, "{BD347075-E3E8-4DD7-A065-0DE774E10AAF}"),
      ID(IID_IBitTorrentTest, "{8771B9B4-49B8-4573-AD88-55C408373F76}"),
      ID(IID_IBitTorrentKernel, "{893C0F5C-54F4-44A1-955F-E4A334C13481}"),
      ID(IID_IBitTorrentEvents, "{AAC483B1-E339-4334-BCF3-E1027B1AE8C1}"),
      ID(IID_IModuleDownloader, "{94609D51-A3A5-4400-BC47-C7B0ACA40DA9}"),
      ID(CLSID_HostService, "{B9AFBE01-1B19-4D0B-9675-7C1959E9AEDD}"),
      ID(IID_IHostService, "{17F77AE6-68CE-4495-8BE9-B11353F94475}"),
      ID(IID_ITask, "{84B63C19-BEB8-457E-8160-AC89577F5AE2}"),
      ID(IID_IBtTask, "{BFB683C2-FA92-4C2C-84F2-41AE818E6A9A}"),
      ID(IID_IBtTask2, "{5BC6897D-357D-4302-BFA4-3A3C650412E5}"),
      ID(IID_IBtTask3, "{5BCA30A3-270D-4DF3-AD49-780FB3F5B3BF}"),
      ID(IID_IBtTaskEvents, "{BF40B918-152B-4CB4-9E15-B5A8DCDBBBEA}"),
      ID(IID_IVirtualTask, "{B02F5E6E-9442-402E-9703-E2A01DC0E39C}"),
      ID(IID_IAcceleratable, "{51E3A239-0FAC-4A49-9C7B-E51B24D62496}"),
      ID(IID_IP2p, "{A71F90F6-140A-4A2F-86B6-35A5726EF0DE}"),
      ID(IID_IStringSetter, "{83A323B1-3B99-496F-91BE-5786FC213443}"),
      ID(IID_IStringArraySetter, "{93526DD3-B4DB-4B1B-AAF9-41028E847426}"),
      ID(IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"),
      ID(IID_IClassFactory, "{00000001-0000-0000-C000-000000000046}"),
      ID(IID_IDownloadLib, nullptr),
      ID(IID_IDownloadLibEvents, nullptr),
      ID(IID_IModuleDownloaderEvents, nullptr),
  };
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(platform::guid_to_string(all[i].id), all[i].text ? all[i].text : platform::guid_to_string(all[i].id))
        << all[i].name;
    for (std::size_t j = i + 1; j < all.size(); ++j)
      EXPECT_NE(all[i].id, all[j].id) << all[i].name << " and " << all[j].name;
  }
}

}  // namespace
