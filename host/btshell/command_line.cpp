#include "host/btshell/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <deque>

#include "common/utility.h"
#include "host/btshell/command_table.h"
#include "host/btshell/file_selection.h"
#include "host/btshell/seed_url.h"

namespace btshell {

namespace {

const char kDescription[] =
    "Loads the BitTorrent plugin module (libbt_shell.so) into the host runtime,\n"
    "initialises it and drives its shell.";

const char kExitText[] =
    "Exit status: 0 success; 1 the module refused the input or an operation failed\n"
    "(its result code and meaning are printed); 2 the command line was not understood.";

const char kFooter[] =
    "Defaults: the plugin module and the kernel modules of btshell's own tree (download\n"
    "and seed: the kernel on libtorrent; lazy-kernel: the recording kernel);\n"
    "the kernel version of the bt_shell.ini beside the module (--kernel-version loads a\n"
    "private copy of the module with one saying X.Y); warnings and errors to stderr.\n"
    "Folders are passed to the shell with a trailing '/'.\n"
    "btshell COMMAND --help shows a command's arguments and options.";

const char kCommandFooter[] =
    "Folders are passed to the shell with a trailing '/'. The options of every\n"
    "command (--module, -v ...) are listed by btshell --help.";

const char kJsonFooter[] =
    "--json: snake_case keys, sizes as integers, the info hash as 40 upper-case hex\n"
    "digits, null for what a seed lacks. Texts keep their bytes: a byte that is not\n"
    "part of valid UTF-8 is written \\xHH (two upper-case hex digits) and a backslash\n"
    "as \\\\; reading \\\\ as a backslash and \\xHH as the byte HH gives the bytes back.\n"
    "A failure: {\"error\": {\"code\", \"meaning\", \"message\"}} on stdout (inspect: the\n"
    "seed's element of the array), the code and its meaning null when it has none.";

const char kTransferFooter[] =
    "The task is created through the shell as a host creates it: the kernel module is\n"
    "fetched from the modules folder only when the shell asks for it, and the task is a\n"
    "proxy until then. On a terminal a progress bar is drawn on stderr, otherwise one\n"
    "line every few seconds. Ctrl-C (SIGINT, SIGTERM) stops the task: it saves its\n"
    "state, and the unfinished files keep their \".bt.td\" names. --peers: the connected\n"
    "peers and the trackers' answers under the bar (with -v, or off a terminal: a line for\n"
    "each change). --json: the final report as JSON (the texts of seeds as with inspect\n"
    "--json); a failure before the task runs: {\"error\": {\"code\", \"meaning\", \"message\"}}.";

const char kFilesText[] =
    "--files: indexes as inspect lists them, ranges I-J and patterns matched against the\n"
    "whole path inside the torrent as fnmatch(3) without flags ('*' and '?' match '/' too):\n"
    "--files 0-3,7  --files '*.mkv'  --files 'disc1/*,0'. Items are separated by commas\n"
    "(a comma in a pattern is written \\,; a file named 3 is picked by [3]); an item that\n"
    "selects no file is refused before anything starts.";

const char kSettingsFooter[] =
    "Settings: --listen, --no-dht, --no-lsd, --no-upnp, --download-limit, --upload-limit and\n"
    "--max-peers override the settings file (--config; by default\n"
    "$XDG_CONFIG_HOME/btshell/settings.json when it exists, the daemon's), which overrides\n"
    "the kernel's own defaults (bt_kernel.ini beside the kernel module). btshell settings\n"
    "shows what is in force and where each value came from.";

const char kSeedingFooter[] =
    "Once complete: no --seed-after and no --seed-ratio, the download ends; --seed-after S,\n"
    "it seeds S seconds; --seed-ratio R, it seeds until the upload ratio reaches R (bytes\n"
    "sent over bytes received, over every run the task's state remembers; over the size of\n"
    "the wanted files when nothing was ever received), then stops cleanly; both, it stops at\n"
    "whichever comes first. seed --for and --seed-ratio combine the same way.";

std::string url_text() {
  return "SEED may be an http:// or https:// URL: the seed is fetched (at most " +
         std::to_string(kSeedFileLimit >> 20) + " MiB, " + std::to_string(kSeedUrlRedirects) + " redirects, " +
         std::to_string(kSeedUrlTimeLimit.count()) +
         " s, TLS verified) and kept as\n"
         "$XDG_STATE_HOME/btshell/torrents/<HASH>.torrent (the settings' state-dir), the task's\n"
         "state beside it. SEED may also be a magnet link: its metadata is fetched from the swarm\n"
         "(the link's trackers and x.pe peers, and DHT unless it is off) and kept there too.";
}

const char kDownloadExitText[] =
    "Exit status: 0 every wanted file is complete and verified; 1 the task failed or\n"
    "could not be made; 2 the command line was not understood; 128 + the signal number\n"
    "when interrupted before that. Run again, the download continues where it stopped.";

const char kCreateFooter[] =
    "A folder's files go into the seed in the byte order of their paths inside it; hidden\n"
    "files (names starting with '.') are included; symbolic links inside PATH are never\n"
    "followed: each is left out and named on stderr (PATH itself may be a link), as are\n"
    "FIFOs, sockets and devices; empty folders have no place in a seed. Without\n"
    "--piece-size: the smallest power of two from 16 KiB that gives at most 2048 pieces,\n"
    "and at most 16 MiB. --piece-size takes bytes, or KiB and MiB with K and M (256K, 4M):\n"
    "a power of two from 16 KiB to 256 MiB. The pieces are hashed on every core. The seed\n"
    "is read back through the module's ParseSeedFile before it is written, then written\n"
    "whole (a new file renamed over SEED); SEED must not lie in the folder hashed.\n"
    "Exit status: 0 the seed is written; 1 it could not be made (nothing is written);\n"
    "2 the command line was not understood.";

const char kVerifyFooter[] =
    "The data is checked against the seed's piece hashes, on every core, without any\n"
    "network and without the kernel; the files are looked for where download puts them:\n"
    "DATA_FOLDER/<path inside the torrent> (while unfinished: + \".bt.td\"). Each file is\n"
    "complete (its size, every piece it touches verified), incomplete (so many bytes\n"
    "verified; a file shorter than it should be, or still named .bt.td, is incomplete),\n"
    "missing, or of the wrong size (longer than the seed says). Padding files are zeros\n"
    "and never looked for.\n"
    "Exit status: 0 every file is complete; 1 something is not, or the seed cannot be\n"
    "read; 2 the command line was not understood.";

// An option value may not be empty.
const CLI::Validator kNotEmpty([](std::string& value) { return value.empty() ? "needs a value" : ""; }, "");

// HOST:PORT with a port from 1 (a peer) or from 0 (where to listen: 0 picks one).
CLI::Validator host_port_validator(unsigned lowest) {
  return CLI::Validator(
      [lowest](std::string& value) {
        std::string host;
        unsigned short port = 0;
        return split_host_port(value, host, port, lowest) ? std::string()
                                                          : "takes HOST:PORT ([ADDRESS]:PORT for IPv6), not " + value;
      },
      "");
}

// A number not below 0.
const CLI::Validator kNonNegative(
    [](std::string& value) {
      char* end = nullptr;
      const double n = std::strtod(value.c_str(), &end);
      return !value.empty() && *end == '\0' && n >= 0 ? std::string() : "takes a number from 0, not " + value;
    },
    "");

// HOST:PORT[,HOST:PORT...], where to listen.
const CLI::Validator kListenValidator(
    [](std::string& value) {
      const CLI::Validator one = host_port_validator(0);
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = value.find(',', start);
        std::string item = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!one(item).empty()) return "takes HOST:PORT[,HOST:PORT...] ([ADDRESS]:PORT for IPv6), not " + value;
        if (comma == std::string::npos) return std::string();
        start = comma + 1;
      }
    },
    "");

// Binds an option's value to the settings key `key`.
template <class T>
CLI::Option* add_setting(CLI::App& command, command_line& line, const char* option, const char* key,
                         const char* text) {
  return command.add_option_function<T>(
      option, [&line, key](const T& value) { line.settings.values[key] = value; }, text);
}

// The form of a --files value; what it selects is checked against the seed.
const CLI::Validator kFileSelection(
    [](std::string& value) {
      std::vector<file_selection_item> items;
      std::string error;
      return parse_file_selection(value, items, error) ? std::string() : error;
    },
    "");

void add_peers_flag(CLI::App& command, command_line& line) {
  command.add_flag("--peers", line.transfer.show_peers,
                   "show the connected peers and the trackers' last answers under the progress bar");
}

void add_peer_option(CLI::App& command, command_line& line) {
  command.add_option("--peer", line.transfer.peers, "a peer to connect to directly (repeatable)")
      ->type_name("HOST:PORT")
      ->check(host_port_validator(1));
}

void add_seed_ratio_option(CLI::App& command, command_line& line) {
  command.add_option("--seed-ratio", line.transfer.seed_ratio, "once complete, seed until this upload ratio (see below)")
      ->type_name("R")
      ->check(kNonNegative);
}

// The grammar bound to `line`. The positional words of the one command
// given land in `words_`, one list per argument, and are moved into
// line.arguments once the command is known.
class grammar {
 public:
  explicit grammar(command_line& line) {
    app_.footer(std::string(kFooter) + "\n" + kExitText);
    app_.fallthrough();  // the options of every command may follow the command
    app_.require_subcommand(0, 1);
    app_.get_formatter()->column_width(32);
    app_.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app_.get_formatter()->label("Positionals", "Arguments");
    app_.add_option("--module", line.module, "the plugin module (default: btshell's tree's)")
        ->type_name("PATH")
        ->check(kNotEmpty);
    app_.add_option("--modules-dir", line.modules_dir, "where the host installs modules from, lib<name>.so")
        ->type_name("DIR")
        ->check(kNotEmpty);
    app_.add_option("--kernel-version", kernel_version_, "the kernel version the shell asks the host for")
        ->type_name("X.Y");
    app_.add_flag("-v,--verbose", line.verbose, "log everything, from DEBUG up, to stderr");
    app_.add_option("--log-config", line.log_config, "configure logging from a log4cplus properties file")
        ->type_name("FILE")
        ->check(kNotEmpty);
    app_.add_flag("--version", line.show_version, "print the versions of btshell and of the plugin module");

    for (const command_entry& entry : command_table()) add_command(entry, line);
    CLI::App* help = app_.add_subcommand("help", "this text, or a command's help")->group("Commands");
    help->add_option("COMMAND", help_topic_, "the command")->type_name("");
  }

  CLI::App& app() { return app_; }
  const std::string& help_topic() const { return help_topic_; }
  const std::string& kernel_version() const { return kernel_version_; }

  // The positional words given, in order.
  std::vector<std::string> arguments() const {
    std::vector<std::string> all;
    for (const std::vector<std::string>& slot : words_) all.insert(all.end(), slot.begin(), slot.end());
    return all;
  }

 private:
  void add_command(const command_entry& entry, command_line& line) {
    CLI::App* command = app_.add_subcommand(entry.name, entry.summary)->group("Commands");
    command->footer(std::string(kCommandFooter) + "\n" + kExitText);
    for (std::size_t i = 0; i < entry.arguments.size(); ++i) {
      std::string name = entry.arguments[i].name;
      const bool many = name.size() > 3 && name.compare(name.size() - 3, 3, "...") == 0;
      if (many) name.resize(name.size() - 3);
      if (words_.size() <= i) words_.emplace_back();  // a deque: the lists bound earlier stay put
      std::vector<std::string>& slot = words_[i];
      CLI::Option* option =
          many ? command->add_option(name, slot, entry.arguments[i].text)
               : command->add_option_function<std::string>(
                     name, [&slot](const std::string& word) { slot = {word}; }, entry.arguments[i].text);
      option->required()->type_name("");
    }
    if (entry.options) entry.options(*command, line);
  }

  CLI::App app_{kDescription, "btshell"};
  std::deque<std::vector<std::string>> words_;
  std::string kernel_version_;
  std::string help_topic_;
};

bool parse_number(const std::string& text, USHORT& value) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const unsigned long n = std::strtoul(text.c_str(), nullptr, 10);
  if (n > 0xFFFF) return false;
  value = static_cast<USHORT>(n);
  return true;
}

// What CLI11 reports, in btshell's words.
std::string error_text(CLI::App& app, const CLI::ParseError& error) {
  const std::vector<CLI::App*> chosen = app.get_subcommands();
  const std::string command = chosen.empty() ? std::string() : chosen.front()->get_name();
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    const std::vector<std::string> extras = app.remaining();
    const std::string word = extras.empty() ? std::string() : extras.front();
    if (!word.empty() && word[0] == '-') return "unknown option " + word;
    if (command.empty()) return "unknown command " + word;
    return command + " takes no further argument " + word;
  }
  return command.empty() ? error.what() : command + ": " + error.what();
}

}  // namespace

std::optional<kernel_version> parse_kernel_version(const std::string& text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) return std::nullopt;
  kernel_version version;
  if (!parse_number(text.substr(0, dot), version.major) || !parse_number(text.substr(dot + 1), version.minor))
    return std::nullopt;
  return version;
}

bool asks_for_json(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "--json") return true;
  }
  return false;
}

void add_json_option(CLI::App& command, command_line& line) {
  command.add_flag("--json", line.json, "print JSON (see below)");
  command.footer(kJsonFooter + std::string("\n\n") + command.get_footer());
}

void add_settings_options(CLI::App& command, command_line& line) {
  command.add_option("--config", line.settings.config,
                     "the settings file (default: $XDG_CONFIG_HOME/btshell/settings.json when it exists)")
      ->type_name("FILE")
      ->check(kNotEmpty);
  add_setting<std::string>(command, line, "--listen", "listen-address",
                           "where the kernel accepts peers (port 0: any free one)")
      ->type_name("HOST:PORT[,...]")
      ->check(kListenValidator);
  command.add_flag_callback("--no-dht", [&line] { line.settings.values["dht"] = false; }, "no distributed hash table");
  command.add_flag_callback("--no-lsd", [&line] { line.settings.values["local-discovery"] = false; },
                            "no local peer discovery");
  command.add_flag_callback("--no-upnp", [&line] { line.settings.values["port-mapping"] = false; },
                            "no port mapping (UPnP, NAT-PMP)");
  add_setting<std::int64_t>(command, line, "--download-limit", "download-limit", "KiB/s, all tasks together (0: none)")
      ->type_name("KIB")
      ->check(kNonNegative);
  add_setting<std::int64_t>(command, line, "--upload-limit", "upload-limit", "KiB/s, all tasks together (0: none)")
      ->type_name("KIB")
      ->check(kNonNegative);
  add_setting<int>(command, line, "--max-peers", "connections-limit", "peer connections, all tasks together")
      ->type_name("N")
      ->check(kNonNegative);
}

void add_download_options(CLI::App& command, command_line& line) {
  command
      .add_option("--files", line.transfer.files,
                  "download only these files: indexes as inspect lists them, ranges I-J, patterns on the path "
                  "inside the torrent ('*.mkv', 'disc1/*'); comma-separated, repeatable")
      ->type_name("SELECTION")
      ->check(kFileSelection);
  add_peer_option(command, line);
  add_peers_flag(command, line);
  command.add_option("--seed-after", line.transfer.seed_after, "once complete, seed at most this long (see below)")
      ->type_name("SECONDS");
  add_seed_ratio_option(command, line);
  add_settings_options(command, line);
  command.add_flag("--json", line.json, "print the final report as JSON");
  command.footer(std::string(kTransferFooter) + "\n" + kFilesText + "\n\n" + kSeedingFooter + "\n\n" + url_text() +
                 "\n\n" + kSettingsFooter + "\n\n" + kDownloadExitText);
}

void add_seed_options(CLI::App& command, command_line& line) {
  command.add_option("--for", line.transfer.seed_for, "seed at most this long (default: until interrupted)")
      ->type_name("SECONDS");
  add_peer_option(command, line);
  add_peers_flag(command, line);
  add_seed_ratio_option(command, line);
  add_settings_options(command, line);
  command.add_flag("--json", line.json, "print the final report as JSON");
  command.footer(std::string(kTransferFooter) + "\n\n" + kSeedingFooter + "\n\n" + url_text() + "\n\n" +
                 kSettingsFooter + "\n\n" + kExitText);
}

void add_settings_command_options(CLI::App& command, command_line& line) {
  add_settings_options(command, line);
  command.add_flag("--json", line.json, "print JSON: {\"settings_file\", \"settings\": [{\"key\", \"value\", \"source\"}]}");
  command.footer(std::string(kSettingsFooter) + "\n\n" + kExitText);
}

void add_create_options(CLI::App& command, command_line& line) {
  create_options& o = line.create;
  command.add_option("-o,--output", o.output, "the seed file to write")->type_name("SEED")->required()->check(kNotEmpty);
  command.add_option("--tracker", o.trackers, "a tracker's announce URL (repeatable; the first is the main one)")
      ->type_name("URL")
      ->check(kNotEmpty);
  command.add_option("--piece-size", o.piece_size, "the piece size (default: from the total size, see below)")
      ->type_name("N")
      ->check(kNotEmpty);
  command.add_flag("--private", o.is_private, "set the private flag (peers only from the trackers)");
  command.add_option("--comment", o.comment, "a comment")->type_name("TEXT");
  command.add_option("--web-seed", o.web_seeds, "a web seed's URL (repeatable)")->type_name("URL")->check(kNotEmpty);
  command.add_flag("--force", o.force, "replace SEED when it exists");
  command.footer(kCreateFooter);
}

void add_verify_options(CLI::App& command, command_line& line) {
  command.add_flag("--json", line.json, "print the report as JSON (texts as with inspect --json)");
  command.footer(kVerifyFooter);
}

parse_result parse_command_line(const std::vector<std::string>& words) {
  parse_result result;
  grammar g(result.line);
  std::vector<std::string> reversed(words.rbegin(), words.rend());  // CLI11 takes them last first
  try {
    g.app().parse(reversed);
  } catch (const CLI::CallForHelp&) {
    const std::vector<CLI::App*> chosen = g.app().get_subcommands();
    result.output = usage_text(chosen.empty() ? std::string() : chosen.front()->get_name());
    return result;
  } catch (const CLI::ParseError& error) {
    result.error = error_text(g.app(), error);
    return result;
  }

  command_line& line = result.line;
  if (line.verbose && !line.log_config.empty()) {
    result.error = "-v and --log-config exclude each other";
    return result;
  }
  if (g.app().count("--kernel-version")) {
    line.version = parse_kernel_version(g.kernel_version());
    if (!line.version) {
      result.error = "--kernel-version takes MAJOR.MINOR (e.g. 1.2), not " + g.kernel_version();
      return result;
    }
  }
  if (g.app().got_subcommand("help")) {
    if (!g.help_topic().empty() && !find_command(g.help_topic()) && g.help_topic() != "help")
      result.error = "unknown command " + g.help_topic();
    else
      result.output = usage_text(g.help_topic());
    return result;
  }
  const std::vector<CLI::App*> chosen = g.app().get_subcommands();
  if (!chosen.empty()) {
    line.command = chosen.front()->get_name();
    line.arguments = g.arguments();
  }
  return result;
}

std::string usage_text(const std::string& command) {
  command_line unused;
  grammar g(unused);
  if (command.empty()) return g.app().help();
  return g.app().get_subcommand(command)->help("btshell");
}

}  // namespace btshell
