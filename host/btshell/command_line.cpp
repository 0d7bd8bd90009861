#include "host/btshell/command_line.h"

#include <cstdlib>

namespace btshell {

namespace {

struct command_entry {
  const char* name;
  const char* arguments;
  std::size_t count;
  const char* summary;
};

const command_entry kCommands[] = {
    {"inspect", "SEED", 1, "what the seed file describes: info hash, title, publisher, files, trackers"},
    {"temp-files", "SEED DATA_FOLDER", 2,
     "the download's files on disk: configuration files beside the seed, data files in the folder"},
    {"notify-deleted", "DATA_FOLDER SEED", 2, "tell the P2P hub that the download's files were deleted"},
    {"notify-moved", "OLD_FOLDER SEED NEW_FOLDER", 3, "tell the P2P hub that the download's files were moved"},
    {"lazy-kernel", "SEED DATA_FOLDER", 2,
     "create a task before the kernel module exists, install the kernel, show the hand-over"},
    {"help", "", 0, "this text"},
};

const command_entry* find_command(const std::string& name) {
  for (const command_entry& entry : kCommands)
    if (name == entry.name) return &entry;
  return nullptr;
}

bool parse_number(const std::string& text, USHORT& value) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const unsigned long n = std::strtoul(text.c_str(), nullptr, 10);
  if (n > 0xFFFF) return false;
  value = static_cast<USHORT>(n);
  return true;
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

parse_result parse_command_line(const std::vector<std::string>& words) {
  parse_result result;
  command_line& line = result.line;
  std::vector<std::string> rest;
  bool options_done = false;

  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (options_done || word.size() < 2 || word[0] != '-') {
      rest.push_back(word);
      continue;
    }
    if (word == "--") {
      options_done = true;
      continue;
    }
    if (word == "-h" || word == "--help") {
      line.help = true;
      continue;
    }
    if (word == "-v" || word == "--verbose") {
      line.verbose = true;
      continue;
    }
    // Options with a value: "--name value" or "--name=value".
    std::string name = word;
    std::string value;
    bool has_value = false;
    if (const std::size_t eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
      has_value = true;
    }
    std::string* target = nullptr;
    if (name == "--module")
      target = &line.module;
    else if (name == "--modules-dir")
      target = &line.modules_dir;
    else if (name == "--log-config")
      target = &line.log_config;
    else if (name != "--kernel-version") {
      result.error = "unknown option " + word;
      return result;
    }
    if (!has_value) {
      if (i + 1 == words.size()) {
        result.error = name + " needs a value";
        return result;
      }
      value = words[++i];
    }
    if (value.empty()) {
      result.error = name + " needs a value";
      return result;
    }
    if (target) {
      *target = value;
    } else {
      line.version = parse_kernel_version(value);
      if (!line.version) {
        result.error = "--kernel-version takes MAJOR.MINOR (e.g. 1.2), not " + value;
        return result;
      }
    }
  }

  if (line.verbose && !line.log_config.empty()) {
    result.error = "-v and --log-config exclude each other";
    return result;
  }
  if (rest.empty()) return result;
  line.command = rest.front();
  line.arguments.assign(rest.begin() + 1, rest.end());
  const command_entry* entry = find_command(line.command);
  if (!entry) {
    result.error = "unknown command " + line.command;
    return result;
  }
  if (line.arguments.size() != entry->count) {
    result.error = line.command + " takes " + (entry->count ? entry->arguments : std::string("no arguments")) +
                   " (" + std::to_string(line.arguments.size()) + " given)";
    return result;
  }
  if (line.command == "help") line.help = true;
  return result;
}

std::string usage_text() {
  std::string text =
      "usage: btshell [OPTIONS] COMMAND [ARGUMENTS]\n"
      "\n"
      "Loads the BitTorrent plugin module (libbt_shell.so) into the host runtime,\n"
      "initialises it and drives its shell.\n"
      "\n"
      "commands:\n";
  for (const command_entry& entry : kCommands) {
    std::string head = std::string("  ") + entry.name + (entry.count ? " " : "") + entry.arguments;
    if (head.size() < 44)
      head.resize(44, ' ');
    else
      head += "\n" + std::string(44, ' ');
    text += head + entry.summary + "\n";
  }
  text +=
      "\n"
      "options:\n"
      "  --module PATH          the plugin module (default: libbt_shell.so of btshell's build tree)\n"
      "  --modules-dir DIR      the folder the host installs modules from, lib<name>.so\n"
      "                         (default: the folder of libbt_kernel.so in btshell's build tree)\n"
      "  --kernel-version X.Y   the kernel version the shell asks the host for: the module is loaded\n"
      "                         from a private copy with a bt_shell.ini saying so. Without it the\n"
      "                         module reads the bt_shell.ini beside itself, if there is one.\n"
      "  -v, --verbose          log everything, from DEBUG up, to stderr\n"
      "  --log-config FILE      configure logging from a log4cplus properties file\n"
      "                         (default: warnings and errors to stderr)\n"
      "  -h, --help             this text\n"
      "\n"
      "Folders are passed to the shell with a trailing '/'. Exit status: 0 success,\n"
      "1 an operation failed, 2 the command line was not understood.\n";
  return text;
}

}  // namespace btshell
