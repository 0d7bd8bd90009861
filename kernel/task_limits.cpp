#include "kernel/task_limits.h"

#include <cctype>

#include "interfaces/seed_naming.h"
#include "kernel/kernel_settings.h"

namespace {

// libtorrent's "no limit", for rates and connections alike.
constexpr int kUnlimited = -1;

int libtorrent_limit(int limit) { return limit == 0 ? kUnlimited : limit; }

}  // namespace

bool change_task_limit(task_limits& limits, const std::string& key, const std::string& value) {
  int* target = key == "download_rate_limit" ? &limits.download_rate
                : key == "upload_rate_limit" ? &limits.upload_rate
                : key == "connections_limit" ? &limits.connections
                                             : nullptr;
  return target && parse_setting_number(value, *target);
}

void apply_task_limits(const task_limits& limits, lt::add_torrent_params& params) {
  params.download_limit = libtorrent_limit(limits.download_rate);
  params.upload_limit = libtorrent_limit(limits.upload_rate);
  params.max_connections = libtorrent_limit(limits.connections);
}

void apply_task_limits(const task_limits& limits, const lt::torrent_handle& torrent) {
  torrent.set_download_limit(libtorrent_limit(limits.download_rate));
  torrent.set_upload_limit(libtorrent_limit(limits.upload_rate));
  torrent.set_max_connections(libtorrent_limit(limits.connections));
}

bool upper_case_info_hash(const std::string& text, std::string& hash_hex) {
  if (text.size() != 2 * kInfoHashSize) return false;
  std::string upper;
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  hash_hex = std::move(upper);
  return true;
}
