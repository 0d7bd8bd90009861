#include "platform/posix_fd.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

fd_guard::~fd_guard() {
  if (fd_ >= 0) ::close(fd_);
}

bool fd_guard::close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

bool write_all(int fd, const char* data, std::size_t size, std::size_t& written) {
  written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
