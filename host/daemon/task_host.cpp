#include "host/daemon/task_host.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include "common/utility.h"
#include "host/btshell/magnet_fetch.h"
#include "host/btshell/magnet_link.h"
#include "host/btshell/seed_url.h"
#include "host/download_lib/module_downloader.h"
#include "interfaces/string_types.h"
#include "platform/posix_fd.h"

namespace daemon_host {
namespace {

namespace fs = std::filesystem;

// How long a change keeps a task "recently active", and a removal listed.
constexpr auto kRecentWindow = std::chrono::seconds(60);
constexpr auto kWatchInterval = std::chrono::seconds(2);
using btshell::kSeedFileLimit;  // the largest seed file read from disk

log4cplus::Logger logger() { return log4cplus::Logger::getInstance("btshell daemon"); }

rpc::add_result refused(std::string why) {
  rpc::add_result result;
  result.error = std::move(why);
  return result;
}

std::int64_t now_seconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string with_slash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool read_small_file(const std::string& path, std::string& bytes, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = "not a file: " + path;
    return false;
  }
  if (fs::file_size(path, ec) > kSeedFileLimit) {
    error = "larger than a seed can be: " + path;
    return false;
  }
  if (const int e = platform::read_file_whole(path, bytes)) {
    error = "cannot read " + path + ": " + std::strerror(e);
    return false;
  }
  return true;
}

// `path` lies inside `folder` (both resolved, links followed).
bool inside(const fs::path& path, const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  const fs::path base = fs::weakly_canonical(folder, ec);
  if (ec) return false;
  auto p = path.begin();
  for (auto b = base.begin(); b != base.end(); ++b, ++p)
    if (p == path.end() || *p != *b) return false;
  return true;
}

// Removes the folders that held `file`, from its own up to, not including,
// `top` (with a trailing '/'), as long as each is empty.
void remove_empty_folders(const std::string& file, const std::string& top) {
  std::string folder = fs::path(file).parent_path().string();
  while (folder.size() >= top.size() && folder.compare(0, top.size(), top) == 0 && ::rmdir(folder.c_str()) == 0)
    folder = fs::path(folder).parent_path().string();
}

}  // namespace

task_host::task_host(btshell::host_session& session, btshell::kernel_link& kernel, host_settings::settings settings,
                     std::string settings_path, std::string version)
    : session_(session),
      kernel_(kernel),
      settings_(std::move(settings)),
      settings_path_(std::move(settings_path)),
      version_(std::move(version)) {
  seeds_folder_ = with_slash(settings_.state_dir) + "torrents/";
  list_path_ = with_slash(settings_.state_dir) + "tasks.json";
}

task_host::~task_host() = default;

bool task_host::restore(std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  std::error_code ec;
  fs::create_directories(seeds_folder_, ec);
  if (ec) {
    error = "cannot make the state folder " + seeds_folder_ + ": " + ec.message();
    return false;
  }
  apply_kernel_settings();
  std::vector<std::string> problems;
  task_list list = load_task_list(list_path_, problems);
  for (const std::string& p : problems) LOG4CPLUS_ERROR(logger(), p);
  next_id_ = list.next_id;
  earlier_ = list.totals;
  for (task_record& record : list.tasks) {
    if (tasks_.count(record.id) || ids_by_hash_.count(record.hash)) {
      LOG4CPLUS_ERROR(logger(), "task " << record.id << " appears twice in " << list_path_ << "; skipped");
      continue;
    }
    if (!record.seed.empty() && !fs::is_regular_file(record.seed, ec)) {
      LOG4CPLUS_ERROR(logger(), "the seed " << record.seed << " of task " << record.id << " (" << record.name
                                            << ") is missing; the task is skipped");
      dirty_ = true;
      continue;
    }
    const std::int64_t id = record.id;
    auto task = std::make_unique<daemon_task>(session_, std::move(record));
    apply_task_settings(*task);
    if (!task->waiting_for_metadata()) {
      std::string why;
      if (!task->open(false, why)) LOG4CPLUS_ERROR(logger(), "task " << id << ": " << why);
    }
    ids_by_hash_.emplace(task->record().hash, id);
    tasks_.emplace(id, std::move(task));
  }
  LOG4CPLUS_INFO(logger(), "restored " << tasks_.size() << " task(s) from " << list_path_);
  return true;
}

void task_host::apply_kernel_settings() {
  const std::string rejected = kernel_.set_session(host_settings::kernel_values(settings_));
  if (!rejected.empty()) LOG4CPLUS_ERROR(logger(), "the kernel refused the settings " << rejected);
}

void task_host::apply_task_settings(const daemon_task& task) {
  const task_record& r = task.record();
  const std::int64_t down = r.download_limited ? r.download_limit : settings_.task_download_limit;
  const std::int64_t up = r.upload_limited ? r.upload_limit : settings_.task_upload_limit;
  const int peers = r.peer_limit > 0 ? r.peer_limit : settings_.task_connections_limit;
  const std::string rejected = kernel_.set_task(r.hash, host_settings::task_values(down, up, peers));
  if (!rejected.empty()) LOG4CPLUS_ERROR(logger(), "task " << r.id << ": the kernel refused " << rejected);
}

void task_host::request_kernel() {
  // The shell asks for the kernel module when a task needs it; a magnet
  // link needs the kernel's metadata fetch before there is any task, so the
  // host asks its own module downloader then.
  if (kernel_requested_ || kernel_.fetcher()) return;
  kernel_requested_ = true;
  btshell::install_kernel_module(session_);
}

void task_host::tick() {
  std::lock_guard<std::mutex> hold(lock_);
  const std::int64_t now = now_seconds();
  bool waiting = false;
  for (auto& [id, task] : tasks_) waiting = waiting || (task->waiting_for_metadata() && task->record().started);
  if (waiting) request_kernel();
  session_.host().downloader()->complete_pending();
  const com_ptr<IBtMetadataFetcher> fetcher = kernel_.fetcher();
  for (auto& [id, task] : tasks_) {
    task->hand_over();
    if (task->waiting_for_metadata() && task->advance_fetch(fetcher.get(), seeds_folder_)) {
      LOG4CPLUS_INFO(logger(), "task " << id << ": " << (task->waiting_for_metadata() ? "metadata fetch failed"
                                                                                      : "metadata received"));
      dirty_ = true;
      touch(id);
    }
    if (task->take_events(now)) {
      LOG4CPLUS_INFO(logger(), "task " << id << " (" << task->record().name << ") is complete");
      dirty_ = true;
      touch(id);
    }
  }
  if (!settings_.watch_dir.empty() && clock::now() >= next_watch_scan_) {
    next_watch_scan_ = clock::now() + kWatchInterval;
    scan_watch_folder();
  }
  if (dirty_) save_list();
}

void task_host::save_list() {
  task_list list;
  list.next_id = next_id_;
  const rpc::transfer_stats now = current_stats();
  list.totals = {earlier_.uploaded + now.uploaded_bytes, earlier_.downloaded + now.downloaded_bytes,
                 earlier_.files_added + now.files_added, earlier_.sessions + 1,
                 earlier_.seconds_active + now.seconds_active};
  for (const auto& [id, task] : tasks_) list.tasks.push_back(task->record());
  if (const int e = save_task_list(list_path_, list)) {
    LOG4CPLUS_ERROR(logger(), "cannot write the task list " << list_path_ << ": " << std::strerror(e));
    return;
  }
  dirty_ = false;
}

bool task_host::stop_all() {
  std::lock_guard<std::mutex> hold(lock_);
  bool saved = true;
  for (auto& [id, task] : tasks_) {
    const bool started = task->record().started;
    if (!task->stop()) {
      saved = false;
      LOG4CPLUS_ERROR(logger(), "task " << id << ": its state could not be saved");
    }
    task->record().started = started;  // it starts again with the daemon
    task->close();
  }
  save_list();
  return saved && !dirty_;
}

std::size_t task_host::task_count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return tasks_.size();
}

void task_host::touch(std::int64_t id) { touched_[id] = clock::now(); }

std::vector<daemon_task*> task_host::select(const rpc::id_selection& which) {
  std::vector<daemon_task*> chosen;
  const auto recent = clock::now() - kRecentWindow;
  for (auto& [id, task] : tasks_) {
    bool take = which.all;
    if (which.recently_active) {
      const auto t = touched_.find(id);
      take = t != touched_.end() && t->second >= recent;
      if (!take) {
        const tagTASK_INFO info = task->has_task() ? task->task_info() : tagTASK_INFO{};
        // Moving data or checking it: its numbers change without an event.
        take = info.download_rate > 0 || info.upload_rate > 0 || info.task_status == bt_task_checking ||
               (task->waiting_for_metadata() && task->record().started);
      }
    }
    if (!take && std::find(which.ids.begin(), which.ids.end(), id) != which.ids.end()) take = true;
    if (!take)
      for (const std::string& h : which.hashes) take = take || to_upper_ascii(h) == task->record().hash;
    if (take) chosen.push_back(task.get());
  }
  return chosen;
}

daemon_task* task_host::find_hash(const std::string& hash) {
  const auto known = ids_by_hash_.find(hash);
  return known == ids_by_hash_.end() ? nullptr : tasks_.at(known->second).get();
}

void task_host::list(const rpc::id_selection& which, unsigned groups, std::vector<rpc::torrent_view>& out,
                     std::vector<std::int64_t>& removed) {
  std::lock_guard<std::mutex> hold(lock_);
  for (daemon_task* task : select(which)) out.push_back(task->view(groups));
  if (which.recently_active) {
    const auto recent = clock::now() - kRecentWindow;
    for (const auto& [id, when] : removed_)
      if (when >= recent) removed.push_back(id);
  }
}

rpc::add_result task_host::add(const rpc::add_request& request) {
  std::lock_guard<std::mutex> hold(lock_);
  return add_locked(request);
}

rpc::add_result task_host::add_locked(const rpc::add_request& request) {
  if (!request.metainfo.empty()) return add_seed_bytes(request.metainfo, request);
  if (btshell::is_magnet_link(request.filename)) return add_magnet(request.filename, request);
  if (request.filename.empty()) return refused("no filename or metainfo given");
  std::string error, bytes;
  if (!allowed_source(request.filename, error) || !read_small_file(request.filename, bytes, error))
    return refused(error);
  return add_seed_bytes(bytes, request);
}

bool task_host::allowed_source(const std::string& path, std::string& error) const {
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(path, ec);
  if (!ec && path.size() > 0 && path[0] == '/') {
    if (inside(resolved, settings_.watch_dir) || inside(resolved, settings_.download_dir)) return true;
    for (const std::string& folder : settings_.allowed_dirs)
      if (inside(resolved, folder)) return true;
  }
  error = "the file " + path + " is outside the folders seeds may be added from";
  return false;
}

rpc::add_result task_host::add_seed_bytes(const std::string& bytes, const rpc::add_request& request) {
  // The seed is read through the shell from a file of its own in the state
  // folder; it keeps its name by its info hash once that is known.
  std::string temporary = seeds_folder_ + ".adding-XXXXXX";
  platform::fd_guard fd(::mkostemp(temporary.data(), O_CLOEXEC));
  std::size_t written = 0;
  if (fd.get() < 0 || !platform::write_all(fd.get(), bytes.data(), bytes.size(), written) || !fd.close()) {
    if (fd.get() >= 0 || written > 0) ::unlink(temporary.c_str());
    return refused("cannot write into the state folder " + seeds_folder_ + ": " + std::strerror(errno));
  }
  seed_summary summary;
  std::string hash, error;
  if (!read_seed(session_.shell(), temporary, summary, hash, error)) {
    ::unlink(temporary.c_str());
    return refused("invalid or corrupt torrent file");
  }
  if (daemon_task* existing = find_hash(hash)) {
    ::unlink(temporary.c_str());
    const task_record& r = existing->record();
    return rpc::add_result{"", true, r.id, r.name, r.hash};
  }
  const std::string seed = seeds_folder_ + hash + ".torrent";
  if (::rename(temporary.c_str(), seed.c_str()) != 0 || platform::sync_folder_of(seed) != 0) {
    ::unlink(temporary.c_str());
    return refused("cannot keep the seed as " + seed + ": " + std::strerror(errno));
  }
  task_record record;
  record.hash = hash;
  record.name = summary.name;
  record.seed = seed;
  if (!request.files_wanted.empty() || !request.files_unwanted.empty()) {
    std::vector<bool> wanted(summary.paths.size(), request.files_wanted.empty());
    for (int i : request.files_wanted)
      if (i >= 0 && static_cast<std::size_t>(i) < wanted.size()) wanted[static_cast<std::size_t>(i)] = true;
    for (int i : request.files_unwanted)
      if (i >= 0 && static_cast<std::size_t>(i) < wanted.size()) wanted[static_cast<std::size_t>(i)] = false;
    for (std::size_t i = 0; i < wanted.size(); ++i)
      if (wanted[i]) record.wanted.push_back(static_cast<ULONG>(i));
  }
  return insert(std::move(record), request.download_dir.value_or(settings_.download_dir), request.paused,
                std::move(summary));
}

rpc::add_result task_host::add_magnet(const std::string& link, const rpc::add_request& request) {
  const std::optional<btshell::magnet_link> magnet = btshell::parse_magnet_link(link);
  if (!magnet) return refused("not a magnet link this daemon can use (it needs xt=urn:btih:)");
  if (daemon_task* existing = find_hash(magnet->hash)) {
    const task_record& r = existing->record();
    return rpc::add_result{"", true, r.id, r.name, r.hash};
  }
  task_record record;
  record.hash = magnet->hash;
  record.name = magnet->name;
  record.magnet = link;
  return insert(std::move(record), request.download_dir.value_or(settings_.download_dir), request.paused,
                std::nullopt);
}

rpc::add_result task_host::insert(task_record record, const std::string& data_dir, bool paused,
                                  std::optional<seed_summary> summary) {
  if (data_dir.empty() || data_dir[0] != '/') {
    if (!record.seed.empty()) ::unlink(record.seed.c_str());
    return refused("the download folder must be an absolute path: \"" + data_dir + "\"");
  }
  record.id = next_id_++;
  record.data_dir = with_slash(data_dir);
  record.started = !paused;
  record.added = now_seconds();
  const std::int64_t id = record.id;
  auto task = std::make_unique<daemon_task>(session_, std::move(record), std::move(summary));
  apply_task_settings(*task);
  std::string error;
  if (!task->waiting_for_metadata() && !task->open(false, error))
    LOG4CPLUS_ERROR(logger(), "task " << id << ": " << error);
  const task_record& r = task->record();
  rpc::add_result result{"", false, id, r.name, r.hash};
  LOG4CPLUS_INFO(logger(), "added task " << id << " (" << r.name << ") into " << r.data_dir);
  ids_by_hash_.emplace(r.hash, id);
  tasks_.emplace(id, std::move(task));
  ++files_added_;
  touch(id);
  dirty_ = true;
  return result;
}

std::string task_host::act(rpc::torrent_action action, const rpc::id_selection& which) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string failures;
  for (daemon_task* task : select(which)) {
    const std::int64_t id = task->record().id;
    std::string error;
    switch (action) {
      case rpc::torrent_action::start: task->start(); break;
      case rpc::torrent_action::stop:
        if (!task->stop()) error = "task " + std::to_string(id) + ": its state could not be saved";
        break;
      case rpc::torrent_action::verify:
        if (!task->waiting_for_metadata() && !task->open(true, error)) error = "task " + std::to_string(id) + ": " + error;
        break;
    }
    if (!error.empty()) failures += (failures.empty() ? "" : "; ") + error;
    touch(id);
    dirty_ = true;
  }
  return failures;
}

std::string task_host::remove(const rpc::id_selection& which, bool delete_local_data) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string failures;
  for (daemon_task* task : select(which)) {
    const task_record record = task->record();
    const bool has_seed = !record.seed.empty();
    const std::vector<std::string> data = delete_local_data && has_seed ? task->data_files() : std::vector<std::string>();
    const std::vector<std::string> states = has_seed ? task->state_files() : std::vector<std::string>();
    task->close();
    for (const std::string& file : data)
      if (::unlink(file.c_str()) != 0 && errno != ENOENT)
        failures += (failures.empty() ? "" : "; ") + ("cannot delete " + file + ": " + std::strerror(errno));
    for (const std::string& file : data) remove_empty_folders(file, record.data_dir);
    if (delete_local_data && has_seed)
      session_.shell()->NotifyHubBtDeleted(to_tag_string(task->task_folder()), to_tag_string(record.seed));
    for (const std::string& file : states) ::unlink(file.c_str());
    if (has_seed && record.seed.rfind(seeds_folder_, 0) == 0) ::unlink(record.seed.c_str());
    kernel_.forget_task(record.hash);
    LOG4CPLUS_INFO(logger(), "removed task " << record.id << " (" << record.name << ")"
                                             << (delete_local_data ? " and its " + std::to_string(data.size()) + " file(s)" : ""));
    ids_by_hash_.erase(record.hash);
    tasks_.erase(record.id);
    touched_.erase(record.id);
    removed_.emplace_back(record.id, clock::now());
    dirty_ = true;
  }
  const auto recent = clock::now() - kRecentWindow;
  removed_.erase(std::remove_if(removed_.begin(), removed_.end(), [&](const auto& r) { return r.second < recent; }),
                 removed_.end());
  return failures;
}

std::string task_host::change(const rpc::id_selection& which, const rpc::torrent_changes& changes) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string failures;
  for (daemon_task* task : select(which)) {
    task_record& r = task->record();
    if (changes.download_limit) r.download_limit = *changes.download_limit;
    if (changes.upload_limit) r.upload_limit = *changes.upload_limit;
    if (changes.download_limited) r.download_limited = *changes.download_limited;
    if (changes.upload_limited) r.upload_limited = *changes.upload_limited;
    if (changes.peer_limit) r.peer_limit = *changes.peer_limit;
    apply_task_settings(*task);
    if (!changes.files_wanted.empty() || !changes.files_unwanted.empty()) {
      const std::size_t count = task->summary().paths.size();
      std::vector<bool> wanted(count, r.wanted.empty());
      for (ULONG i : r.wanted)
        if (i < count) wanted[i] = true;
      bool bad = false;
      for (int i : changes.files_wanted) {
        if (i < 0 || static_cast<std::size_t>(i) >= count) bad = true;
        else wanted[static_cast<std::size_t>(i)] = true;
      }
      for (int i : changes.files_unwanted) {
        if (i < 0 || static_cast<std::size_t>(i) >= count) bad = true;
        else wanted[static_cast<std::size_t>(i)] = false;
      }
      std::vector<ULONG> list;
      for (std::size_t i = 0; i < count; ++i)
        if (wanted[i]) list.push_back(static_cast<ULONG>(i));
      if (list.size() == count) list.clear();
      if (bad || task->waiting_for_metadata() || !task->set_wanted(list))
        failures += (failures.empty() ? "" : "; ") + ("task " + std::to_string(r.id) + ": no such file");
    }
    touch(r.id);
    dirty_ = true;
  }
  return failures;
}

rpc::session_view task_host::session() {
  std::lock_guard<std::mutex> hold(lock_);
  rpc::session_view v;
  v.version = version_;
  v.config_dir = settings_path_.empty() ? std::string() : fs::path(settings_path_).parent_path().string();
  v.download_dir = settings_.download_dir;
  struct statvfs space {};
  if (::statvfs(settings_.download_dir.c_str(), &space) == 0)
    v.download_dir_free_space = static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
  // What the settings leave to the kernel is the kernel's own.
  const auto in_force = [&](const char* key) {
    const nlohmann::json set = host_settings::value_of(settings_, key);
    return set.is_null() ? host_settings::kernel_value_of(
                               key, [&](const std::string& k) { return kernel_.session_value(k); })
                         : set;
  };
  const auto number = [&](const char* key) {
    const nlohmann::json value = in_force(key);
    return value.is_number() ? value.get<std::int64_t>() : std::int64_t{0};
  };
  const auto flag = [&](const char* key) {
    const nlohmann::json value = in_force(key);
    return value.is_boolean() ? value.get<bool>() : true;
  };
  v.speed_limit_down = number("download-limit");
  v.speed_limit_up = number("upload-limit");
  v.speed_limit_down_enabled = v.speed_limit_down > 0;
  v.speed_limit_up_enabled = v.speed_limit_up > 0;
  v.peer_limit_global = static_cast<int>(number("connections-limit"));
  v.peer_limit_per_torrent = settings_.task_connections_limit;
  v.peer_port = std::atoi(kernel_.session_value("session.listen_port").c_str());
  v.dht_enabled = flag("dht");
  v.lpd_enabled = flag("local-discovery");
  v.port_forwarding_enabled = flag("port-mapping");
  return v;
}

std::string task_host::change_session(const rpc::session_changes& changes) {
  std::lock_guard<std::mutex> hold(lock_);
  host_settings::settings s = settings_;
  if (changes.download_dir) {
    if (changes.download_dir->empty() || (*changes.download_dir)[0] != '/')
      return "the download folder must be an absolute path";
    s.download_dir = *changes.download_dir;
  }
  if (changes.speed_limit_down) s.download_limit = *changes.speed_limit_down;
  if (changes.speed_limit_up) s.upload_limit = *changes.speed_limit_up;
  if (changes.speed_limit_down_enabled && !*changes.speed_limit_down_enabled) s.download_limit = 0;
  if (changes.speed_limit_up_enabled && !*changes.speed_limit_up_enabled) s.upload_limit = 0;
  if (changes.peer_limit_global) s.connections_limit = *changes.peer_limit_global;
  if (changes.peer_limit_per_torrent) s.task_connections_limit = *changes.peer_limit_per_torrent;
  settings_ = s;
  apply_kernel_settings();
  if (changes.peer_limit_per_torrent)
    for (auto& [id, task] : tasks_) apply_task_settings(*task);
  std::string error;
  if (!settings_path_.empty() && !host_settings::save(settings_path_, settings_, error)) {
    LOG4CPLUS_ERROR(logger(), error);
    return "the settings are in force but could not be kept: " + error;
  }
  return std::string();
}

rpc::transfer_stats task_host::current_stats() {
  rpc::transfer_stats current;
  for (auto& [id, task] : tasks_) {
    if (!task->has_task()) continue;
    const btshell::transfer_totals totals = task->totals();
    current.downloaded_bytes += static_cast<std::int64_t>(totals.received);
    current.uploaded_bytes += static_cast<std::int64_t>(totals.sent);
  }
  current.files_added = files_added_;
  current.session_count = 1;
  current.seconds_active = std::chrono::duration_cast<std::chrono::seconds>(clock::now() - started_).count();
  return current;
}

rpc::session_stats task_host::stats() {
  std::lock_guard<std::mutex> hold(lock_);
  rpc::session_stats s;
  for (auto& [id, task] : tasks_) {
    ++s.torrent_count;
    ++(task->record().started ? s.active_torrent_count : s.paused_torrent_count);
    if (!task->has_task()) continue;
    const tagTASK_INFO info = task->task_info();
    s.download_speed += info.download_rate;
    s.upload_speed += info.upload_rate;
  }
  s.current = current_stats();
  s.cumulative = {earlier_.uploaded + s.current.uploaded_bytes, earlier_.downloaded + s.current.downloaded_bytes,
                  earlier_.files_added + s.current.files_added, earlier_.sessions + 1,
                  earlier_.seconds_active + s.current.seconds_active};
  return s;
}

void task_host::scan_watch_folder() {
  DIR* folder = ::opendir(settings_.watch_dir.c_str());
  if (!folder) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".torrent") == 0) names.push_back(name);
  }
  ::closedir(folder);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = with_slash(settings_.watch_dir) + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const std::string key = name + "@" + std::to_string(st.st_mtime) + ":" + std::to_string(st.st_size);
    if (reported_watch_files_.count(key)) continue;
    std::string bytes, error;
    rpc::add_result result;
    if (!read_small_file(path, bytes, error)) {
      result.error = error;
    } else {
      rpc::add_request request;
      result = add_seed_bytes(bytes, request);
    }
    if (!result.error.empty()) {
      LOG4CPLUS_ERROR(logger(), "the watch folder's " << path << " is not added: " << result.error
                                                      << "; it is left as it is");
      reported_watch_files_.insert(key);
      continue;
    }
    const std::string added = path + ".added";
    if (::rename(path.c_str(), added.c_str()) != 0) {
      LOG4CPLUS_ERROR(logger(), "cannot rename " << path << " to " << added << ": " << std::strerror(errno));
      reported_watch_files_.insert(key);
    }
    LOG4CPLUS_INFO(logger(), "the watch folder's " << name << (result.duplicate ? " was there already as task "
                                                                                 : " is task ")
                                                   << result.id);
  }
}

}  // namespace daemon_host
