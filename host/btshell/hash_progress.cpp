#include "host/btshell/hash_progress.h"

#include <unistd.h>

#include <chrono>
#include <future>

#include "host/btshell/logging_setup.h"
#include "host/btshell/progress_meter.h"

namespace btshell {

namespace {

constexpr std::chrono::milliseconds kTick{200};
constexpr std::chrono::seconds kLineInterval{3};

}  // namespace

void hash_with_progress(piece_hasher& hasher, const std::string& what, bool log_config, std::ostream& err) {
  using clock = std::chrono::steady_clock;
  progress_display display(err, stderr_style(log_config), STDERR_FILENO, kLineInterval);
  // Log lines go above the bar.
  const log_lines_to log_lines([&display](const std::string& text) { display.note(text); });
  work_progress work;
  work.what = what;
  work.total = static_cast<ULONGLONG>(hasher.total_bytes());
  const clock::time_point began = clock::now();
  const auto measure = [&] {
    work.done = hasher.hashed_bytes();
    const double seconds = std::chrono::duration<double>(clock::now() - began).count();
    work.bytes_per_second = seconds > 0 ? static_cast<ULONGLONG>(static_cast<double>(work.done) / seconds) : 0;
  };
  std::future<void> done = std::async(std::launch::async, [&hasher] { hasher.run(); });
  while (done.wait_for(kTick) != std::future_status::ready) {
    measure();
    display.show(work);
  }
  done.get();
  measure();
  display.finish(work);
}

}  // namespace btshell
