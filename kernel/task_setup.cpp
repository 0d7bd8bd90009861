#include "kernel/task_setup.h"

#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "common/utility.h"
#include "kernel/kernel_call.h"

namespace {

constexpr char kPeerScheme[] = "peer://";
// Seeds larger than this are not torrents anyone makes.
constexpr std::uintmax_t kSeedSizeLimit = 64u << 20;

bool parse_peer(const std::string& text, lt::tcp::endpoint& out) {
  std::string address;
  std::uint16_t port = 0;
  if (!split_host_port(text, address, port)) return false;
  lt::error_code ec;
  const lt::address ip = lt::make_address(address, ec);
  if (ec) return false;
  out = lt::tcp::endpoint(ip, port);
  return true;
}

bool is_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

task_plan failed(bt_task_failure code, std::string detail) {
  task_plan plan;
  plan.failure = code;
  plan.detail = std::move(detail);
  return plan;
}

// The whole seed file, or false when it cannot be read.
bool read_seed(const std::string& path, std::vector<char>& out) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kSeedSizeLimit) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Makes `folder` (with its parents) unless `create` is false; false with
// `why` set when it is not a folder afterwards.
bool data_folder_ready(const std::string& folder, bool create, std::string& why) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  if (std::filesystem::exists(folder, ec)) {
    why = folder + " is not a folder";
  } else if (!create) {
    why = "the data folder " + folder + " does not exist";
  } else if (!std::filesystem::create_directories(folder, ec) || ec) {
    why = folder + " cannot be made: " + (ec ? ec.message() : std::string("it is not a folder"));
  } else {
    return true;
  }
  return false;
}

std::string absolute_folder(const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
  return ec ? folder : resolved.string();
}

// libtorrent's view of the files must be the layout's, index for index.
bool same_files(const lt::file_storage& files, const torrent_layout& layout) {
  if (files.num_files() != static_cast<int>(layout.files().size())) return false;
  for (const lt::file_index_t i : files.file_range()) {
    const layout_file& file = layout.files()[static_cast<std::size_t>(static_cast<int>(i))];
    if (files.file_size(i) != file.size || files.pad_file_at(i) != file.pad) return false;
  }
  return true;
}

// Takes the task's lock beside the seed. Without a place for it (a
// read-only seed folder) the task runs unlocked; its state cannot be saved
// there either, which its stop reports.
bt_task_failure take_lock(task_plan& plan, const std::string& seed_path, std::string& why) {
  const std::string path = seed_folder(seed_path) + plan.layout.hash_hex() + kLockSuffix;
  long holder = 0;
  switch (plan.lock.acquire(path, holder)) {
    case state_lock::result::held:
      return bt_failure_none;
    case state_lock::result::busy:
      if (holder == ::getpid()) {
        why = "this process already runs a task of this download (" + path + ")";
        return bt_failure_duplicate;
      }
      why = "another task runs this download: " + path + " is held" +
            (holder > 0 ? " by process " + std::to_string(holder) : std::string());
      return bt_failure_busy;
    case state_lock::result::unavailable:
      LOG4CPLUS_WARN(kernel_logger(), "cannot make the lock " << path << ": " << std::strerror(static_cast<int>(holder))
                                                             << "; the task runs without it");
      return bt_failure_none;
  }
  return bt_failure_none;
}

// The task's saved state, when it provably describes the data on disk now.
bool read_proven_state(const task_plan& plan, const task_request& request, const lt::torrent_info& torrent,
                       lt::add_torrent_params& out) {
  lt::add_torrent_params params;
  state_proof saved;
  std::string why;
  if (!read_task_state(plan.resume_path, torrent, params, saved, why)) {
    if (!why.empty())
      LOG4CPLUS_WARN(kernel_logger(), "state " << plan.resume_path << " not used: " << why << "; the data will be checked");
    return false;
  }
  why = proof_difference(saved, take_proof(request.data_folder, plan.data_folder_abs, plan.layout), plan.layout);
  if (!why.empty()) {
    LOG4CPLUS_WARN(kernel_logger(), "state " << plan.resume_path << " not used: " << why << "; the data will be checked");
    return false;
  }
  out = std::move(params);
  return true;
}

}  // namespace

HRESULT read_tracker_items(ULONG count, const SEED_TRACKER_ITEM* items, task_request& request) {
  for (ULONG i = 0; i < count; ++i) {
    if (items[i].url_len > SEED_TRACKER_URL_MAX) return E_INVALIDARG;
    const std::string text(items[i].url, items[i].url_len);
    if (text.empty()) continue;
    if (text.compare(0, std::strlen(kPeerScheme), kPeerScheme) == 0) {
      lt::tcp::endpoint peer;
      if (!parse_peer(text.substr(std::strlen(kPeerScheme)), peer)) return E_INVALIDARG;
      request.peers.push_back(peer);
    } else {
      request.trackers.push_back(text);
    }
  }
  return S_OK;
}

task_plan plan_task(const task_request& request) {
  std::vector<char> seed;
  if (!read_seed(request.seed_path, seed)) return failed(bt_failure_seed_unreadable, "cannot read " + request.seed_path);
  lt::error_code ec;
  auto torrent = std::make_shared<lt::torrent_info>(lt::span<char const>(seed), ec, lt::from_span);
  if (ec) return failed(bt_failure_seed_invalid, request.seed_path + ": " + ec.message());

  task_plan plan;
  std::string why;
  if (!torrent_layout::read(torrent->info_section(), plan.layout, why))
    return failed(bt_failure_seed_invalid, request.seed_path + ": " + why);
  if (!same_files(torrent->files(), plan.layout))
    return failed(bt_failure_seed_invalid, request.seed_path + ": the file list does not match the info dictionary");
  const std::size_t file_count = plan.layout.files().size();
  for (const ULONG index : request.selection)
    if (index >= file_count)
      return failed(bt_failure_bad_selection, "file index " + std::to_string(index) + " of " +
                                                  std::to_string(file_count) + " files");
  if (!data_folder_ready(request.data_folder, request.kind != task_kind::upload, why))
    return failed(request.kind == task_kind::upload ? bt_failure_data_incomplete : bt_failure_data_folder, why);
  plan.data_folder_abs = absolute_folder(request.data_folder);
  if (const bt_task_failure locked = take_lock(plan, request.seed_path, why); locked != bt_failure_none)
    return failed(locked, why);

  plan.resume_path = resume_state_path(request.seed_path, plan.layout.hash_hex());
  lt::add_torrent_params& params = plan.params;
  // Proven by the state: its files are as it says, nothing to verify.
  const bool proven = request.kind != task_kind::new_download && read_proven_state(plan, request, *torrent, params);
  if (proven) LOG4CPLUS_INFO(kernel_logger(), "continuing from " << plan.resume_path);

  params.ti = torrent;
  params.save_path = request.data_folder;
  // Limits belong to the task object that was given them, not to the data.
  params.download_limit = params.upload_limit = -1;
  params.max_connections = params.max_uploads = -1;
  params.flags = lt::torrent_flags::paused | lt::torrent_flags::duplicate_is_error |
                 lt::torrent_flags::update_subscribe | lt::torrent_flags::apply_ip_filter;
  params.trackers.insert(params.trackers.end(), request.trackers.begin(), request.trackers.end());
  params.peers.insert(params.peers.end(), request.peers.begin(), request.peers.end());
  plan.direct_peers = request.peers;

  plan.wanted.assign(file_count, request.selection.empty());
  for (const ULONG index : request.selection) plan.wanted[index] = true;
  plan.in_progress.assign(file_count, false);
  plan.to_verify.assign(file_count, false);
  params.file_priorities.clear();
  params.renamed_files.clear();
  bool verify_first = false;
  for (std::size_t i = 0; i < file_count; ++i) {
    const layout_file& file = plan.layout.files()[i];
    const lt::file_index_t index(static_cast<int>(i));
    params.file_priorities.push_back(plan.wanted[i] ? lt::default_priority : lt::dont_download);
    if (file.pad) continue;
    const std::string final_path = join_path(request.data_folder, file.path);
    struct stat st;
    const bool final_there = ::lstat(final_path.c_str(), &st) == 0;
    // An upload's data is there under its final names, or it is missing.
    bool in_progress = file.size > 0 && request.kind != task_kind::upload;
    if (is_file(final_path + kInProgressSuffix)) {
      in_progress = true;
    } else if (final_there) {
      const bool same_size = S_ISREG(st.st_mode) && st.st_size == file.size;
      if (same_size) {
        in_progress = false;
        plan.to_verify[i] = request.kind != task_kind::upload && !proven;
      } else if (plan.wanted[i] && request.kind != task_kind::upload) {
        return failed(bt_failure_file_conflict,
                      final_path + (S_ISREG(st.st_mode) ? " is on disk with " + std::to_string(st.st_size) +
                                                              " bytes, not the torrent's " + std::to_string(file.size) +
                                                              "; it is left as it is"
                                                        : " is on disk and is not a file; it is left as it is"));
      } else {
        // Another file that has the name: never written, the task's own
        // bytes go to its ".bt.td" name.
        in_progress = request.kind != task_kind::upload;
      }
    }
    plan.in_progress[i] = in_progress;
    verify_first = verify_first || plan.to_verify[i];
    params.renamed_files[index] = in_progress ? file.path + kInProgressSuffix : file.path;
  }
  // Nothing is written before what was there is known to be the torrent's.
  if (request.kind == task_kind::upload || verify_first) params.flags |= lt::torrent_flags::upload_mode;
  return plan;
}
