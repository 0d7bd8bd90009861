// SIGINT, SIGTERM and SIGHUP caught while the object lives, so that a command
// can end its work cleanly (stop its task, which saves the task's state)
// instead of dying with it.
//
// Signals that come within kSameRequest of the first one of a request are
// that request: GNU timeout, for one, signals the process and then its whole
// group, and a terminal may send SIGHUP and SIGTERM together. The first
// request is noted (caught()). A second one asks for a quick end: the
// command ends as soon as its stop's state save is over (state_saved()
// says whether to), and at once when that is over already. A third one ends
// the process at once, as the signal would have without the object.
//
// The earlier handlers come back with the destructor. One object at a time;
// any thread may ask.
#pragma once

#include <signal.h>

#include <chrono>

namespace btshell {

class interrupt_signals {
 public:
  static constexpr std::chrono::milliseconds kSameRequest{1000};

  interrupt_signals();
  ~interrupt_signals();
  interrupt_signals(const interrupt_signals&) = delete;
  interrupt_signals& operator=(const interrupt_signals&) = delete;

  // The first signal caught; 0 while none was.
  int caught() const;
  // To be called once the stop's state save is over (its StopTask has
  // returned): from then on a second request ends the process at once.
  // True when one came already: the caller ends now.
  bool state_saved();

 private:
  struct sigaction old_interrupt_ {};
  struct sigaction old_terminate_ {};
  struct sigaction old_hangup_ {};
};

}  // namespace btshell
