#include "kernel/fetch_core.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include <iterator>

#include "kernel/kernel_call.h"

namespace {

// No file can be made under a device: the guard of last resort should
// libtorrent ever try to write a fetch's torrent.
constexpr char kFetchSavePath[] = "/dev/null/bt_fetch";

}  // namespace

const char kFetchOfTaskedTorrent[] = "10008: the kernel already runs a task of this torrent";

fetch_core::fetch_core(const lt::add_torrent_params& params) : link_(params), info_hash_(params.info_hashes.v1) {}

lt::add_torrent_params fetch_core::fetch_params() const {
  lt::add_torrent_params params = link_;
  params.save_path = kFetchSavePath;
  params.file_priorities.clear();  // the link's selection: no file is wanted at all
  params.flags = lt::torrent_flags::upload_mode | lt::torrent_flags::default_dont_download |
                 lt::torrent_flags::duplicate_is_error | lt::torrent_flags::apply_ip_filter;
  return params;
}

bt_fetch_state fetch_core::state(ULONG* peers) const {
  bt_fetch_state state;
  {
    std::lock_guard<std::mutex> lock(lock_);
    state = state_;
  }
  if (peers) {
    *peers = 0;
    if (state == bt_fetch_running) {
      try {
        *peers = static_cast<ULONG>(handle_.status(lt::torrent_handle::status_flags_t{}).num_peers);
      } catch (const lt::system_error&) {
        // The torrent left the session meanwhile: the fetch has just ended.
      }
    }
  }
  return state;
}

bool fetch_core::seed(std::string& bytes) const {
  std::lock_guard<std::mutex> lock(lock_);
  if (state_ != bt_fetch_done) return false;
  bytes = seed_;
  return true;
}

std::string fetch_core::failure_text() const {
  std::lock_guard<std::mutex> lock(lock_);
  return failure_;
}

bool fetch_core::fail(const std::string& text) {
  std::lock_guard<std::mutex> lock(lock_);
  if (state_ != bt_fetch_running) return false;
  state_ = bt_fetch_failed;
  failure_ = text;
  LOG4CPLUS_WARN(kernel_logger(), "metadata fetch " << info_hash_ << " failed: " << text);
  return true;
}

void fetch_core::reconnect_link_peers() {
  if (link_.peers.empty() || state(nullptr) != bt_fetch_running) return;
  try {
    for (const lt::tcp::endpoint& peer : link_.peers) handle_.connect_peer(peer);
  } catch (const lt::system_error&) {
    // The torrent left the session meanwhile: the fetch has just ended.
  }
}

bool fetch_core::on_alert(const lt::alert& alert) {
  if (const auto* a = lt::alert_cast<lt::metadata_received_alert>(&alert)) {
    finish(a->handle);
    return true;
  }
  if (const auto* a = lt::alert_cast<lt::torrent_error_alert>(&alert)) return fail(a->error.message());
  return false;
}

void fetch_core::finish(const lt::torrent_handle& torrent) {
  const std::shared_ptr<const lt::torrent_info> info = torrent.torrent_file();
  if (!info || !info->is_valid()) {
    fail("libtorrent reported the metadata but does not give it");
    return;
  }
  const lt::span<char const> section = info->info_section();
  // libtorrent also takes metadata whose SHA-256 begins with the link's
  // hash (a torrent of BitTorrent v2 only); a seed needs the SHA-1.
  if (lt::hasher(section).final() != info_hash_) {
    fail("the metadata received is not that of the link: its SHA-1 is not the info hash");
    return;
  }
  std::string bytes = seed_from_metadata(section, link_.trackers);
  std::lock_guard<std::mutex> lock(lock_);
  if (state_ != bt_fetch_running) return;
  seed_ = std::move(bytes);
  state_ = bt_fetch_done;
  LOG4CPLUS_INFO(kernel_logger(), "metadata fetch " << info_hash_ << ": " << section.size()
                                                    << " bytes of metadata received");
}

std::string seed_from_metadata(lt::span<char const> info, const std::vector<std::string>& trackers) {
  lt::entry seed(lt::entry::dictionary_t);
  if (!trackers.empty()) seed["announce"] = trackers.front();
  if (trackers.size() > 1) {
    lt::entry::list_type tiers;
    for (const std::string& tracker : trackers) tiers.emplace_back(lt::entry::list_type{lt::entry(tracker)});
    seed["announce-list"] = std::move(tiers);
  }
  seed["info"] = lt::entry(lt::entry::preformatted_type(info.begin(), info.end()));
  std::string bytes;
  lt::bencode(std::back_inserter(bytes), seed);
  return bytes;
}
