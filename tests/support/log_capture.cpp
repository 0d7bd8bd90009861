#include "support/log_capture.h"

#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

namespace bts_test {

class log_capture::appender : public log4cplus::Appender {
 public:
  ~appender() override { destructorImpl(); }
  void close() override {}

  std::vector<log_line> snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 protected:
  void append(const log4cplus::spi::InternalLoggingEvent& event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({event.getLoggerName(), event.getLogLevel(), event.getMessage()});
  }

 private:
  mutable std::mutex mutex_;
  std::vector<log_line> lines_;
};

log_capture::log_capture() : impl_(new appender) {
  appender_ = log4cplus::SharedAppenderPtr(impl_);
  log4cplus::Logger root = log4cplus::Logger::getRoot();
  saved_level_ = root.getLogLevel();
  root.setLogLevel(log4cplus::ALL_LOG_LEVEL);
  root.addAppender(appender_);
}

log_capture::~log_capture() {
  log4cplus::Logger root = log4cplus::Logger::getRoot();
  root.removeAppender(appender_);
  root.setLogLevel(saved_level_);
}

std::vector<log_line> log_capture::lines() const { return impl_->snapshot(); }

std::vector<std::string> log_capture::texts(const std::string& logger, log4cplus::LogLevel level) const {
  std::vector<std::string> out;
  for (const auto& l : lines())
    if (l.logger == logger && l.level == level) out.push_back(l.text);
  return out;
}

int log_capture::count(const std::string& logger, log4cplus::LogLevel level, const std::string& text) const {
  int n = 0;
  for (const auto& t : texts(logger, level)) n += (t == text);
  return n;
}

int log_capture::count_containing(const std::string& logger, log4cplus::LogLevel level,
                                  const std::string& part) const {
  int n = 0;
  for (const auto& t : texts(logger, level)) n += (t.find(part) != std::string::npos);
  return n;
}

void log_capture::clear() { impl_->clear(); }

}  // namespace bts_test
