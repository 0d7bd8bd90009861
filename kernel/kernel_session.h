// One libtorrent session and the kernel thread that handles its alerts.
//
// Threads: every public operation may be called on any thread. The kernel
// thread (one per session) pops libtorrent's alerts, logs them through the
// "bt_kernel" logger, hands each torrent's alerts to its task core, raises
// the kernel's own events, asks for the periodic status updates and resume
// saves, and raises the task events that host-side commands call for: every
// event of the session and of its tasks is raised on that thread, never
// while a lock of the kernel is held.
//
// Besides its tasks the session holds the torrents of running metadata
// fetches (fetch_core.h), at most one per info hash: a task created for a
// torrent that a fetch holds ends the fetch first. What enters the session
// (a task's torrent, a fetch's, the limits of a torrent's tasks) enters
// under one lock, so that a fetch and a task of one torrent, or a task and
// its limits, never cross.
//
// Lifetime: start() returns the pointer that the kernel object and its task
// objects share. When its last copy goes, the kernel thread finishes the
// resume saves still pending (for at most a few seconds), ends, and the
// session closes. The copy is normally let go on a host thread, which then
// waits for the kernel thread; if it is let go on the kernel thread itself
// (a sink released the last task there), the ended thread is joined by
// join_ended_kernel_threads() instead. So a host must not let go of the last
// kernel or task reference while holding a lock that its sinks take.
#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com_utility/closable_raiser.h"
#include "interfaces/IBitTorrent.h"
#include "kernel/kernel_settings.h"
#include "kernel/task_limits.h"

class fetch_core;
class task_core;

class kernel_session {
 public:
  // Throws what libtorrent throws when the session cannot be made.
  // `quiet`: the session neither listens nor starts DHT, local discovery or
  // port mapping until go_live(); settings changed meanwhile are kept and
  // applied then (a module's host sets its own before the first packet).
  static std::shared_ptr<kernel_session> start(const kernel_settings& settings, bool quiet = false);
  // Applies the settings in full and ends the quiet start; later calls do nothing.
  void go_live();
  ~kernel_session();
  kernel_session(const kernel_session&) = delete;
  kernel_session& operator=(const kernel_session&) = delete;

  // How the session's tasks save their state (tasks made from now on).
  save_policy saves() const;
  // Adds `params`, stopped, as the torrent of `core`, with the limits the
  // host set for the torrent's tasks; a fetch of the torrent ends first
  // (it fails, saying why). When libtorrent refuses them, `core` fails
  // instead. The alert queue grows with the files of the session's
  // torrents, so that no file's news is lost.
  void add(const std::shared_ptr<task_core>& core, lt::add_torrent_params params);
  // The task object of `core` is gone: its torrent leaves the session once
  // its last resume save is done.
  void release(const std::shared_ptr<task_core>& core);

  HRESULT attach_events(IBitTorrentEvents* sink) { return events_.attach(sink); }
  HRESULT detach_events(IBitTorrentEvents* sink) { return events_.detach(sink); }
  // Lets go of every sink of the session and of its tasks, for good.
  void close_events();

  // The TCP port the session listens on (0 when it listens nowhere).
  int listen_port() const;

  // A key of bt_kernel.ini (kernel_settings.h) set to `value` at once:
  // libtorrent's settings are applied to the session, rate_limit_local_network
  // to the connections made from then on, the resume keys to the tasks made
  // from then on. E_INVALIDARG, with nothing changed, for an unknown key or a
  // value that does not parse.
  HRESULT change_setting(const std::string& name, const std::string& value);
  // The value in force; false for an unknown key.
  bool setting(const std::string& name, std::string& value) const;
  // One limit of the tasks of the torrent whose shell info hash is
  // `hash_hex` (upper case): kept, and applied to its task now and to every
  // task of it made later. E_INVALIDARG for a bad key or value.
  HRESULT set_task_limit(const std::string& hash_hex, const std::string& key, const std::string& value);

  // Adds the torrent of a metadata fetch. When the kernel has a task of the
  // torrent, or another fetch holds it, the fetch fails at once instead.
  void add_fetch(const std::shared_ptr<fetch_core>& fetch);
  // The fetch object is gone: its torrent leaves the session if still there.
  void end_fetch(const std::shared_ptr<fetch_core>& fetch);
  bool on_kernel_thread() const { return std::this_thread::get_id() == thread_id_.load(); }

 private:
  kernel_session(const kernel_settings& settings, bool quiet);

  void run();
  void handle(const lt::alert& alert);
  // Called once, when the last user's copy goes.
  void end_of_users();
  std::shared_ptr<task_core> find(const lt::torrent_handle& handle) const;
  std::shared_ptr<fetch_core> find_fetch(const lt::torrent_handle& handle) const;
  std::vector<std::shared_ptr<task_core>> cores() const;
  std::vector<std::shared_ptr<fetch_core>> fetches() const;
  void remove_if_done(const std::shared_ptr<task_core>& core);
  // Takes the fetch out of the list and its torrent out of the session;
  // false when it was not there any more.
  bool remove_fetch(const std::shared_ptr<fetch_core>& fetch);
  // Rate limits for peers on the local network and loopback too, or
  // libtorrent's exemption of them.
  void apply_peer_classes(bool limit_local_network);

  lt::session session_;
  // libtorrent's own peer classes, which exempt the local network.
  const lt::ip_filter exempting_classes_;
  // What bt_kernel.ini and the host set, beside libtorrent's own settings.
  mutable std::mutex settings_lock_;
  kernel_settings settings_;
  bool live_;  // guarded by settings_lock_
  // Held while something enters the session; taken before lock_.
  std::mutex admission_lock_;
  std::map<std::string, task_limits> limits_;  // by shell info hash; guarded by admission_lock_
  closable_raiser<IBitTorrentEvents> events_;
  mutable std::mutex lock_;
  std::map<lt::torrent_handle, std::shared_ptr<task_core>> tasks_;
  std::map<lt::torrent_handle, std::shared_ptr<fetch_core>> fetches_;
  std::size_t files_ = 0;  // of the torrents in tasks_
  std::thread thread_;
  std::atomic<std::thread::id> thread_id_{};
  std::atomic<bool> stopping_{false};
};

// Joins the kernel threads whose session was let go on the thread itself.
// Called by the module's unload entry point before it answers.
void join_ended_kernel_threads();
