// CBtShell: the one object through which the host uses BitTorrent.
//
// Registered with the host under IID_IBitTorrent, it serves IBitTorrent2 and
// IBitTorrentTest whether or not the kernel module is present. Its status
// decides, for every operation that needs the kernel, whether the call goes
// straight to the kernel, is taken over by the shell (proxy tasks, a
// recorded reimport) or fails. It listens to the host's instance registry,
// to the module downloader and to the kernel, whose events it relays to its
// own subscribers; the three sinks are member objects that share the shell's
// reference count and that QueryInterface does not reach. Proxy tasks see
// the shell only as a bt_kernel_loader.
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
#include <type_traits>
#include <vector>

#include "bt_shell/bt_kernel_loader.h"
#include "bt_shell/host_misuse.h"
#include "bt_shell/module_context.h"
#include "bt_shell/para_container.h"
#include "bt_shell/shell_log.h"
#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "com_utility/com_boundary.h"
#include "com_utility/member_interface.h"
#include "common/release_assert.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/com_ptr.h"
#include "platform/critical_section.h"

enum class bt_task_creation : ULONG;  // interfaces/bt_task_creation.h

class CBtShell : public CUnknownMultiThread, public IBitTorrent2, public IBitTorrentTest, public bt_kernel_loader {
 public:
  // The shell of the module bound by `context`; init() attaches it to the host.
  explicit CBtShell(std::shared_ptr<module_context> context);
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

  // bt_kernel_loader
  bool add_loading_listenner(bt_kernel_loading_listenner* listener) override;
  bool remove_loading_listenner(bt_kernel_loading_listenner* listener) override;
  bt_shell_status status() const override { return _bt_shell_status; }

  // Called by the plugin: init attaches the shell to the host's instance
  // registry; after uninit the shell no longer reaches the host or the
  // kernel, and the operations that need them are refused.
  void init();
  void uninit();

  // How many proxies wait for the kernel (diagnostics).
  std::size_t loading_listener_count() const;

 private:
  using create_method = HRESULT (STDMETHODCALLTYPE IBitTorrent::*)(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                                                   const SEED_TRACKER_ITEM*, IBtTask**);
  // The one reimport that may wait for the kernel (_reimport_state).
  enum class reimport_state : LONG {
    none = 0,
    waiting = 1,  // started while the kernel loads; replayed when it arrives
    closed = 2,   // the waiting reimport was closed before the kernel came
    refused = 3,  // the kernel refused the replayed reimport
  };

  class registry_events final : public member_interface<IDownloadLibEvents, CBtShell> {
   public:
    using member_interface::member_interface;
    HRESULT STDMETHODCALLTYPE OnRegisterInstance(REFIID riid, IUnknown* object) override;
    HRESULT STDMETHODCALLTYPE OnUnregisterInstance(REFIID riid) override;
    HRESULT STDMETHODCALLTYPE OnReserved1() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnReserved2() override { return S_OK; }
  };
  class downloader_events final : public member_interface<IModuleDownloaderEvents, CBtShell> {
   public:
    using member_interface::member_interface;
    HRESULT STDMETHODCALLTYPE OnModuleInstallComplete(ULONG error_code, tagSTRING module_name, USHORT major_version,
                                                      USHORT minor_version) override;
  };
  // Relays the kernel's events to the shell's subscribers.
  class kernel_events final : public member_interface<IBitTorrentEvents, CBtShell> {
   public:
    using member_interface::member_interface;
    HRESULT STDMETHODCALLTYPE OnBitTorrentEvent1(ULONG_PTR value) override;
    HRESULT STDMETHODCALLTYPE OnBitTorrentEvent2(ULONG_PTR value1, ULONG_PTR value2) override;
  };

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
  void log_status_entry(const char* operation) const;

  // Obtaining the kernel (BtShell_kernel.cpp).
  void enter_shell_init_status();
  void get_bt_kernel_version(USHORT& major, USHORT& minor);
  bool acquire_kernel();               // shell_init: enter_shell_init_status
  bool find_registered_kernel();       // shell_init: only a kernel already registered
  bool kernel_already_loaded() const;  // anything else is reported
  com_ptr<IBitTorrentKernel> registered_kernel() const;
  bool query_registered_kernel();      // registered_kernel() into _IBitTorrentKernel
  // Keeps `kernel` as the shell's kernel and attaches the shell's sink to it
  // (once); a different kernel held before is detached and released.
  void hold_kernel(com_ptr<IBitTorrentKernel> kernel);
  void drop_kernel();

  // The sinks' work.
  HRESULT OnModuleInstallComplete(ULONG error_code, tagSTRING module_name, USHORT major_version,
                                  USHORT minor_version);
  HRESULT OnRegisterInstance(REFIID riid, IUnknown* object);
  HRESULT OnUnregisterInstance(REFIID riid);
  // The module downloader's answer for the kernel: the status it leads to,
  // the recorded reimport and the waiting listeners.
  void hand_over(ULONG error_code);
  void replay_reimport();
  // Tells every waiting listener `error_code`, each held by a reference for
  // the length of its call. Allocates nothing.
  void tell_listeners(ULONG error_code);

  // Task creation (BtShell_tasks.cpp): the steps shared by the three
  // creation operations; `method` is the kernel's operation of the same name.
  HRESULT create_task(const char* name, bt_task_creation task_type, create_method method,
                      tagSTRING seed_path, tagSTRING data_path, ULONG first_count, const ULONG* first_list,
                      ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task);
  // Makes a proxy task that waits for the kernel and hands out its IBtTask
  // in *task: 0, or -11 for bad arguments or a data folder that cannot be
  // made. *task is left alone on failure. Throws std::bad_alloc when memory
  // runs out (no proxy is left).
  HRESULT create_bt_shell_task_imp(bt_task_creation task_type, const tagSTRING* seed_path,
                                   const tagSTRING* data_path, ULONG first_count, const ULONG* first_list,
                                   ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task);

  // Calls `method` on the kernel with `args`; a missing kernel (withdrawn by
  // the host) is reported and answered with E_FAIL (BtShell_services.cpp).
  template <class Interface, class... Params, class... Args>
  HRESULT forward(HRESULT (STDMETHODCALLTYPE Interface::*method)(Params...), Args... args);
  // The same through the kernel's IBitTorrentTest.
  HRESULT forward_test(HRESULT (STDMETHODCALLTYPE IBitTorrentTest::*method)(ULONG_PTR), ULONG_PTR value);

  const std::shared_ptr<module_context> _context;
  registry_events _registry_events{*this};
  downloader_events _downloader_events{*this};
  kernel_events _kernel_events{*this};
  CEventsRaiser<IBitTorrentEvents, unlimited_sinks> _subscribers;

  com_ptr<IBitTorrentKernel> _IBitTorrentKernel;
  bt_shell_status _bt_shell_status = bt_shell_status::shell_init;
  bool _module_events_attached = false;
  reimport_state _reimport_state = reimport_state::none;
  std::unique_ptr<para_container<IBitTorrentKernel>> _reimport_para_container_ptr;
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
};

// ---------------------------------------------------------------------------

template <class Interface, class... Params, class... Args>
HRESULT CBtShell::forward(HRESULT (STDMETHODCALLTYPE Interface::*method)(Params...), Args... args) {
  static_assert(std::is_base_of_v<Interface, IBitTorrentKernel>, "the kernel serves the shell's operations");
  if (!_IBitTorrentKernel) {
    // The host withdrew the kernel while the status stays kernel_loaded.
    REPORT_ASSERT(shell_logger(), "_IBitTorrentKernel != NULL", "");
    return E_FAIL;
  }
  Interface* kernel = _IBitTorrentKernel.get();
  return (kernel->*method)(args...);
}
