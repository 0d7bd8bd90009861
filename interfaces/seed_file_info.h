// The seed-file information record that the shell hands to the host, and the
// tracker item that the task creation operations also take as their second
// list.
//
// Integers are little-endian; text fields hold bytes in the local code page,
// their lengths count bytes, and a text that fills its buffer has no
// terminating zero. The offsets and sizes noted below are those of a 32-bit
// target. On a 64-bit target the two pointer fields are 8 bytes wide and
// naturally aligned (SEED_FILE_INFO grows accordingly); SEED_FILE_ITEM and
// SEED_TRACKER_ITEM contain no pointer and are the same on every target.
#pragma once

#include <cstddef>

#include "platform/types.h"

inline constexpr ULONG SEED_TITLE_MAX = 1024;
inline constexpr ULONG SEED_PUBLISHER_MAX = 8192;
inline constexpr ULONG SEED_PUBLISHER_URL_MAX = 1024;
inline constexpr ULONG SEED_FILE_PATH_MAX = 256;
inline constexpr ULONG SEED_FILE_NAME_MAX = 1024;
inline constexpr ULONG SEED_TRACKER_URL_MAX = 1024;

// One file of the torrent: 1296 bytes.
struct SEED_FILE_ITEM {
  ULONGLONG file_size;                  // 0
  ULONG path_len;                       // 8, at most 256
  char path[SEED_FILE_PATH_MAX];        // 12: folder inside the torrent, each component followed by the path separator
  ULONG name_len;                       // 268, at most 1024
  char name[SEED_FILE_NAME_MAX];        // 272
};

// One tracker URL: 1028 bytes.
struct SEED_TRACKER_ITEM {
  ULONG url_len;                        // 0, at most 1024
  char url[SEED_TRACKER_URL_MAX];       // 4
};

// 10288 bytes on a 32-bit target. Allocated (zero-filled) by the shell's
// ParseSeedFile, the arrays with the module's array allocation; freed only by
// ReleaseSeedFileInfo.
struct SEED_FILE_INFO {
  BYTE info_hash[20];                   // 0: SHA-1 of the bencoded info dictionary
  ULONG title_len;                      // 20, at most 1024
  char title[SEED_TITLE_MAX];           // 24
  ULONG file_count;                     // 1048
  SEED_FILE_ITEM* files;                // 1052: null when file_count is 0
  ULONG tracker_count;                  // 1056
  SEED_TRACKER_ITEM* trackers;          // 1060: null when tracker_count is 0
  ULONG publisher_len;                  // 1064, at most 8192
  char publisher[SEED_PUBLISHER_MAX];   // 1068
  ULONG publisher_url_len;              // 9260, at most 1024
  char publisher_url[SEED_PUBLISHER_URL_MAX];  // 9264
};

static_assert(sizeof(SEED_FILE_ITEM) == 1296);
static_assert(offsetof(SEED_FILE_ITEM, path_len) == 8 && offsetof(SEED_FILE_ITEM, path) == 12 &&
              offsetof(SEED_FILE_ITEM, name_len) == 268 && offsetof(SEED_FILE_ITEM, name) == 272);
static_assert(sizeof(SEED_TRACKER_ITEM) == 1028 && offsetof(SEED_TRACKER_ITEM, url) == 4);
static_assert(offsetof(SEED_FILE_INFO, title_len) == 20 && offsetof(SEED_FILE_INFO, title) == 24 &&
              offsetof(SEED_FILE_INFO, file_count) == 1048);

// The 32-bit layout.
static_assert(sizeof(void*) != 4 || sizeof(SEED_FILE_INFO) == 10288);
static_assert(sizeof(void*) != 4 ||
              (offsetof(SEED_FILE_INFO, files) == 1052 && offsetof(SEED_FILE_INFO, tracker_count) == 1056 &&
               offsetof(SEED_FILE_INFO, trackers) == 1060 && offsetof(SEED_FILE_INFO, publisher_len) == 1064 &&
               offsetof(SEED_FILE_INFO, publisher) == 1068 && offsetof(SEED_FILE_INFO, publisher_url_len) == 9260 &&
               offsetof(SEED_FILE_INFO, publisher_url) == 9264));
