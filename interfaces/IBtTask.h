// The BitTorrent task interfaces, their event sink and their records.
//
// Slot chain (see ITask.h for slots 3-25):
//   IBtTask  26-33  events, statistics parameters, file selection and
//                   information, task information
//   IBtTask2 34-35  the allocated task information block, priority list
//   IBtTask3 36     failure detail
// The kernel's tasks are held as IBtTask2: every slot up to 35 has the same
// number in IBtTask2 and IBtTask3.
#pragma once

#include <cstddef>

#include "interfaces/IStringSetter.h"
#include "interfaces/bt_task_status.h"
#include "interfaces/ITask.h"
#include "interfaces/string_types.h"

// {BFB683C2-FA92-4C2C-84F2-41AE818E6A9A}
inline constexpr IID IID_IBtTask = {0xBFB683C2, 0xFA92, 0x4C2C, {0x84, 0xF2, 0x41, 0xAE, 0x81, 0x8E, 0x6A, 0x9A}};
// {5BC6897D-357D-4302-BFA4-3A3C650412E5}
inline constexpr IID IID_IBtTask2 = {0x5BC6897D, 0x357D, 0x4302, {0xBF, 0xA4, 0x3A, 0x3C, 0x65, 0x04, 0x12, 0xE5}};
// {5BCA30A3-270D-4DF3-AD49-780FB3F5B3BF}
inline constexpr IID IID_IBtTask3 = {0x5BCA30A3, 0x270D, 0x4DF3, {0xAD, 0x49, 0x78, 0x0F, 0xB3, 0xF5, 0xB3, 0xBF}};
// {BF40B918-152B-4CB4-9E15-B5A8DCDBBBEA}
inline constexpr IID IID_IBtTaskEvents = {0xBF40B918, 0x152B, 0x4CB4, {0x9E, 0x15, 0xB5, 0xA8, 0xDC, 0xDB, 0xBB, 0xEA}};

// GetTaskInfo (slot 33): 48 bytes, the same on every target. Sizes count
// the pieces that hold the files the task is asked to download (all files
// when no selection was given): the wanted files' sizes, rounded out to
// whole pieces where a piece is shared with a file not wanted. The shell's
// proxy answers all zeros before the hand-over, with task_status 12 when the
// kernel module could not be had.
struct tagTASK_INFO {
  ULONG task_status;        // 0: a bt_task_status value (bt_task_status.h)
  ULONG progress;           // 4: done_size per bt_task_progress_scale of total_size
  ULONGLONG total_size;     // 8: bytes wanted
  ULONGLONG done_size;      // 16: of those, bytes verified
  ULONGLONG uploaded_size;  // 24: payload bytes uploaded, over every run of the task
  ULONG download_rate;      // 32: payload bytes per second, received
  ULONG upload_rate;        // 36: payload bytes per second, sent
  ULONG peer_count;         // 40: connected peers, seeds included
  ULONG seed_count;         // 44: connected peers that have every piece
};
static_assert(sizeof(tagTASK_INFO) == 48);
static_assert(offsetof(tagTASK_INFO, total_size) == 8 && offsetof(tagTASK_INFO, uploaded_size) == 24 &&
              offsetof(tagTASK_INFO, download_rate) == 32 && offsetof(tagTASK_INFO, seed_count) == 44);

// GetTaskInfo (slot 34): a block of two 32-bit fields that the callee
// allocates with the memory-pool library (mp_gt; give it back with mp_gv)
// and the caller takes over.
struct tagTASK_INFO2 {
  ULONG value1;  // files wanted (a kernel task; 0 from the proxy)
  ULONG value2;  // of those, files complete under their final name
};
static_assert(sizeof(tagTASK_INFO2) == 8);

// Each of GetFileInfo's two out-records: a 64-bit count split in two 32-bit
// halves. A kernel task answers GetFileInfo(index, size, done, state) with
// the file's size, its verified bytes, and in `state` 0 (not wanted),
// 1 (wanted, not complete: named "<name>.bt.td") or 2 (complete, under its
// final name); the proxy answers zeros and 1 before the hand-over.
struct tagFILE_INFO_PAIR {
  ULONG value1;  // low 32 bits
  ULONG value2;  // high 32 bits
};
static_assert(sizeof(tagFILE_INFO_PAIR) == 8);

// Task event sink. Implemented by the host's sinks (attached to a task) and
// by the shell's proxy task (attached to the real task, relaying each event
// to the host's sinks); called by the kernel's task. The values are the
// kernel's and are relayed unchanged. Not obtainable by QueryInterface from
// the proxy.
struct IBtTaskEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnBtTaskEvent1(ULONG_PTR value) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE OnBtTaskEvent2(ULONG_PTR value) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE OnBtTaskEvent3(ULONG_PTR value) = 0;  // 5
  virtual HRESULT STDMETHODCALLTYPE OnBtTaskEvent4(ULONG_PTR value) = 0;  // 6
};

// Implemented by the kernel's tasks and the shell's proxy task; called by the
// host (the task creation operations of IBitTorrent hand out this interface).
struct IBtTask : ITask {
  // AttachEvents/DetachEvents: S_OK, E_UNEXPECTED for a sink attached twice
  // or not attached, E_FAIL at the sink limit.
  virtual HRESULT STDMETHODCALLTYPE AttachEvents(IBtTaskEvents* sink) = 0;                // 26
  virtual HRESULT STDMETHODCALLTYPE DetachEvents(IBtTaskEvents* sink) = 0;                // 27
  // The three strings' characters are the caller's.
  virtual HRESULT STDMETHODCALLTYPE SetStatParam(tagSTRING param1, tagSTRING param2, tagSTRING param3,
                                                 LONG value) = 0;                          // 28
  virtual HRESULT STDMETHODCALLTYPE ResetNeedDownloadFile(ULONG count, const ULONG* file_indexes) = 0;  // 29
  virtual HRESULT STDMETHODCALLTYPE SetFileDownOrder(ULONG count, const ULONG* file_indexes) = 0;       // 30
  virtual HRESULT STDMETHODCALLTYPE GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1,
                                                tagFILE_INFO_PAIR* info2, ULONG* value) = 0;              // 31
  virtual HRESULT STDMETHODCALLTYPE GetFileIdInfo(ULONG file_index, IStringSetter* id1,
                                                  IStringSetter* id2) = 0;                                // 32
  virtual HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO* info) = 0;                                  // 33
};

// Implemented by the kernel's tasks and the proxy task; the proxy holds the
// real task through this interface.
struct IBtTask2 : IBtTask {
  // Both GetTaskInfo slots keep their name; the overload picks the slot.
  using IBtTask::GetTaskInfo;
  // On success *block is owned by the caller.
  virtual HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO2** block) = 0;                              // 34
  virtual HRESULT STDMETHODCALLTYPE SetDapPriorityList(ULONG count, const ULONG* priorities) = 0;         // 35
};

// The host's main task interface, served by the proxy task and (optionally)
// by the kernel's tasks.
struct IBtTask3 : IBtTask2 {
  virtual HRESULT STDMETHODCALLTYPE GetFailureDetail(LONG* failure_code) = 0;                             // 36
};
