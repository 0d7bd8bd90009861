// btshell's commands as a table: how each command's line looks and what runs
// it. A new command is one entry (commands.cpp) and its run function; its
// own options go into command_line and are added by the entry's `options`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/btshell/command_line.h"
#include "host/btshell/host_session.h"
#include "host/btshell/module_location.h"

namespace btshell {

struct command_argument {
  const char* name;  // "SEED"; "SEED..." takes one or more words
  const char* text;  // for the help
};

struct command_entry {
  const char* name;
  const char* summary;
  std::vector<command_argument> arguments;
  // Adds the command's own options, bound to fields of `line`; null: none.
  void (*options)(CLI::App& command, command_line& line);
  // Runs the command; the result is the exit status.
  int (*run)(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err);
  // The kernel module installed by default when the shell asks for one.
  kernel_module kernel = kernel_module::libtorrent;
};

const std::vector<command_entry>& command_table();
// Adds a command of a layer above btshell's own (the daemon) to the table;
// called by main() before the command line is read.
void add_command(command_entry entry);
// Null when there is no such command.
const command_entry* find_command(const std::string& name);

}  // namespace btshell
