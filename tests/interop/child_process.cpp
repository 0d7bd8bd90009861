#include "tests/interop/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace bts_test {

namespace {

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void become(const char* program, char* const* argv, char* const* envp, const char* dir, const char* out,
                         const char* err, pid_t parent) {
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
  execve(program, argv, envp);
  _exit(127);
}

// This process's environment, each variable that `overrides` names replaced.
std::vector<std::string> environment_with(const std::vector<std::string>& overrides) {
  std::vector<std::string> all(overrides);
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable(*entry);
    const std::string name = variable.substr(0, variable.find('=') + 1);
    bool replaced = false;
    for (const std::string& o : overrides) replaced = replaced || o.compare(0, name.size(), name) == 0;
    if (!replaced) all.push_back(variable);
  }
  return all;
}

std::vector<char*> pointers(const std::vector<std::string>& words) {
  std::vector<char*> all;
  for (const std::string& w : words) all.push_back(const_cast<char*>(w.c_str()));
  all.push_back(nullptr);
  return all;
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

void adopt_orphans() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

namespace {

// The processes whose parent is this one, from /proc/<pid>/stat (the parent
// is the second field after the parenthesised name).
std::vector<pid_t> children_of_this_process() {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  const pid_t self = getpid();
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) continue;
    std::istringstream rest(stat.substr(name_end + 1));
    std::string state;
    pid_t parent = 0;
    if (rest >> state >> parent && parent == self) found.push_back(pid);
  }
  closedir(proc);
  return found;
}

}  // namespace

int end_orphans() {
  // Killing one may hand over its own children: again until none is left
  // (a few rounds: a chain of orphans is short).
  constexpr int kRounds = 8;
  int ended = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::vector<pid_t> found = children_of_this_process();
    if (found.empty()) break;
    for (const pid_t pid : found) {
      kill(pid, SIGKILL);
      if (waitpid(pid, nullptr, 0) == pid) ++ended;
    }
  }
  return ended;
}

bool child_process::start(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
                          const std::string& err, const std::vector<std::string>& environment) {
  if (pid_ > 0 || argv.empty()) return false;
  const std::string program = find_program(argv[0]);
  if (program.empty()) return false;
  // Made before the fork: the child may only make async-signal-safe calls.
  std::vector<char*> words = pointers(argv);
  const std::vector<std::string> variables = environment_with(environment);
  std::vector<char*> envp = pointers(variables);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0)
    become(program.c_str(), words.data(), envp.data(), dir.c_str(), out.c_str(), err.c_str(), parent);
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
