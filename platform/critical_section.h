// Critical section: a recursive mutex, as the Win32 one may be re-entered
// by its owning thread.
#pragma once

#include <mutex>

namespace platform {

class critical_section {
 public:
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }
  bool try_lock() { return m_.try_lock(); }

 private:
  std::recursive_mutex m_;
};

using critical_section_lock = std::lock_guard<critical_section>;

}  // namespace platform
