#include "host/daemon/daemon_task.h"

#include <algorithm>
#include <cstring>

#include "com_utility/StringSetter.h"
#include "common/seed_naming.h"
#include "common/utility.h"
#include "host/btshell/magnet_fetch.h"
#include "host/btshell/magnet_link.h"
#include "host/btshell/printers.h"
#include "interfaces/bt_task_status.h"
#include "interfaces/string_types.h"
#include "platform/posix_fd.h"

namespace daemon_host {
namespace {

std::vector<std::string> list_paths(const DATA_FILE_LIST* list) {
  std::vector<std::string> paths;
  if (!list) return paths;
  for (ULONG i = 0; i < list->count; ++i) {
    const DATA_FILE_ITEM& item = list->items[i];
    paths.push_back(std::string(item.folder, item.folder_len) + std::string(item.name, item.name_len));
  }
  return paths;
}

// "scheme://host:port" of a tracker's URL.
std::string tracker_host(const std::string& url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const std::size_t end = url.find('/', scheme + 3);
  return url.substr(0, end);
}

}  // namespace

bool read_seed(IBitTorrent2* shell, const std::string& seed, seed_summary& summary, std::string& hash,
               std::string& error) {
  SEED_FILE_INFO* raw = nullptr;
  const HRESULT hr = shell->ParseSeedFile(to_tag_string(seed), &raw);
  btshell::seed_info_ptr info(raw, btshell::seed_info_release{shell});
  if (hr != S_OK || !info) {
    error = "not a usable seed: " + btshell::result_text(hr);
    return false;
  }
  summary = seed_summary{};
  summary.name.assign(info->title, info->title_len);
  for (ULONG i = 0; i < info->file_count; ++i) {
    const SEED_FILE_ITEM& file = info->files[i];
    summary.paths.push_back(std::string(file.path, file.path_len) + std::string(file.name, file.name_len));
    summary.sizes.push_back(static_cast<std::int64_t>(file.file_size));
    summary.total_size += static_cast<std::int64_t>(file.file_size);
  }
  // The shell names a torrent (its title) when it holds two files or more;
  // a torrent of one file is named by it and lies in the folder itself.
  summary.single_file = info->file_count < 2;
  if (summary.single_file && !summary.paths.empty())
    summary.name = summary.paths[0].substr(summary.paths[0].find_last_of('/') + 1);
  for (ULONG i = 0; i < info->tracker_count; ++i)
    summary.trackers.emplace_back(info->trackers[i].url, info->trackers[i].url_len);
  hash = hex_encode(info->info_hash, sizeof info->info_hash);
  return true;
}

daemon_task::daemon_task(btshell::host_session& session, task_record record, std::optional<seed_summary> summary)
    : session_(session), record_(std::move(record)), summary_read_(summary.has_value()) {
  if (summary) summary_ = std::move(*summary);
}

daemon_task::~daemon_task() { close(); }

bool daemon_task::open(bool recheck, std::string& error) {
  close();
  std::string hash;
  if (!summary_read_ && !read_seed(session_.shell(), record_.seed, summary_, hash, error)) {
    error_ = error;
    return false;
  }
  summary_read_ = true;
  if (record_.name.empty()) record_.name = summary_.name;
  btshell::task_request request;
  request.how = recheck ? bt_task_creation::new_download : bt_task_creation::continued;
  request.seed = record_.seed;
  request.data_folder = task_folder();
  if (request.data_folder.empty()) {
    error = error_ = "the torrent's name cannot be a folder: \"" + summary_.name + "\"";
    return false;
  }
  request.files = record_.wanted;
  if (const auto magnet = btshell::parse_magnet_link(record_.magnet))
    if (!btshell::peer_items(magnet->peers, request.extras, error)) request.extras.clear();
  auto task = std::make_unique<btshell::transfer_task>(session_, false);
  const HRESULT hr = task->create(request);
  if (FAILED(hr)) {
    error = error_ = "the shell made no task: " + btshell::result_text(hr);
    return false;
  }
  task_ = std::move(task);
  handed_over_ = false;
  stopped_proxy_ = false;
  error_.clear();
  if (record_.started) task_->start();
  return true;
}

std::string daemon_task::folder_name() const {
  std::string name;
  if (summary_.single_file || !seed_naming_detail::append_component(summary_.name, name)) return std::string();
  return name;
}

std::string daemon_task::task_folder() const {
  if (summary_.single_file) return record_.data_dir;
  const std::string name = folder_name();
  return name.empty() ? std::string() : record_.data_dir + name + '/';
}

void daemon_task::start() {
  record_.started = true;
  if (!task_) return;
  // A task born failed does not start again, and neither does a proxy of
  // the shell once stopped (its start is void): either is made anew.
  if (stopped_proxy_ || FAILED(task_->start())) {
    std::string error;
    open(false, error);
  }
}

bool daemon_task::stop() {
  record_.started = false;
  fetch_.reset();
  if (!task_) return true;
  stopped_proxy_ = task_->made_before_kernel();
  return SUCCEEDED(task_->task()->StopTask());
}

void daemon_task::close() {
  fetch_.reset();
  if (!task_) return;
  if (task_->info().task_status != bt_task_stopped) task_->task()->StopTask();
  task_.reset();
}

bool daemon_task::advance_fetch(IBtMetadataFetcher* fetcher, const std::string& seeds_folder) {
  if (!waiting_for_metadata() || !record_.started) return false;
  if (!fetch_) {
    if (!fetcher) return false;
    const HRESULT hr = fetcher->StartFetch(to_tag_string(record_.magnet), fetch_.put());
    if (FAILED(hr) || !fetch_) {
      error_ = "the kernel cannot fetch this link's metadata: " + btshell::result_text(hr);
      fetch_.reset();
    }
    return false;
  }
  ULONG state = bt_fetch_running;
  fetch_->GetState(&state, nullptr);
  if (state == bt_fetch_failed) {
    std::string text;
    CStringSetter setter(&text);
    fetch_->GetFailureText(&setter);
    error_ = "fetching the metadata failed: " + text;
    fetch_.reset();
    record_.started = false;
    return true;
  }
  if (state != bt_fetch_done) return false;
  const std::string path = seeds_folder + record_.hash + ".torrent";
  std::string error;
  if (!btshell::write_fetched_seed(fetch_, path, error)) {
    error_ = error;
    return false;
  }
  record_.seed = path;
  record_.name.clear();  // the link's dn stood for it until now: the torrent's own name from here on
  open(false, error);
  return true;
}

void daemon_task::hand_over() {
  if (!task_ || handed_over_) return;
  handed_over_ = !task_->made_before_kernel() || task_->fetch_kernel();
}

bool daemon_task::take_events(std::int64_t now) {
  if (!task_) return false;
  bool finished = false;
  for (const auto& e : task_->events().take())
    if (e.number == 1 && (e.value == bt_task_finished || e.value == bt_task_seeding)) finished = true;
  if (!finished || record_.done != 0) return false;
  record_.done = now;
  return true;
}

rpc::torrent_status daemon_task::status(const tagTASK_INFO& info, LONG failure) const {
  using rpc::torrent_status;
  if (failure != 0) return torrent_status::stopped;
  switch (info.task_status) {
    case bt_task_checking: return torrent_status::checking;
    case bt_task_downloading: return torrent_status::downloading;
    case bt_task_finished:
    case bt_task_seeding: return torrent_status::seeding;
    case bt_task_idle: return record_.started ? torrent_status::download_wait : torrent_status::stopped;
    default: return torrent_status::stopped;
  }
}

rpc::torrent_view daemon_task::view(unsigned groups) const {
  rpc::torrent_view v;
  v.id = record_.id;
  v.hash = to_lower_ascii(record_.hash);
  v.name = record_.name.empty() ? v.hash : record_.name;
  v.download_dir = record_.data_dir.size() > 1 ? record_.data_dir.substr(0, record_.data_dir.size() - 1)
                                               : record_.data_dir;
  v.added_date = record_.added;
  v.done_date = record_.done;
  v.magnet_link = record_.magnet.empty() ? "magnet:?xt=urn:btih:" + v.hash : record_.magnet;
  v.download_limit = record_.download_limit;
  v.upload_limit = record_.upload_limit;
  v.download_limited = record_.download_limited;
  v.upload_limited = record_.upload_limited;
  v.peer_limit = record_.peer_limit;
  v.error_string = error_;
  v.error = error_.empty() ? 0 : 3;
  if (waiting_for_metadata()) {
    v.fetching_metadata = true;
    v.metadata_percent_complete = 0;
    v.status = record_.started ? rpc::torrent_status::downloading : rpc::torrent_status::stopped;
    if (fetch_) fetch_->GetState(nullptr, reinterpret_cast<ULONG*>(&v.peers_connected));
    return v;
  }
  v.total_size = summary_.total_size;
  if (!task_) return v;

  const tagTASK_INFO info = task_->info();
  const LONG failure = info.task_status == bt_task_failed ? task_->failure() : 0;
  v.status = status(info, failure);
  if (failure != 0) {
    v.error = 3;
    const std::string text = task_->failure_text();
    v.error_string = text.empty() ? "the task failed (" + std::to_string(failure) + ")" : text;
  }
  v.size_when_done = static_cast<std::int64_t>(info.total_size);
  if (v.size_when_done == 0 && record_.wanted.empty()) v.size_when_done = summary_.total_size;
  v.have_valid = static_cast<std::int64_t>(info.done_size);
  v.left_until_done = std::max<std::int64_t>(0, v.size_when_done - v.have_valid);
  v.desired_available = v.left_until_done;
  v.percent_done = v.size_when_done > 0 ? static_cast<double>(v.have_valid) / static_cast<double>(v.size_when_done)
                                        : (info.task_status == bt_task_finished || info.task_status == bt_task_seeding);
  // A task that does not run moves nothing, whatever its last rates were.
  const bool running = v.status != rpc::torrent_status::stopped;
  v.rate_download = running ? info.download_rate : 0;
  v.rate_upload = running ? info.upload_rate : 0;
  v.peers_connected = static_cast<int>(info.peer_count);
  v.uploaded_ever = static_cast<std::int64_t>(info.uploaded_size);
  if (v.rate_download > 0 && v.left_until_done > 0) v.eta = v.left_until_done / v.rate_download;
  v.is_finished = false;

  // Each of the kernel's queries below waits for its network thread: asked
  // only for the fields that need it (a listing of many tasks asks none).
  if (groups & rpc::group_totals) {
    // Over every run, as the ratio of a task restarted is its whole history's.
    v.downloaded_ever = static_cast<std::int64_t>(task_->totals().received_all);
    if (v.downloaded_ever > 0)
      v.upload_ratio = static_cast<double>(v.uploaded_ever) / static_cast<double>(v.downloaded_ever);
  }
  tagRESOURCE_STATISTIC statistic{};
  if ((groups & rpc::group_pieces) && SUCCEEDED(task_->task()->GetResourceStatistic(&statistic))) {
    v.piece_count = statistic.values[9];
    v.piece_size = statistic.values[11];
  }
  const bool peers_wanted = (groups & rpc::group_peers) != 0;
  for (const btshell::peer_state& peer : task_->peers(info.peer_count)) {
    if (peer.down_rate > 0) ++v.peers_sending_to_us;
    if (peer.up_rate > 0) ++v.peers_getting_from_us;
    if (!peers_wanted) continue;
    rpc::peer_view p;
    p.address = peer.address;
    p.port = static_cast<int>(peer.port);
    p.client_name = peer.client;
    p.progress = static_cast<double>(peer.progress) / bt_task_progress_scale;
    p.rate_to_client = peer.down_rate;
    p.rate_to_peer = peer.up_rate;
    v.peers.push_back(std::move(p));
  }
  if (groups & rpc::group_files) {
    const std::string folder = folder_name();  // as on disk: downloadDir + name is the file
    for (std::size_t i = 0; i < summary_.paths.size(); ++i) {
      const btshell::task_file_state file = task_->file_state(static_cast<ULONG>(i));
      rpc::file_view f;
      f.name = summary_.single_file ? summary_.paths[i] : folder + "/" + summary_.paths[i];
      f.length = summary_.sizes[i];
      f.bytes_completed = static_cast<std::int64_t>(file.done);
      f.wanted = record_.wanted.empty() ||
                 std::find(record_.wanted.begin(), record_.wanted.end(), static_cast<ULONG>(i)) != record_.wanted.end();
      v.files.push_back(std::move(f));
    }
  }
  if (groups & rpc::group_trackers) {
    const btshell::swarm_state swarm = task_->swarm();
    int id = 0;
    for (const btshell::tracker_state& t : swarm.trackers) {
      rpc::tracker_view r;
      r.id = id++;
      r.tier = static_cast<int>(t.info.tier);
      r.announce = t.url;
      r.host = tracker_host(t.url);
      r.last_announce_result = t.answer;
      r.has_announced = t.info.state == bt_tracker_answered || t.info.state == bt_tracker_failed;
      r.last_announce_succeeded = t.info.state == bt_tracker_answered;
      r.last_announce_peer_count = static_cast<int>(t.info.peers);
      r.seeder_count = t.info.seeds == 0xFFFFFFFF ? -1 : static_cast<int>(t.info.seeds);
      r.leecher_count = t.info.leechers == 0xFFFFFFFF ? -1 : static_cast<int>(t.info.leechers);
      r.announce_state = t.info.state == bt_tracker_announcing ? 3 : 1;
      v.trackers.push_back(std::move(r));
    }
  }
  return v;
}

std::vector<std::string> daemon_task::data_files() const {
  IBitTorrent2* shell = session_.shell();
  DATA_FILE_LIST* raw = nullptr;
  const HRESULT hr = shell->GetDataFileList(to_tag_string(task_folder()), to_tag_string(record_.seed), &raw);
  btshell::file_list_ptr list(raw, btshell::file_list_release{shell});
  return hr == S_OK ? list_paths(list.get()) : std::vector<std::string>();
}

std::vector<std::string> daemon_task::state_files() const {
  IBitTorrent2* shell = session_.shell();
  DATA_FILE_LIST* raw = nullptr;
  const HRESULT hr = shell->GetCfgFileList(to_tag_string(record_.seed), &raw);
  btshell::file_list_ptr list(raw, btshell::file_list_release{shell});
  return hr == S_OK ? list_paths(list.get()) : std::vector<std::string>();
}

bool daemon_task::set_wanted(const std::vector<ULONG>& wanted) {
  for (ULONG index : wanted)
    if (index >= summary_.paths.size()) return false;
  record_.wanted = wanted;
  if (task_)
    task_->task()->ResetNeedDownloadFile(static_cast<ULONG>(wanted.size()), wanted.empty() ? nullptr : wanted.data());
  return true;
}

}  // namespace daemon_host
