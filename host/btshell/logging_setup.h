// How btshell configures log4cplus for itself and the modules it loads
// (the modules never configure logging themselves).
#pragma once

#include <string>

namespace btshell {

struct logging_choice {
  bool verbose = false;     // everything from DEBUG up to stderr, compact lines
  std::string config_file;  // a log4cplus properties file; empty: none
};

// Without a choice: warnings and errors to stderr. False (with `error`
// set) when the properties file cannot be read.
bool configure_logging(const logging_choice& choice, std::string& error);

}  // namespace btshell
