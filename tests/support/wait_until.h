// Polls a condition that another thread or process makes true, for the
// tests that watch real transfers.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace bts_test {

// Calls `done` every few milliseconds until it answers true (true) or
// `limit` has passed (false).
inline bool wait_until(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace bts_test
