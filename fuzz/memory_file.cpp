#include "fuzz/memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include "fuzz/fuzz_support.h"

namespace fuzz {

memory_file::memory_file() : fd_(memfd_create("fuzz_input", MFD_CLOEXEC)) {
  FUZZ_CHECK(fd_ >= 0);
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

memory_file::~memory_file() { close(fd_); }

void memory_file::write(const unsigned char* data, std::size_t size) {
  FUZZ_CHECK(ftruncate(fd_, 0) == 0);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace fuzz
