#include "common/release_assert.h"

#include <log4cplus/loggingmacros.h>

#include "platform/structured_exception.h"

std::string release_assert_text(const char* expression, const std::string& detail, const char* file, int line) {
  std::string text(expression ? expression : "");
  text += " not true, detail: ";
  text += detail;
  text += " file: ";
  text += file ? file : "";
  text += " line: ";
  text += std::to_string(line);
  return text;
}

void release_assert_failed(const char* expression, const std::string& detail, const char* file, int line) {
  platform::raise_exception(RELEASE_ASSERT_CODE, EXCEPTION_NONCONTINUABLE,
                            release_assert_text(expression, detail, file, line));
}

void report_assert(const log4cplus::Logger& logger, const char* expression, const std::string& detail,
                   const char* file, int line) {
  LOG4CPLUS_ERROR(logger, release_assert_text(expression, detail, file, line));
}
