#include "kernel/kernel_settings.h"

#include <libtorrent/alert.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "com_utility/module_location.h"
#include "common/utility.h"
#include "kernel/kernel_call.h"
#include "platform/profile.h"

namespace {

// The alerts the kernel acts on or logs.
constexpr lt::alert_category_t kAlertMask = lt::alert_category::error | lt::alert_category::status |
                                            lt::alert_category::storage | lt::alert_category::file_progress |
                                            lt::alert_category::tracker | lt::alert_category::port_mapping |
                                            lt::alert_category::connect;
// The longest value the file's reader takes.
constexpr DWORD kValueBufferSize = 1024;
constexpr int kMibShift = 20;

enum class value_kind {
  listen_list,   // ADDRESS:PORT, ...
  address_list,  // ADDRESS, ... or empty
  flag,
  number,
};

struct setting_value {
  std::string text;
  bool flag = false;
  int number = 0;
};

// One key of the file: how its value reads, where it goes, how it is shown.
struct setting_key {
  const char* section;
  const char* key;
  value_kind kind;
  void (*store)(kernel_settings&, const setting_value&);
  std::string (*show)(const kernel_settings&);
};

template <int Name>
void store_text(kernel_settings& s, const setting_value& v) {
  s.pack.set_str(Name, v.text);
}
template <int Name>
std::string show_text(const kernel_settings& s) {
  return s.pack.get_str(Name);
}
template <int... Names>
void store_flag(kernel_settings& s, const setting_value& v) {
  (s.pack.set_bool(Names, v.flag), ...);
}
template <int Name>
std::string show_flag(const kernel_settings& s) {
  return s.pack.get_bool(Name) ? "1" : "0";
}
template <int Name>
void store_number(kernel_settings& s, const setting_value& v) {
  s.pack.set_int(Name, v.number);
}
template <int Name>
std::string show_number(const kernel_settings& s) {
  return std::to_string(s.pack.get_int(Name));
}

using sp = lt::settings_pack;

const setting_key kKeys[] = {
    {"session", "listen_interfaces", value_kind::listen_list, store_text<sp::listen_interfaces>,
     show_text<sp::listen_interfaces>},
    {"session", "outgoing_interfaces", value_kind::address_list, store_text<sp::outgoing_interfaces>,
     show_text<sp::outgoing_interfaces>},
    {"session", "dht", value_kind::flag, store_flag<sp::enable_dht>, show_flag<sp::enable_dht>},
    {"session", "local_peer_discovery", value_kind::flag, store_flag<sp::enable_lsd>, show_flag<sp::enable_lsd>},
    {"session", "upnp", value_kind::flag, store_flag<sp::enable_upnp>, show_flag<sp::enable_upnp>},
    {"session", "natpmp", value_kind::flag, store_flag<sp::enable_natpmp>, show_flag<sp::enable_natpmp>},
    {"session", "utp", value_kind::flag, store_flag<sp::enable_outgoing_utp, sp::enable_incoming_utp>,
     show_flag<sp::enable_outgoing_utp>},
    {"session", "download_rate_limit", value_kind::number, store_number<sp::download_rate_limit>,
     show_number<sp::download_rate_limit>},
    {"session", "upload_rate_limit", value_kind::number, store_number<sp::upload_rate_limit>,
     show_number<sp::upload_rate_limit>},
    {"session", "connections_limit", value_kind::number, store_number<sp::connections_limit>,
     show_number<sp::connections_limit>},
    {"session", "multiple_connections_per_ip", value_kind::flag, store_flag<sp::allow_multiple_connections_per_ip>,
     show_flag<sp::allow_multiple_connections_per_ip>},
    {"session", "rate_limit_local_network", value_kind::flag,
     [](kernel_settings& s, const setting_value& v) { s.rate_limit_local_network = v.flag; },
     [](const kernel_settings& s) { return std::string(s.rate_limit_local_network ? "1" : "0"); }},
    {"resume", "save_interval", value_kind::number,
     [](kernel_settings& s, const setting_value& v) { s.saves.interval = std::chrono::seconds(v.number); },
     [](const kernel_settings& s) { return std::to_string(s.saves.interval.count()); }},
    {"resume", "save_after_mib", value_kind::number,
     [](kernel_settings& s, const setting_value& v) { s.saves.bytes = std::int64_t{v.number} << kMibShift; },
     [](const kernel_settings& s) { return std::to_string(s.saves.bytes >> kMibShift); }},
};

const setting_key* find_key(const std::string& name) {
  for (const setting_key& k : kKeys)
    if (name == std::string(k.section) + "." + k.key) return &k;
  return nullptr;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Each comma-separated item, trimmed, must satisfy `valid`.
template <class Valid>
bool every_item(const std::string& text, Valid&& valid) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (item.empty() || item.find_first_of(" \t") != std::string::npos || !valid(item)) return false;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool valid_listen_item(std::string item) {
  // libtorrent's flags after the port: "s" (SSL) and "l" (local network only).
  while (!item.empty() && (item.back() == 's' || item.back() == 'l')) item.pop_back();
  std::string host;
  std::uint16_t port = 0;
  return split_host_port(item, host, port, /*lowest=*/0);
}

bool parse_flag(const std::string& given, bool& out) {
  const std::string text = to_lower_ascii(given);
  if (text == "1" || text == "true" || text == "yes" || text == "on") {
    out = true;
  } else if (text == "0" || text == "false" || text == "no" || text == "off") {
    out = false;
  } else {
    return false;
  }
  return true;
}

bool parse_value(value_kind kind, const std::string& text, setting_value& out) {
  switch (kind) {
    case value_kind::listen_list:
      out.text = text;
      return every_item(text, valid_listen_item);
    case value_kind::address_list:
      out.text = text;
      return trimmed(text).empty() || every_item(text, [](const std::string&) { return true; });
    case value_kind::flag:
      return parse_flag(text, out.flag);
    case value_kind::number:
      return parse_setting_number(text, out.number);
  }
  return false;
}

lt::settings_pack default_pack() {
  lt::settings_pack pack;
  pack.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:6881,[::]:6881");
  pack.set_bool(lt::settings_pack::enable_dht, true);
  pack.set_bool(lt::settings_pack::enable_lsd, true);
  pack.set_bool(lt::settings_pack::enable_upnp, true);
  pack.set_bool(lt::settings_pack::enable_natpmp, true);
  pack.set_int(lt::settings_pack::download_rate_limit, 0);
  pack.set_int(lt::settings_pack::upload_rate_limit, 0);
  pack.set_int(lt::settings_pack::connections_limit, 200);
  pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
  pack.set_int(lt::settings_pack::alert_mask, static_cast<int>(static_cast<std::uint32_t>(kAlertMask)));
  return pack;
}

}  // namespace

bool parse_setting_number(const std::string& text, int& out) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || n < 0 || n > 0x7FFFFFFF) return false;
  out = static_cast<int>(n);
  return true;
}

bool set_kernel_setting(kernel_settings& settings, const std::string& name, const std::string& value,
                        std::string& why) {
  const setting_key* key = find_key(name);
  if (!key) {
    why = name + " is no setting of the kernel";
    return false;
  }
  setting_value parsed;
  if (!parse_value(key->kind, value, parsed)) {
    why = name + " = " + value + " is not understood";
    return false;
  }
  key->store(settings, parsed);
  return true;
}

bool get_kernel_setting(const kernel_settings& settings, const std::string& name, std::string& value) {
  const setting_key* key = find_key(name);
  if (!key) return false;
  value = key->show(settings);
  return true;
}

kernel_settings read_kernel_settings(const std::string& path) {
  kernel_settings settings;
  settings.pack = default_pack();
  for (const setting_key& key : kKeys) {
    char buffer[kValueBufferSize];
    const DWORD n = GetPrivateProfileStringA(key.section, key.key, "", buffer, sizeof buffer, path.c_str());
    if (n == 0) continue;  // absent or empty: the default stays
    const std::string value(buffer, n);
    std::string why;
    if (!set_kernel_setting(settings, std::string(key.section) + "." + key.key, value, why))
      LOG4CPLUS_WARN(kernel_logger(), path << ": [" << key.section << "] " << key.key << " = " << value
                                           << " is not understood; the default is kept");
  }
  return settings;
}

std::string kernel_settings_path() { return get_module_dir() + "bt_kernel.ini"; }
