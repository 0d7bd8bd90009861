// The settings in force as btshell shows them: `btshell settings` (every
// setting and where it came from) and the report of download and seed (what
// the kernel ran with). Values are those of the settings file's keys, with
// the kernel's own for what the file and the options leave to it.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "host/btshell/kernel_link.h"
#include "host/settings/host_settings.h"

namespace btshell {

struct setting_row {
  std::string key;
  nlohmann::json value;  // null: unknown (the kernel did not tell)
  host_settings::source from = host_settings::source::default_value;
};

// Every key of the file but the clear password, in the file's order; a
// secret's value is "(hidden)" when it is set. `kernel` gives the kernel's
// own values.
std::vector<setting_row> settings_rows(const host_settings::in_force& settings, const kernel_link& kernel);
// The settings the kernel holds, as it holds them now: {"listen-address":
// "127.0.0.1:0", "dht": false, ...}; null values for what it did not tell.
nlohmann::ordered_json kernel_settings_json(const kernel_link& kernel);
// A value as the text output shows it: texts as they are ("(none)" when
// empty), anything else as JSON.
std::string setting_text(const nlohmann::json& value);

}  // namespace btshell
