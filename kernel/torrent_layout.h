// Where a torrent's files go on disk.
//
// The names are those the plugin module's temporary-file listing and hub
// notices use: a file lives at the data folder + its folder path inside the
// torrent + its name (the torrent's own name is not a folder), and is named
// "<name>.bt.td" until it is complete. The resume state is "<HASH>.bt.cfg" in
// the seed file's folder, HASH being the 40 upper-case hexadecimal digits of
// the SHA-1 of the info dictionary in canonical bencoding.
//
// Names come from the v1 file list ("length" for a single file, else
// "files"), "name.utf-8" and "path.utf-8" preferred, as stored (UTF-8 names
// stay UTF-8). In each component the characters : ? \ / * < > | " become 'A'.
// A component that is empty, "." or "..", or holds a NUL byte, and two files
// with one path, make the torrent unusable: nothing is ever written outside
// the data folder or twice to one file.
#pragma once

#include <libtorrent/span.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct layout_file {
  std::string path;  // inside the data folder, components separated by '/'
  std::int64_t size = 0;
  bool pad = false;  // padding between files: never written to disk
};

class torrent_layout {
 public:
  // The layout of the bencoded info dictionary `info_section`; false with
  // `why` set when it gives no usable names.
  static bool read(lt::span<char const> info_section, torrent_layout& out, std::string& why);

  const std::vector<layout_file>& files() const { return files_; }
  const std::string& hash_hex() const { return hash_hex_; }

 private:
  std::vector<layout_file> files_;
  std::string hash_hex_;
};

inline constexpr char kInProgressSuffix[] = ".bt.td";
inline constexpr char kResumeSuffix[] = ".bt.cfg";
inline constexpr char kLockSuffix[] = ".bt.dat";

// The seed path up to and including its last '/' or '\'; "./" when it has none.
std::string seed_folder(const std::string& seed_path);
// seed_folder(seed_path) + hash_hex + ".bt.cfg".
std::string resume_state_path(const std::string& seed_path, const std::string& hash_hex);
// `folder` and `relative` with one '/' between them.
std::string join_path(const std::string& folder, const std::string& relative);
