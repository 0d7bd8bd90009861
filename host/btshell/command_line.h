// btshell's command line: options, the command and its arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace btshell {

// Exit statuses.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;  // an operation failed
inline constexpr int exit_usage = 2;   // the command line was not understood

struct kernel_version {
  USHORT major = 0;
  USHORT minor = 0;
};

struct command_line {
  bool help = false;
  bool verbose = false;
  std::string log_config;  // empty: none
  std::string module;      // empty: the default module
  std::string modules_dir;  // empty: the default folder
  std::optional<kernel_version> version;
  std::string command;  // empty when none was given
  std::vector<std::string> arguments;
};

struct parse_result {
  command_line line;
  std::string error;  // empty when the line was understood
};

// Options may come anywhere; the first other word is the command, the rest
// its arguments ("--" ends the options). The command's name and argument
// count are checked here.
parse_result parse_command_line(const std::vector<std::string>& words);

// "1.2" -> {1, 2}; nothing for anything else.
std::optional<kernel_version> parse_kernel_version(const std::string& text);

// The usage text, ending with a newline.
std::string usage_text();

}  // namespace btshell
