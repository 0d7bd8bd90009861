#include "host/btshell/logging_setup.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

#include <log4cplus/appender.h>
#include <log4cplus/configurator.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>

namespace btshell {

namespace {

// Where btshell's console lines go; guarded by g_route_lock.
std::mutex g_route_lock;
std::function<void(const std::string&)> g_route;

// stderr, or the route of a log_lines_to while there is one.
class console_appender : public log4cplus::Appender {
 public:
  ~console_appender() override { destructorImpl(); }
  void close() override {}

 protected:
  // log4cplus calls it one event at a time for this appender.
  void append(const log4cplus::spi::InternalLoggingEvent& event) override {
    log4cplus::tostringstream formatted;
    layout->formatAndAppend(formatted, event);
    std::string text = LOG4CPLUS_TSTRING_TO_STRING(formatted.str());
    std::lock_guard<std::mutex> lock(g_route_lock);
    if (!g_route) {
      std::cerr << text << std::flush;
      return;
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    g_route(text);
  }
};

void console_to_stderr(log4cplus::LogLevel level, const char* pattern) {
  log4cplus::SharedAppenderPtr appender(new console_appender());
  appender->setName(LOG4CPLUS_TEXT("btshell-console"));
  appender->setLayout(std::make_unique<log4cplus::PatternLayout>(LOG4CPLUS_TEXT(pattern)));
  log4cplus::Logger root = log4cplus::Logger::getRoot();
  root.removeAllAppenders();
  root.addAppender(appender);
  root.setLogLevel(level);
}

}  // namespace

bool configure_logging(const logging_choice& choice, std::string& error) {
  if (!choice.config_file.empty()) {
    if (!std::ifstream(choice.config_file)) {
      error = "cannot read the log configuration " + choice.config_file;
      return false;
    }
    log4cplus::PropertyConfigurator::doConfigure(LOG4CPLUS_STRING_TO_TSTRING(choice.config_file));
    return true;
  }
  if (choice.verbose)
    console_to_stderr(log4cplus::DEBUG_LOG_LEVEL, "%-5p %c: %m%n");
  else
    console_to_stderr(log4cplus::WARN_LOG_LEVEL, "btshell: %p %c: %m%n");
  return true;
}

log_lines_to::log_lines_to(std::function<void(const std::string&)> write) {
  std::lock_guard<std::mutex> lock(g_route_lock);
  g_route = std::move(write);
}

log_lines_to::~log_lines_to() {
  std::lock_guard<std::mutex> lock(g_route_lock);
  g_route = nullptr;
}

}  // namespace btshell
