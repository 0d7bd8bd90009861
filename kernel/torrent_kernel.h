// The BitTorrent kernel on libtorrent: the object that the kernel module
// registers with the host under IID_IBitTorrentKernel (also answering
// IID_IBitTorrentTest), and under IID_IBtKernelSettings and
// IID_IBtMetadataFetcher through the faces of the same names
// (kernel_settings_service.h, metadata_fetch.h). Each kernel object runs one
// libtorrent session (kernel_session.h); its tasks (torrent_task.h) and
// metadata fetches are that session's torrents.
// docs/hosting.md ("The kernel on libtorrent") says what every operation does.
//
// Threads: every operation may be called on any thread. The kernel's events
// (IBitTorrentEvents) reach its sinks on the session's kernel thread.
#pragma once

#include <memory>

#include "com_utility/UnknownBase.h"
#include "interfaces/IBitTorrent.h"
#include "kernel/kernel_settings.h"
#include "kernel/kernel_settings_service.h"
#include "kernel/metadata_fetch.h"
#include "kernel/task_setup.h"
#include "platform/com_ptr.h"

class kernel_session;

class torrent_kernel : public IBitTorrentKernel, public IBitTorrentTest, public CUnknownMultiThread {
 public:
  // A kernel with its own session, configured by `settings`; the caller holds
  // its one reference. Throws when the session cannot be made.
  // `quiet`: see kernel_session::start; go_live() ends it.
  static com_ptr<torrent_kernel> create(const kernel_settings& settings, bool quiet = false);
  void go_live();

  // The module's end: lets go of the sinks of the kernel and of every task
  // for good, so that no reference out of the module keeps them alive.
  void close();
  // The TCP port the kernel's session listens on.
  int listen_port() const;

  // IUnknown: IUnknown and IBitTorrentKernel give the IBitTorrentKernel face;
  // IBitTorrentTest, IBtKernelSettings and IBtMetadataFetcher their own.
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

 private:
  explicit torrent_kernel(std::shared_ptr<kernel_session> session);

  HRESULT create_task(task_kind kind, tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                      const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                      IBtTask** task);

  std::shared_ptr<kernel_session> session_;
  kernel_settings_service settings_face_;
  metadata_fetcher fetcher_face_;
};
