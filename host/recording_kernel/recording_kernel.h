// The recording BitTorrent kernel: a small real implementation of the kernel
// object that the plugin module relies on. It serves IBitTorrentKernel (every
// slot of IBitTorrent2, in order) and IBitTorrentTest, writes every call with
// its arguments to a journal shared with its tasks, answers with configurable
// results, creates recording_task objects, keeps its IBitTorrentEvents sinks
// and raises its two events on request. Tests and hosts control it through
// IBtKernelProbe (see IBtKernelProbe.h, and kernel_probe.h for a C++ wrapper).
//
// libbt_kernel.so makes one and registers it with the host that loads it;
// in-process tests make their own with create().
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "com_utility/UnknownBase.h"
#include "interfaces/IBtKernelProbe.h"
#include "com_utility/closable_raiser.h"
#include "interfaces/IBitTorrent.h"
#include "platform/com_ptr.h"

class kernel_state;

class recording_kernel : public IBitTorrentKernel, public IBitTorrentTest, public IBtKernelProbe, public CUnknownMultiThread {
 public:
  // The caller holds the one reference of the new kernel.
  static com_ptr<recording_kernel> create();

  // The kernel module's end: lets go of the sinks attached to the kernel and
  // to every live task, so that no reference out of the module keeps its
  // objects alive. Later attachments fail (E_FAIL) and nothing is raised.
  void close();

  // For in-process use: `observer` hears each line of the journal (the
  // kernel's and its tasks') once it is written, on the thread of the call
  // that wrote it and with no lock of the kernel held, before that call
  // answers. So it may call into the kernel and its tasks, e.g. raise a task's
  // event from inside one of the task's operations, as a real kernel may; it
  // may run on several threads at once. Null removes it.
  void observe_journal(std::function<void(const std::string& line)> observer);

  // IUnknown: IUnknown and IBitTorrentKernel give the IBitTorrentKernel face.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  // IBitTorrent
  HRESULT STDMETHODCALLTYPE AttachEvents(IBitTorrentEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IBitTorrentEvents* sink) override;
  HRESULT STDMETHODCALLTYPE CreateNewTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                          const ULONG* first_list, ULONG second_count,
                                          const SEED_TRACKER_ITEM* second_list, IBtTask** task) override;
  HRESULT STDMETHODCALLTYPE CreateContinuedTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                                const ULONG* first_list, ULONG second_count,
                                                const SEED_TRACKER_ITEM* second_list, IBtTask** task) override;
  HRESULT STDMETHODCALLTYPE CreateUploadTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                             const ULONG* first_list, ULONG second_count,
                                             const SEED_TRACKER_ITEM* second_list, IBtTask** task) override;
  HRESULT STDMETHODCALLTYPE CreateSubTask(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3, ULONG_PTR value4,
                                          ULONG_PTR value5, ULONG_PTR value6, ULONG_PTR value7, ULONG_PTR value8,
                                          ULONG_PTR value9, ULONG_PTR value10, ULONG_PTR value11,
                                          ULONG_PTR value12) override;
  HRESULT STDMETHODCALLTYPE ParseSeedFile(tagSTRING seed_path, SEED_FILE_INFO** info) override;
  HRESULT STDMETHODCALLTYPE IsTempFileExist(tagSTRING unused, tagSTRING seed_path) override;
  HRESULT STDMETHODCALLTYPE GetDataFileList(tagSTRING data_folder, tagSTRING seed_path,
                                            DATA_FILE_LIST** list) override;
  HRESULT STDMETHODCALLTYPE GetCfgFileList(tagSTRING seed_path, DATA_FILE_LIST** list) override;
  HRESULT STDMETHODCALLTYPE ReleaseSeedFileInfo(SEED_FILE_INFO* info) override;
  HRESULT STDMETHODCALLTYPE ReleaseDataFileList(DATA_FILE_LIST* list) override;
  HRESULT STDMETHODCALLTYPE ReleasePeerInfoList(PEER_INFO_LIST* list) override;
  HRESULT STDMETHODCALLTYPE NotifyHubBtDeleted(tagSTRING data_folder, tagSTRING seed_path) override;
  HRESULT STDMETHODCALLTYPE NotifyHubBtMoved(tagSTRING old_folder, tagSTRING seed_path,
                                             tagSTRING new_folder) override;
  HRESULT STDMETHODCALLTYPE ReservedOperation(ULONG_PTR value) override;

  // IBitTorrent2
  HRESULT STDMETHODCALLTYPE StartReimportTask(tagSTRING text1, tagSTRING text2, tagSTRING text3) override;
  HRESULT STDMETHODCALLTYPE GetReimportTaskTorrentFileName(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE CloseReimportTask() override;
  HRESULT STDMETHODCALLTYPE GetReimportProgress(BYTE* progress) override;
  HRESULT STDMETHODCALLTYPE GetReimportRootPath(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE DebugP2pPipeQueryInfo(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE DebugP2pPipeReleaseInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE CreateCfgFile(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3, ULONG_PTR value4,
                                          ULONG_PTR value5, ULONG_PTR value6, ULONG_PTR value7,
                                          ULONG_PTR value8) override;

  // IBitTorrentTest
  HRESULT STDMETHODCALLTYPE CreateBtTrackerClient(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE CreateBtHubQueryClient(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE CreateBtWriterFactory(ULONG_PTR value) override;

  // IBtKernelProbe
  HRESULT STDMETHODCALLTYPE GetJournal(IStringArraySetter* lines) override;
  HRESULT STDMETHODCALLTYPE ClearJournal() override;
  HRESULT STDMETHODCALLTYPE SetResult(tagSTRING operation, HRESULT result) override;
  HRESULT STDMETHODCALLTYPE ResetAnswers() override;
  HRESULT STDMETHODCALLTYPE SetValue(tagSTRING key, ULONG value) override;
  HRESULT STDMETHODCALLTYPE SetOption(ULONG option, BOOL on) override;
  HRESULT STDMETHODCALLTYPE RaiseKernelEvent1(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE RaiseKernelEvent2(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE RaiseTaskEvent(ULONG task_id, ULONG event, ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE GetTask(ULONG task_id, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetTaskCounts(ULONG* created, ULONG* alive) override;
  HRESULT STDMETHODCALLTYPE GetSinkCount(ULONG task_id, ULONG* count) override;

 private:
  recording_kernel();
  ~recording_kernel() override;

  HRESULT create_task(const char* operation, tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                      const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                      IBtTask** task);
  void record(const std::string& operation, const std::string& arguments);
  HRESULT result(const char* operation, HRESULT natural = S_OK) const;

  std::shared_ptr<kernel_state> state_;
  closable_raiser<IBitTorrentEvents> events_;
};
