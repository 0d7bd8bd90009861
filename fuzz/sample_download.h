// The download described by the generated seed "album.torrent", and how its
// files stand in the data folder that the seed-services target prepares, so
// that inputs grown from that seed find files on disk to list and report.
#pragma once

namespace fuzz {

struct sample_file {
  const char* path;     // inside the torrent, components separated by '/'
  long long length;
  const char* on_disk;  // what the data folder holds for it; null: nothing
};

inline constexpr char kSampleSeedName[] = "album.torrent";
inline constexpr char kSampleTitle[] = "album";

inline constexpr sample_file kSampleFiles[] = {
    {"a/b.txt", 1, "a/b.txt.bt.td"},  // unfinished
    {"c.txt", 2, "c.txt"},            // finished
    {"a/d/e.txt", 3, "a/d/e.txt"},    // finished, two folders deep
    {"f.txt", 4, nullptr},            // not started
};

}  // namespace fuzz
