// What the benchmark programs share: the shell's whole seed-file path, and
// the file reading the floor and the peer use.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bencode/large_buffer.h"

namespace bts_bench {

struct file_buffer {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

// Reads the whole file the way the parser does (one buffer, no zero fill).
inline file_buffer read_file(const std::string& path, bool large_pages = false) {
  file_buffer out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    out.data.reset(new char[static_cast<std::size_t>(st.st_size)]);
    if (large_pages && st.st_size >= kLargeBufferSize) {
      advise_large_buffer(out.data.get(), static_cast<std::size_t>(st.st_size));
    }
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(st.st_size)) {
      const ssize_t n = ::read(fd, out.data.get() + got, static_cast<std::size_t>(st.st_size) - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    out.size = got;
  }
  ::close(fd);
  return out;
}

// What the shell does for a seed-file request: load, info hash, name, files
// and trackers. Returns the number of files (0 on failure).
inline std::size_t shell_path(const std::string& path) {
  CQTorrentFileParser parser;
  if (!parser.loadFile(path)) return 0;
  unsigned char digest[20];
  std::string name;
  std::vector<TorrentFileEntry> files;
  std::vector<std::string> urls;
  if (!parser.getInfoSHA1(digest) || !parser.getName(name) || !parser.getFiles(files) ||
      !parser.getAnnounceList(urls)) {
    return 0;
  }
  return files.size();
}

}  // namespace bts_bench
