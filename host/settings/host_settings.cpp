#include "host/settings/host_settings.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

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
// negative, and within T), a text, or a list of texts.
template <class T>
bool of_kind(const json& v) {
  if constexpr (std::is_same_v<T, bool>) {
    return v.is_boolean();
  } else if constexpr (std::is_integral_v<T>) {
    return v.is_number_integer() && v.get<std::int64_t>() >= 0 &&
           v.get<std::int64_t>() <= std::int64_t{std::numeric_limits<T>::max()};
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

const key* find_key(const std::string& name) {
  const auto found = std::find_if(keys().begin(), keys().end(), [&](const key& k) { return name == k.name; });
  return found == keys().end() ? nullptr : &*found;
}

// How a setting of the file reads as the kernel's text.
enum class kernel_kind {
  text,
  flag,   // "1"/"0"; a setting of several keys is on when one of them is
  kib,    // KiB/s in the file, bytes per second in the kernel
  count,
};

// A setting of the file that the kernel holds, and the keys of the kernel
// (IBtKernelSettings) it stands for.
struct kernel_setting {
  const char* name;
  kernel_kind kind;
  std::vector<const char*> kernel_keys;
};

const std::vector<kernel_setting>& kernel_settings() {
  static const std::vector<kernel_setting> table = {
      {"listen-address", kernel_kind::text, {"session.listen_interfaces"}},
      {"dht", kernel_kind::flag, {"session.dht"}},
      {"local-discovery", kernel_kind::flag, {"session.local_peer_discovery"}},
      {"port-mapping", kernel_kind::flag, {"session.upnp", "session.natpmp"}},
      {"download-limit", kernel_kind::kib, {"session.download_rate_limit"}},
      {"upload-limit", kernel_kind::kib, {"session.upload_rate_limit"}},
      {"connections-limit", kernel_kind::count, {"session.connections_limit"}},
  };
  return table;
}

constexpr std::int64_t kKib = 1024;

std::string kernel_text(kernel_kind kind, const json& value) {
  switch (kind) {
    case kernel_kind::text: return value.get<std::string>();
    case kernel_kind::flag: return value.get<bool>() ? "1" : "0";
    case kernel_kind::kib: {
      // Beyond what the kernel takes: it refuses the value and says so.
      const std::int64_t kib = value.get<std::int64_t>();
      return std::to_string(kib > std::numeric_limits<std::int64_t>::max() / kKib
                                ? std::numeric_limits<std::int64_t>::max()
                                : kib * kKib);
    }
    case kernel_kind::count: return std::to_string(value.get<std::int64_t>());
  }
  return std::string();
}

// Reads each key of `document` (a JSON object) into `into`; `names` gets
// the keys read. `what` names the document in an error.
bool read_document(const json& document, const std::string& what, settings& into, std::vector<std::string>& names,
                   std::string& error) {
  if (!document.is_object()) {
    error = what + ": not a JSON object";
    return false;
  }
  settings read = into;
  for (const auto& [name, value] : document.items()) {
    const key* found = find_key(name);
    if (!found) {
      error = what + ": unknown key \"" + name + "\"";
      return false;
    }
    if (!found->read(value, read)) {
      error = what + ": \"" + name + "\" has a value of the wrong kind";
      return false;
    }
    names.push_back(name);
  }
  into = std::move(read);
  return true;
}

// load(), telling the keys the file set.
bool load_file(const std::string& path, settings& into, std::vector<std::string>& names, std::string& error) {
  std::string text;
  if (const int e = platform::read_file_whole(path, text)) {
    if (e == ENOENT) return true;
    // A file there that cannot be read is no missing file: what it says
    // (no DHT, a limit) must not silently give way to the defaults.
    error = "cannot read the settings file " + path;
    return false;
  }
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    error = path + ": not a JSON object";
    return false;
  }
  return read_document(document, path, into, names, error);
}

}  // namespace

std::string default_settings_path() { return xdg("XDG_CONFIG_HOME", ".config") + "/btshell/settings.json"; }

settings defaults() {
  settings s;
  s.download_dir = home() + "/Downloads";
  s.state_dir = xdg("XDG_STATE_HOME", ".local/state") + "/btshell";
  return s;
}

bool load(const std::string& path, settings& into, std::string& error) {
  std::vector<std::string> names;
  return load_file(path, into, names, error);
}

const char* source_name(source from) {
  switch (from) {
    case source::default_value: return "default";
    case source::file: return "file";
    case source::option: return "option";
  }
  return "";
}

source in_force::of(const std::string& key) const {
  const auto found = from.find(key);
  return found == from.end() ? source::default_value : found->second;
}

bool resolve(const std::string& config, bool config_must_exist, const json& options, in_force& out,
             std::string& error) {
  namespace fs = std::filesystem;
  out = in_force{};
  out.values = defaults();
  out.path = fs::absolute(config.empty() ? default_settings_path() : config).lexically_normal().string();
  std::error_code ec;
  if (!config.empty() && config_must_exist && !fs::exists(out.path, ec)) {
    error = "the settings file " + out.path + " does not exist";
    return false;
  }
  std::vector<std::string> from_file, from_options;
  if (!load_file(out.path, out.values, from_file, error) ||
      !read_document(options, "the command line", out.values, from_options, error))
    return false;
  for (const std::string& name : from_file) out.from[name] = source::file;
  for (const std::string& name : from_options) out.from[name] = source::option;
  for (std::string* folder : {&out.values.download_dir, &out.values.watch_dir, &out.values.state_dir})
    if (!folder->empty()) *folder = fs::absolute(*folder).lexically_normal().string();
  return true;
}

std::vector<std::string> key_names() {
  std::vector<std::string> names;
  for (const key& k : keys()) names.emplace_back(k.name);
  return names;
}

std::vector<std::string> kernel_key_names() {
  std::vector<std::string> names;
  for (const kernel_setting& k : kernel_settings()) names.emplace_back(k.name);
  return names;
}

bool is_secret(const std::string& key) { return key == "rpc-password" || key == "rpc-password-hash"; }

json value_of(const settings& s, const std::string& name) {
  const key* found = find_key(name);
  return found ? found->write(s) : json();
}

json kernel_value_of(const std::string& name, const std::function<std::string(const std::string&)>& kernel) {
  const auto setting = std::find_if(kernel_settings().begin(), kernel_settings().end(),
                                    [&](const kernel_setting& k) { return name == k.name; });
  if (setting == kernel_settings().end()) return json();
  json value;
  for (const char* kernel_key : setting->kernel_keys) {
    const std::string text = kernel(kernel_key);
    if (text.empty()) return json();
    if (setting->kind == kernel_kind::text) return json(text);
    if (setting->kind == kernel_kind::flag) {
      value = (value.is_boolean() && value.get<bool>()) || text == "1";
      continue;
    }
    if (text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18) return json();
    const std::int64_t number = std::stoll(text);
    // Rounded up: a limit of a few bytes is no "0 = none".
    return setting->kind == kernel_kind::kib ? json((number + kKib - 1) / kKib) : json(number);
  }
  return value;
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
  for (const kernel_setting& setting : kernel_settings()) {
    const json value = value_of(s, setting.name);
    if (value.is_null()) continue;  // the kernel's own
    for (const char* kernel_key : setting.kernel_keys) values.emplace_back(kernel_key, kernel_text(setting.kind, value));
  }
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
