// Every named operation of the shared interfaces sits in its numbered
// virtual-table slot.
//
// Under the Itanium C++ ABI a pointer to a virtual member function holds
// 1 + the byte offset of its entry in the virtual table, so the slot of each
// declaration can be read off without an implementation. The first test
// proves that reading against real dispatch through the raw table.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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

struct Expected {
  const char* name;
  long slot;
  long expected;
};
#define SLOT(I, method, n) Expected{#I "::" #method, slot_of(&I::method), n}

void expect_slots(const std::vector<Expected>& table) {
  for (const Expected& e : table) EXPECT_EQ(e.slot, e.expected) << e.name;
}

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
  expect_slots({
      SLOT(IUnknown, QueryInterface, 0), SLOT(IUnknown, AddRef, 1), SLOT(IUnknown, Release, 2),
      SLOT(IDownloadLibPlugin, GetPluginValue, 3), SLOT(IDownloadLibPlugin, Init, 4),
      SLOT(IDownloadLibPlugin, Uninit, 5), SLOT(IDownloadLibPlugin, QueryPluginStatus, 6),
      SLOT(IDownloadLib, AttachEvents, 3), SLOT(IDownloadLib, DetachEvents, 4),
      SLOT(IDownloadLib, RegisterInstance, 8), SLOT(IDownloadLib, UnregisterInstance, 9),
      SLOT(IDownloadLib, GetInstance, 10), SLOT(IDownloadLib, CreateInstance, 12),
      SLOT(IDownloadLibEvents, OnRegisterInstance, 3), SLOT(IDownloadLibEvents, OnUnregisterInstance, 4),
      SLOT(IDownloadLibEvents, OnReserved1, 5), SLOT(IDownloadLibEvents, OnReserved2, 6),
      SLOT(IModuleDownloader, AttachEvents, 3), SLOT(IModuleDownloader, DetachEvents, 4),
      SLOT(IModuleDownloader, RequestDownload, 5),
      SLOT(IModuleDownloaderEvents, OnModuleInstallComplete, 3),
      SLOT(IHostService, ReportEvent, 4), SLOT(IHostService, GetNewConnectInfo, 12),
      SLOT(IP2p, NotifyFileMoved, 10), SLOT(IP2p, NotifyFileDeleted, 11),
  });
}

TEST(InterfaceSlots, BitTorrentService) {
  expect_slots({
      SLOT(IBitTorrent2, QueryInterface, 0),
      SLOT(IBitTorrent2, AttachEvents, 3), SLOT(IBitTorrent2, DetachEvents, 4),
      SLOT(IBitTorrent2, CreateNewTask, 5), SLOT(IBitTorrent2, CreateContinuedTask, 6),
      SLOT(IBitTorrent2, CreateUploadTask, 7), SLOT(IBitTorrent2, CreateSubTask, 8),
      SLOT(IBitTorrent2, ParseSeedFile, 9), SLOT(IBitTorrent2, IsTempFileExist, 10),
      SLOT(IBitTorrent2, GetDataFileList, 11), SLOT(IBitTorrent2, GetCfgFileList, 12),
      SLOT(IBitTorrent2, ReleaseSeedFileInfo, 13), SLOT(IBitTorrent2, ReleaseDataFileList, 14),
      SLOT(IBitTorrent2, ReleasePeerInfoList, 15), SLOT(IBitTorrent2, NotifyHubBtDeleted, 16),
      SLOT(IBitTorrent2, NotifyHubBtMoved, 17), SLOT(IBitTorrent2, ReservedOperation, 18),
      SLOT(IBitTorrent2, StartReimportTask, 19), SLOT(IBitTorrent2, GetReimportTaskTorrentFileName, 20),
      SLOT(IBitTorrent2, CloseReimportTask, 21), SLOT(IBitTorrent2, GetReimportProgress, 22),
      SLOT(IBitTorrent2, GetReimportRootPath, 23), SLOT(IBitTorrent2, DebugP2pPipeQueryInfo, 24),
      SLOT(IBitTorrent2, DebugP2pPipeReleaseInfo, 25), SLOT(IBitTorrent2, CreateCfgFile, 26),
      // The kernel object is driven slot for slot like the shell.
      SLOT(IBitTorrentKernel, StartReimportTask, 19), SLOT(IBitTorrentKernel, CreateCfgFile, 26),
      SLOT(IBitTorrentTest, CreateBtTrackerClient, 3), SLOT(IBitTorrentTest, CreateBtHubQueryClient, 4),
      SLOT(IBitTorrentTest, CreateBtWriterFactory, 5),
      SLOT(IBitTorrentEvents, OnBitTorrentEvent1, 3), SLOT(IBitTorrentEvents, OnBitTorrentEvent2, 4),
  });
}

TEST(InterfaceSlots, TaskInterfaces) {
  using TaskInfo = HRESULT (IBtTask3::*)(tagTASK_INFO*);
  using TaskInfoBlock = HRESULT (IBtTask3::*)(tagTASK_INFO2**);
  expect_slots({
      SLOT(IBtTask3, StartTask, 3), SLOT(IBtTask3, StopTask, 4), SLOT(IBtTask3, SignalStop, 5),
      SLOT(IBtTask3, GetStopFlag, 6), SLOT(IBtTask3, IsStopped, 7), SLOT(IBtTask3, GetConnectInfo, 8),
      SLOT(IBtTask3, GetDataInput, 9), SLOT(IBtTask3, GetDataOutput, 10), SLOT(IBtTask3, GetResourceCount, 11),
      SLOT(IBtTask3, GetResourceInfo, 12), SLOT(IBtTask3, GetNewConnectInfo, 13),
      SLOT(IBtTask3, SetRetryStrategy, 14), SLOT(IBtTask3, SetProxyInfo, 15), SLOT(IBtTask3, SetTaskType, 16),
      SLOT(IBtTask3, GetTaskType, 17), SLOT(IBtTask3, SetDispatchStrategy, 18),
      SLOT(IBtTask3, IsSupportDispatchStrategy, 19), SLOT(IBtTask3, GetSpeed, 20),
      SLOT(IBtTask3, SetRecommendInfo, 21), SLOT(IBtTask3, GetRecommendInfo, 22),
      SLOT(IBtTask3, SetDownloadSpeedLimit, 23), SLOT(IBtTask3, GetResourceStatistic, 24),
      SLOT(IBtTask3, EnableSubTask, 25), SLOT(IBtTask3, AttachEvents, 26), SLOT(IBtTask3, DetachEvents, 27),
      SLOT(IBtTask3, SetStatParam, 28), SLOT(IBtTask3, ResetNeedDownloadFile, 29),
      SLOT(IBtTask3, SetFileDownOrder, 30), SLOT(IBtTask3, GetFileInfo, 31), SLOT(IBtTask3, GetFileIdInfo, 32),
      Expected{"IBtTask3::GetTaskInfo(record)", slot_of(static_cast<TaskInfo>(&IBtTask3::GetTaskInfo)), 33},
      Expected{"IBtTask3::GetTaskInfo(block)", slot_of(static_cast<TaskInfoBlock>(&IBtTask3::GetTaskInfo)), 34},
      SLOT(IBtTask3, SetDapPriorityList, 35), SLOT(IBtTask3, GetFailureDetail, 36),
      // The real task is held as IBtTask2, whose slots must not differ.
      SLOT(IBtTask2, SetDapPriorityList, 35),
      SLOT(IBtTaskEvents, OnBtTaskEvent1, 3), SLOT(IBtTaskEvents, OnBtTaskEvent2, 4),
      SLOT(IBtTaskEvents, OnBtTaskEvent3, 5), SLOT(IBtTaskEvents, OnBtTaskEvent4, 6),
      SLOT(IVirtualTask, GetRealTask, 3), SLOT(IVirtualTask, IsModuleDownloadFailed, 4),
      SLOT(IAcceleratable, Accelerate, 3), SLOT(IAcceleratable, IsAccelerated, 4),
      SLOT(IStringSetter, SetString, 3), SLOT(IStringArraySetter, SetStringArray, 3),
  });
}

}  // namespace
