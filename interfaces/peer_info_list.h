// The peer information list that the host hands back through
// IBitTorrent::ReleasePeerInfoList.
#pragma once

#include <cstddef>

#include "platform/types.h"

// The shell never fills such a list: whoever gives one to the host allocates
// the record with the module's scalar allocation and the entry array with its
// array allocation, so that ReleasePeerInfoList can free both. The entries'
// layout belongs to their producer. 8 bytes on a 32-bit target (the array
// pointer is the second 32-bit word); on a 64-bit target the pointer is
// 8 bytes wide and naturally aligned.
struct PEER_INFO_LIST {
  ULONG count;                          // 0
  void* items;                          // 4: null, or an array allocated as above
};

static_assert(sizeof(void*) != 4 || (sizeof(PEER_INFO_LIST) == 8 && offsetof(PEER_INFO_LIST, items) == 4));
