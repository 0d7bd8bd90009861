// btshell: the command-line host of the BitTorrent plugin module, with its
// commands and the daemon's.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <log4cplus/initializer.h>

#include "host/btshell/command_line.h"
#include "host/btshell/command_table.h"
#include "host/btshell/commands.h"
#include "host/btshell/error_object.h"
#include "host/btshell/logging_setup.h"
#include "host/daemon/daemon_command.h"

int main(int argc, char** argv) {
  using namespace btshell;
  log4cplus::Initializer initializer;
  add_command(daemon_host::daemon_command());

  const std::vector<std::string> words(argv + 1, argv + argc);
  const parse_result parsed = parse_command_line(words);
  if (!parsed.error.empty()) {
    std::cerr << "btshell: " << parsed.error << "\n(btshell --help shows the commands)\n";
    if (asks_for_json(words)) print_error_object(std::cout, parsed.error, std::nullopt);
    return exit_usage;
  }
  if (!parsed.output.empty()) {
    std::cout << parsed.output;
    return exit_ok;
  }
  const command_line& line = parsed.line;
  if (line.command.empty() && !line.show_version) {
    std::cerr << usage_text();
    return exit_usage;
  }

  std::string error;
  if (!configure_logging(logging_choice{line.verbose, line.log_config}, error)) {
    std::cerr << "btshell: " << error << '\n';
    if (line.json) print_error_object(std::cout, error, std::nullopt);
    return exit_usage;
  }
  // Log lines go to stderr as they happen; keep the report in step with them.
  if (line.verbose || !line.log_config.empty()) std::cout << std::unitbuf;

  try {
    return run_command(line, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "btshell: " << e.what() << '\n';
    return exit_failed;
  }
}
