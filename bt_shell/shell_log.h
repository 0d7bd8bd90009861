// The "CBtShell" logger, shared by the shell's source files.
#pragma once

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

log4cplus::Logger& shell_logger();

// Lines about one shell object begin with "[" + its address + "]".
#define SHELL_PREFIX "[" << static_cast<const void*>(this) << "]"
