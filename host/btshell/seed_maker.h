// What `btshell create` puts into a seed: the files of a file or folder,
// the piece size, and the seed's bytes around the piece hashes.
//
// A folder's files are taken in the byte order of their paths inside it
// ('/' between the components), hidden files included. Symbolic links
// inside the folder are never followed (a link to something outside would
// carry that into the seed): each is left out, like FIFOs, sockets and
// devices, and named in `skipped`. The path given itself may be a link.
// Plain functions over the file system; callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/btshell/command_line.h"

namespace btshell {

inline constexpr std::int64_t kMinPieceSize = std::int64_t(16) << 10;
inline constexpr std::int64_t kMaxPieceSize = std::int64_t(256) << 20;
// The default rule: the smallest power of two from kMinPieceSize that
// gives at most kDefaultMaxPieces pieces, and at most kDefaultMaxPieceSize.
inline constexpr std::int64_t kDefaultMaxPieces = 2048;
inline constexpr std::int64_t kDefaultMaxPieceSize = std::int64_t(16) << 20;

struct content_file {
  std::string disk_path;                // where it is read from
  std::vector<std::string> components;  // its path inside the folder; empty for a single file
  std::int64_t length = 0;
};

struct seed_content {
  std::string name;  // the file's or the folder's name
  bool single_file = false;
  std::vector<content_file> files;
  std::int64_t total = 0;
  std::vector<std::string> skipped;  // "link a/b", "special file c": what was left out
};

// The files of `path`; false with `error` (missing, unreadable folder, no
// files, no bytes at all).
bool read_content(const std::string& path, seed_content& out, std::string& error);

// The piece size for `total` bytes by the default rule.
std::int64_t default_piece_size(std::int64_t total);
// "262144", "256K", "4M" -> bytes; false with `error` when it is no power
// of two from kMinPieceSize to kMaxPieceSize.
bool parse_piece_size(const std::string& text, std::int64_t& size, std::string& error);

// The "info" dictionary's bytes: files (or length), name, piece length,
// pieces, and private when set, in canonical order.
std::string info_bytes(const seed_content& content, std::int64_t piece_length, const std::string& digests,
                       bool is_private);
// The seed's bytes: announce and announce-list (a tier for each tracker)
// from the trackers, comment, created by, creation date, info, url-list.
std::string seed_bytes(const std::string& info, const create_options& options, const std::string& created_by,
                       std::int64_t creation_date);

}  // namespace btshell
