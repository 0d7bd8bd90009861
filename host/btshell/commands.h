// btshell's commands. Each runs in a host session of its own and writes
// its report to `out` and its failures to `err`; the result is the exit
// status.
#pragma once

#include <ostream>
#include <string>

#include "host/btshell/command_line.h"
#include "host/btshell/host_session.h"

namespace btshell {

// The settings of the command line, with the build tree's defaults for
// what it leaves out.
session_settings settings_from(const command_line& line);

// Runs line.command (one that parse_command_line accepted, not "help").
int run_command(const command_line& line, std::ostream& out, std::ostream& err);

int inspect_seed(const session_settings& settings, const std::string& seed, std::ostream& out, std::ostream& err);
int list_temp_files(const session_settings& settings, const std::string& seed, const std::string& data_folder,
                    std::ostream& out, std::ostream& err);
int notify_deleted(const session_settings& settings, const std::string& data_folder, const std::string& seed,
                   std::ostream& out, std::ostream& err);
int notify_moved(const session_settings& settings, const std::string& old_folder, const std::string& seed,
                 const std::string& new_folder, std::ostream& out, std::ostream& err);
// lazy_kernel.cpp
int play_lazy_kernel(const session_settings& settings, const std::string& seed, const std::string& data_folder,
                     std::ostream& out, std::ostream& err);

// The folder as the shell expects it: with a trailing '/'.
std::string folder_argument(const std::string& folder);

}  // namespace btshell
