// The shared interface declarations: the records' layout (at compile time),
// distinct identifiers, and every named operation in its numbered
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

// Two interfaces under one identifier would make QueryInterface hand out the
// wrong face. (The plugin's class identifier is read back from the registry
// store in test_integration.)
TEST(InterfaceIdentifiers, AreDistinct) {
#define ID(id) std::pair<const char*, const GUID&>(#id, id)
  const std::vector<std::pair<const char*, const GUID&>> all = {
      ID(CLSID_DownloadLibPlugin), ID(IID_IDownloadLibPlugin), ID(LIBID_bt_shell),      ID(IID_IBitTorrent),
      ID(IID_IBitTorrent2),        ID(IID_IBitTorrentTest),    ID(IID_IBitTorrentKernel), ID(IID_IBitTorrentEvents),
      ID(IID_IModuleDownloader),   ID(CLSID_HostService),      ID(IID_IHostService),    ID(IID_ITask),
      ID(IID_IBtTask),             ID(IID_IBtTask2),           ID(IID_IBtTask3),        ID(IID_IBtTaskEvents),
      ID(IID_IVirtualTask),        ID(IID_IBtTaskDetails),     ID(IID_IAcceleratable),  ID(IID_IP2p),
      ID(IID_IStringSetter),       ID(IID_IStringArraySetter), ID(IID_IUnknown),        ID(IID_IClassFactory),
      ID(IID_IDownloadLib),        ID(IID_IDownloadLibEvents), ID(IID_IModuleDownloaderEvents),
  };
#undef ID
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size(); ++j)
      EXPECT_NE(all[i].second, all[j].second) << all[i].first << " and " << all[j].first;
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
