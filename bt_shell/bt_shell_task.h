// bt_shell_task: the proxy task the shell hands out while the kernel module
// is still being fetched.
//
// To the host it is an ordinary task (IBtTask3 and its bases, IVirtualTask,
// IAcceleratable). Until the kernel arrives it answers queries itself and
// records the commands it is given; when the shell reports the kernel's
// arrival (loading_complete) it has the kernel create the real task, relays
// the real task's events to the host's sinks, hands over a pending
// acceleration, replays the recorded commands in order and from then on
// forwards every call to the real task.
//
// No lock of its own: the host does not overlap calls on one proxy, nor with
// the kernel's arrival. Calls made from inside the hand-over (a host sink
// reacting to a relayed event) run on the hand-over's thread. Reference
// counting works from any thread, also while the kernel arrives: the shell
// holds a waiting proxy by a reference while it tells it, and a proxy whose
// last reference goes leaves the shell's list (under the list's guard).
//
// The real task holds the proxy's event sink, a task_event_relay of its own
// lifetime, not the proxy: the host's last Release frees the proxy, which
// detaches the sink and lets go of the real task.
//
// Every interface operation runs inside the module's boundary
// (com_boundary.h); calls a host is not supposed to make (a null out-pointer,
// a count without its list) are answered as host_misuse.h says.
//
// The proxy reaches its shell only as a bt_kernel_loader (the listener
// registration and the shell's status) and the host through the module's
// context.
//
// Without a real task after the kernel's arrival (stopped before it, no task
// from the kernel, or a task without IID_IBtTask2) the proxy stays in
// shell_reload_func: commands that would be forwarded are dropped with one
// ERROR line and queries keep their neutral answers.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>

#include "bt_shell/bt_kernel_loader.h"
#include "bt_shell/bt_kernel_loading_listenner.h"
#include "bt_shell/bt_shell_task_log.h"
#include "bt_shell/host_misuse.h"
#include "bt_shell/module_context.h"
#include "bt_shell/para_container.h"
#include "bt_shell/task_event_relay.h"
#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "com_utility/com_boundary.h"
#include "interfaces/IAcceleratable.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IVirtualTask.h"
#include "interfaces/bt_task_creation.h"
#include "interfaces/bt_task_status.h"
#include "platform/com_ptr.h"

// m_shell_status
enum class bt_shell_task_status : LONG {
  shell_idle = 0,         // no real task: commands are recorded, queries answered locally
  shell_reload_func = 1,  // the kernel arrived: real task being made, records replayed
  shell_running = 2,      // hand-over done: calls go to the real task
  shell_destroying = 3,   // destructor: records drained without effect
};

// m_shell_task_status
enum class bt_shell_task_run_status : LONG {
  shell_task_idle = 0,
  shell_task_started = 1,
  shell_task_stopped = 2,  // final
};

class bt_shell_task : public CUnknownMultiThread,
                      public IBtTask3,
                      public bt_kernel_loading_listenner,
                      public IVirtualTask,
                      public IAcceleratable,
                      public CEventsRaiser<IBtTaskEvents, unlimited_sinks> {
 public:
  // GetFailureDetail's code when the kernel module could not be had, or when
  // the kernel gave no usable task.
  static constexpr ULONG kernel_unavailable_code = bt_failure_kernel_unavailable;

  // Copies both texts and both lists; `shell` is kept with a reference. The
  // arguments have been checked by the shell (non-empty texts, a list for
  // every non-zero count, a known creation type). Throws std::bad_alloc.
  bt_shell_task(tagSTRING seed_file, tagSTRING data_file_path, ULONG first_count, const ULONG* first_list,
                ULONG second_count, const SEED_TRACKER_ITEM* second_list, bt_task_creation create_type,
                bt_kernel_loader* shell, std::shared_ptr<module_context> context);
  ~bt_shell_task() override;

  // Enters the shell's list of kernel-loading listeners. Throws
  // std::bad_alloc, leaving the proxy unregistered.
  void init();
  // Leaves that list and detaches the event sink from the real task (once,
  // and only if it was attached).
  void uninit();

  // bt_kernel_loading_listenner
  void loading_complete(ULONG error_code) override;
  bool hold_for_call() override { return add_ref_unless_destroyed(); }
  void release_after_call() override { Release(); }

  // State, for diagnostics.
  bt_shell_task_status shell_status() const { return m_shell_status; }
  bt_shell_task_run_status shell_task_status() const { return m_shell_task_status; }
  bool listener_registered() const { return m_listener_registered; }
  std::size_t record_count() const { return m_para_containers.size(); }

  // IUnknown (every interface)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  // ITask
  HRESULT STDMETHODCALLTYPE StartTask() override;
  HRESULT STDMETHODCALLTYPE StopTask() override;
  HRESULT STDMETHODCALLTYPE SignalStop() override;
  HRESULT STDMETHODCALLTYPE GetStopFlag(BOOL* flag) override;
  HRESULT STDMETHODCALLTYPE IsStopped() override;
  HRESULT STDMETHODCALLTYPE GetConnectInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE GetDataInput(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE GetDataOutput(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE GetResourceCount(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetResourceInfo(ULONG index, tagRESOURCE_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size,
                                              ULONG* result) override;
  HRESULT STDMETHODCALLTYPE SetRetryStrategy(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3) override;
  HRESULT STDMETHODCALLTYPE SetProxyInfo(ULONG_PTR value1, ULONG_PTR value2) override;
  HRESULT STDMETHODCALLTYPE SetTaskType(ULONG type) override;
  HRESULT STDMETHODCALLTYPE GetTaskType(ULONG* type) override;
  HRESULT STDMETHODCALLTYPE SetDispatchStrategy(ULONG strategy) override;
  HRESULT STDMETHODCALLTYPE IsSupportDispatchStrategy(ULONG strategy) override;
  HRESULT STDMETHODCALLTYPE GetSpeed(ULONG* speed1, ULONG* speed2) override;
  HRESULT STDMETHODCALLTYPE SetRecommendInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE GetRecommendInfo(ULONG_PTR value) override;
  HRESULT STDMETHODCALLTYPE SetDownloadSpeedLimit(tagQV_NAT_TYPE nat_type, ISpeedLimit* limit) override;
  HRESULT STDMETHODCALLTYPE GetResourceStatistic(tagRESOURCE_STATISTIC* statistic) override;
  HRESULT STDMETHODCALLTYPE EnableSubTask(tagQV_SUB_TASK_TYPE type, LONG enable) override;

  // IBtTask
  HRESULT STDMETHODCALLTYPE AttachEvents(IBtTaskEvents* sink) override;
  HRESULT STDMETHODCALLTYPE DetachEvents(IBtTaskEvents* sink) override;
  HRESULT STDMETHODCALLTYPE SetStatParam(tagSTRING param1, tagSTRING param2, tagSTRING param3, LONG value) override;
  HRESULT STDMETHODCALLTYPE ResetNeedDownloadFile(ULONG count, const ULONG* file_indexes) override;
  HRESULT STDMETHODCALLTYPE SetFileDownOrder(ULONG count, const ULONG* file_indexes) override;
  HRESULT STDMETHODCALLTYPE GetFileInfo(ULONG file_index, tagFILE_INFO_PAIR* info1, tagFILE_INFO_PAIR* info2,
                                        ULONG* value) override;
  HRESULT STDMETHODCALLTYPE GetFileIdInfo(ULONG file_index, IStringSetter* id1, IStringSetter* id2) override;
  HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO* info) override;

  // IBtTask2
  HRESULT STDMETHODCALLTYPE GetTaskInfo(tagTASK_INFO2** block) override;
  HRESULT STDMETHODCALLTYPE SetDapPriorityList(ULONG count, const ULONG* priorities) override;

  // IBtTask3
  HRESULT STDMETHODCALLTYPE GetFailureDetail(LONG* failure_code) override;

  // IVirtualTask
  HRESULT STDMETHODCALLTYPE GetRealTask(ITask** task) override;
  HRESULT STDMETHODCALLTYPE IsModuleDownloadFailed() override;

  // IAcceleratable
  HRESULT STDMETHODCALLTYPE Accelerate(tagSTRING certification) override;
  HRESULT STDMETHODCALLTYPE IsAccelerated(IStringSetter* setter) override;

 private:
  using record = para_container<IBtTask2>;
  // The record of a call, allocated apart from the list so that a command
  // can allocate it before it changes anything and list it afterwards.
  using prepared_record = std::list<std::unique_ptr<record>>;

  // The real task made by the kernel, held as IBtTask2; false (with an ERROR
  // line) when there is none to be had.
  bool create_real_task();
  void hand_over_acceleration();
  void withdraw_registration();

  // Walks the recorded calls once, oldest first, records appended meanwhile
  // included. During the hand-over each is applied to the real task; a
  // StopTask (recorded during the hand-over) is applied and ends the walk;
  // a StartTask is void once the proxy was stopped. In the destructor each
  // is dropped. Allocates nothing.
  void shell_reload_function();

  template <class I, class... Params>
  static prepared_record prepare_record(const char* name, HRESULT (STDMETHODCALLTYPE I::*method)(Params...),
                                        typename para_as_is<Params>::type... args) {
    prepared_record entry;
    entry.push_back(record_call<IBtTask2>(name, method, args...));
    return entry;
  }
  void commit(prepared_record&& entry) noexcept { m_para_containers.splice(m_para_containers.end(), entry); }

  // Runs `body` as the whole of interface operation `name`.
  template <class Body>
  HRESULT guarded(const char* name, Body&& body) {
    return com_boundary(task_logger(), this, name, body);
  }
  HRESULT misuse(const char* name, host_misuse what) const {
    return answer_host_misuse(task_logger(), this, name, what);
  }

  // Calls `method` of the real task with `args`: the forwarding of every
  // slot. Without a real task the call is dropped with one ERROR line and
  // E_FAIL.
  template <class I, class... Params, class... Args>
  HRESULT forward(const char* name, HRESULT (STDMETHODCALLTYPE I::*method)(Params...), Args&&... args);

  // A recorded command, the whole of interface operation `name`: recorded in
  // shell_idle, forwarded in shell_reload_func and shell_running, dropped in
  // shell_destroying; S_OK. A (count, list) command with a count and no list
  // is refused in every status.
  template <class I, class... Params>
  HRESULT command(const char* name, HRESULT (STDMETHODCALLTYPE I::*method)(Params...),
                  typename para_as_is<Params>::type... args);

  // A query: forwarded in shell_running (the real task's result is passed
  // back), otherwise answered by `local`.
  template <class Local, class I, class... Params>
  HRESULT query(const char* name, Local&& local, HRESULT (STDMETHODCALLTYPE I::*method)(Params...),
                typename para_as_is<Params>::type... args);

  bool kernel_load_failed() const { return m_bt_shell->status() == bt_shell_status::kernel_load_failed; }
  void log_status_entry(const char* name) const;
  // The ERROR line of a call that finds no real task to go to.
  void report_missing_task(const char* name) const;

  const bt_task_creation m_create_type;
  bt_shell_task_status m_shell_status = bt_shell_task_status::shell_idle;
  bt_shell_task_run_status m_shell_task_status = bt_shell_task_run_status::shell_task_idle;
  bool m_listener_registered = false;
  std::string m_str_seed_file;
  std::string m_str_data_file_path;
  ULONG m_first_count;
  std::unique_ptr<ULONG[]> m_first_list;
  ULONG m_second_count;
  std::unique_ptr<SEED_TRACKER_ITEM[]> m_second_list;
  com_ptr<IBtTask2> m_IBtTask;
  // The sink attached to m_IBtTask; made with the proxy, so that the
  // hand-over needs no memory.
  com_ptr<task_event_relay> m_task_events;
  ULONG m_task_type = 0;
  // Counted: the proxy reads the shell's status and withdraws its
  // registration for as long as it lives, which may be longer than the
  // plugin's own reference to the shell.
  com_ptr<bt_kernel_loader> m_bt_shell;
  const std::shared_ptr<module_context> m_context;
  std::list<std::unique_ptr<record>> m_para_containers;
  ULONG m_failure_code = 0;
  std::string m_str_certification;

  // Whether the proxy's sink is attached to m_IBtTask (from the hand-over to
  // the first uninit).
  bool m_task_events_attached = false;
};

// ---------------------------------------------------------------------------

template <class I, class... Params, class... Args>
HRESULT bt_shell_task::forward(const char* name, HRESULT (STDMETHODCALLTYPE I::*method)(Params...),
                               Args&&... args) {
  static_assert(std::is_base_of_v<I, IBtTask2>, "the real task is held as IBtTask2");
  if (!m_IBtTask) {
    report_missing_task(name);
    return E_FAIL;
  }
  I* task = m_IBtTask.get();
  return (task->*method)(std::forward<Args>(args)...);
}

template <class I, class... Params>
HRESULT bt_shell_task::command(const char* name, HRESULT (STDMETHODCALLTYPE I::*method)(Params...),
                               typename para_as_is<Params>::type... args) {
  return guarded(name, [&] {
    log_status_entry(name);
    if constexpr (std::is_same_v<std::tuple<Params...>, std::tuple<ULONG, const ULONG*>>) {
      const auto [count, list] = std::make_tuple(args...);
      if (count != 0 && !list) return misuse(name, host_misuse::count_without_list);
    }
    switch (m_shell_status) {
      case bt_shell_task_status::shell_idle:
        commit(prepare_record(name, method, args...));
        return S_OK;
      case bt_shell_task_status::shell_reload_func:
      case bt_shell_task_status::shell_running:
        forward(name, method, args...);
        return S_OK;
      default:
        return S_OK;
    }
  });
}

template <class Local, class I, class... Params>
HRESULT bt_shell_task::query(const char* name, Local&& local, HRESULT (STDMETHODCALLTYPE I::*method)(Params...),
                             typename para_as_is<Params>::type... args) {
  if (m_shell_status == bt_shell_task_status::shell_running) return forward(name, method, args...);
  return local();
}
