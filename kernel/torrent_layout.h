// Loading a seed for a task, and where the torrent's files go on disk.
//
// The names and the seeds refused are those of the shared naming rule
// (interfaces/seed_naming.h, common/seed_naming.h), which the plugin module's
// temporary-file listing and hub notices apply too: a file lives at the data
// folder + its path inside the torrent, and is named path + ".bt.td" until
// it is complete. The resume state is "<HASH>.bt.cfg" in the seed file's
// folder, HASH being the 40 upper-case hexadecimal digits of the SHA-1 of
// the info dictionary in canonical bencoding (the shell's info hash).
//
// Free functions and plain values: callable from any thread.
#pragma once

#include <libtorrent/span.hpp>
#include <libtorrent/torrent_info.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/bt_task_status.h"
#include "interfaces/seed_naming.h"

struct layout_file {
  std::string path;  // inside the data folder, components separated by '/'
  std::int64_t size = 0;
  bool pad = false;  // padding between files: never written to disk
};

class torrent_layout {
 public:
  torrent_layout() = default;
  torrent_layout(std::vector<layout_file> files, std::string hash_hex)
      : files_(std::move(files)), hash_hex_(std::move(hash_hex)) {}

  const std::vector<layout_file>& files() const { return files_; }
  const std::string& hash_hex() const { return hash_hex_; }

 private:
  std::vector<layout_file> files_;
  std::string hash_hex_;
};

struct loaded_seed {
  std::shared_ptr<lt::torrent_info> torrent;
  torrent_layout layout;  // index for index the torrent's files
};

// Decodes a whole seed file with the shared limits, applies the naming rule
// and has libtorrent read the torrent; false with `why` (one line, the
// rule's own words when the rule refuses) when the seed is not usable.
bool load_seed_bytes(lt::span<char const> seed, loaded_seed& out, std::string& why);
// The same for the seed file at `path`: false with `failure` set to
// bt_failure_seed_unreadable when it cannot be read (not a regular file,
// larger than kSeedMaxBytes, a read error), else bt_failure_seed_invalid.
bool load_seed(const std::string& path, loaded_seed& out, bt_task_failure& failure, std::string& why);

inline constexpr const char* kInProgressSuffix = kBtInProgressSuffix;
inline constexpr const char* kResumeSuffix = kBtStateSuffix;
inline constexpr const char* kLockSuffix = kBtDataSuffix;

// The seed path up to and including its last '/' or '\'; "./" when it has none.
std::string seed_folder(const std::string& seed_path);
// seed_folder(seed_path) + hash_hex + ".bt.cfg".
std::string resume_state_path(const std::string& seed_path, const std::string& hash_hex);
// `folder` and `relative` with one '/' between them.
std::string join_path(const std::string& folder, const std::string& relative);
