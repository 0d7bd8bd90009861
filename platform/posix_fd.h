// POSIX descriptors: ownership and complete writes.
#pragma once

#include <cstddef>

namespace platform {

// Owns a descriptor (or -1) and closes it when it goes.
class fd_guard {
 public:
  explicit fd_guard(int fd) : fd_(fd) {}
  ~fd_guard();
  fd_guard(const fd_guard&) = delete;
  fd_guard& operator=(const fd_guard&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool close();

 private:
  int fd_;
};

// Writes everything, retrying after interruptions; `written` counts what
// was written. False with errno set (EIO when nothing more can be written).
bool write_all(int fd, const char* data, std::size_t size, std::size_t& written);

}  // namespace platform
