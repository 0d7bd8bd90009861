// What the fuzz targets share: the check that turns a broken property into a
// crash libFuzzer keeps, and the process set-up a host would do.
#pragma once

#include <cstdio>
#include <cstdlib>

#include <log4cplus/loglevel.h>

// A property the code under test must keep whatever the input; a failure
// aborts, so that libFuzzer saves the input that broke it.
#define FUZZ_CHECK(condition)                                                                   \
  do {                                                                                          \
    if (!(condition)) {                                                                         \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);     \
      std::abort();                                                                             \
    }                                                                                           \
  } while (0)

namespace fuzz {

// Initialises log4cplus once for the process with an appender that drops
// every line, the root logger open to `level`, so that the code that builds
// log lines runs as it does in a host that logs.
void init_logging(log4cplus::LogLevel level);

// Sets the logging level of one logger.
void set_log_level(const char* logger, log4cplus::LogLevel level);

// Hands the platform's built-in code-page detector to the charset analyser
// and sets the ANSI code page, as a host's plugin start does.
void init_text_services(unsigned ansi_code_page);

}  // namespace fuzz
