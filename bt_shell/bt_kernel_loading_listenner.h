// The operations through which the shell tells a waiting proxy task that the
// kernel module arrived (error code 0) or will not come (the failure code).
#pragma once

#include "platform/types.h"

struct bt_kernel_loading_listenner {
  virtual void loading_complete(ULONG error_code) = 0;

  // The shell's list holds no references: for the length of a call the shell
  // takes one, under the list's guard, unless the listener is already being
  // destroyed (its destructor then leaves the list under that guard).
  virtual bool hold_for_call() = 0;
  virtual void release_after_call() = 0;

 protected:
  ~bt_kernel_loading_listenner() = default;
};
