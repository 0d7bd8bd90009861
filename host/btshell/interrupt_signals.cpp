#include "host/btshell/interrupt_signals.h"

#include <time.h>

#include <atomic>

namespace btshell {

namespace {

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
constexpr long long kSameRequestNs =
    std::chrono::duration_cast<std::chrono::nanoseconds>(interrupt_signals::kSameRequest).count();

// Written by the handler, on whatever thread the signal is delivered to, and
// by state_saved(); sequentially consistent, so that of a request and the
// end of the save that race, one side sees the other.
std::atomic<int> g_caught{0};
std::atomic<int> g_requests{0};
std::atomic<long long> g_request_began{0};  // CLOCK_MONOTONIC, nanoseconds
std::atomic<bool> g_saved{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<long long>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

long long monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Ends the process as `number` does by default: delivered once the handler returns.
void end_by(int number) {
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(number, &plain, nullptr);
  raise(number);
}

void note_signal(int number) {
  const long long now = monotonic_ns();
  // Two threads may take signals of one request at once: the one that
  // claims the request's start counts it.
  long long began = g_request_began.load();
  do {
    if (began != 0 && now - began < kSameRequestNs) return;  // the request under way
  } while (!g_request_began.compare_exchange_weak(began, now));
  const int requests = ++g_requests;
  if (requests == 1) {
    g_caught = number;
    return;
  }
  // A second request waits for the state save (state_saved() ends then); a
  // third does not wait.
  if (requests > 2 || g_saved.load()) end_by(number);
}

}  // namespace

interrupt_signals::interrupt_signals() {
  g_caught = 0;
  g_requests = 0;
  g_request_began = 0;
  g_saved = false;
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  for (int number : kCaught) sigaddset(&action.sa_mask, number);
  action.sa_flags = 0;
  struct sigaction* old[] = {&old_interrupt_, &old_terminate_, &old_hangup_};
  for (int i = 0; i < 3; ++i) sigaction(kCaught[i], &action, old[i]);
}

interrupt_signals::~interrupt_signals() {
  const struct sigaction* old[] = {&old_interrupt_, &old_terminate_, &old_hangup_};
  for (int i = 0; i < 3; ++i) sigaction(kCaught[i], old[i], nullptr);
}

int interrupt_signals::caught() const { return g_caught.load(); }

bool interrupt_signals::state_saved() {
  g_saved = true;
  return g_requests.load() > 1;
}

}  // namespace btshell
