#include "kernel/kernel_session.h"

#include <climits>

#include <libtorrent/alert_types.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session_params.hpp>

#include "kernel/fetch_core.h"
#include "kernel/kernel_call.h"
#include "kernel/task_core.h"
#include "platform/module.h"

namespace {

// How long the thread waits for alerts before it looks at its own work.
constexpr std::chrono::milliseconds kPollInterval{200};
constexpr std::chrono::seconds kStatusInterval{1};
// How often running tasks try their direct peers again.
constexpr std::chrono::seconds kPeerRetryInterval{5};
// How long a session let go waits for the last resume saves.
constexpr std::chrono::seconds kWindDownLimit{10};
// Alerts the queue holds at least, and for each file of the session's
// torrents (its completion and its rename), besides.
constexpr int kAlertQueueBase = 10000;
constexpr int kAlertsPerFile = 3;

// Threads that ended on their own, waiting to be joined.
class ended_threads {
 public:
  ~ended_threads() { join_all(); }
  void adopt(std::thread thread) {
    std::lock_guard<std::mutex> lock(lock_);
    threads_.push_back(std::move(thread));
  }
  void join_all() {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(lock_);
      threads.swap(threads_);
    }
    for (std::thread& t : threads) t.join();
  }

 private:
  std::mutex lock_;
  std::vector<std::thread> threads_;
};

ended_threads& ended() {
  static ended_threads instance;
  return instance;
}

void log_alert(const lt::alert& alert) {
  if (lt::alert_cast<lt::state_update_alert>(&alert)) return;  // once a second: nothing to tell
  if (alert.category() & lt::alert_category::error)
    LOG4CPLUS_WARN(kernel_logger(), alert.what() << ": " << alert.message());
  else
    LOG4CPLUS_DEBUG(kernel_logger(), alert.what() << ": " << alert.message());
}

// The key a host reads the port listened on by.
constexpr char kListenPortKey[] = "session.listen_port";

// Every address in the global class, whose limits the settings set; the
// local class, which libtorrent keeps unlimited, takes nobody.
lt::ip_filter limiting_classes() {
  lt::ip_filter classes;
  const std::uint32_t global = 1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id);
  classes.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), global);
  classes.add_rule(lt::make_address("::"), lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), global);
  return classes;
}

// Whether two torrents would be one in a session: libtorrent knows a
// torrent by its v1 hash and by the first 20 bytes of its v2 hash.
bool same_torrent(const lt::info_hash_t& a, const lt::info_hash_t& b) {
  bool same = false;
  a.for_each([&](const lt::sha1_hash& x, lt::protocol_version) {
    b.for_each([&](const lt::sha1_hash& y, lt::protocol_version) { same = same || x == y; });
  });
  return same;
}

// Runs one piece of the kernel thread's work; what it throws is logged, so
// that the thread goes on.
template <class Work>
void guarded(const char* what, Work&& work) {
  try {
    work();
  } catch (const std::exception& e) {
    log_call_failure(what, e.what());
  }
}

}  // namespace

void join_ended_kernel_threads() { ended().join_all(); }

namespace {

// What the session starts with while it waits for its host's settings: no
// socket, no announce of any kind.
lt::settings_pack quiet_pack(lt::settings_pack pack) {
  pack.set_str(lt::settings_pack::listen_interfaces, "");
  pack.set_bool(lt::settings_pack::enable_dht, false);
  pack.set_bool(lt::settings_pack::enable_lsd, false);
  pack.set_bool(lt::settings_pack::enable_upnp, false);
  pack.set_bool(lt::settings_pack::enable_natpmp, false);
  return pack;
}

}  // namespace

std::shared_ptr<kernel_session> kernel_session::start(const kernel_settings& settings, bool quiet) {
  std::shared_ptr<kernel_session> session(new kernel_session(settings, quiet));
  session->thread_ = std::thread([session] { session->run(); });
  // The users' pointer: when its last copy goes, the thread is told to end.
  return std::shared_ptr<kernel_session>(session.get(), [session](kernel_session* s) mutable {
    s->end_of_users();
    session.reset();
  });
}

kernel_session::kernel_session(const kernel_settings& settings, bool quiet)
    : session_(lt::session_params(quiet ? quiet_pack(settings.pack) : settings.pack)),
      exempting_classes_(session_.get_peer_class_filter()),
      settings_(settings),
      live_(!quiet),
      events_(IID_IBitTorrentEvents) {
  if (settings.rate_limit_local_network) apply_peer_classes(true);
  platform::module_lock();
}

void kernel_session::apply_peer_classes(bool limit_local_network) {
  session_.set_peer_class_filter(limit_local_network ? limiting_classes() : exempting_classes_);
}

save_policy kernel_session::saves() const {
  std::lock_guard<std::mutex> lock(settings_lock_);
  return settings_.saves;
}

HRESULT kernel_session::change_setting(const std::string& name, const std::string& value) {
  kernel_settings change;  // an empty pack: it receives exactly what the key stands for
  std::string why;
  if (!set_kernel_setting(change, name, value, why)) {
    LOG4CPLUS_WARN(kernel_logger(), "setting refused: " << why);
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> lock(settings_lock_);
  const bool limited_local = settings_.rate_limit_local_network;
  set_kernel_setting(settings_, name, value, why);
  if (live_) session_.apply_settings(change.pack);
  if (settings_.rate_limit_local_network != limited_local) apply_peer_classes(settings_.rate_limit_local_network);
  LOG4CPLUS_INFO(kernel_logger(), "setting " << name << " = " << value);
  return S_OK;
}

void kernel_session::go_live() {
  std::lock_guard<std::mutex> lock(settings_lock_);
  if (live_) return;
  live_ = true;
  session_.apply_settings(settings_.pack);
}

bool kernel_session::setting(const std::string& name, std::string& value) const {
  if (name == kListenPortKey) {
    value = std::to_string(listen_port());
    return true;
  }
  kernel_settings now;
  {
    std::lock_guard<std::mutex> lock(settings_lock_);
    now = settings_;
    if (live_) now.pack = session_.get_settings();  // libtorrent's, in force
  }
  return get_kernel_setting(now, name, value);
}

HRESULT kernel_session::set_task_limit(const std::string& hash_hex, const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> admission(admission_lock_);
  task_limits limits = limits_[hash_hex];
  if (!change_task_limit(limits, key, value)) return E_INVALIDARG;
  limits_[hash_hex] = limits;
  for (const std::shared_ptr<task_core>& core : cores())
    if (core->hash_hex() == hash_hex) apply_task_limits(limits, core->handle());
  LOG4CPLUS_INFO(kernel_logger(), "task " << hash_hex << ": " << key << " = " << value);
  return S_OK;
}

kernel_session::~kernel_session() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    tasks_.clear();
    fetches_.clear();
  }
  platform::module_unlock();
}

void kernel_session::end_of_users() {
  stopping_ = true;
  if (on_kernel_thread())
    ended().adopt(std::move(thread_));
  else if (thread_.joinable())
    thread_.join();
}

void kernel_session::add(const std::shared_ptr<task_core>& core, lt::add_torrent_params params) {
  std::unique_lock<std::mutex> admission(admission_lock_);
  if (params.ti) {
    std::vector<std::shared_ptr<fetch_core>> in_the_way;
    {
      std::lock_guard<std::mutex> lock(lock_);
      for (const auto& entry : fetches_)
        if (same_torrent(params.ti->info_hashes(), lt::info_hash_t(entry.second->info_hash())))
          in_the_way.push_back(entry.second);
    }
    for (const std::shared_ptr<fetch_core>& fetch : in_the_way) {
      fetch->fail("a task of this torrent was created; the fetch was ended");
      remove_fetch(fetch);  // removed before the task's torrent is added: the session takes requests in order
    }
  }
  const auto limits = limits_.find(core->hash_hex());
  if (limits != limits_.end()) apply_task_limits(limits->second, params);
  lt::error_code ec;
  const lt::torrent_handle handle = session_.add_torrent(std::move(params), ec);
  if (ec) {
    admission.unlock();
    core->fail_to_add(ec == lt::errors::duplicate_torrent ? bt_failure_duplicate : bt_failure_seed_invalid,
                      ec.message());
    return;
  }
  core->attach_torrent(handle);
  std::size_t files;
  {
    std::lock_guard<std::mutex> lock(lock_);
    tasks_[handle] = core;
    files = files_ += core->file_count();
  }
  admission.unlock();
  const int wanted = static_cast<int>(std::min<std::size_t>(files * kAlertsPerFile + kAlertQueueBase, INT_MAX / 2));
  if (wanted > session_.get_settings().get_int(lt::settings_pack::alert_queue_size)) {
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_queue_size, wanted);
    session_.apply_settings(std::move(pack));
  }
}

void kernel_session::release(const std::shared_ptr<task_core>& core) {
  core->release();
  remove_if_done(core);
}

void kernel_session::remove_if_done(const std::shared_ptr<task_core>& core) {
  if (!core->has_torrent() || !core->released() || core->saves_pending()) return;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (tasks_.erase(core->handle()) == 0) return;  // removed already
    files_ -= core->file_count();
  }
  session_.remove_torrent(core->handle());
}

void kernel_session::add_fetch(const std::shared_ptr<fetch_core>& fetch) {
  std::lock_guard<std::mutex> admission(admission_lock_);
  lt::error_code ec;
  const lt::torrent_handle handle = session_.add_torrent(fetch->fetch_params(), ec);
  if (ec == lt::errors::duplicate_torrent) {
    bool fetched = false;
    {
      std::lock_guard<std::mutex> lock(lock_);
      for (const auto& entry : fetches_) fetched = fetched || entry.second->info_hash() == fetch->info_hash();
    }
    fetch->fail(fetched ? "another fetch of this torrent is running" : kFetchOfTaskedTorrent);
    return;
  }
  if (ec) {
    fetch->fail(ec.message());
    return;
  }
  fetch->attach_torrent(handle);
  std::lock_guard<std::mutex> lock(lock_);
  fetches_[handle] = fetch;
}

void kernel_session::end_fetch(const std::shared_ptr<fetch_core>& fetch) { remove_fetch(fetch); }

bool kernel_session::remove_fetch(const std::shared_ptr<fetch_core>& fetch) {
  if (!fetch->handle().is_valid()) return false;
  // The removal is asked for under the lock (libtorrent only queues it), so
  // that a task added once the fetch is off the list is added after it.
  std::lock_guard<std::mutex> lock(lock_);
  const auto it = fetches_.find(fetch->handle());
  if (it == fetches_.end() || it->second != fetch) return false;
  fetches_.erase(it);
  session_.remove_torrent(fetch->handle());
  return true;
}

void kernel_session::close_events() {
  events_.close();
  for (const std::shared_ptr<task_core>& core : cores()) core->close_events();
}

int kernel_session::listen_port() const { return session_.listen_port(); }

std::shared_ptr<task_core> kernel_session::find(const lt::torrent_handle& handle) const {
  std::lock_guard<std::mutex> lock(lock_);
  const auto it = tasks_.find(handle);
  return it == tasks_.end() ? nullptr : it->second;
}

std::shared_ptr<fetch_core> kernel_session::find_fetch(const lt::torrent_handle& handle) const {
  std::lock_guard<std::mutex> lock(lock_);
  const auto it = fetches_.find(handle);
  return it == fetches_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<task_core>> kernel_session::cores() const {
  std::vector<std::shared_ptr<task_core>> all;
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& entry : tasks_) all.push_back(entry.second);
  return all;
}

std::vector<std::shared_ptr<fetch_core>> kernel_session::fetches() const {
  std::vector<std::shared_ptr<fetch_core>> all;
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& entry : fetches_) all.push_back(entry.second);
  return all;
}

void kernel_session::run() {
  thread_id_ = std::this_thread::get_id();
  using clock = std::chrono::steady_clock;
  clock::time_point next_status = clock::now();
  clock::time_point next_peer_retry = clock::now() + kPeerRetryInterval;
  clock::time_point wind_down_end = clock::time_point::max();
  std::vector<lt::alert*> alerts;
  for (;;) {
    if (stopping_) {
      if (wind_down_end == clock::time_point::max()) wind_down_end = clock::now() + kWindDownLimit;
      bool pending = false;
      for (const std::shared_ptr<task_core>& core : cores()) pending = pending || core->saves_pending();
      if (!pending || clock::now() > wind_down_end) break;
    }
    session_.wait_for_alert(kPollInterval);
    session_.pop_alerts(&alerts);
    for (const lt::alert* alert : alerts) guarded("alert", [&] { handle(*alert); });
    for (const std::shared_ptr<task_core>& core : cores()) guarded("refresh", [&] { core->refresh(); });
    const clock::time_point now = clock::now();
    if (now >= next_status) {
      session_.post_torrent_updates();
      next_status = now + kStatusInterval;
    }
    if (now >= next_peer_retry) {
      for (const std::shared_ptr<task_core>& core : cores())
        guarded("reconnect", [&] { core->reconnect_direct_peers(); });
      for (const std::shared_ptr<fetch_core>& fetch : fetches())
        guarded("reconnect", [&] { fetch->reconnect_link_peers(); });
      next_peer_retry = now + kPeerRetryInterval;
    }
  }
}

void kernel_session::handle(const lt::alert& alert) {
  log_alert(alert);
  if (const auto* a = lt::alert_cast<lt::listen_succeeded_alert>(&alert)) {
    if (a->socket_type == lt::socket_type_t::tcp)
      events_.broadcast(&IBitTorrentEvents::OnBitTorrentEvent1, static_cast<ULONG_PTR>(a->port));
  } else if (const auto* a = lt::alert_cast<lt::listen_failed_alert>(&alert)) {
    events_.broadcast(&IBitTorrentEvents::OnBitTorrentEvent2, static_cast<ULONG_PTR>(a->port),
                      static_cast<ULONG_PTR>(a->error.value()));
  } else if (lt::alert_cast<lt::alerts_dropped_alert>(&alert)) {
    for (const std::shared_ptr<task_core>& core : cores()) guarded("resync", [&] { core->resync(); });
  } else if (const auto* a = lt::alert_cast<lt::state_update_alert>(&alert)) {
    for (const lt::torrent_status& status : a->status)
      if (const std::shared_ptr<task_core> core = find(status.handle)) core->on_status(status);
  } else if (const auto* a = dynamic_cast<const lt::torrent_alert*>(&alert)) {
    if (const std::shared_ptr<task_core> core = find(a->handle)) {
      core->on_alert(alert);
      remove_if_done(core);
    } else if (const std::shared_ptr<fetch_core> fetch = find_fetch(a->handle)) {
      if (fetch->on_alert(alert)) remove_fetch(fetch);
    }
  }
}
