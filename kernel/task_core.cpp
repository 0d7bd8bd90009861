#include "kernel/task_core.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/peer_info.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "kernel/kernel_call.h"

namespace {

// How long a waiting stop gives libtorrent to save the state and close the files.
constexpr std::chrono::seconds kStopTimeout{30};
// The fewest time between two saves of a running task, and how many times
// its own cost a save waits before the next one.
constexpr std::chrono::seconds kLeastSaveGap{1};
constexpr int kSaveCostFactor = 10;
// How old GetFileInfo's verified bytes may be.
constexpr std::chrono::milliseconds kProgressAge{100};

bt_task_failure failure_of(const lt::error_code& ec) {
  return ec == boost::system::errc::no_space_on_device ? bt_failure_no_space : bt_failure_file_error;
}

ULONG progress_of(const lt::torrent_status& st) {
  if (st.total_wanted <= 0) return bt_task_progress_scale;
  return static_cast<ULONG>(st.total_wanted_done * bt_task_progress_scale / st.total_wanted);
}

ULONG clamp_ulong(std::int64_t value) {
  if (value < 0) return 0;
  return value > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<ULONG>(value);
}

// A swarm count as trackers report it; unknown is all ones.
ULONG swarm_count(int value) { return value < 0 ? 0xFFFFFFFFu : static_cast<ULONG>(value); }

bool is_checking(lt::torrent_status::state_t state) {
  return state == lt::torrent_status::checking_files || state == lt::torrent_status::checking_resume_data;
}

// Writes `path`'s data to the disk; false when it cannot.
bool sync_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;  // not made yet: nothing of it to keep
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

task_core::task_core(task_kind kind, task_plan& plan, save_policy saves)
    : kind_(kind),
      failure_(plan.failure),
      failure_text_(plan.failure == bt_failure_none ? std::string() : plan.detail),
      layout_(std::move(plan.layout)),
      resume_path_(std::move(plan.resume_path)),
      data_folder_(plan.params.save_path),
      data_folder_abs_(std::move(plan.data_folder_abs)),
      direct_peers_(std::move(plan.direct_peers)),
      saves_(saves),
      state_lock_(std::move(plan.lock)),
      events_(IID_IBtTaskEvents),
      files_(layout_, std::move(plan.wanted), std::move(plan.in_progress), std::move(plan.to_verify)) {}

void task_core::attach_torrent(const lt::torrent_handle& handle) { handle_ = handle; }

void task_core::fail_to_add(bt_task_failure failure, const std::string& detail) {
  LOG4CPLUS_ERROR(kernel_logger(), "task " << layout_.hash_hex() << " cannot be added: " << detail);
  std::lock_guard<std::mutex> lock(lock_);
  failure_ = failure;
  failure_text_ = detail;
}

// ---------------------------------------------------------------------------
// Commands

HRESULT task_core::start() {
  if (!has_torrent()) return E_FAIL;
  bool was_failed;
  bool recheck;
  {
    std::lock_guard<std::mutex> lock(lock_);
    // A conflict stays: the file in the way is still there.
    if (failure_ == bt_failure_file_conflict) return E_FAIL;
    was_failed = failure_ != bt_failure_none;
    recheck = failure_ == bt_failure_data_incomplete;
    failure_ = bt_failure_none;
    run_ = run_state::started;
  }
  if (was_failed) handle_.clear_error();
  if (recheck) handle_.force_recheck();
  handle_.resume();
  // The data may have been checked before the start (a task added stopped
  // is checked at once when nothing is on disk).
  verify_due_ = kind_ == task_kind::upload;
  dirty_ = true;
  return S_OK;
}

HRESULT task_core::stop(bool wait, bool on_kernel_thread) {
  std::uint64_t save = 0;
  std::uint64_t flush = 0;
  bool worth_saving;
  {
    std::lock_guard<std::mutex> lock(lock_);
    run_ = run_state::stopped;
    if (!has_torrent()) return S_OK;
    worth_saving = state_worth_saving_locked();
    if (worth_saving) stop_save_ = save = ++saves_asked_;
    stop_flush_ = flush = ++flushes_asked_;
  }
  dirty_ = true;
  try {
    handle_.pause();
    handle_.flush_cache();
    if (worth_saving) handle_.save_resume_data(lt::torrent_handle::flush_disk_cache);
  } catch (...) {
    // Nothing will answer these requests.
    std::lock_guard<std::mutex> lock(lock_);
    saves_done_ = std::max(saves_done_, save);
    flushes_done_ = std::max(flushes_done_, flush);
    throw;
  }
  if (!wait || on_kernel_thread) return S_OK;
  std::unique_lock<std::mutex> lock(lock_);
  if (!work_done_.wait_for(lock, kStopTimeout, [&] { return saves_done_ >= save && flushes_done_ >= flush; })) {
    LOG4CPLUS_WARN(kernel_logger(), "task " << layout_.hash_hex() << ": the stop did not complete in time");
    return E_FAIL;
  }
  return worth_saving ? last_save_result_ : S_OK;
}

bool task_core::stop_flag() const {
  std::lock_guard<std::mutex> lock(lock_);
  return run_ == run_state::stopped;
}

bool task_core::is_stopped() const {
  std::lock_guard<std::mutex> lock(lock_);
  return run_ == run_state::stopped && saves_done_ >= stop_save_ && flushes_done_ >= stop_flush_;
}

HRESULT task_core::select_files(ULONG count, const ULONG* indexes) {
  const std::size_t files = file_count();
  std::vector<bool> wanted(files, count == 0);
  for (ULONG i = 0; i < count; ++i) {
    if (indexes[i] >= files) return E_INVALIDARG;
    wanted[indexes[i]] = true;
  }
  if (!has_torrent()) return E_FAIL;
  std::vector<lt::download_priority_t> priorities;
  for (const bool w : wanted) priorities.push_back(w ? lt::default_priority : lt::dont_download);
  handle_.prioritize_files(priorities);
  {
    std::lock_guard<std::mutex> lock(lock_);
    files_.set_wanted(std::move(wanted));
  }
  // A file that is wanted now may be complete already.
  finalize_due_ = true;
  dirty_ = true;
  return S_OK;
}

HRESULT task_core::order_files(ULONG count, const ULONG* indexes) {
  const std::size_t files = file_count();
  for (ULONG i = 0; i < count; ++i)
    if (indexes[i] >= files) return E_INVALIDARG;
  if (!has_torrent()) return E_FAIL;
  std::vector<lt::download_priority_t> priorities(files, lt::dont_download);
  {
    std::lock_guard<std::mutex> lock(lock_);
    for (std::size_t i = 0; i < files; ++i)
      if (files_.wanted(i)) priorities[i] = lt::low_priority;
    // Earlier in the list, higher: 7, 6, ... and at least 2, above the unlisted files.
    for (ULONG i = count; i-- > 0;) {
      const ULONG index = indexes[i];
      if (files_.wanted(index))
        priorities[index] = lt::download_priority_t(static_cast<std::uint8_t>(std::max(7 - static_cast<int>(i), 2)));
    }
  }
  handle_.prioritize_files(priorities);
  return S_OK;
}

HRESULT task_core::set_piece_priorities(ULONG count, const ULONG* priorities) {
  if (!has_torrent()) return E_FAIL;
  const std::shared_ptr<const lt::torrent_info> torrent = handle_.torrent_file();
  if (!torrent || count > static_cast<ULONG>(torrent->num_pieces())) return E_INVALIDARG;
  std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> pieces;
  for (ULONG i = 0; i < count; ++i) {
    if (priorities[i] > static_cast<ULONG>(static_cast<std::uint8_t>(lt::top_priority))) return E_INVALIDARG;
    pieces.emplace_back(lt::piece_index_t(static_cast<int>(i)),
                        lt::download_priority_t(static_cast<std::uint8_t>(priorities[i])));
  }
  handle_.prioritize_pieces(pieces);
  return S_OK;
}

HRESULT task_core::set_download_limit(ULONG bytes_per_second) {
  if (!has_torrent()) return E_FAIL;
  handle_.set_download_limit(bytes_per_second == 0 ? -1 : static_cast<int>(std::min<ULONG>(bytes_per_second, INT_MAX)));
  return S_OK;
}

// ---------------------------------------------------------------------------
// Queries

void task_core::task_info(tagTASK_INFO& info) const {
  info = tagTASK_INFO{};
  if (!has_torrent()) {
    info.task_status = bt_task_failed;
    return;
  }
  const lt::torrent_status st = handle_.status();
  {
    std::lock_guard<std::mutex> lock(lock_);
    info.task_status = status_locked(st.state);
  }
  info.progress = progress_of(st);
  info.total_size = static_cast<ULONGLONG>(std::max<std::int64_t>(st.total_wanted, 0));
  info.done_size = static_cast<ULONGLONG>(std::max<std::int64_t>(st.total_wanted_done, 0));
  info.uploaded_size = static_cast<ULONGLONG>(std::max<std::int64_t>(st.all_time_upload, 0));
  info.download_rate = clamp_ulong(st.download_payload_rate);
  info.upload_rate = clamp_ulong(st.upload_payload_rate);
  info.peer_count = clamp_ulong(st.num_peers);
  info.seed_count = clamp_ulong(st.num_seeds);
}

void task_core::wanted_file_counts(ULONG& wanted, ULONG& complete) const {
  std::size_t w = 0;
  std::size_t c = 0;
  {
    std::lock_guard<std::mutex> lock(lock_);
    files_.counts(w, c);
  }
  wanted = clamp_ulong(static_cast<std::int64_t>(w));
  complete = clamp_ulong(static_cast<std::int64_t>(c));
}

HRESULT task_core::file_info(ULONG index, ULONGLONG& size, ULONGLONG& done, ULONG& state) const {
  if (index >= file_count()) return E_INVALIDARG;
  const layout_file& file = layout_.files()[index];
  size = static_cast<ULONGLONG>(file.size);
  done = 0;
  if (has_torrent()) {
    std::lock_guard<std::mutex> lock(progress_lock_);
    const clock::time_point now = clock::now();
    if (progress_.empty() || now - progress_time_ > kProgressAge) {
      progress_ = handle_.file_progress(lt::torrent_handle::piece_granularity);
      progress_time_ = now;
    }
    if (index < progress_.size()) done = static_cast<ULONGLONG>(progress_[index]);
  }
  std::lock_guard<std::mutex> lock(lock_);
  if (!files_.wanted(index))
    state = 0;
  else
    state = !files_.in_progress(index) && !files_.to_verify(index) && done == size ? 2 : 1;
  return S_OK;
}

HRESULT task_core::file_paths(ULONG index, std::string& inside, std::string& on_disk) const {
  if (index >= file_count()) return E_INVALIDARG;
  inside = layout_.files()[index].path;
  std::lock_guard<std::mutex> lock(lock_);
  on_disk = disk_path_locked(index);
  return S_OK;
}

void task_core::speeds(ULONG& download, ULONG& upload) const {
  download = upload = 0;
  if (!has_torrent()) return;
  const lt::torrent_status st = handle_.status();
  download = clamp_ulong(st.download_payload_rate);
  upload = clamp_ulong(st.upload_payload_rate);
}

ULONG task_core::peer_count() const {
  if (!has_torrent()) return 0;
  std::vector<lt::peer_info> peers;
  handle_.get_peer_info(peers);
  return static_cast<ULONG>(peers.size());
}

HRESULT task_core::peer_info(ULONG index, tagRESOURCE_INFO& info) const {
  if (!has_torrent()) return E_INVALIDARG;
  std::vector<lt::peer_info> peers;
  handle_.get_peer_info(peers);
  if (index >= peers.size()) return E_INVALIDARG;
  const lt::peer_info& peer = peers[index];
  const std::string described = peer_text(peer.ip, peer.client).substr(0, sizeof info.data);
  info = tagRESOURCE_INFO{};
  if (peer.flags & lt::peer_info::seed) info.value1 |= 1;
  if (!(peer.flags & lt::peer_info::local_connection)) info.value1 |= 2;
  if (peer.flags & (lt::peer_info::rc4_encrypted | lt::peer_info::plaintext_encrypted)) info.value1 |= 4;
  if (peer.flags & lt::peer_info::utp_socket) info.value1 |= 8;
  info.value2 = static_cast<ULONG>(described.size());
  std::memcpy(info.data, described.data(), described.size());
  info.value3 = clamp_ulong(peer.payload_down_speed);
  info.value4 = clamp_ulong(peer.payload_up_speed);
  info.value5 = clamp_ulong(peer.progress_ppm / (1000000 / bt_task_progress_scale));
  return S_OK;
}

void task_core::statistic(tagRESOURCE_STATISTIC& statistic) const {
  statistic = tagRESOURCE_STATISTIC{};
  if (!has_torrent()) return;
  const lt::torrent_status st = handle_.status();
  const std::shared_ptr<const lt::torrent_info> torrent = handle_.torrent_file();
  ULONG* v = statistic.values;
  v[0] = clamp_ulong(st.num_peers);
  v[1] = clamp_ulong(st.num_seeds);
  v[2] = clamp_ulong(st.list_peers);
  v[3] = swarm_count(st.num_complete);
  v[4] = swarm_count(st.num_incomplete);
  v[5] = clamp_ulong(st.download_payload_rate);
  v[6] = clamp_ulong(st.upload_payload_rate);
  v[7] = clamp_ulong(st.total_payload_download / 1024);
  v[8] = clamp_ulong(st.total_payload_upload / 1024);
  v[9] = torrent ? clamp_ulong(torrent->num_pieces()) : 0;
  v[10] = clamp_ulong(st.num_pieces);
  v[11] = torrent ? clamp_ulong(torrent->piece_length()) : 0;
}

bt_task_failure task_core::failure() const {
  std::lock_guard<std::mutex> lock(lock_);
  return failure_;
}

std::string task_core::failure_text() const {
  std::lock_guard<std::mutex> lock(lock_);
  return failure_ == bt_failure_none ? std::string() : failure_text_;
}

void task_core::transfer_totals(tagBT_TRANSFER_TOTALS& totals) const {
  totals = tagBT_TRANSFER_TOTALS{};
  if (!has_torrent()) return;
  const lt::torrent_status st = handle_.status();
  const auto bytes = [](std::int64_t value) { return static_cast<ULONGLONG>(std::max<std::int64_t>(value, 0)); };
  totals.received = bytes(st.total_payload_download);
  totals.sent = bytes(st.total_payload_upload);
  totals.received_all = bytes(st.all_time_download);
  totals.sent_all = bytes(st.all_time_upload);
  totals.wasted = bytes(st.total_failed_bytes + st.total_redundant_bytes);
}

std::vector<tracker_answer> task_core::trackers() const {
  if (!has_torrent()) return {};
  return swarm_.trackers(handle_.trackers());
}

// ---------------------------------------------------------------------------
// Kernel thread

void task_core::on_alert(const lt::alert& alert) {
  swarm_.note(alert);
  if (lt::alert_cast<lt::torrent_checked_alert>(&alert)) {
    on_checked();
  } else if (const auto* a = lt::alert_cast<lt::file_completed_alert>(&alert)) {
    const auto index = static_cast<std::size_t>(static_cast<int>(a->index));
    bool due;
    {
      std::lock_guard<std::mutex> lock(lock_);
      due = index < files_.size() && files_.rename_due(index);
    }
    if (due) begin_rename(index);
  } else if (const auto* a = lt::alert_cast<lt::file_renamed_alert>(&alert)) {
    const auto index = static_cast<std::size_t>(static_cast<int>(a->index));
    bool renaming;
    {
      std::lock_guard<std::mutex> lock(lock_);
      renaming = index < files_.size() && files_.renaming(index);
    }
    if (renaming) finish_rename(index);
  } else if (const auto* a = lt::alert_cast<lt::file_rename_failed_alert>(&alert)) {
    const auto index = static_cast<std::size_t>(static_cast<int>(a->index));
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (index < files_.size()) files_.set_renaming(index, false);
    }
    fail(failure_of(a->error), a->message());
  } else if (const auto* a = lt::alert_cast<lt::file_error_alert>(&alert)) {
    fail(failure_of(a->error), a->message());
  } else if (const auto* a = lt::alert_cast<lt::torrent_error_alert>(&alert)) {
    if (a->error) fail(failure_of(a->error), a->message());
  } else if (lt::alert_cast<lt::torrent_finished_alert>(&alert)) {
    finalize_files();
    save_if_running();
  } else if (const auto* a = lt::alert_cast<lt::save_resume_data_alert>(&alert)) {
    write_state(a->params);
    note_done(saves_done_);
  } else if (const auto* a = lt::alert_cast<lt::save_resume_data_failed_alert>(&alert)) {
    LOG4CPLUS_WARN(kernel_logger(), "task " << layout_.hash_hex() << ": state not saved: " << a->message());
    {
      std::lock_guard<std::mutex> lock(lock_);
      last_save_result_ = E_FAIL;
    }
    note_done(saves_done_);
  } else if (lt::alert_cast<lt::cache_flushed_alert>(&alert)) {
    note_done(flushes_done_);
  }
  dirty_ = true;
}

void task_core::on_checked() {
  if (!verify_existing_files()) return;
  verify_upload_data();
  finalize_files();
  // From now on the task can be continued.
  save_if_running();
}

bool task_core::verify_existing_files() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (!files_.any_to_verify()) return true;
  }
  const std::vector<std::int64_t> progress = handle_.file_progress(lt::torrent_handle::piece_granularity);
  for (std::size_t i = 0; i < file_count() && i < progress.size(); ++i) {
    bool check;
    {
      std::lock_guard<std::mutex> lock(lock_);
      check = files_.to_verify(i);
    }
    const std::int64_t size = layout_.files()[i].size;
    if (check && progress[i] != size) {
      fail(bt_failure_file_conflict, final_path(i) + " was on disk before and does not hold the torrent's content (" +
                                         std::to_string(progress[i]) + " of " + std::to_string(size) +
                                         " bytes match); it is left as it is");
      return false;
    }
  }
  {
    std::lock_guard<std::mutex> lock(lock_);
    files_.clear_to_verify();
  }
  // What is on disk is the torrent's: the download may write now.
  if (kind_ != task_kind::upload) handle_.unset_flags(lt::torrent_flags::upload_mode);
  return true;
}

void task_core::verify_upload_data() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (kind_ != task_kind::upload || run_ != run_state::started || failure_ != bt_failure_none) return;
  }
  const lt::torrent_status st = handle_.status();
  // A torrent still being checked is looked at again when the check is over.
  if (is_checking(st.state)) return;
  if (!st.is_finished) {
    fail(bt_failure_data_incomplete, first_missing_file());
    return;
  }
  std::lock_guard<std::mutex> lock(lock_);
  data_complete_ = true;
}

std::string task_core::first_missing_file() const {
  const std::vector<std::int64_t> progress = handle_.file_progress(lt::torrent_handle::piece_granularity);
  const std::string where = " (files go straight into the data folder " + data_folder_ + ")";
  for (std::size_t i = 0; i < file_count() && i < progress.size(); ++i) {
    const layout_file& file = layout_.files()[i];
    std::string path;
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (!files_.wanted(i) || file.pad || progress[i] == file.size) continue;
      path = disk_path_locked(i);
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return "the data to upload is not complete: " + path + " is missing" + where;
    if (st.st_size != file.size)
      return "the data to upload is not complete: " + path + " has " + std::to_string(st.st_size) +
             " bytes, the torrent's file " + std::to_string(file.size);
    return "the data to upload is not complete: " + path + " does not hold the torrent's data (" +
           std::to_string(progress[i]) + " of " + std::to_string(file.size) + " bytes verified)";
  }
  return "the data to upload is not complete on disk";
}

void task_core::on_status(const lt::torrent_status& status) {
  if (status.num_peers > 0) {
    std::vector<lt::peer_info> peers;
    handle_.get_peer_info(peers);
    swarm_.note_peers(peers);
  }
  publish(status);
  if (saves_.interval.count() == 0 || is_checking(status.state)) return;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (run_ != run_state::started || !state_worth_saving_locked()) return;
  }
  const clock::time_point now = clock::now();
  const clock::duration gap = std::max<clock::duration>(kLeastSaveGap, kSaveCostFactor * last_save_cost_);
  if (now - last_save_ < gap || status.total_done == saved_done_) return;
  if (status.total_done - saved_done_ >= saves_.bytes || now - last_save_ >= saves_.interval) {
    saved_done_ = status.total_done;
    save_state();
  }
}

void task_core::refresh() {
  if (finalize_due_.exchange(false)) finalize_files();
  if (verify_due_.exchange(false)) verify_upload_data();
  if (dirty_.exchange(false)) publish();
}

void task_core::resync() {
  if (!has_torrent()) return;
  LOG4CPLUS_WARN(kernel_logger(), "task " << layout_.hash_hex() << ": alerts were lost; its view is taken anew");
  if (!is_checking(handle_.status().state) && !verify_existing_files()) return;
  // Renames whose answers were lost: libtorrent's names tell.
  if (const std::shared_ptr<const lt::torrent_info> torrent = handle_.torrent_file()) {
    const lt::file_storage& names = torrent->files();
    for (std::size_t i = 0; i < file_count(); ++i) {
      bool renaming;
      {
        std::lock_guard<std::mutex> lock(lock_);
        renaming = files_.renaming(i);
      }
      if (renaming && names.file_path(lt::file_index_t(static_cast<int>(i))) == layout_.files()[i].path)
        finish_rename(i);
    }
  }
  finalize_files();
  verify_due_ = kind_ == task_kind::upload;
  dirty_ = true;
}

void task_core::publish() {
  if (has_torrent()) publish(handle_.status());
}

void task_core::publish(const lt::torrent_status& st) {
  const ULONG progress = progress_of(st);
  bt_task_status status;
  bool status_changed;
  bool progress_changed;
  {
    std::lock_guard<std::mutex> lock(lock_);
    status = status_locked(st.state);
    status_changed = status != reported_status_;
    progress_changed = progress != reported_progress_ && run_ == run_state::started;
    reported_status_ = status;
    if (progress_changed) reported_progress_ = progress;
  }
  if (progress_changed) events_.broadcast(&IBtTaskEvents::OnBtTaskEvent2, static_cast<ULONG_PTR>(progress));
  if (status_changed) events_.broadcast(&IBtTaskEvents::OnBtTaskEvent1, static_cast<ULONG_PTR>(status));
}

void task_core::reconnect_direct_peers() {
  if (direct_peers_.empty() || !has_torrent()) return;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (run_ != run_state::started || failure_ != bt_failure_none) return;
  }
  const lt::torrent_status st = handle_.status();
  if ((st.flags & lt::torrent_flags::paused) || is_checking(st.state)) return;  // libtorrent refuses connections then
  for (const lt::tcp::endpoint& peer : direct_peers_) handle_.connect_peer(peer);
}

bool task_core::state_worth_saving_locked() const {
  // A task that found another's file in the way, or another task running,
  // wrote nothing; an upload task has nothing to keep before its data is
  // found whole.
  if (failure_ == bt_failure_file_conflict || failure_ == bt_failure_busy) return false;
  return kind_ != task_kind::upload || data_complete_;
}

void task_core::save_if_running() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (run_ != run_state::started || !state_worth_saving_locked()) return;
  }
  save_state();
}

void task_core::save_state() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    ++saves_asked_;
  }
  last_save_ = clock::now();
  try {
    // Written pieces reach the files before the state says they are there.
    handle_.save_resume_data(lt::torrent_handle::flush_disk_cache);
  } catch (...) {
    note_done(saves_done_);
    throw;
  }
}

void task_core::release() {
  bool running;
  {
    std::lock_guard<std::mutex> lock(lock_);
    running = run_ == run_state::started;
  }
  // The stop asks for its save before the core counts as released, so that
  // the session never removes the torrent before that save is done.
  if (running && has_torrent()) stop(false, false);
  std::lock_guard<std::mutex> lock(lock_);
  released_ = true;
}

bool task_core::released() const {
  std::lock_guard<std::mutex> lock(lock_);
  return released_;
}

bool task_core::saves_pending() const {
  std::lock_guard<std::mutex> lock(lock_);
  return saves_done_ < saves_asked_ || flushes_done_ < flushes_asked_;
}

bt_task_status task_core::status_locked(lt::torrent_status::state_t state) const {
  if (failure_ != bt_failure_none) return bt_task_failed;
  if (run_ == run_state::idle) return bt_task_idle;
  if (run_ == run_state::stopped) return bt_task_stopped;
  const bool all_final = files_.all_wanted_final() && unannounced_ == 0 && !files_.any_to_verify();
  switch (state) {
    case lt::torrent_status::checking_files:
    case lt::torrent_status::checking_resume_data:
      return bt_task_checking;
    case lt::torrent_status::finished:
      return all_final ? bt_task_finished : bt_task_downloading;
    case lt::torrent_status::seeding:
      return all_final ? bt_task_seeding : bt_task_downloading;
    default:
      return bt_task_downloading;
  }
}

void task_core::fail(bt_task_failure failure, const std::string& detail) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (failure_ != bt_failure_none) return;
    failure_ = failure;
    failure_text_ = detail;
  }
  LOG4CPLUS_ERROR(kernel_logger(), "task " << layout_.hash_hex() << " failed with " << failure << ": " << detail);
  handle_.pause();
  events_.broadcast(&IBtTaskEvents::OnBtTaskEvent4, static_cast<ULONG_PTR>(failure));
  dirty_ = true;
}

void task_core::finalize_files() {
  if (!has_torrent()) return;
  const std::vector<std::int64_t> progress = handle_.file_progress(lt::torrent_handle::piece_granularity);
  std::vector<std::size_t> complete;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (files_.any_to_verify()) return;  // nothing is named before the check
    for (std::size_t i = 0; i < progress.size() && i < files_.size(); ++i)
      if (files_.rename_due(i) && progress[i] == layout_.files()[i].size) complete.push_back(i);
  }
  for (const std::size_t index : complete) begin_rename(index);
}

void task_core::begin_rename(std::size_t index) {
  // Never over a file that is there: it is not this task's.
  struct stat st;
  if (::lstat(final_path(index).c_str(), &st) == 0) {
    fail(bt_failure_file_conflict, final_path(index) + " appeared while the task ran; the finished file keeps its " +
                                       kInProgressSuffix + " name and that file is left as it is");
    return;
  }
  {
    std::lock_guard<std::mutex> lock(lock_);
    files_.set_renaming(index, true);
  }
  handle_.rename_file(lt::file_index_t(static_cast<int>(index)), layout_.files()[index].path);
}

void task_core::finish_rename(std::size_t index) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    files_.set_final(index);
    ++unannounced_;
  }
  {
    std::lock_guard<std::mutex> lock(progress_lock_);
    progress_.clear();  // taken anew at the next query
  }
  events_.broadcast(&IBtTaskEvents::OnBtTaskEvent3, static_cast<ULONG_PTR>(index));
  {
    std::lock_guard<std::mutex> lock(lock_);
    --unannounced_;
  }
  dirty_ = true;
}

void task_core::write_state(const lt::add_torrent_params& params) {
  const clock::time_point began = clock::now();
  sync_written_files();
  const int error = write_task_state(resume_path_, params, take_proof(data_folder_, data_folder_abs_, layout_));
  if (error != 0)
    LOG4CPLUS_ERROR(kernel_logger(), "cannot write " << resume_path_ << ": " << std::strerror(error));
  last_save_cost_ = clock::now() - began;
  std::lock_guard<std::mutex> lock(lock_);
  last_save_result_ = error == 0 ? S_OK : E_FAIL;
}

void task_core::sync_written_files() {
  const std::vector<std::int64_t> progress = handle_.file_progress(lt::torrent_handle::piece_granularity);
  synced_progress_.resize(progress.size(), 0);
  for (std::size_t i = 0; i < progress.size() && i < file_count(); ++i) {
    if (progress[i] == synced_progress_[i]) continue;
    // Under either name: a rename may be under way.
    const std::string final_name = final_path(i);
    if (sync_file(final_name + kInProgressSuffix) && sync_file(final_name)) synced_progress_[i] = progress[i];
  }
}

void task_core::note_done(std::uint64_t& counter) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    ++counter;
  }
  work_done_.notify_all();
}

std::string task_core::final_path(std::size_t index) const {
  return join_path(data_folder_, layout_.files()[index].path);
}

std::string task_core::disk_path_locked(std::size_t index) const {
  return final_path(index) + (files_.in_progress(index) ? kInProgressSuffix : "");
}
