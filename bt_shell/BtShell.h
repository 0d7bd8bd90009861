// CBtShell: the one object through which the host uses BitTorrent.
//
// Registered with the host under IID_IBitTorrent, it serves IBitTorrent2 and
// IBitTorrentTest whether or not the kernel module is present. Its status
// decides, for every operation that needs the kernel, whether the call goes
// straight to the kernel, is taken over by the shell (proxy tasks, a
// recorded reimport) or fails. It listens to the host's instance registry,
// to the module downloader and to the kernel, whose events it relays to its
// own subscribers.
//
// The host does not overlap calls on the shell, nor with the kernel's
// arrival; the shell's state is unguarded. Two lists are guarded because
// other threads reach them: the subscriber list (by the event raiser) and the
// list of waiting proxies, whose entries leave it from the thread that
// releases a proxy's last reference.
//
// Every interface operation runs inside the module's boundary
// (com_boundary.h): it answers E_OUTOFMEMORY, never throws, when memory runs
// out. After the plugin's Uninit the operations that need the host or the
// kernel are refused (host_misuse.h).
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bt_shell/bt_kernel_loading_listenner.h"
#include "bt_shell/host_misuse.h"
#include "bt_shell/para_container.h"
#include "bt_shell/shell_log.h"
#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "com_utility/com_boundary.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/com_ptr.h"
#include "platform/critical_section.h"

enum bt_shell_status : LONG {
  shell_init = 0,          // nothing has been asked of the kernel yet
  kernel_loading = 1,      // the kernel was requested; the answer is awaited
  kernel_loaded = 2,       // _IBitTorrentKernel is set; operations forward to it
  kernel_load_failed = 3,  // the kernel cannot be had; final
};

class CBtShell : public CUnknownMultiThread,
                 public IBitTorrent2,
                 public IModuleDownloaderEvents,
                 public IDownloadLibEvents,
                 public IBitTorrentEvents,
                 public IBitTorrentTest,
                 public CEventsRaiser<IBitTorrentEvents, 0xFFFFFFFF> {
 public:
  using reimport_record = para_container3<std::string, std::string, std::string>;
  using time_source = std::time_t (*)();

  CBtShell();
  ~CBtShell() override;

  // IUnknown (every interface of the shell)
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

  // IModuleDownloaderEvents
  HRESULT STDMETHODCALLTYPE OnModuleInstallComplete(ULONG error_code, tagSTRING module_name, USHORT major_version,
                                                    USHORT minor_version) override;

  // IDownloadLibEvents
  HRESULT STDMETHODCALLTYPE OnRegisterInstance(REFIID riid, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE OnUnregisterInstance(REFIID riid) override;
  HRESULT STDMETHODCALLTYPE OnReserved1() override;
  HRESULT STDMETHODCALLTYPE OnReserved2() override;

  // IBitTorrentEvents: the kernel's events, relayed to the shell's subscribers.
  HRESULT STDMETHODCALLTYPE OnBitTorrentEvent1(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE OnBitTorrentEvent2(ULONG_PTR value1, ULONG_PTR value2) override;

  // Called by the plugin. After uninit the shell no longer reaches the host
  // or the kernel: the operations that need them are refused.
  void init();
  void uninit();

  // Starts obtaining the kernel; called while the status is shell_init.
  void enter_shell_init_status();
  // The wanted kernel version from bt_shell.ini beside the module.
  void get_bt_kernel_version(USHORT& major, USHORT& minor);

  // Proxy tasks waiting for the kernel. The list holds no references and is
  // guarded: both may be called from any thread. std::bad_alloc from add
  // leaves the list as it was.
  bool add_loading_listenner(bt_kernel_loading_listenner* listener);
  bool remove_loading_listenner(bt_kernel_loading_listenner* listener);

  // Makes a proxy task of `task_type` (0 new, 1 continued, 2 upload) that
  // waits for the kernel, and hands out its IBtTask in *task: 0, or -11 for
  // bad arguments or a data folder that cannot be made. *task is left alone
  // on failure. Throws std::bad_alloc when memory runs out (no proxy is left).
  HRESULT create_bt_shell_task_imp(ULONG task_type, const tagSTRING* seed_path, const tagSTRING* data_path,
                                   ULONG first_count, const ULONG* first_list, ULONG second_count,
                                   const SEED_TRACKER_ITEM* second_list, IBtTask** task);

  bt_shell_status status() const { return _bt_shell_status; }
  // The DEBUG entry line of a kernel-dependent operation: name + status.
  void log_status_entry(const char* operation) const;
  IBitTorrentKernel* kernel() const { return _IBitTorrentKernel.get(); }
  std::size_t loading_listener_count() const;

  // Runs `body` as the whole of interface operation `name`.
  template <class Body>
  HRESULT guarded(const char* name, Body&& body) {
    return com_boundary(shell_logger(), this, name, body);
  }
  // The same for an operation that needs the host or the kernel: its DEBUG
  // entry line (name + status) first; refused after uninit.
  template <class Body>
  HRESULT kernel_operation(const char* name, Body&& body) {
    return guarded(name, [&] {
      log_status_entry(name);
      if (_uninitialised) return misuse(name, host_misuse::after_uninit);
      return body();
    });
  }
  HRESULT misuse(const char* name, host_misuse what) const {
    return answer_host_misuse(shell_logger(), this, name, what);
  }

  // For tests: where bt_shell.ini is looked for (default: the module's
  // directory) and the clock of the simulated reimport progress.
  void set_config_dir(std::string dir) { _config_dir = std::move(dir); }
  void set_time_source(time_source clock) { _clock = clock; }

 private:
  // Kernel-dependent operations, by how they obtain the kernel.
  bool acquire_kernel();            // shell_init: enter_shell_init_status
  bool find_registered_kernel();    // shell_init: only a kernel already registered
  bool kernel_already_loaded() const;  // anything else is reported
  bool query_registered_kernel();   // GetInstance into _IBitTorrentKernel
  // Keeps `kernel` as the shell's kernel and attaches the shell's sink to it
  // (once); a different kernel held before is detached and released.
  void hold_kernel(com_ptr<IBitTorrentKernel> kernel);
  void drop_kernel();

  // Calls `method` on the kernel with `args`; a missing kernel (withdrawn by
  // the host) is reported and answered with E_FAIL.
  template <class Interface, class... Params, class... Args>
  HRESULT forward(HRESULT (STDMETHODCALLTYPE Interface::*method)(Params...), Args... args);
  // The same through the kernel's IBitTorrentTest.
  HRESULT forward_test(HRESULT (STDMETHODCALLTYPE IBitTorrentTest::*method)(ULONG_PTR), ULONG_PTR value);

  void report_host_event(ULONG kind, ULONG event_id) const;
  // The module downloader's answer for the kernel: the status it leads to,
  // the recorded reimport and the waiting listeners.
  void hand_over(ULONG error_code);
  void replay_reimport();
  // Tells every waiting listener `error_code`, each held by a reference for
  // the length of its call. Allocates nothing.
  void tell_listeners(ULONG error_code);

  com_ptr<IBitTorrentKernel> _IBitTorrentKernel;
  bt_shell_status _bt_shell_status = shell_init;
  LONG _module_events_attached = 0;
  LONG _reimport_state = 0;
  std::unique_ptr<reimport_record> _reimport_para_container_ptr;
  BYTE _virtual_reimport_progress = 0;
  std::time_t _reimport_start_time = 0;
  bool _is_virtual_reimport = false;
  std::vector<bt_kernel_loading_listenner*> _loading_listenners;

  // Guards _loading_listenners and _listeners_to_tell.
  mutable platform::critical_section _listeners_lock;
  // Room for the listeners of one hand-over, reserved as they come, so that
  // telling them never needs memory.
  std::vector<bt_kernel_loading_listenner*> _listeners_to_tell;
  // Whether the shell's IBitTorrentEvents sink is attached to _IBitTorrentKernel.
  bool _kernel_events_attached = false;
  bool _uninitialised = false;
  std::string _config_dir;
  time_source _clock;
};
