// The host's generic download task, with the records its queries fill.
//
// ITask is the first part of the task interface chain
//   IUnknown (0-2) -> ITask (3-25) -> IBtTask (26-33) -> IBtTask2 (34-35)
//   -> IBtTask3 (36),
// 37 slots in all. Only IBtTask3 as a whole, the identifiers and the slot
// numbers are fixed by the host and the kernel; where one interface ends and
// the next begins is set here: ITask holds the operations any
// download task has (start/stop, connections, resources, strategy, speed),
// IBtTask adds the BitTorrent ones from its event sink on (IBtTask.h).
#pragma once

#include <cstddef>

#include "platform/unknwn.h"

// {84B63C19-BEB8-457E-8160-AC89577F5AE2}
inline constexpr IID IID_ITask = {0x84B63C19, 0xBEB8, 0x457E, {0x81, 0x60, 0xAC, 0x89, 0x57, 0x7F, 0x5A, 0xE2}};

// 32-bit enumerations whose values belong to the kernel's task; the module
// passes them on (or records them) without looking at them.
enum tagQV_NAT_TYPE : LONG {};
enum tagQV_SUB_TASK_TYPE : LONG {};

// A speed limiter handed to SetDownloadSpeedLimit. The shell never calls it
// and takes no reference on it: it only passes the pointer to the real task.
// Implemented by the host; a kernel task reads the limit once, during
// SetDownloadSpeedLimit, and keeps no reference.
struct ISpeedLimit : IUnknown {
  // slot 3: the download limit in bytes per second; 0 means no limit.
  virtual HRESULT STDMETHODCALLTYPE GetSpeedLimit(ULONG* bytes_per_second) = 0;
};

// GetResourceInfo's record: 1044 bytes on every target. The shell's proxy
// writes only the five 32-bit fields (zeros); the area between them is the
// kernel's. A kernel task describes its connected peer number `index`:
struct tagRESOURCE_INFO {
  ULONG value1;      // flags: 1 the peer has every piece, 2 it connected to us,
                     // 4 the connection is encrypted, 8 it runs over uTP
  ULONG value2;      // bytes of text in `data`
  BYTE data[1024];   // "address:port" ([address]:port for IPv6), then the
                     // client's name when it sent one, separated by a blank
  ULONG value3;      // payload bytes per second received from the peer
  ULONG value4;      // payload bytes per second sent to the peer
  ULONG value5;      // the peer's progress, parts per bt_task_progress_scale
};
static_assert(sizeof(tagRESOURCE_INFO) == 1044);
static_assert(offsetof(tagRESOURCE_INFO, data) == 8 && offsetof(tagRESOURCE_INFO, value3) == 1032);

// GetResourceStatistic's record: twelve 32-bit fields, 48 bytes (zeros from
// the proxy before the hand-over). A kernel task fills, by index:
//   0 connected peers          1 connected seeds        2 peers known to the task
//   3 seeds in the swarm, 4 other peers in the swarm (as trackers report
//     them; 0xFFFFFFFF when unknown)
//   5 payload bytes per second received   6 payload bytes per second sent
//   7 payload KiB received in this run    8 payload KiB sent in this run
//   9 pieces in the torrent   10 pieces verified   11 bytes per piece
struct tagRESOURCE_STATISTIC {
  ULONG values[12];
};
static_assert(sizeof(tagRESOURCE_STATISTIC) == 48);

// Implemented by the kernel's tasks and by the shell's proxy task (which
// forwards each slot to the same slot of the real task once it has one);
// called by the host, which obtains it from IVirtualTask::GetRealTask or by
// QueryInterface(IID_ITask). Values typed ULONG_PTR are the kernel's; the
// module passes them on unchanged.
struct ITask : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE StartTask() = 0;                                      // 3
  virtual HRESULT STDMETHODCALLTYPE StopTask() = 0;                                       // 4
  virtual HRESULT STDMETHODCALLTYPE SignalStop() = 0;                                     // 5
  virtual HRESULT STDMETHODCALLTYPE GetStopFlag(BOOL* flag) = 0;                          // 6
  // S_OK when stopped, S_FALSE otherwise.
  virtual HRESULT STDMETHODCALLTYPE IsStopped() = 0;                                      // 7
  virtual HRESULT STDMETHODCALLTYPE GetConnectInfo(ULONG_PTR value) = 0;                  // 8
  virtual HRESULT STDMETHODCALLTYPE GetDataInput(ULONG_PTR value1, ULONG_PTR value2) = 0;   // 9
  virtual HRESULT STDMETHODCALLTYPE GetDataOutput(ULONG_PTR value1, ULONG_PTR value2) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE GetResourceCount(ULONG* count) = 0;                   // 11
  virtual HRESULT STDMETHODCALLTYPE GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) = 0;  // 12
  // The same arguments as IHostService::GetNewConnectInfo.
  virtual HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size,
                                                      ULONG* result) = 0;                 // 13
  virtual HRESULT STDMETHODCALLTYPE SetRetryStrategy(ULONG_PTR value1, ULONG_PTR value2,
                                                     ULONG_PTR value3) = 0;               // 14
  virtual HRESULT STDMETHODCALLTYPE SetProxyInfo(ULONG_PTR value1, ULONG_PTR value2) = 0;   // 15
  virtual HRESULT STDMETHODCALLTYPE SetTaskType(ULONG type) = 0;                          // 16
  virtual HRESULT STDMETHODCALLTYPE GetTaskType(ULONG* type) = 0;                         // 17
  virtual HRESULT STDMETHODCALLTYPE SetDispatchStrategy(ULONG strategy) = 0;              // 18
  // S_OK when the strategy is supported, S_FALSE otherwise.
  virtual HRESULT STDMETHODCALLTYPE IsSupportDispatchStrategy(ULONG strategy) = 0;        // 19
  // A kernel task: payload bytes per second received (speed1) and sent (speed2).
  virtual HRESULT STDMETHODCALLTYPE GetSpeed(ULONG* speed1, ULONG* speed2) = 0;           // 20
  virtual HRESULT STDMETHODCALLTYPE SetRecommendInfo(ULONG_PTR value) = 0;                // 21
  virtual HRESULT STDMETHODCALLTYPE GetRecommendInfo(ULONG_PTR value) = 0;                // 22
  virtual HRESULT STDMETHODCALLTYPE SetDownloadSpeedLimit(tagQV_NAT_TYPE nat_type, ISpeedLimit* limit) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE EnableSubTask(tagQV_SUB_TASK_TYPE type, LONG enable) = 0;     // 25
};
