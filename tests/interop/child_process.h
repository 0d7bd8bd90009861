// A program a test starts, known by its process id. Its output goes to files;
// when the object goes it is stopped by that id (SIGTERM, then SIGKILL), so a
// test never leaves it running, whichever way the test ends; and should the
// test process itself die, the kernel kills the child (parent-death signal).
// Not thread-safe: one test thread starts, waits for and stops it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace bts_test {

class child_process {
 public:
  child_process() = default;
  ~child_process() { stop(); }
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  // Starts `argv` (argv[0] found in PATH unless it holds a '/') in `dir`
  // with stdin from /dev/null, stdout to `out` and stderr to `err` (paths),
  // in this process's environment with the "NAME=value" entries of
  // `environment` in place of the variables they name. False when it cannot
  // be started.
  bool start(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
             const std::string& err, const std::vector<std::string>& environment = {});

  pid_t pid() const { return pid_; }
  bool running();
  // Waits at most `limit` for the end. The exit status, 128 + the signal
  // when a signal ended it, -1 while it still runs.
  int wait(std::chrono::milliseconds limit);
  void send(int signal) const;
  // SIGTERM, SIGKILL once `grace` has passed; the status as wait() gives it.
  int stop(std::chrono::seconds grace = std::chrono::seconds(10));

 private:
  bool reap(int options);

  pid_t pid_ = -1;
  int status_ = -1;
};

// The program's full path when it is in PATH; empty otherwise.
std::string find_program(const std::string& name);

// Makes this process the reaper of its descendants' orphans: a process a
// child started and left behind (still running, or ended and never waited
// for) becomes this process's child when that child ends, not init's.
void adopt_orphans();
// Kills (SIGKILL) and waits for every child of this process, and so every
// orphan adopted since adopt_orphans(); call it once each child_process has
// stopped. How many there were.
int end_orphans();

}  // namespace bts_test
