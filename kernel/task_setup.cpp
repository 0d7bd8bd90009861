#include "kernel/task_setup.h"

#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "common/utility.h"
#include "kernel/kernel_call.h"

namespace {

constexpr char kPeerScheme[] = "peer://";
// Resume states larger than this are not any kernel's.
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

// The whole file, or false when it cannot be read.
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

bool data_folder_ready(const std::string& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  if (std::filesystem::exists(folder, ec)) return false;
  return std::filesystem::create_directories(folder, ec) && !ec;
}

// The resume state of this torrent, or nothing when there is none or it is
// another torrent's or unreadable (the data is then checked instead).
bool read_resume(const std::string& path, const lt::torrent_info& torrent, lt::add_torrent_params& out) {
  std::vector<char> data;
  if (!is_file(path) || !read_seed(path, data) || data.empty()) return false;
  lt::error_code ec;
  lt::add_torrent_params params = lt::read_resume_data(data, ec);
  if (ec) {
    LOG4CPLUS_WARN(kernel_logger(), "resume state " << path << " unreadable (" << ec.message()
                                                    << "); the data will be checked");
    return false;
  }
  if (params.info_hashes.has_v1() && params.info_hashes.v1 != torrent.info_hashes().v1) {
    LOG4CPLUS_WARN(kernel_logger(), "resume state " << path << " belongs to another torrent; ignored");
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
  loaded_seed seed;
  bt_task_failure failure = bt_failure_none;
  std::string why;
  if (!load_seed(request.seed_path, seed, failure, why)) return failed(failure, request.seed_path + ": " + why);
  const std::shared_ptr<lt::torrent_info> torrent = std::move(seed.torrent);
  task_plan plan;
  plan.layout = std::move(seed.layout);
  const std::size_t file_count = plan.layout.files().size();
  for (const ULONG index : request.selection)
    if (index >= file_count)
      return failed(bt_failure_bad_selection, "file index " + std::to_string(index) + " of " +
                                                  std::to_string(file_count) + " files");
  if (!data_folder_ready(request.data_folder))
    return failed(bt_failure_data_folder, request.data_folder + " is not a folder and cannot be made one");

  plan.resume_path = resume_state_path(request.seed_path, plan.layout.hash_hex());
  lt::add_torrent_params& params = plan.params;
  if (request.kind != task_kind::new_download && read_resume(plan.resume_path, *torrent, params))
    LOG4CPLUS_INFO(kernel_logger(), "continuing from " << plan.resume_path);

  params.ti = torrent;
  params.save_path = request.data_folder;
  // Limits belong to the task object that was given them, not to the data.
  params.download_limit = params.upload_limit = -1;
  params.max_connections = params.max_uploads = -1;
  params.flags = lt::torrent_flags::paused | lt::torrent_flags::duplicate_is_error |
                 lt::torrent_flags::update_subscribe | lt::torrent_flags::apply_ip_filter;
  if (request.kind == task_kind::upload) params.flags |= lt::torrent_flags::upload_mode;
  params.trackers.insert(params.trackers.end(), request.trackers.begin(), request.trackers.end());
  params.peers.insert(params.peers.end(), request.peers.begin(), request.peers.end());
  plan.direct_peers = request.peers;

  plan.wanted.assign(file_count, request.selection.empty());
  for (const ULONG index : request.selection) plan.wanted[index] = true;
  plan.in_progress.assign(file_count, false);
  params.file_priorities.clear();
  params.renamed_files.clear();
  for (std::size_t i = 0; i < file_count; ++i) {
    const layout_file& file = plan.layout.files()[i];
    const lt::file_index_t index(static_cast<int>(i));
    params.file_priorities.push_back(plan.wanted[i] ? lt::default_priority : lt::dont_download);
    if (file.pad) continue;
    const std::string final_path = join_path(request.data_folder, file.path);
    plan.in_progress[i] = file.size > 0 && (is_file(final_path + kInProgressSuffix) || !is_file(final_path));
    params.renamed_files[index] = plan.in_progress[i] ? file.path + kInProgressSuffix : file.path;
  }
  return plan;
}
