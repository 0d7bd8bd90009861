#include "platform/posix_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

namespace platform {

int sync_folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  fd_guard fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  // Some file systems cannot sync a folder; the rename stands all the same.
  return ::fsync(fd.get()) != 0 && errno != EINVAL ? errno : 0;
}

int read_file_whole(const std::string& path, std::string& bytes) {
  fd_guard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  std::string read;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    read.append(chunk, static_cast<std::size_t>(n));
  }
  bytes = std::move(read);
  return 0;
}

int replace_file_whole(const std::string& path, const void* data, std::size_t size) {
  std::string temporary = path + ".XXXXXX";
  fd_guard fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return errno;
  int error = ::fchmod(fd.get(), 0644) != 0 ? errno : 0;
  std::size_t written = 0;
  if (error == 0 && !write_all(fd.get(), static_cast<const char*>(data), size, written)) error = errno;
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (!fd.close() && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }
  return sync_folder_of(path);
}

}  // namespace platform
