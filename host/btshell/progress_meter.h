// How far a task is, as btshell shows it while a download or seed runs: a
// bar redrawn in place at the bottom of a terminal (with the peers under it
// for --peers), otherwise one plain line every few seconds (and at every
// change of status).
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "host/btshell/terminal_line.h"
#include "interfaces/IBtTask.h"

namespace btshell {

// "512 B", "1.5 KiB", "64.0 MiB", "2.0 GiB".
std::string byte_size_text(ULONGLONG bytes);
// "12.3 MiB/s".
std::string rate_text(ULONG bytes_per_second);
// "0:07", "12:34", "1:02:03"; "--:--" when unknown (nothing moving).
std::string eta_text(ULONGLONG remaining_bytes, ULONG bytes_per_second);
// The name of a task status (bt_task_status.h): "idle", "checking",
// "downloading", "finished", "seeding", "stopped", "failed"; else the number.
std::string status_name(ULONG status);
// The percentage of a task's progress (parts per bt_task_progress_scale): "45.2%".
std::string percent_text(ULONG progress);

// One line of text:
//   downloading  45.2%  28.9 MiB of 64.0 MiB  down 12.3 MiB/s  ETA 0:03  peers 1 (1 seed)
//   seeding     100.0%  64.0 MiB of 64.0 MiB  up 5.0 MiB/s  sent 20.0 MiB  peers 1 (0 seeds)
std::string progress_line(const tagTASK_INFO& info);
// A bar that fills `width` columns (at least the text after the bar):
//   [##########..........]  45.2%  12.3 MiB/s  ETA 0:03  peers 1
std::string progress_bar(const tagTASK_INFO& info, std::size_t width);

// A job that is measured in bytes alone (hashing a seed's data), as a line:
//   hashing      45.2%  462.0 MiB of 1.0 GiB  812.0 MiB/s  ETA 0:01
// and as a bar:
//   [##########..........]  45.2%  812.0 MiB/s  ETA 0:01  hashing
struct work_progress {
  std::string what;  // "hashing"
  ULONGLONG done = 0, total = 0;
  ULONGLONG bytes_per_second = 0;
};
std::string progress_line(const work_progress& work);
std::string progress_bar(const work_progress& work, std::size_t width);

// Its operations may be called on any thread, one at a time (log lines
// come as notes from the kernel's thread too); text() is for one thread.
class progress_display {
 public:
  using clock = std::chrono::steady_clock;
  enum class style { bar, lines };

  // bar: drawn at the bottom of the terminal `terminal_fd` that `out` writes
  // to, as wide as it is (terminal_line.h); lines: one every `interval`.
  progress_display(std::ostream& out, style shown, int terminal_fd, std::chrono::seconds interval);
  ~progress_display();

  // Shows `info` when it is due: the bar at every call, with the lines
  // `below` under it, a line when the interval has passed since the last
  // one or the status changed (`below` is for the bar only).
  void show(const tagTASK_INFO& info, const std::vector<std::string>& below = {},
            clock::time_point now = clock::now());
  // The same for a job measured in bytes; a change of `what` counts as a
  // change of status.
  void show(const work_progress& work, clock::time_point now = clock::now());
  // `text` on a line of its own, above the bar.
  void note(const std::string& text);
  // The last state on a line of its own (unless that very line was the
  // last one written); the bar is gone.
  void finish(const tagTASK_INFO& info);
  void finish(const work_progress& work);
  // A stream whose every line is a note(): where btshell writes what it
  // tells the terminal while the display lives.
  std::ostream& text();

 private:
  class note_buffer;
  // `bar` and `line` make the texts; `status` tells a change of status.
  template <class Bar, class Line>
  void draw(Bar bar, Line line, const std::string& status, const std::vector<std::string>& below,
            clock::time_point now);
  void finish_with(const std::string& line);

  std::mutex lock_;  // guards everything below and the plain writes to out_
  std::ostream& out_;
  const style style_;
  const std::chrono::seconds interval_;
  std::unique_ptr<terminal_line> terminal_;  // bar only
  std::unique_ptr<note_buffer> note_buffer_;
  std::unique_ptr<std::ostream> text_;
  bool shown_ = false;
  std::string last_status_;
  std::string last_line_text_;  // the last progress line written
  clock::time_point last_line_{};
};

// How progress is shown on stderr: a bar on a terminal, else lines; lines
// too when `log_config` (a properties file's appenders write where it says:
// no bar for them to break).
progress_display::style stderr_style(bool log_config);

}  // namespace btshell
