// btshell's command line: the options of every command, the command, and its
// own arguments and options.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace CLI {
class App;
}

namespace btshell {

// Exit statuses.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;  // the module refused the input, or an operation failed
inline constexpr int exit_usage = 2;   // the command line was not understood

struct kernel_version {
  USHORT major = 0;
  USHORT minor = 0;
};

// The settings file and the settings the options set over it
// (host_settings::resolve): download, seed, settings, daemon.
struct settings_options {
  std::string config;  // --config FILE; empty: the default file, when there is one
  // Keys of the settings file and their values: --no-dht gives "dht": false.
  nlohmann::json values = nlohmann::json::object();
};

// The options of download and seed.
struct transfer_options {
  std::vector<std::string> files;     // --files, each value as given (file_selection.h); empty: all
  std::vector<std::string> peers;     // --peer HOST:PORT, each connected to directly
  std::optional<unsigned> seed_after;  // --seed-after SECONDS: download: seed at most this long once complete
  std::optional<unsigned> seed_for;    // --for SECONDS: seed this long; none: until interrupted
  std::optional<double> seed_ratio;    // --seed-ratio R: once complete, seed until the upload ratio is R
  bool show_peers = false;             // --peers: the peers and trackers under the bar
};

// The options of create.
struct create_options {
  std::string output;                  // -o SEED
  std::vector<std::string> trackers;   // --tracker URL, in order: the first is "announce"
  std::vector<std::string> web_seeds;  // --web-seed URL
  std::string comment;                 // --comment TEXT; empty: none
  std::string piece_size;              // --piece-size N[K|M]; empty: chosen from the total size
  bool is_private = false;             // --private
  bool force = false;                  // --force: replace an existing -o file
};

// The daemon's own option: a password, kept hashed in memory only.
struct daemon_options {
  std::optional<std::string> rpc_password;
};

struct command_line {
  // Options of every command.
  bool verbose = false;
  std::string log_config;   // empty: none
  std::string module;       // empty: the default module
  std::string modules_dir;  // empty: the default folder
  std::optional<kernel_version> version;
  bool show_version = false;  // --version: btshell's and the module's versions
  // The command (empty when none was given) and its positional arguments,
  // in the order of its table entry.
  std::string command;
  std::vector<std::string> arguments;
  // Options of some commands (see their table entries).
  bool json = false;
  settings_options settings;
  transfer_options transfer;
  create_options create;
  daemon_options daemon;
};

struct parse_result {
  command_line line;
  std::string error;   // not empty: the line was not understood
  std::string output;  // not empty: help was asked for; print it, run nothing
};

// Options may come before or after the command; "--" ends them. The
// command's name and its arguments are checked against the command table.
parse_result parse_command_line(const std::vector<std::string>& words);

// Whether the words hold --json before any "--": a line that is not
// understood is answered with an error object then too.
bool asks_for_json(const std::vector<std::string>& words);

// "1.2" -> {1, 2}; nothing for anything else.
std::optional<kernel_version> parse_kernel_version(const std::string& text);

// The help text of btshell, or of one command; ends with a newline.
std::string usage_text(const std::string& command = std::string());

// Adds --json to a command; for the command table.
void add_json_option(CLI::App& command, command_line& line);
// The settings a command line may set over the settings file: --config,
// --listen, --no-dht, --no-lsd, --no-upnp, --download-limit,
// --upload-limit, --max-peers (into line.settings).
void add_settings_options(CLI::App& command, command_line& line);
// The options of download (--files, --peer, --seed-after, --seed-ratio,
// the settings, --json), of seed (--for, --peer, --seed-ratio, the
// settings, --json) and of settings (the settings, --json); for the
// command table.
void add_download_options(CLI::App& command, command_line& line);
void add_seed_options(CLI::App& command, command_line& line);
void add_settings_command_options(CLI::App& command, command_line& line);
// The options of create and of verify (--json).
void add_create_options(CLI::App& command, command_line& line);
void add_verify_options(CLI::App& command, command_line& line);

}  // namespace btshell
