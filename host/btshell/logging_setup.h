// How btshell configures log4cplus for itself and the modules it loads
// (the modules never configure logging themselves).
#pragma once

#include <functional>
#include <string>

namespace btshell {

struct logging_choice {
  bool verbose = false;     // everything from DEBUG up to stderr, compact lines
  std::string config_file;  // a log4cplus properties file; empty: none
};

// Without a choice: warnings and errors to stderr. False (with `error`
// set) when the properties file cannot be read.
bool configure_logging(const logging_choice& choice, std::string& error);

// While the object lives, the lines btshell's own console logging writes
// (not those of a properties file's appenders) go to `write`, one call a
// line without its newline, instead of straight to stderr: a progress
// display puts them above its bar. Lines come from any thread (the kernel
// logs on its own), one at a time; the destructor waits for a line under
// way. One object at a time.
class log_lines_to {
 public:
  explicit log_lines_to(std::function<void(const std::string&)> write);
  ~log_lines_to();
  log_lines_to(const log_lines_to&) = delete;
  log_lines_to& operator=(const log_lines_to&) = delete;
};

}  // namespace btshell
