// The "bt_shell_task" logger, shared by the proxy task's source files.
#pragma once

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

log4cplus::Logger& task_logger();

// Lines about one proxy begin with "[" + its address + "]".
#define TASK_PREFIX "[" << static_cast<const void*>(this) << "]"
