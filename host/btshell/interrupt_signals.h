// SIGINT and SIGTERM caught while the object lives, so that a command can end
// its work cleanly (stop its task, which saves the task's state) instead of
// dying with it. The first of them is noted; a second one ends the process as
// it would have without the object. The earlier handlers come back with the
// destructor. One object at a time.
#pragma once

#include <signal.h>

namespace btshell {

class interrupt_signals {
 public:
  interrupt_signals();
  ~interrupt_signals();
  interrupt_signals(const interrupt_signals&) = delete;
  interrupt_signals& operator=(const interrupt_signals&) = delete;

  // The signal caught; 0 while none was. Any thread may ask.
  int caught() const;

 private:
  struct sigaction old_interrupt_ {};
  struct sigaction old_terminate_ {};
};

}  // namespace btshell
