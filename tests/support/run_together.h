// Runs a body on several threads that all start at the same moment, for the
// tests of what may be used from several threads at once (their suite names
// hold "Concurrent": the ThreadSanitizer build runs those).
#pragma once

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace bts_test {

// Calls body(0) ... body(threads - 1), each on a thread of its own, released
// together; returns when every one has returned.
inline void run_together(int threads, const std::function<void(int)>& body) {
  std::atomic<int> waiting{threads};
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&, i] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      body(i);
    });
  }
  for (std::thread& t : pool) t.join();
}

}  // namespace bts_test
