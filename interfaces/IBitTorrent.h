// The BitTorrent service: the shell's face to the host (IBitTorrent,
// IBitTorrent2, IBitTorrentTest), the kernel module's object behind it
// (IBitTorrentKernel) and the event sink of both (IBitTorrentEvents).
//
// Where IBitTorrent ends and IBitTorrent2 begins is set here (only
// the identifiers and the slot numbers of IBitTorrent2 as a whole are fixed):
// IBitTorrent holds slots 3-18, the task creation, seed file, temporary file
// and P2P hub operations up to the reserved slot; IBitTorrent2 adds the
// reimport, debug and configuration file operations, slots 19-26.
#pragma once

#include "interfaces/IBtTask.h"
#include "interfaces/data_file_list.h"
#include "interfaces/peer_info_list.h"
#include "interfaces/seed_file_info.h"
#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// The id under which the shell is registered with the host; the shell
// answers it with its IBitTorrent2 pointer.
// {29AF5E70-1FD6-4A46-A9FC-F7C2746AC187}
inline constexpr IID IID_IBitTorrent = {0x29AF5E70, 0x1FD6, 0x4A46, {0xA9, 0xFC, 0xF7, 0xC2, 0x74, 0x6A, 0xC1, 0x87}};
// {BD347075-E3E8-4DD7-A065-0DE774E10AAF}
inline constexpr IID IID_IBitTorrent2 = {0xBD347075, 0xE3E8, 0x4DD7, {0xA0, 0x65, 0x0D, 0xE7, 0x74, 0xE1, 0x0A, 0xAF}};
// {8771B9B4-49B8-4573-AD88-55C408373F76}
inline constexpr IID IID_IBitTorrentTest = {0x8771B9B4, 0x49B8, 0x4573, {0xAD, 0x88, 0x55, 0xC4, 0x08, 0x37, 0x3F, 0x76}};
// The id under which the kernel module registers its object with the host.
// {893C0F5C-54F4-44A1-955F-E4A334C13481}
inline constexpr IID IID_IBitTorrentKernel = {0x893C0F5C, 0x54F4, 0x44A1, {0x95, 0x5F, 0xE4, 0xA3, 0x34, 0xC1, 0x34, 0x81}};
// {AAC483B1-E339-4334-BCF3-E1027B1AE8C1}
inline constexpr IID IID_IBitTorrentEvents = {0xAAC483B1, 0xE339, 0x4334, {0xBC, 0xF3, 0xE1, 0x02, 0x7B, 0x1A, 0xE8, 0xC1}};

// Service event sink. Implemented by the host's sinks (attached to the shell)
// and by the shell (attached to the kernel, relaying each event unchanged to
// its own sinks); called by the kernel. The values are the kernel's.
struct IBitTorrentEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnBitTorrentEvent1(ULONG_PTR value) = 0;                    // 3
  virtual HRESULT STDMETHODCALLTYPE OnBitTorrentEvent2(ULONG_PTR value1, ULONG_PTR value2) = 0;  // 4
};

// Implemented by the shell (CBtShell) and, through IBitTorrentKernel, by the
// kernel module; called by the host. The creation operations take two lists
// that only the kernel interprets: `first_count` 32-bit values and
// `second_count` 1028-byte tracker items. The kernel module reads the first
// list as the indexes of the files to download (none: every file) and the
// second as trackers to announce to besides the seed's own; an item
// "peer://ADDRESS:PORT" (an IP address, IPv6 in brackets) names a peer to
// connect to directly instead. Results are status codes; the shell's own
// failures are the small negative codes of each operation.
struct IBitTorrent : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AttachEvents(IBitTorrentEvents* sink) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE DetachEvents(IBitTorrentEvents* sink) = 0;  // 4
  // 5-7: on success *task holds the new task, AddRef'd.
  virtual HRESULT STDMETHODCALLTYPE CreateNewTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                                  const ULONG* first_list, ULONG second_count,
                                                  const SEED_TRACKER_ITEM* second_list, IBtTask** task) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateContinuedTask(tagSTRING seed_path, tagSTRING data_path,
                                                        ULONG first_count, const ULONG* first_list,
                                                        ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                                                        IBtTask** task) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateUploadTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                                     const ULONG* first_list, ULONG second_count,
                                                     const SEED_TRACKER_ITEM* second_list, IBtTask** task) = 0;
  // 8: twelve values for the kernel, passed on unchanged and in order.
  virtual HRESULT STDMETHODCALLTYPE CreateSubTask(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3,
                                                  ULONG_PTR value4, ULONG_PTR value5, ULONG_PTR value6,
                                                  ULONG_PTR value7, ULONG_PTR value8, ULONG_PTR value9,
                                                  ULONG_PTR value10, ULONG_PTR value11, ULONG_PTR value12) = 0;
  // 9: *info is released with ReleaseSeedFileInfo.
  virtual HRESULT STDMETHODCALLTYPE ParseSeedFile(tagSTRING seed_path, SEED_FILE_INFO** info) = 0;
  // 10: S_OK when the seed's configuration file exists and is not empty,
  // S_FALSE otherwise. The first text is not used.
  virtual HRESULT STDMETHODCALLTYPE IsTempFileExist(tagSTRING unused, tagSTRING seed_path) = 0;
  // 11, 12: *list is released with ReleaseDataFileList.
  virtual HRESULT STDMETHODCALLTYPE GetDataFileList(tagSTRING data_folder, tagSTRING seed_path,
                                                    DATA_FILE_LIST** list) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCfgFileList(tagSTRING seed_path, DATA_FILE_LIST** list) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseSeedFileInfo(SEED_FILE_INFO* info) = 0;          // 13
  virtual HRESULT STDMETHODCALLTYPE ReleaseDataFileList(DATA_FILE_LIST* list) = 0;          // 14
  virtual HRESULT STDMETHODCALLTYPE ReleasePeerInfoList(PEER_INFO_LIST* list) = 0;          // 15
  virtual HRESULT STDMETHODCALLTYPE NotifyHubBtDeleted(tagSTRING data_folder, tagSTRING seed_path) = 0;  // 16
  virtual HRESULT STDMETHODCALLTYPE NotifyHubBtMoved(tagSTRING old_folder, tagSTRING seed_path,
                                                     tagSTRING new_folder) = 0;             // 17
  // 18: S_OK, nothing else.
  virtual HRESULT STDMETHODCALLTYPE ReservedOperation(ULONG_PTR value) = 0;
};

struct IBitTorrent2 : IBitTorrent {
  virtual HRESULT STDMETHODCALLTYPE StartReimportTask(tagSTRING text1, tagSTRING text2, tagSTRING text3) = 0;  // 19
  virtual HRESULT STDMETHODCALLTYPE GetReimportTaskTorrentFileName(ULONG_PTR value) = 0;    // 20
  virtual HRESULT STDMETHODCALLTYPE CloseReimportTask() = 0;                                // 21
  // 22: the reimport's progress.
  virtual HRESULT STDMETHODCALLTYPE GetReimportProgress(BYTE* progress) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReimportRootPath(ULONG_PTR value) = 0;               // 23
  virtual HRESULT STDMETHODCALLTYPE DebugP2pPipeQueryInfo(ULONG_PTR value1, ULONG_PTR value2) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE DebugP2pPipeReleaseInfo(ULONG_PTR value) = 0;           // 25
  // 26: eight values for the kernel, passed on unchanged and in order.
  virtual HRESULT STDMETHODCALLTYPE CreateCfgFile(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3,
                                                  ULONG_PTR value4, ULONG_PTR value5, ULONG_PTR value6,
                                                  ULONG_PTR value7, ULONG_PTR value8) = 0;
};

// The kernel module's object, registered with the host under
// IID_IBitTorrentKernel. It has IBitTorrent2's operations in IBitTorrent2's
// slots, so it is declared as an extension of it that adds nothing: the shell
// forwards each operation to the same slot. Implemented by the kernel module;
// called by the shell and by the proxy tasks (task creation at hand-over).
struct IBitTorrentKernel : IBitTorrent2 {};

// Implemented by the shell (forwarding to the kernel's own IBitTorrentTest)
// and by the kernel object; called by the host's test tools. The value is the
// kernel's, passed on unchanged.
struct IBitTorrentTest : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateBtTrackerClient(ULONG_PTR value) = 0;   // 3
  virtual HRESULT STDMETHODCALLTYPE CreateBtHubQueryClient(ULONG_PTR value) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE CreateBtWriterFactory(ULONG_PTR value) = 0;   // 5
};
