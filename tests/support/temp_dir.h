// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
#pragma once

#include <string>

namespace bts_test {

class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  // The directory, with a trailing '/'.
  const std::string& path() const { return path_; }
  // path() + relative.
  std::string file(const std::string& relative) const { return path_ + relative; }
  // Writes `content` to path() + relative (parents must exist).
  std::string write(const std::string& relative, const std::string& content) const;
  // Creates path() + relative and its missing parents.
  std::string make_dirs(const std::string& relative) const;

 private:
  std::string path_;
};

// The bytes of the file at `path` ("" when it cannot be read).
std::string read_file(const std::string& path);

}  // namespace bts_test
