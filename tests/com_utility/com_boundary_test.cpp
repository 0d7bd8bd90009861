#include "com_utility/com_boundary.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/structured_exception.h"
#include "support/log_capture.h"

namespace {

using bts_test::log_capture;

TEST(ComBoundary, ExceptionsBecomeAnswersWithOneErrorLineAndTheReleaseAssertionPasses) {
  const log4cplus::Logger logger = log4cplus::Logger::getInstance("boundary_test");
  const void* const object = reinterpret_cast<const void*>(0x10);
  const struct {
    std::function<HRESULT()> body;
    HRESULT answer;
    const char* line;  // null: nothing logged
  } cases[] = {
      {[] { return S_FALSE; }, S_FALSE, nullptr},
      {[]() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY, "]Operation: out of memory"},
      {[]() -> HRESULT { throw std::length_error("too long"); }, E_FAIL, "]Operation: too long"},
  };
  for (const auto& c : cases) {
    log_capture cap;
    EXPECT_EQ(com_boundary(logger, object, "Operation", c.body), c.answer);
    const auto errors = cap.texts("boundary_test", log4cplus::ERROR_LOG_LEVEL);
    ASSERT_EQ(errors.size(), c.line ? 1u : 0u);
    if (c.line) {
      EXPECT_NE(errors[0].find(c.line), std::string::npos) << errors[0];
    }
  }
  EXPECT_THROW(com_boundary(logger, object, "Operation",
                            []() -> HRESULT { platform::raise_exception(0xE0008001, EXCEPTION_NONCONTINUABLE, "x"); }),
               platform::structured_exception);
}

}  // namespace
