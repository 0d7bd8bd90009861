#include "kernel/kernel_settings.h"

#include <libtorrent/alert.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "com_utility/module_location.h"
#include "kernel/kernel_call.h"
#include "platform/profile.h"

namespace {

// The alerts the kernel acts on or logs.
constexpr lt::alert_category_t kAlertMask = lt::alert_category::error | lt::alert_category::status |
                                            lt::alert_category::storage | lt::alert_category::file_progress |
                                            lt::alert_category::tracker | lt::alert_category::port_mapping |
                                            lt::alert_category::connect;

class ini_reader {
 public:
  explicit ini_reader(std::string path) : path_(std::move(path)) {}

  // False when the key is absent (or empty).
  bool text(const char* section, const char* key, std::string& out) const {
    char buffer[1024];
    const DWORD n = GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, path_.c_str());
    if (n == 0) return false;
    out.assign(buffer, n);
    return true;
  }

  // False when the key is absent or its value is not understood.
  bool flag(const char* section, const char* key, bool& out) const {
    std::string value;
    if (!text(section, key, value)) return false;
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return std::tolower(c); });
    if (value == "1" || value == "true" || value == "yes" || value == "on") {
      out = true;
    } else if (value == "0" || value == "false" || value == "no" || value == "off") {
      out = false;
    } else {
      ignored(section, key, value);
      return false;
    }
    return true;
  }

  void flag(const char* section, const char* key, lt::settings_pack& pack, int name) const {
    bool value = false;
    if (flag(section, key, value)) pack.set_bool(name, value);
  }

  // A decimal number from 0 to INT_MAX.
  bool number(const char* section, const char* key, int& out) const {
    std::string value;
    if (!text(section, key, value)) return false;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(value.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || n < 0 || n > 0x7FFFFFFF || !std::isdigit(value[0])) {
      ignored(section, key, value);
      return false;
    }
    out = static_cast<int>(n);
    return true;
  }

  void number(const char* section, const char* key, lt::settings_pack& pack, int name) const {
    int n = 0;
    if (number(section, key, n)) pack.set_int(name, n);
  }

 private:
  void ignored(const char* section, const char* key, const std::string& value) const {
    LOG4CPLUS_WARN(kernel_logger(), path_ << ": [" << section << "] " << key << " = " << value
                                          << " is not understood; the default is kept");
  }

  std::string path_;
};

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

kernel_settings read_kernel_settings(const std::string& path) {
  kernel_settings settings;
  settings.pack = default_pack();
  const ini_reader ini(path);
  std::string interfaces;
  if (ini.text("session", "listen_interfaces", interfaces))
    settings.pack.set_str(lt::settings_pack::listen_interfaces, interfaces);
  std::string outgoing;
  if (ini.text("session", "outgoing_interfaces", outgoing))
    settings.pack.set_str(lt::settings_pack::outgoing_interfaces, outgoing);
  ini.flag("session", "dht", settings.pack, lt::settings_pack::enable_dht);
  ini.flag("session", "local_peer_discovery", settings.pack, lt::settings_pack::enable_lsd);
  ini.flag("session", "upnp", settings.pack, lt::settings_pack::enable_upnp);
  ini.flag("session", "natpmp", settings.pack, lt::settings_pack::enable_natpmp);
  ini.flag("session", "utp", settings.pack, lt::settings_pack::enable_outgoing_utp);
  ini.flag("session", "utp", settings.pack, lt::settings_pack::enable_incoming_utp);
  ini.number("session", "download_rate_limit", settings.pack, lt::settings_pack::download_rate_limit);
  ini.number("session", "upload_rate_limit", settings.pack, lt::settings_pack::upload_rate_limit);
  ini.number("session", "connections_limit", settings.pack, lt::settings_pack::connections_limit);
  ini.flag("session", "multiple_connections_per_ip", settings.pack,
           lt::settings_pack::allow_multiple_connections_per_ip);
  ini.flag("session", "rate_limit_local_network", settings.rate_limit_local_network);
  int number = 0;
  if (ini.number("resume", "save_interval", number)) settings.saves.interval = std::chrono::seconds(number);
  if (ini.number("resume", "save_after_mib", number)) settings.saves.bytes = std::int64_t{number} << 20;
  return settings;
}

std::string kernel_settings_path() { return get_module_dir() + "bt_kernel.ini"; }
