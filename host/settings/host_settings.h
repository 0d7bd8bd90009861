// The host's settings: one file for `btshell daemon` (and the commands of
// btshell that take --config), JSON, by default
// $XDG_CONFIG_HOME/btshell/settings.json (~/.config when unset). Every key
// may be left out:
//
//   "rpc-address"             "127.0.0.1:9091"  where the RPC listens (ADDRESS:PORT, IPv6 in brackets)
//   "rpc-username"            ""                with "rpc-password-hash": the credentials the RPC asks for
//   "rpc-password-hash"       ""                a salted hash (host/rpc/password_hash.h); never the password
//   "rpc-password"            (none)            a password in clear: the daemon replaces it in the file
//                                               by its hash when it starts, so it is not kept
//   "rpc-host-names"          []                names accepted in Host besides IP literals and "localhost"
//   "download-dir"            "~/Downloads"     where tasks put their data unless told otherwise
//   "watch-dir"               ""                a folder whose new .torrent files are added; "": none
//   "state-dir"               "$XDG_STATE_HOME/btshell" (~/.local/state): seeds, task states, the task list
//   "allowed-dirs"            []                folders a local "filename" of torrent-add may come
//                                               from, besides the watch and download folders
//   "listen-address"          (the kernel's)    where peers are accepted ("0.0.0.0:6881,[::]:6881")
//   "dht", "local-discovery", "port-mapping"    (the kernel's) true/false; port mapping is UPnP and NAT-PMP
//   "download-limit", "upload-limit"            (the kernel's) KiB/s for all tasks together; 0 = none
//   "task-download-limit", "task-upload-limit"  0 KiB/s for each task unless set for it; 0 = none
//   "connections-limit"       (the kernel's)    peer connections of all tasks together
//   "task-connections-limit"  0                 peer connections of each task; 0 = none
//
// A key left out of the kernel's settings keeps the kernel's own default
// (bt_kernel.ini beside the kernel module).
//
// What is in force is one rule for the daemon and btshell's commands: an
// option of the command line over the file over the default (resolve()).
//
// Free functions over plain values: callable from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace host_settings {

inline constexpr const char* kDefaultRpcAddress = "127.0.0.1:9091";

struct settings {
  std::string rpc_address = kDefaultRpcAddress;
  std::string rpc_username;
  std::string rpc_password_hash;
  std::string rpc_password;  // in clear, only until it is hashed (never written)
  std::vector<std::string> rpc_host_names;
  std::string download_dir;
  std::string watch_dir;
  std::string state_dir;
  std::vector<std::string> allowed_dirs;
  std::optional<std::string> listen_address;
  std::optional<bool> dht, local_discovery, port_mapping;
  std::optional<std::int64_t> download_limit, upload_limit;  // KiB/s
  std::int64_t task_download_limit = 0, task_upload_limit = 0;
  std::optional<int> connections_limit;
  int task_connections_limit = 0;
};

// $XDG_CONFIG_HOME/btshell/settings.json.
std::string default_settings_path();
// The defaults: the folders from the environment ($HOME, $XDG_STATE_HOME).
settings defaults();

// Reads `path` over `into`. A missing file leaves `into` as it is and
// succeeds; a file that is not a JSON object, or a key of the wrong type or
// an unknown key, fails with `error` naming it.
bool load(const std::string& path, settings& into, std::string& error);
// Where a setting in force came from.
enum class source { default_value, file, option };
// "default", "file", "option".
const char* source_name(source from);

struct in_force {
  settings values;
  std::string path;  // the settings file (absolute); it need not exist
  std::map<std::string, source> from;  // the keys the file or an option set
  source of(const std::string& key) const;
};

// The settings in force: defaults(), the file `config` over them (empty:
// default_settings_path()), then `options` over both: a JSON object of keys
// of the file and their values, what the command line set. The folders are
// made absolute. False with `error` naming the key or the file: as load(),
// and for a `config` named that does not exist when `config_must_exist`.
bool resolve(const std::string& config, bool config_must_exist, const nlohmann::json& options, in_force& out,
             std::string& error);

// Every key of the file, in the order of the table above.
std::vector<std::string> key_names();
// The keys the kernel holds (its own value when left out), in the same order.
std::vector<std::string> kernel_key_names();
// Whether the key's value is no one's business to see (the password's hash).
bool is_secret(const std::string& key);
// The value of `key` in `s` as the file holds it; null for one left to the
// kernel (or the clear password, never written).
nlohmann::json value_of(const settings& s, const std::string& key);
// A setting the kernel holds ("dht", "listen-address", the limits ...) as
// the kernel's own value: `kernel` gives the text of a kernel key
// (IBtKernelSettings::GetValue; empty when unknown). Null for a key the
// kernel does not hold, or when it gave nothing.
nlohmann::json kernel_value_of(const std::string& key, const std::function<std::string(const std::string&)>& kernel);

// Writes the settings whole (never the clear password): the file holds
// every key that differs from defaults(), plus the RPC address.
bool save(const std::string& path, const settings& what, std::string& error);

// The session settings of the kernel (IBtKernelSettings keys and values)
// that these settings set; keys they leave out are not listed.
std::vector<std::pair<std::string, std::string>> kernel_values(const settings& s);
// A task's settings (IBtKernelSettings::SetTaskValue keys and values).
std::vector<std::pair<std::string, std::string>> task_values(std::int64_t download_kib, std::int64_t upload_kib,
                                                             int connections);

// The host part of an ADDRESS:PORT ("[::1]:9091" gives "::1"), false when
// it does not parse; `port` gets the port.
bool split_address(const std::string& address, std::string& host, std::uint16_t& port);
// True for 127.0.0.0/8, ::1 and "localhost".
bool is_loopback_host(const std::string& host);

}  // namespace host_settings
