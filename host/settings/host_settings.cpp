#include "host/settings/host_settings.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/posix_fd.h"

namespace host_settings {
namespace {

using json = nlohmann::json;

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string home() {
  const std::string h = environment("HOME");
  return h.empty() ? "/tmp" : h;
}

std::string xdg(const char* variable, const char* fallback) {
  const std::string value = environment(variable);
  return value.empty() || value[0] != '/' ? home() + "/" + fallback : value;
}

// One key of the file: how it is read into the settings and written out.
struct key {
  const char* name;
  std::function<bool(const json&, settings&)> read;  // false: the value has the wrong type
  std::function<json(const settings&)> write;         // null: not written (at its default)
};

// Whether `v` holds a value of the kind of T: a flag, a count (not
// negative), a text, or a list of texts.
template <class T>
bool of_kind(const json& v) {
  if constexpr (std::is_same_v<T, bool>) {
    return v.is_boolean();
  } else if constexpr (std::is_integral_v<T>) {
    return v.is_number_integer() && v.get<std::int64_t>() >= 0;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return v.is_string();
  } else {
    return v.is_array() && std::all_of(v.begin(), v.end(), [](const json& item) { return item.is_string(); });
  }
}

template <class T>
struct value_kind {
  using type = T;
  static constexpr bool optional = false;
};
template <class T>
struct value_kind<std::optional<T>> {
  using type = T;
  static constexpr bool optional = true;
};

// The key `name` of `member`; a member left out of the file (std::optional)
// is written as null.
template <class M>
key setting(const char* name, M settings::*member) {
  using T = typename value_kind<M>::type;
  return {name,
          [member](const json& v, settings& s) {
            if (!of_kind<T>(v)) return false;
            s.*member = v.get<T>();
            return true;
          },
          [member](const settings& s) {
            if constexpr (value_kind<M>::optional) return (s.*member) ? json(*(s.*member)) : json();
            else return json(s.*member);
          }};
}

const std::vector<key>& keys() {
  static const std::vector<key> table = {
      setting("rpc-address", &settings::rpc_address),
      setting("rpc-username", &settings::rpc_username),
      setting("rpc-password-hash", &settings::rpc_password_hash),
      {"rpc-password",
       [](const json& v, settings& s) {
         if (!of_kind<std::string>(v)) return false;
         s.rpc_password = v.get<std::string>();
         return true;
       },
       [](const settings&) { return json(); }},
      setting("rpc-host-names", &settings::rpc_host_names),
      setting("download-dir", &settings::download_dir),
      setting("watch-dir", &settings::watch_dir),
      setting("state-dir", &settings::state_dir),
      setting("allowed-dirs", &settings::allowed_dirs),
      setting("listen-address", &settings::listen_address),
      setting("dht", &settings::dht),
      setting("local-discovery", &settings::local_discovery),
      setting("port-mapping", &settings::port_mapping),
      setting("download-limit", &settings::download_limit),
      setting("upload-limit", &settings::upload_limit),
      setting("task-download-limit", &settings::task_download_limit),
      setting("task-upload-limit", &settings::task_upload_limit),
      setting("connections-limit", &settings::connections_limit),
      setting("task-connections-limit", &settings::task_connections_limit),
  };
  return table;
}

std::string flag(bool on) { return on ? "1" : "0"; }

}  // namespace

std::string default_settings_path() { return xdg("XDG_CONFIG_HOME", ".config") + "/btshell/settings.json"; }

settings defaults() {
  settings s;
  s.download_dir = home() + "/Downloads";
  s.state_dir = xdg("XDG_STATE_HOME", ".local/state") + "/btshell";
  return s;
}

bool load(const std::string& path, settings& into, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  std::stringstream text;
  text << in.rdbuf();
  const json document = json::parse(text.str(), nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    error = path + ": not a JSON object";
    return false;
  }
  settings read = into;
  for (const auto& [name, value] : document.items()) {
    const auto found = std::find_if(keys().begin(), keys().end(), [&](const key& k) { return name == k.name; });
    if (found == keys().end()) {
      error = path + ": unknown key \"" + name + "\"";
      return false;
    }
    if (!found->read(value, read)) {
      error = path + ": \"" + name + "\" has a value of the wrong kind";
      return false;
    }
  }
  into = std::move(read);
  return true;
}

bool save(const std::string& path, const settings& what, std::string& error) {
  const settings base = defaults();
  json document = json::object();
  for (const key& k : keys()) {
    const json value = k.write(what);
    if (value.is_null()) continue;
    if (value == k.write(base) && std::string(k.name) != "rpc-address") continue;
    document[k.name] = value;
  }
  const std::string text = document.dump(2) + "\n";
  if (const int e = platform::replace_file_whole(path, text.data(), text.size())) {
    error = "cannot write " + path + ": " + std::strerror(e);
    return false;
  }
  return true;
}

std::vector<std::pair<std::string, std::string>> kernel_values(const settings& s) {
  std::vector<std::pair<std::string, std::string>> values;
  if (s.listen_address) values.emplace_back("session.listen_interfaces", *s.listen_address);
  if (s.dht) values.emplace_back("session.dht", flag(*s.dht));
  if (s.local_discovery) values.emplace_back("session.local_peer_discovery", flag(*s.local_discovery));
  if (s.port_mapping) {
    values.emplace_back("session.upnp", flag(*s.port_mapping));
    values.emplace_back("session.natpmp", flag(*s.port_mapping));
  }
  values.emplace_back("session.download_rate_limit", std::to_string(s.download_limit * 1024));
  values.emplace_back("session.upload_rate_limit", std::to_string(s.upload_limit * 1024));
  if (s.connections_limit) values.emplace_back("session.connections_limit", std::to_string(*s.connections_limit));
  return values;
}

std::vector<std::pair<std::string, std::string>> task_values(std::int64_t download_kib, std::int64_t upload_kib,
                                                             int connections) {
  return {{"download_rate_limit", std::to_string(download_kib * 1024)},
          {"upload_rate_limit", std::to_string(upload_kib * 1024)},
          {"connections_limit", std::to_string(connections)}};
}

bool split_address(const std::string& address, std::string& host, std::uint16_t& port) {
  std::size_t colon;
  if (!address.empty() && address[0] == '[') {
    const std::size_t close = address.find(']');
    if (close == std::string::npos || close + 1 >= address.size() || address[close + 1] != ':') return false;
    host = address.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = address.substr(0, colon);
  }
  const std::string digits = address.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long value = std::stoul(digits);
  if (value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

bool is_loopback_host(const std::string& host) {
  if (host == "localhost") return true;
  in_addr v4{};
  if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return ::inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace host_settings
