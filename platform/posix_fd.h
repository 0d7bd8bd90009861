// POSIX descriptors: ownership and complete writes.
#pragma once

#include <cstddef>
#include <string>

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

namespace platform {

// Replaces the file at `path` whole with `size` bytes of `data`: they go to
// a fresh file made exclusively beside it (a file or link planted there is
// never written through), which is synced and renamed over `path`, and the
// folder is synced so that the rename is on the disk too. A reader sees the
// old file or the new one, never a part. 0, or the errno of what failed
// (the temporary file is gone again then).
int replace_file_whole(const std::string& path, const void* data, std::size_t size);
// The whole of the file `path` into `bytes` (left as it was on failure); 0,
// or the errno of what failed (ENOENT: there is none).
int read_file_whole(const std::string& path, std::string& bytes);
// Syncs the folder that holds `path`; 0 or errno (a file system that cannot
// sync a folder counts as done).
int sync_folder_of(const std::string& path);

}  // namespace platform
