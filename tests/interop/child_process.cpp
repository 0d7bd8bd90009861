#include "tests/interop/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

namespace bts_test {

namespace {

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void become(const char* program, char* const* argv, const char* dir, const char* out, const char* err,
                         pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(126);  // the parent is gone already
  const int in = open("/dev/null", O_RDONLY);
  const int o = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int e = open(err, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
  if (*dir && chdir(dir) != 0) _exit(126);
  // The parent's signal dispositions and mask are not the child's business.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(program, argv);
  _exit(127);
}

}  // namespace

std::string find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::string();
}

bool child_process::start(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
                          const std::string& err) {
  if (pid_ > 0 || argv.empty()) return false;
  const std::string program = find_program(argv[0]);
  if (program.empty()) return false;
  std::vector<char*> words;
  for (const std::string& a : argv) words.push_back(const_cast<char*>(a.c_str()));
  words.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) become(program.c_str(), words.data(), dir.c_str(), out.c_str(), err.c_str(), parent);
  pid_ = pid;
  status_ = -1;
  return true;
}

bool child_process::reap(int options) {
  if (pid_ <= 0) return true;
  int raw = 0;
  const pid_t done = waitpid(pid_, &raw, options);
  if (done == 0) return false;
  if (done == pid_) status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  pid_ = -1;
  return true;
}

bool child_process::running() { return !reap(WNOHANG); }

int child_process::wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!reap(WNOHANG)) {
    if (std::chrono::steady_clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status_;
}

void child_process::send(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

int child_process::stop(std::chrono::seconds grace) {
  if (pid_ <= 0) return status_;
  send(SIGTERM);
  if (wait(grace) >= 0) return status_;
  send(SIGKILL);
  reap(0);
  return status_;
}

}  // namespace bts_test
