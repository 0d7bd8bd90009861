// btshell's command line: the options of every command, the command, and its
// own arguments and options.
#pragma once

#include <cstdint>
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

// The options of download and seed.
struct transfer_options {
  std::vector<std::string> files;   // --files, each value as given (file_selection.h); empty: all
  std::vector<std::string> peers;   // --peer HOST:PORT, each connected to directly
  std::string listen;               // --listen HOST:PORT; empty: the kernel's own setting
  unsigned seed_after = 0;          // --seed-after SECONDS: seed this long once complete
  std::optional<unsigned> seed_for;  // --for SECONDS: seed this long; none: until interrupted
  bool show_peers = false;          // --peers: the peers and trackers under the bar
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

// The options of daemon: the settings file and what overrides it.
struct daemon_options {
  std::string config;  // --config FILE; empty: the default settings file
  std::optional<std::string> rpc_address, rpc_username, rpc_password;
  std::optional<std::string> download_dir, watch_dir, state_dir, listen;
  bool no_dht = false, no_lsd = false, no_port_mapping = false;
  std::optional<std::int64_t> download_limit, upload_limit;  // KiB/s
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
// The options of download (--files, --peer, --listen, --seed-after, --json)
// and of seed (--for, --peer, --listen, --json); for the command table.
void add_download_options(CLI::App& command, command_line& line);
void add_seed_options(CLI::App& command, command_line& line);
// The options of create and of verify (--json).
void add_create_options(CLI::App& command, command_line& line);
void add_verify_options(CLI::App& command, command_line& line);

}  // namespace btshell
