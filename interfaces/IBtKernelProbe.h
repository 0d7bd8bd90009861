// The control interface of the recording kernel, for tests and the command-line
// host: QueryInterface(IID_IBtKernelProbe) on the kernel object. It works the
// same whether the kernel was made in-process (recording_kernel::create) or loaded
// from libbt_kernel.so by the host runtime; host/kernel_probe/kernel_probe.h wraps it in C++.
//
// Journal. One line per call into the kernel or any of its tasks, in call
// order, shared by the kernel and all its tasks:
//   kernel.<Operation>(<arguments>)        e.g. kernel.CreateCfgFile(1,2,3,4,5,6,7,8)
//   task<N>.<Operation>(<arguments>)       N = 1, 2, ... in creation order
// Arguments: numbers in decimal; a tagSTRING as <len>:"<bytes>" (bytes below
// 0x20, 0x7F, '"' and '\' escaped as \xHH, \" and \\; a null pointer with a
// non-zero length as <len>:null); a 32-bit list as [a,b,c] (<count>:null when
// the pointer is null); tracker items as [<len>:"<url>",...]; an interface or
// record pointer as null or 0x<hex>; sink operations as (sinks=<count after>).
// Task creation ends with " -> task<N>" when a task was made. Lines
// "task<N>.destroyed" and "kernel.destroyed" mark the last Release;
// "kernel.close()" marks the module's end, where the kernel and its tasks let
// go of their sinks (see recording_kernel::close).
//
// Results. Every operation answers S_OK (or its natural answer: the sink
// operations the raiser's result, IsStopped / IsAccelerated / IsSupportDispatchStrategy
// S_OK or S_FALSE) unless SetResult names it:
//   "kernel.<Operation>"  for the kernel,
//   "task.<Operation>"    for every task, "task<N>.<Operation>" for one task
//                         (the more specific name wins).
// A failure result skips the operation's effect: no task is created, no sink
// attached, no out-value written (out-pointers to objects are set to null).
//
// Values written to out-parameters (SetValue, 0 until set; the same
// "task<N>." override applies):
//   kernel.GetReimportProgress.progress
//   task.GetResourceCount.count
//   task.GetResourceInfo.value          all five 32-bit fields (the area is left alone)
//   task.GetNewConnectInfo.result_size, task.GetNewConnectInfo.result
//   task.GetSpeed.speed1, task.GetSpeed.speed2
//   task.GetResourceStatistic.value     all twelve fields
//   task.GetFileInfo.value              all four fields of the two records, and the value
//   task.GetTaskInfo.status             the record's task status (other fields 0), and the
//                                       first field of the allocated block (second 0)
//   task.GetFailureDetail.code
// Answers kept as task state: GetTaskType gives the last SetTaskType;
// GetStopFlag gives 1 after StopTask or SignalStop (0 after StartTask);
// IsStopped is S_OK after StopTask; IsAccelerated gives the last Accelerate
// text; GetFileIdInfo sets "id1-<index>" and "id2-<index>". The allocated
// block of GetTaskInfo (slot 34) comes from mp_gt and is the caller's.
// The kernel's seed and temporary-file operations (ParseSeedFile,
// GetDataFileList, GetCfgFileList) are not served by the recording kernel: they
// answer E_NOTIMPL with a null out-pointer unless a result is set.
#pragma once

#include "interfaces/IStringSetter.h"
#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// {60CDBB2B-EA71-4FFC-9F98-6567E86015E2}
inline constexpr IID IID_IBtKernelProbe = {0x60CDBB2B, 0xEA71, 0x4FFC, {0x9F, 0x98, 0x65, 0x67, 0xE8, 0x60, 0x15, 0xE2}};

// Switches of SetOption; all are on when the kernel is made.
enum : ULONG {
  // Tasks answer IID_IAcceleratable.
  BT_KERNEL_TASK_ACCELERATABLE = 1,
  // Tasks answer IID_IBtTask2 (and IID_IBtTask3 when that is on too).
  BT_KERNEL_TASK_BTTASK2 = 2,
  // Tasks answer IID_IBtTask3.
  BT_KERNEL_TASK_BTTASK3 = 3,
  // The kernel answers IID_IBitTorrentTest.
  BT_KERNEL_TEST_INTERFACE = 4,
};

struct IBtKernelProbe : IUnknown {
  // slot 3: the journal, one string per line.
  virtual HRESULT STDMETHODCALLTYPE GetJournal(IStringArraySetter* lines) = 0;
  // slot 4
  virtual HRESULT STDMETHODCALLTYPE ClearJournal() = 0;
  // slot 5: the result of an operation (see above).
  virtual HRESULT STDMETHODCALLTYPE SetResult(tagSTRING operation, HRESULT result) = 0;
  // slot 6: forgets every SetResult and SetValue.
  virtual HRESULT STDMETHODCALLTYPE ResetAnswers() = 0;
  // slot 7: an out-value (see above).
  virtual HRESULT STDMETHODCALLTYPE SetValue(tagSTRING key, ULONG value) = 0;
  // slot 8: E_INVALIDARG for an unknown option.
  virtual HRESULT STDMETHODCALLTYPE SetOption(ULONG option, BOOL on) = 0;
  // slots 9, 10: calls the kernel's sinks (OnBitTorrentEvent1 / 2) in attach order.
  virtual HRESULT STDMETHODCALLTYPE RaiseKernelEvent1(ULONG_PTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE RaiseKernelEvent2(ULONG_PTR value1, ULONG_PTR value2) = 0;
  // slot 11: calls OnBtTaskEvent<event> (1 to 4) on the sinks of task <task_id>.
  // E_INVALIDARG for another event number, E_FAIL when that task is gone.
  virtual HRESULT STDMETHODCALLTYPE RaiseTaskEvent(ULONG task_id, ULONG event, ULONG_PTR value) = 0;
  // slot 12: QueryInterface on a live task; E_FAIL when it is gone.
  virtual HRESULT STDMETHODCALLTYPE GetTask(ULONG task_id, REFIID riid, void** ppv) = 0;
  // slot 13: tasks made so far, and those still alive.
  virtual HRESULT STDMETHODCALLTYPE GetTaskCounts(ULONG* created, ULONG* alive) = 0;
  // slot 14: sinks attached to the kernel (task_id 0) or to a live task.
  virtual HRESULT STDMETHODCALLTYPE GetSinkCount(ULONG task_id, ULONG* count) = 0;
};
