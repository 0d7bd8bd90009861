// What the benchmark programs share: the parser's seed-file path, the file
// reading the floor and the peer use, and the plugin module loaded as a host
// loads it.
#pragma once

#include <fcntl.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "bencode/large_buffer.h"
#include "host/download_lib/download_lib.h"
#include "host/download_lib/plugin_host.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/string_types.h"

namespace bts_bench {

struct file_buffer {
  large_buffer pages;             // read with large pages, as the parser reads
  std::unique_ptr<char[]> plain;  // read into an ordinary allocation
  std::size_t size = 0;
  const char* data() const { return plain ? plain.get() : pages.data(); }
};

// Reads the whole file into one buffer, without a zero fill.
inline file_buffer read_file(const std::string& path, bool large_pages = false) {
  file_buffer out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    const auto size = static_cast<std::size_t>(st.st_size);
    char* data;
    if (large_pages) {
      out.pages = large_buffer(size);
      data = out.pages.data();
    } else {
      out.plain.reset(new char[size]);
      data = out.plain.get();
    }
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::read(fd, data + got, size - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    out.size = got;
  }
  ::close(fd);
  return out;
}

// The parser's part of a seed-file request: load, info hash, name, files
// and trackers. Returns the number of files (0 on failure).
inline std::size_t parser_path(const std::string& path) {
  CQTorrentFileParser parser;
  if (!parser.loadFile(path)) return 0;
  unsigned char digest[20];
  std::string name;
  seed_layout layout;
  std::string why;
  std::vector<std::string> urls;
  if (!parser.getInfoSHA1(digest) || !parser.getName(name) || !parser.getLayout(layout, why) ||
      !parser.getAnnounceList(urls)) {
    return 0;
  }
  return layout.files.size();
}

// Logging as a host runs it: warnings and errors only, to nowhere.
inline void log_as_a_host() {
  log4cplus::Logger::getRoot().setLogLevel(log4cplus::WARN_LOG_LEVEL);
  log4cplus::Logger::getRoot().addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender));
}

// libbt_shell.so loaded through the host runtime (DllGetClassObject, Init),
// its shell taken from the host's registry.
class module_session {
 public:
  module_session() : host_(download_lib::create()), loader_(host_.get()) { loader_.load(BTS_SHELL_MODULE); }
  ~module_session() {
    loader_.unload();
    host_->shutdown();
  }
  module_session(const module_session&) = delete;
  module_session& operator=(const module_session&) = delete;

  // Null when the module did not load.
  IBitTorrent2* shell() const { return loader_.shell(); }

 private:
  com_ptr<download_lib> host_;
  plugin_host loader_;
};

// ParseSeedFile and ReleaseSeedFileInfo: the number of files, or -1 when
// the module refuses the seed.
inline long parse_seed_file(IBitTorrent2& shell, const std::string& seed) {
  SEED_FILE_INFO* info = nullptr;
  if (shell.ParseSeedFile(to_tag_string(seed), &info) != 0) return -1;
  const long files = static_cast<long>(info->file_count);
  shell.ReleaseSeedFileInfo(info);
  return files;
}

// A data folder (with its trailing '/') under `root` that holds an empty
// file for every file of the seed, laid out as the module reports them.
// Empty when the module refuses the seed.
inline std::string lay_out_data_folder(IBitTorrent2& shell, const std::string& seed, const std::string& root) {
  namespace fs = std::filesystem;
  SEED_FILE_INFO* info = nullptr;
  if (shell.ParseSeedFile(to_tag_string(seed), &info) != 0) return std::string();
  const std::string folder = root + "/" + fs::path(seed).stem().string() + "/";
  for (ULONG i = 0; i < info->file_count; ++i) {
    const SEED_FILE_ITEM& item = info->files[i];
    const std::string dir = folder + std::string(item.path, item.path_len);
    fs::create_directories(dir);
    std::ofstream(dir + std::string(item.name, item.name_len));
  }
  shell.ReleaseSeedFileInfo(info);
  return folder;
}

}  // namespace bts_bench
