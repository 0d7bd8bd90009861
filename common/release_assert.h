// The release assertion: how the module reports a broken internal invariant.
//
// The text is  expression + " not true, detail: " + detail + " file: " +
// source file + " line: " + line,  raised as the non-continuable structured
// exception 0xE0008001 carrying that text.
//
// Checks that a host's own call sequence can reach are not raised: they are
// reported with REPORT_ASSERT (the same text, logged at ERROR) and the
// caller then returns its documented safe answer.
#pragma once

#include <log4cplus/logger.h>

#include <string>

#include "platform/types.h"

constexpr DWORD RELEASE_ASSERT_CODE = 0xE0008001;

std::string release_assert_text(const char* expression, const std::string& detail, const char* file, int line);

[[noreturn]] void release_assert_failed(const char* expression, const std::string& detail, const char* file,
                                        int line);

// Logs the assertion text at ERROR on `logger` without raising.
void report_assert(const log4cplus::Logger& logger, const char* expression, const std::string& detail,
                   const char* file, int line);

// Raises when `cond` is false; the expression text is the condition as written.
#define RELEASE_ASSERT(cond, detail) \
  do { \
    if (!(cond)) ::release_assert_failed(#cond, (detail), __FILE__, __LINE__); \
  } while (0)

// Same, with an explicit expression text.
#define RELEASE_ASSERT_TEXT(cond, text, detail) \
  do { \
    if (!(cond)) ::release_assert_failed((text), (detail), __FILE__, __LINE__); \
  } while (0)

// Reports (logs at ERROR) a violated expectation on a path the host can reach.
#define REPORT_ASSERT(logger, text, detail) ::report_assert((logger), (text), (detail), __FILE__, __LINE__)
