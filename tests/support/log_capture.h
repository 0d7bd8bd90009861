// Captures the lines logged through log4cplus while it lives, so that tests
// can assert the exact (logger, level, text) of the system's own lines.
#pragma once

#include <log4cplus/appender.h>
#include <log4cplus/loglevel.h>

#include <mutex>
#include <string>
#include <vector>

namespace bts_test {

struct log_line {
  std::string logger;
  log4cplus::LogLevel level;
  std::string text;
};

class log_capture {
 public:
  // Attaches to the root logger and opens it to every level.
  log_capture();
  ~log_capture();
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;

  std::vector<log_line> lines() const;
  // Lines of one logger at one level, in order.
  std::vector<std::string> texts(const std::string& logger, log4cplus::LogLevel level) const;
  // Number of lines of (logger, level) whose text equals `text` exactly.
  int count(const std::string& logger, log4cplus::LogLevel level, const std::string& text) const;
  // Number of lines of (logger, level) whose text contains `part`.
  int count_containing(const std::string& logger, log4cplus::LogLevel level, const std::string& part) const;
  void clear();

 private:
  class appender;
  log4cplus::SharedAppenderPtr appender_;
  appender* impl_;
  log4cplus::LogLevel saved_level_;
};

}  // namespace bts_test
