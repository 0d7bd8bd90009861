// `btshell daemon`: one long-running host of the plugin module with any
// number of tasks, driven over the RPC (host/rpc) and the watch folder,
// keeping its tasks across restarts (task_host.h). It runs in the
// foreground until SIGTERM, SIGINT or SIGHUP, then stops every task (each
// saves its state), writes its task list and ends.
#pragma once

#include <ostream>

#include "host/btshell/command_table.h"
#include "host/settings/host_settings.h"

namespace daemon_host {

// The command's entry for btshell's table.
btshell::command_entry daemon_command();

// The settings in force (host_settings::resolve: the options over the
// settings file over the defaults). A password in clear (from the file or
// --rpc-password) is hashed here; one that came from the file is replaced
// there by its hash. False with `error` set (a file that cannot be read or
// rewritten, a key it does not know, an RPC address that does not parse,
// or a non-loopback one without a password).
bool settings_in_force(const btshell::command_line& line, host_settings::settings& s, std::string& path,
                       std::string& error);

}  // namespace daemon_host
