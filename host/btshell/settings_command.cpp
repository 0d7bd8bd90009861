// btshell settings: what download, seed and the daemon would run with.
// The kernel module is loaded to tell its own defaults (bt_kernel.ini beside
// it over its built-in ones), its session kept to loopback meanwhile, no
// DHT, local discovery or port mapping: asking opens nothing to the network.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "host/btshell/commands.h"
#include "host/btshell/json_printers.h"
#include "host/btshell/magnet_fetch.h"
#include "host/btshell/settings_view.h"

namespace btshell {
namespace {

constexpr char kHidden[] = "(hidden)";
constexpr int kKeyColumn = 24, kSourceColumn = 9;

// The same with every text through json_text().
nlohmann::json printable(const nlohmann::json& value) {
  if (value.is_string()) return json_text(value.get<std::string>());
  if (!value.is_array()) return value;
  nlohmann::json items = nlohmann::json::array();
  for (const nlohmann::json& item : value) items.push_back(printable(item));
  return items;
}

}  // namespace

std::string setting_text(const nlohmann::json& value) {
  if (value.is_null()) return "(unknown)";
  if (!value.is_string()) return printable(value).dump();
  const std::string text = value.get<std::string>();
  return text.empty() ? "(none)" : text;
}

std::vector<setting_row> settings_rows(const host_settings::in_force& settings, const kernel_link& kernel) {
  std::vector<setting_row> rows;
  const auto own = [&kernel](const std::string& key) { return kernel.own_value(key); };
  for (const std::string& key : host_settings::key_names()) {
    if (key == "rpc-password") continue;  // never kept: the daemon hashes it
    setting_row row{key, host_settings::value_of(settings.values, key), settings.of(key)};
    if (row.value.is_null()) row.value = host_settings::kernel_value_of(key, own);
    if (host_settings::is_secret(key) && row.value.is_string() && !row.value.get<std::string>().empty())
      row.value = kHidden;
    rows.push_back(std::move(row));
  }
  return rows;
}

nlohmann::ordered_json kernel_settings_json(const kernel_link& kernel) {
  nlohmann::ordered_json values = nlohmann::ordered_json::object();
  const auto now = [&kernel](const std::string& key) { return kernel.session_value(key); };
  for (const std::string& key : host_settings::kernel_key_names())
    values[key] = printable(host_settings::kernel_value_of(key, now));
  return values;
}

int run_settings(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err) {
  host_settings::in_force in_force;
  std::string error;
  if (!host_settings::resolve(line.settings.config, true, line.settings.values, in_force, error)) {
    err << "btshell: " << error << '\n';
    return exit_usage;
  }
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  std::vector<setting_row> rows;
  bool kernel_told = false;
  {
    attached_kernel_link kernel(session.host());
    host_settings::settings quiet;
    quiet.listen_address = "127.0.0.1:0";
    quiet.dht = quiet.local_discovery = quiet.port_mapping = false;
    kernel->set_session(host_settings::kernel_values(quiet));
    install_kernel_module(session);
    rows = settings_rows(in_force, *kernel);
    const nlohmann::ordered_json now = kernel_settings_json(*kernel);
    kernel_told = std::any_of(now.begin(), now.end(), [](const nlohmann::ordered_json& v) { return !v.is_null(); });
  }
  session.close();
  std::error_code ec;
  const bool file_there = std::filesystem::exists(in_force.path, ec);
  if (line.json) {
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    for (const setting_row& row : rows)
      values[row.key] = {{"value", printable(row.value)}, {"source", host_settings::source_name(row.from)}};
    out << nlohmann::ordered_json{{"settings_file", json_text(in_force.path)},
                                  {"settings_file_exists", file_there},
                                  {"settings", values}}
               .dump(2)
        << '\n';
  } else {
    out << "settings file:  " << in_force.path << (file_there ? "" : " (not there: none read)") << '\n';
    for (const setting_row& row : rows) {
      char head[64];
      std::snprintf(head, sizeof head, "%-*s %-*s ", kKeyColumn, row.key.c_str(), kSourceColumn,
                    host_settings::source_name(row.from));
      out << head << setting_text(row.value) << '\n';
    }
  }
  if (kernel_told) return exit_ok;
  err << "btshell: the kernel module from " << session.modules_dir()
      << " could not be installed or tells no settings: its defaults are unknown\n";
  return exit_failed;
}

}  // namespace btshell
