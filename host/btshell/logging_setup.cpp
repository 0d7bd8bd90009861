#include "host/btshell/logging_setup.h"

#include <fstream>
#include <memory>

#include <log4cplus/configurator.h>
#include <log4cplus/consoleappender.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>

namespace btshell {

namespace {

void console_to_stderr(log4cplus::LogLevel level, const char* pattern) {
  log4cplus::SharedAppenderPtr appender(new log4cplus::ConsoleAppender(/*logToStdErr=*/true, /*immediateFlush=*/true));
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

}  // namespace btshell
