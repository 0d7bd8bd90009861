#include "host/daemon/daemon_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <thread>

#include "host/btshell/commands.h"
#include "host/btshell/interrupt_signals.h"
#include "host/btshell/kernel_link.h"
#include "host/daemon/task_host.h"
#include "host/rpc/http_server.h"
#include "host/rpc/static_site.h"
#include "host/web/web_page.h"
#include "host/rpc/password_hash.h"
#include "host/rpc/rpc_gate.h"
#include "host/rpc/rpc_methods.h"

#ifndef BTSHELL_VERSION
#define BTSHELL_VERSION "unknown"
#endif

namespace daemon_host {
namespace {

constexpr auto kTick = std::chrono::milliseconds(250);
constexpr const char kLogger[] = "btshell daemon";

void add_daemon_options(CLI::App& command, btshell::command_line& line) {
  // The settings' own options first (--config, --listen, --no-dht ...),
  // then the daemon's, each bound to its key of the settings file.
  btshell::add_settings_options(command, line);
  const auto add_text = [&](const char* option, const char* key, const char* text, const char* type) {
    command
        .add_option_function<std::string>(
            option, [&line, key](const std::string& value) { line.settings.values[key] = value; }, text)
        ->type_name(type);
  };
  add_text("--rpc-address", "rpc-address", "where the RPC listens (default 127.0.0.1:9091)", "ADDRESS:PORT");
  add_text("--rpc-username", "rpc-username", "the user name the RPC asks for", "NAME");
  command.add_option("--rpc-password", line.daemon.rpc_password,
                     "the password the RPC asks for (kept hashed in memory only; the settings file is the place "
                     "for a lasting one)")
      ->type_name("PASSWORD");
  add_text("--download-dir", "download-dir", "where tasks put their data", "FOLDER");
  add_text("--watch-dir", "watch-dir", "add the .torrent files put here", "FOLDER");
  add_text("--state-dir", "state-dir", "where seeds, task states and the task list are kept", "FOLDER");
  command.footer(
      "The RPC serves Transmission's clients (transmission-remote, for one) on POST /transmission/rpc.\n"
      "Ends cleanly on SIGTERM, SIGINT or SIGHUP: every task saves its state.\n"
      "Exit status: 0 after a clean end, 1 when it could not start or a state was not saved, 2 for a\n"
      "command line or settings file that is not understood.");
}

int run_daemon(const btshell::session_settings& base, const btshell::command_line& line, std::ostream& out,
               std::ostream& err) {
  log4cplus::Logger logger = log4cplus::Logger::getInstance(kLogger);
  if (!line.verbose && line.log_config.empty()) logger.setLogLevel(log4cplus::INFO_LOG_LEVEL);

  host_settings::settings settings;
  std::string settings_path, error;
  if (!settings_in_force(line, settings, settings_path, error)) {
    err << "btshell: " << error << '\n';
    return btshell::exit_usage;
  }
  std::string rpc_host;
  std::uint16_t rpc_port = 0;
  host_settings::split_address(settings.rpc_address, rpc_host, rpc_port);
  if (rpc_host == "localhost") rpc_host = "127.0.0.1";
  std::error_code ec;
  std::filesystem::create_directories(settings.download_dir, ec);

  btshell::interrupt_signals signals;
  btshell::session_settings session_settings = base;
  session_settings.p2p_hub = true;  // torrent-remove tells it of the files it deletes
  btshell::host_session session(session_settings);
  if (!btshell::open_session(session, err)) return btshell::exit_failed;
  int status = btshell::exit_ok;
  {
    // Attached before anything can load the kernel module: the kernel's
    // settings object registers before the kernel and takes the settings first.
    const btshell::attached_kernel_link kernel(session.host());
    task_host tasks(session, *kernel, settings, settings_path, BTSHELL_VERSION);
    if (!tasks.restore(error)) {
      err << "btshell: " << error << '\n';
      status = btshell::exit_failed;
    } else {
      rpc::gate_settings gate_settings;
      gate_settings.username = settings.rpc_username;
      gate_settings.password_hash = settings.rpc_password_hash;
      gate_settings.host_names = settings.rpc_host_names;
      rpc::rpc_gate gate(gate_settings);
      rpc::rpc_methods methods(tasks);
      rpc::server_settings server_settings;
      server_settings.address = rpc_host;
      server_settings.port = rpc_port;
      const rpc::static_site page(web::page_files());
      rpc::http_server server(server_settings, gate, methods, &page);
      error = server.start();
      if (!error.empty()) {
        err << "btshell: " << error << '\n';
        status = btshell::exit_failed;
      } else {
        const std::string shown = rpc_host.find(':') != std::string::npos ? "[" + rpc_host + "]" : rpc_host;
        const std::string origin = "http://" + shown + ":" + std::to_string(server.port());
        out << "btshell daemon: RPC on " << origin << "/transmission/rpc"
            << (settings.rpc_password_hash.empty() ? "" : " (password required)") << ", web page on " << origin
            << rpc::static_site::kRoot << ", " << tasks.task_count()
            << " task(s), state in " << settings.state_dir << std::endl;
        LOG4CPLUS_INFO(logger, "listening on " << shown << ":" << server.port() << ", settings from "
                                               << settings_path);
        while (signals.caught() == 0) {
          tasks.tick();
          std::this_thread::sleep_for(kTick);
        }
        LOG4CPLUS_INFO(logger, "signal " << signals.caught() << ": stopping every task");
        server.stop();
      }
      if (!tasks.stop_all()) status = btshell::exit_failed;
      signals.state_saved();
    }
  }
  session.close();
  out << "btshell daemon: stopped" << (status == btshell::exit_ok ? "" : " (a task's state was not saved)")
      << std::endl;
  return status;
}

}  // namespace

btshell::command_entry daemon_command() {
  return {"daemon",
          "run as a daemon holding many tasks, driven over Transmission's RPC; keeps them across restarts",
          {},
          add_daemon_options,
          run_daemon};
}

bool settings_in_force(const btshell::command_line& line, host_settings::settings& s, std::string& path,
                       std::string& error) {
  host_settings::in_force resolved;
  if (!host_settings::resolve(line.settings.config, false, line.settings.values, resolved, error)) return false;
  s = std::move(resolved.values);
  path = resolved.path;
  if (!s.rpc_password.empty()) {
    // A password in clear in the file is kept only as its hash: the file
    // is written again as it was read (no option in it), the hash in place.
    s.rpc_password_hash = rpc::hash_password(s.rpc_password);
    s.rpc_password.clear();
    host_settings::settings file = host_settings::defaults();
    if (!host_settings::load(path, file, error)) return false;
    file.rpc_password.clear();
    file.rpc_password_hash = s.rpc_password_hash;
    if (!host_settings::save(path, file, error)) return false;
  }
  if (line.daemon.rpc_password) s.rpc_password_hash = rpc::hash_password(*line.daemon.rpc_password);
  std::string host;
  std::uint16_t port = 0;
  if (!host_settings::split_address(s.rpc_address, host, port)) {
    error = "the RPC address \"" + s.rpc_address + "\" is not ADDRESS:PORT";
    return false;
  }
  if (!host_settings::is_loopback_host(host) && s.rpc_password_hash.empty()) {
    error = "the RPC would listen on " + s.rpc_address +
            " without a password: set rpc-username and rpc-password, or listen on a loopback address";
    return false;
  }
  return true;
}

}  // namespace daemon_host
