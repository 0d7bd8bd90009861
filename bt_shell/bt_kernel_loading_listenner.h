// The one operation through which the shell tells a waiting proxy task that
// the kernel module arrived (error code 0) or will not come (the failure code).
#pragma once

#include "platform/types.h"

struct bt_kernel_loading_listenner {
  virtual void loading_complete(ULONG error_code) = 0;

 protected:
  ~bt_kernel_loading_listenner() = default;
};
