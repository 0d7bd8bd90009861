// The shared interface declarations: the records' layout (at compile time),
// the identifiers' values, and every named operation in its numbered
// virtual-table slot.
//
// Under the Itanium C++ ABI a pointer to a virtual member function holds
// 1 + the byte offset of its entry in the virtual table, so the slot of each
// declaration can be read off without an implementation. The first slot test
// proves that reading against real dispatch through the raw table.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "interfaces/IAcceleratable.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IBtTaskDetails.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "interfaces/IP2p.h"
#include "interfaces/IStringSetter.h"
#include "interfaces/ITask.h"
#include "interfaces/IVirtualTask.h"

namespace {

// The records are zero-filled, copied and freed as raw memory on both sides
// of the interfaces, and offsetof is only meaningful on standard-layout types.
template <class... R>
constexpr bool plain_records = ((std::is_standard_layout_v<R> && std::is_trivial_v<R>) && ...);
static_assert(plain_records<tagSTRING, tagSTRING_ARRAY, SEED_FILE_INFO, SEED_FILE_ITEM, SEED_TRACKER_ITEM,
                            DATA_FILE_LIST, DATA_FILE_ITEM, PEER_INFO_LIST, tagTASK_INFO, tagTASK_INFO2,
                            tagFILE_INFO_PAIR, tagRESOURCE_INFO, tagRESOURCE_STATISTIC, tagBT_TRANSFER_TOTALS,
                            tagBT_TRACKER_INFO>);
static_assert(sizeof(tagQV_NAT_TYPE) == 4 && sizeof(tagQV_SUB_TASK_TYPE) == 4);

// On a 64-bit target the pointer fields are 8 bytes wide and naturally
// aligned; everything before the first pointer keeps its 32-bit offset.
static_assert(sizeof(void*) != 8 ||
              (offsetof(SEED_FILE_INFO, files) == 1056 && offsetof(SEED_FILE_INFO, tracker_count) == 1064 &&
               offsetof(SEED_FILE_INFO, trackers) == 1072 && offsetof(SEED_FILE_INFO, publisher_len) == 1080 &&
               offsetof(SEED_FILE_INFO, publisher_url) == 9280 && sizeof(SEED_FILE_INFO) == 10304));
static_assert(sizeof(void*) != 8 || (offsetof(DATA_FILE_LIST, items) == 8 && sizeof(DATA_FILE_LIST) == 16));
static_assert(sizeof(void*) != 8 || (offsetof(PEER_INFO_LIST, items) == 8 && sizeof(PEER_INFO_LIST) == 16));

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
      ID(IID_IBtTaskDetails, "{394AD375-664C-4B89-8F02-5A8CD1441C83}"),
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

template <class Method>
long slot_of(Method method) {
  static_assert(sizeof(Method) == 2 * sizeof(std::uintptr_t), "Itanium member function pointer");
  std::uintptr_t words[2];
  std::memcpy(words, &method, sizeof words);
  if ((words[0] & 1) == 0) return -1;  // not virtual
  return static_cast<long>((words[0] - 1) / sizeof(void*));
}

// Calls the function in slot `slot` of `object`'s virtual table directly.
template <class... Args>
HRESULT call_slot(void* object, std::size_t slot, Args... args) {
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<HRESULT (*)(void*, Args...)>(table[slot])(object, args...);
}

// The slots of consecutive declarations of interface I, from `first` on.
void expect_consecutive(const char* name, long first, const std::vector<long>& found) {
  for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i], first + static_cast<long>(i)) << name << " #" << i;
}
#define SLOTS(I, first, ...)                        \
  [] {                                              \
    using T = I;                                    \
    expect_consecutive(#I, first, {__VA_ARGS__});   \
  }()
#define S(method) slot_of(&T::method)

// Records the call, to compare with the slot that was called.
struct RecordingModuleEvents : IModuleDownloaderEvents {
  std::string call;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnModuleInstallComplete(ULONG code, tagSTRING name, USHORT major,
                                                    USHORT minor) override {
    call = std::to_string(code) + " " + std::string(name.ptr, name.len) + " " + std::to_string(major) + "." +
           std::to_string(minor);
    return S_OK;
  }
};

TEST(InterfaceSlots, RawTableDispatchMatchesTheSlotReadFromTheDeclaration) {
  // A by-value text record between 32- and 16-bit arguments.
  RecordingModuleEvents sink;
  const tagSTRING name{9, "bt_kernelXYZ"};
  call_slot(&sink, slot_of(&IModuleDownloaderEvents::OnModuleInstallComplete), ULONG{0xFFFFFFFF}, name, USHORT{1},
            USHORT{65535});
  EXPECT_EQ(sink.call, "4294967295 bt_kernel 1.65535");
}

TEST(InterfaceSlots, HostLibraryInterfaces) {
  SLOTS(IUnknown, 0, S(QueryInterface), S(AddRef), S(Release));
  SLOTS(IDownloadLibPlugin, 3, S(GetPluginValue), S(Init), S(Uninit), S(QueryPluginStatus));
  SLOTS(IDownloadLib, 3, S(AttachEvents), S(DetachEvents));
  SLOTS(IDownloadLib, 8, S(RegisterInstance), S(UnregisterInstance), S(GetInstance));
  SLOTS(IDownloadLib, 12, S(CreateInstance));
  SLOTS(IDownloadLibEvents, 3, S(OnRegisterInstance), S(OnUnregisterInstance), S(OnReserved1), S(OnReserved2));
  SLOTS(IModuleDownloader, 3, S(AttachEvents), S(DetachEvents), S(RequestDownload));
  SLOTS(IModuleDownloaderEvents, 3, S(OnModuleInstallComplete));
  SLOTS(IHostService, 4, S(ReportEvent));
  SLOTS(IHostService, 12, S(GetNewConnectInfo));
  SLOTS(IP2p, 10, S(NotifyFileMoved), S(NotifyFileDeleted));
}

TEST(InterfaceSlots, BitTorrentService) {
  SLOTS(IBitTorrent2, 0, S(QueryInterface));
  SLOTS(IBitTorrent2, 3, S(AttachEvents), S(DetachEvents), S(CreateNewTask), S(CreateContinuedTask),
        S(CreateUploadTask), S(CreateSubTask), S(ParseSeedFile), S(IsTempFileExist), S(GetDataFileList),
        S(GetCfgFileList), S(ReleaseSeedFileInfo), S(ReleaseDataFileList), S(ReleasePeerInfoList),
        S(NotifyHubBtDeleted), S(NotifyHubBtMoved), S(ReservedOperation), S(StartReimportTask),
        S(GetReimportTaskTorrentFileName), S(CloseReimportTask), S(GetReimportProgress), S(GetReimportRootPath),
        S(DebugP2pPipeQueryInfo), S(DebugP2pPipeReleaseInfo), S(CreateCfgFile));
  // The kernel object is driven slot for slot like the shell.
  SLOTS(IBitTorrentKernel, 19, S(StartReimportTask));
  SLOTS(IBitTorrentKernel, 26, S(CreateCfgFile));
  SLOTS(IBitTorrentTest, 3, S(CreateBtTrackerClient), S(CreateBtHubQueryClient), S(CreateBtWriterFactory));
  SLOTS(IBitTorrentEvents, 3, S(OnBitTorrentEvent1), S(OnBitTorrentEvent2));
}

TEST(InterfaceSlots, TaskInterfaces) {
  using TaskInfo = HRESULT (IBtTask3::*)(tagTASK_INFO*);
  using TaskInfoBlock = HRESULT (IBtTask3::*)(tagTASK_INFO2**);
  SLOTS(IBtTask3, 3, S(StartTask), S(StopTask), S(SignalStop), S(GetStopFlag), S(IsStopped), S(GetConnectInfo),
        S(GetDataInput), S(GetDataOutput), S(GetResourceCount), S(GetResourceInfo), S(GetNewConnectInfo),
        S(SetRetryStrategy), S(SetProxyInfo), S(SetTaskType), S(GetTaskType), S(SetDispatchStrategy),
        S(IsSupportDispatchStrategy), S(GetSpeed), S(SetRecommendInfo), S(GetRecommendInfo),
        S(SetDownloadSpeedLimit), S(GetResourceStatistic), S(EnableSubTask), S(AttachEvents), S(DetachEvents),
        S(SetStatParam), S(ResetNeedDownloadFile), S(SetFileDownOrder), S(GetFileInfo), S(GetFileIdInfo),
        slot_of(static_cast<TaskInfo>(&IBtTask3::GetTaskInfo)),
        slot_of(static_cast<TaskInfoBlock>(&IBtTask3::GetTaskInfo)), S(SetDapPriorityList), S(GetFailureDetail));
  // The real task is held as IBtTask2, whose slots must not differ.
  SLOTS(IBtTask2, 35, S(SetDapPriorityList));
  SLOTS(IBtTaskEvents, 3, S(OnBtTaskEvent1), S(OnBtTaskEvent2), S(OnBtTaskEvent3), S(OnBtTaskEvent4));
  SLOTS(IVirtualTask, 3, S(GetRealTask), S(IsModuleDownloadFailed));
  SLOTS(IBtTaskDetails, 3, S(GetTransferTotals), S(GetFailureText), S(GetTrackerCount), S(GetTrackerInfo),
        S(GetSeenPeerCount), S(GetSeenPeer));
  SLOTS(IAcceleratable, 3, S(Accelerate), S(IsAccelerated));
  SLOTS(IStringSetter, 3, S(SetString));
  SLOTS(IStringArraySetter, 3, S(SetStringArray));
}

}  // namespace
