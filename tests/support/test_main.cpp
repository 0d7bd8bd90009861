// Test entry point: log4cplus is initialised once for the whole binary, with
// no appender of its own; tests attach a log_capture where they assert lines.
#include <gtest/gtest.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>

int main(int argc, char** argv) {
  log4cplus::Initializer initializer;
  // A null appender keeps log4cplus from warning that no appender exists.
  log4cplus::Logger::getRoot().addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
