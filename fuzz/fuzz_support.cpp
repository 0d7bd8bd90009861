#include "fuzz/fuzz_support.h"

#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>

#include "common/charset_analyser.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "platform/mlang.h"

namespace fuzz {

void init_logging(log4cplus::LogLevel level) {
  // Lives as long as the process: libFuzzer leaves through exit().
  static log4cplus::Initializer* initializer = new log4cplus::Initializer;
  (void)initializer;
  log4cplus::Logger root = log4cplus::Logger::getRoot();
  root.removeAllAppenders();
  root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender));
  root.setLogLevel(level);
}

void set_log_level(const char* logger, log4cplus::LogLevel level) {
  log4cplus::Logger::getInstance(logger).setLogLevel(level);
}

void init_text_services(unsigned ansi_code_page) {
  platform::set_ansi_code_page(ansi_code_page);
  auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser::init(detector.get());
}

}  // namespace fuzz
