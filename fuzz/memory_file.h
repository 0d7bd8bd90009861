// A file that lives in memory (memfd), rewritten with each input; path()
// names it for code that opens files by name.
#pragma once

#include <cstddef>
#include <string>

namespace fuzz {

class memory_file {
 public:
  memory_file();
  ~memory_file();
  memory_file(const memory_file&) = delete;
  memory_file& operator=(const memory_file&) = delete;

  void write(const unsigned char* data, std::size_t size);
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

}  // namespace fuzz
