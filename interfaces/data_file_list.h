// The list of a task's files on disk returned by GetCfgFileList and
// GetDataFileList.
//
// Offsets and sizes noted below are those of a 32-bit target. On a 64-bit
// target DATA_FILE_LIST's pointer is 8 bytes wide and naturally aligned (the
// record is 16 bytes); DATA_FILE_ITEM contains no pointer and is the same on
// every target.
#pragma once

#include <cstddef>

#include "platform/types.h"

inline constexpr ULONG DATA_FILE_FOLDER_MAX = 256;
inline constexpr ULONG DATA_FILE_NAME_MAX = 1024;

// One file: 1288 bytes. Texts are not terminated; the full path is the
// folder text (with its trailing separator) followed by the file name text.
struct DATA_FILE_ITEM {
  ULONG folder_len;                     // 0, at most 256
  char folder[DATA_FILE_FOLDER_MAX];    // 4
  ULONG name_len;                       // 260, at most 1024
  char name[DATA_FILE_NAME_MAX];        // 264
};

// 8 bytes on a 32-bit target. Allocated by the shell (the array with the
// module's array allocation, possibly with room for more entries than
// `count`); freed only by ReleaseDataFileList.
struct DATA_FILE_LIST {
  ULONG count;                          // 0
  DATA_FILE_ITEM* items;                // 4
};

static_assert(sizeof(DATA_FILE_ITEM) == 1288);
static_assert(offsetof(DATA_FILE_ITEM, folder) == 4 && offsetof(DATA_FILE_ITEM, name_len) == 260 &&
              offsetof(DATA_FILE_ITEM, name) == 264);
static_assert(sizeof(void*) != 4 || (sizeof(DATA_FILE_LIST) == 8 && offsetof(DATA_FILE_LIST, items) == 4));
