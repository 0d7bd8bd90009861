#include "host/btshell/interrupt_signals.h"

#include <atomic>

namespace btshell {

namespace {

// Written by the handler, on whatever thread the signal is delivered to.
std::atomic<int> g_caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free atomic");

void note_signal(int number) {
  int none = 0;
  g_caught.compare_exchange_strong(none, number);
  // From now on either signal ends the process (sigaction is async-signal-safe).
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(SIGINT, &plain, nullptr);
  sigaction(SIGTERM, &plain, nullptr);
}

}  // namespace

interrupt_signals::interrupt_signals() {
  g_caught = 0;
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &old_interrupt_);
  sigaction(SIGTERM, &action, &old_terminate_);
}

interrupt_signals::~interrupt_signals() {
  sigaction(SIGINT, &old_interrupt_, nullptr);
  sigaction(SIGTERM, &old_terminate_, nullptr);
}

int interrupt_signals::caught() const { return g_caught.load(); }

}  // namespace btshell
